// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/androidsendchangesthread.h"

#include "android/androidcontactsdb.h"
#include "android/androidlog.h"
#include "android/androidsyncsession_p.h"
#include "android/iandroidconnector.h"
#include "android/simpleprotocol.h"
#include "android/synccontactbuilder.h"
#include "kit/workerreporter.h"
#include "kit/workerrun.h"
#include "model/contactmention.h"
#include "model/localdb.h"
#include "platform/error.h"

#include <QTcpSocket>

using namespace simpleprotocol;

namespace {

// Writes back the ids the phone gave the records of one batch.
void storeEntityIds(LocalDb& db, androidsync::TemporaryIds& sent, const QString& reply)
{
    for (const androidsync::TemporaryIds::Record& record : sent.confirm(reply))
        db.updateEntitySrcId(record.entityId, record.newId);
    if (!sent.unconfirmed().isEmpty())
        qCWarning(lcAndroid) << sent.unconfirmed().size() << "records got no id from the phone";
}

} // namespace

AndroidSendChangesThread::AndroidSendChangesThread(IWorkerReporter* reporter, QSharedPointer<LocalDb> db,
    PAndroidConnector connector, int port, QObject* parent)
    : QThread(parent)
    , m_reporter(reporter)
    , m_db(std::move(db))
    , m_connector(std::move(connector))
    , m_port(port)
{
}

AndroidSendChangesThread::AndroidSendChangesThread(
    IWorkerReporter* reporter, const QSharedPointer<AndroidContactsDb>& db, int port, QObject* parent)
    : AndroidSendChangesThread(reporter, db, db->connector(), port, parent)
{
}

AndroidSendChangesThread::~AndroidSendChangesThread() = default;

void AndroidSendChangesThread::initEditContact(
    const pim::_Contact& contact, const QList<_ChangeData>& changes)
{
    m_job = JOB_EDIT_CONTACT;
    m_contact = contact;
    m_changes = changes;
}

void AndroidSendChangesThread::initDelContacts(const QList<pim::_Contact>& contacts)
{
    m_job = JOB_DEL_CONTACTS;
    m_contacts = contacts;
}

void AndroidSendChangesThread::initContactsSetGroup(const QList<pim::_Contact>& contacts)
{
    m_job = JOB_SET_GROUP;
    m_contacts = contacts;
}

bool AndroidSendChangesThread::isCancelled() const
{
    return m_reporter->isCancelled();
}

void AndroidSendChangesThread::run()
{
    const WorkEnd end = runWorkerJob<OperationCancelled>(
        *m_reporter, tr("Sending the change to the phone stopped on an unexpected error."), [this] {
            androidsync::runCancellable([this] { return isCancelled(); }, [this] {
                m_reporter->invokeUpdateProgress(tr("IDS_SYNC_START_SERVICE"), 0, QString());
                const QString host = m_connector->startRestore(m_port);
                // Made here so that it lives and dies on the thread that uses it.
                QTcpSocket socket;
                androidsync::connectToApp(socket, host, m_port, [this] { return isCancelled(); });
                switch (m_job) {
                case JOB_SET_GROUP:
                    submitContactsSetGroup(socket);
                    break;
                case JOB_DEL_CONTACTS:
                    submitDelContacts(socket);
                    break;
                case JOB_EDIT_CONTACT:
                    submitEditContact(socket);
                    break;
                }
                socket.disconnectFromHost();
                m_reporter->invokeSucceed(QString());
            });
        });
    if (end == WorkEnd::Cancelled)
        qCDebug(lcAndroid) << "Send changes to Android, User canceled.";
}

void AndroidSendChangesThread::submitEditContact(QTcpSocket& socket)
{
    const CancelCheck cancelled = [this] { return isCancelled(); };
    m_reporter->invokeUpdateProgress(tr("IDS_SENGING_CHANGES_TO_DEVICE"), 99, QString());

    qint64 a = 0;
    qint64 b = 0;
    unsigned long long sentName = 0;
    if (!androidsync::isPhoneId(m_contact.srcId, &a, &b)) {
        // The phone does not know the contact: its name goes first, and the
        // phone's id for it gives the keys every other record travels under.
        const QList<pim::Entity> names = m_contact.entities.value(pim::ENTITY_NAME);
        if (names.isEmpty())
            throw Error(tr("%1 is not on the phone and has no name to create it with.")
                            .arg(pim::mention(pim::shownName(m_contact), pim::Mention::ContactAtStart)));
        pim::Entity name = names.first();
        name.srcId.clear();
        const qint64 key = qint64(m_contact.id);
        androidsync::TemporaryIds sent;
        sent.add(
            SyncContactBuilder::makeAndroidSyncId(pim::ENTITY_NAME, key, key, name), m_contact.id, name.id);
        const QString reply = androidsync::exchangeBatch(socket,
            { kEnt + SyncContactBuilder::entitySyncCmd(pim::ENTITY_NAME, key, key, name) },
            androidsync::Carried::Change, cancelled);
        const QList<androidsync::TemporaryIds::Record> confirmed = sent.confirm(reply);
        if (confirmed.isEmpty())
            throw Error(androidsync::unconfirmedText({ pim::shownName(m_contact) }));
        const QString newId = confirmed.first().newId;
        m_db->updateContactBaseSrcId(m_contact.id, newId);
        m_db->updateEntitySrcId(name.id, newId);
        androidsync::isPhoneId(newId, &a, &b);
        sentName = name.id;
    }

    QStringList lines;
    androidsync::TemporaryIds sent;
    for (const _ChangeData& change : std::as_const(m_changes)) {
        switch (change.action) {
        case _ChangeData::ACTION_ADDED:
        case _ChangeData::ACTION_UPDATED: {
            // A new name is the contact's name record, which went first; sent
            // again under a temporary id, it would make a second contact.
            if (change.type == pim::ENTITY_NAME
                && (change.action == _ChangeData::ACTION_ADDED || change.entity.id == sentName))
                break;
            lines << kEnt + SyncContactBuilder::entitySyncCmd(change.type, a, b, change.entity);
            sent.add(SyncContactBuilder::makeAndroidSyncId(change.type, a, b, change.entity), m_contact.id,
                change.entity.id);
            break;
        }
        case _ChangeData::ACTION_DELETED:
            // A record that never reached the phone has nothing to delete there.
            if (androidsync::isPhoneId(change.entity.srcId))
                lines << kDel + change.entity.srcId;
            break;
        default:
            break;
        }
    }
    storeEntityIds(*m_db, sent, androidsync::exchangeBatch(socket, lines, androidsync::Carried::Change, cancelled));
}

void AndroidSendChangesThread::submitDelContacts(QTcpSocket& socket)
{
    QStringList lines;
    for (const pim::_Contact& contact : std::as_const(m_contacts)) {
        const QList<pim::Entity> names = contact.entities.value(pim::ENTITY_NAME);
        const QString id = names.isEmpty() ? contact.srcId : names.first().srcId;
        int type = 0;
        if (androidsync::isPhoneId(id)
            && SyncContactBuilder::fetchIdInfo(id, &type, nullptr, nullptr, nullptr)
            && type == pim::ENTITY_NAME)
            lines << kDel + id;
    }
    androidsync::exchangeBatch(socket, lines, androidsync::Carried::Change, [this] { return isCancelled(); });
}

void AndroidSendChangesThread::submitContactsSetGroup(QTcpSocket& socket)
{
    QStringList lines;
    androidsync::TemporaryIds sent;
    for (const pim::_Contact& contact : std::as_const(m_contacts)) {
        qint64 a = 0;
        qint64 b = 0;
        if (!androidsync::isPhoneId(contact.srcId, &a, &b))
            continue;
        const QList<pim::Entity> groups = contact.entities.value(pim::ENTITY_GROUP);
        if (groups.isEmpty()) {
            lines << kUngroup + QString::number(a);
            continue;
        }
        lines << kEnt + SyncContactBuilder::entitySyncCmd(pim::ENTITY_GROUP, a, b, groups.first());
        sent.add(SyncContactBuilder::makeAndroidSyncId(pim::ENTITY_GROUP, a, b, groups.first()), contact.id,
            groups.first().id);
    }
    storeEntityIds(*m_db, sent,
        androidsync::exchangeBatch(socket, lines, androidsync::Carried::Change, [this] { return isCancelled(); }));
}
