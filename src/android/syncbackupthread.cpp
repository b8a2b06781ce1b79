// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/syncbackupthread.h"

#include "android/androidcontactsdb.h"
#include "android/androidlog.h"
#include "android/androidsyncsession_p.h"
#include "android/iandroidconnector.h"
#include "android/simpleprotocol.h"
#include "android/synccontactbuilder.h"
#include "kit/workerreporter.h"
#include "kit/workerrun.h"
#include "model/localdb.h"
#include "model/localdbedit.h"
#include "platform/error.h"

#include <QTcpSocket>

using namespace simpleprotocol;

namespace {

// `done` of `total` steps mapped onto the bar from `from` to `from` + 33.
int stagePercent(qsizetype done, qsizetype total, double from)
{
    return total > 0 ? int(double(done) / double(total) * 33.0 + from) : int(from);
}

// Puts `entity` into `list`, replacing the entry of the same row: a row
// written twice in one run goes out once, as last written.
void joinEntity(QList<pim::Entity>& list, const pim::Entity& entity)
{
    for (pim::Entity& present : list) {
        if (present.id != 0 && present.id == entity.id) {
            present = entity;
            return;
        }
    }
    list.append(entity);
}

} // namespace

SyncBackupThread::SyncBackupThread(QList<pim::_Contact> contacts, QSharedPointer<LocalDb> db,
    PAndroidConnector connector, int port, IWorkerReporter* reporter, QObject* parent)
    : QThread(parent)
    , m_contacts(std::move(contacts))
    , m_db(std::move(db))
    , m_connector(std::move(connector))
    , m_port(port)
    , m_reporter(reporter)
{
}

SyncBackupThread::SyncBackupThread(QList<pim::_Contact> contacts, const QSharedPointer<AndroidContactsDb>& db,
    int port, IWorkerReporter* reporter, QObject* parent)
    : SyncBackupThread(std::move(contacts), db, db->connector(), port, reporter, parent)
{
}

SyncBackupThread::~SyncBackupThread() = default;

void SyncBackupThread::throwIfCancelled() const
{
    if (m_reporter->isCancelled())
        throw OperationCancelled();
}

void SyncBackupThread::run()
{
    m_processed = m_merged = m_skipped = 0;
    m_nameIds.clear();
    m_added.clear();
    m_newNames.clear();
    const WorkEnd end = runWorkerJob<OperationCancelled>(
        *m_reporter, tr("Writing to the phone stopped on an unexpected error."), [this] {
            LocalDbEdit edit(*m_db, lcAndroid(), "rollback of the write to the phone");
            androidsync::runCancellable([this] { return m_reporter->isCancelled(); }, [this] { transfer(); });
            edit.commit();
            m_reporter->invokeSucceed(successText());
        });
    if (end == WorkEnd::Cancelled)
        qCDebug(lcAndroid) << "Sync to Android, User canceled.";
}

void SyncBackupThread::transfer()
{
    mergeAll();
    if (m_newNames.isEmpty() && m_added.isEmpty())
        return;
    throwIfCancelled();
    // Made here so that it lives and dies on the thread that uses it.
    QTcpSocket socket;
    startSyncService(socket);
    sendNames(socket);
    sendOtherRecords(socket);
}

void SyncBackupThread::mergeAll()
{
    const qsizetype total = m_contacts.size();
    qsizetype position = 0;
    for (pim::_Contact contact : std::as_const(m_contacts)) {
        throwIfCancelled();
        ++position;
        m_reporter->invokeUpdateProgress(tr("IDS_MERGING_CONTACTS"), stagePercent(position, total, 0.0),
            tr("Contacts:%1/%2").arg(position).arg(total));
        QList<pim::Entity>& names = contact.entities[pim::ENTITY_NAME];
        if (names.isEmpty()) {
            if (contact.fullName.isEmpty()) {
                // Nothing to call it by on the phone, nor to merge it on.
                ++m_skipped;
                continue;
            }
            // A contact known only by its full name still needs a name record
            // for the phone to create it.
            pim::Entity name;
            name.fields[QStringLiteral("data1")] = contact.fullName;
            name.fields[QStringLiteral("data2")] = contact.fullName;
            names.append(name);
        }
        ++m_processed;
        pim::_Contact stored;
        bool existed = false;
        const EntitiesByType written = m_db->combineContact(contact, stored, existed);
        if (existed)
            ++m_merged;
        if (written.isEmpty())
            continue;
        if (stored.entities.value(pim::ENTITY_NAME).isEmpty()) {
            qCWarning(lcAndroid) << "merged into a device contact without a name, not sent:" << stored.id;
            continue;
        }
        addMerged(stored, written);
    }
}

void SyncBackupThread::addMerged(const pim::_Contact& stored, const EntitiesByType& written)
{
    m_nameIds[stored.id] = stored.entities.value(pim::ENTITY_NAME).first().srcId;
    EntitiesByType& joined = m_added[stored.id];
    for (auto it = written.constBegin(); it != written.constEnd(); ++it) {
        for (const pim::Entity& entity : it.value())
            joinEntity(joined[it.key()], entity);
    }
    if (written.value(pim::ENTITY_NAME).isEmpty())
        return;
    for (pim::_Contact& listed : m_newNames) {
        if (listed.id == stored.id) {
            listed = stored;
            return;
        }
    }
    m_newNames.append(stored);
}

void SyncBackupThread::startSyncService(QTcpSocket& socket)
{
    m_reporter->invokeUpdateProgress(tr("IDS_SYNC_START_SERVICE"), 0, QString());
    const QString host = m_connector->startRestore(m_port);
    androidsync::connectToApp(socket, host, m_port, [this] { return m_reporter->isCancelled(); });
}

void SyncBackupThread::sendNames(QTcpSocket& socket)
{
    const CancelCheck cancelled = [this] { return m_reporter->isCancelled(); };
    const qsizetype n = m_newNames.size();
    for (qsizetype i = 0; i < n;) {
        throwIfCancelled();
        QStringList lines;
        androidsync::TemporaryIds sent;
        for (const qsizetype end = qMin(n, i + androidsync::kBatchSize); i < end; ++i) {
            const pim::_Contact& contact = m_newNames.at(i);
            const pim::Entity name = contact.entities.value(pim::ENTITY_NAME).first();
            const qint64 key = qint64(contact.id);
            lines << kEnt + SyncContactBuilder::entitySyncCmd(pim::ENTITY_NAME, key, key, name);
            sent.add(
                SyncContactBuilder::makeAndroidSyncId(pim::ENTITY_NAME, key, key, name), contact.id, name.id);
        }
        const QString reply = androidsync::exchangeBatch(socket, lines, cancelled);
        for (const androidsync::TemporaryIds::Record& record : sent.confirm(reply)) {
            m_db->updateContactBaseSrcId(record.contactId, record.newId);
            m_nameIds[record.contactId] = record.newId;
            m_db->updateEntitySrcId(record.entityId, record.newId);
        }
        // A contact the phone did not create cannot carry its other records,
        // and stored without an id it would never be found on the phone.
        const qsizetype refused = sent.unconfirmed().size();
        if (refused > 0)
            throw Error(tr("The phone did not accept %1 contacts.").arg(refused));
        m_reporter->invokeUpdateProgress(
            tr("IDS_SEND_CHANGES_TO_ANDROID"), stagePercent(i, n, 33.0), QString());
    }
}

void SyncBackupThread::sendOtherRecords(QTcpSocket& socket)
{
    const CancelCheck cancelled = [this] { return m_reporter->isCancelled(); };
    const qsizetype m = m_added.size();
    qsizetype j = 0;
    for (auto entry = m_added.constBegin(); entry != m_added.constEnd();) {
        throwIfCancelled();
        QStringList lines;
        androidsync::TemporaryIds sent;
        for (const qsizetype end = qMin(m, j + androidsync::kBatchSize); j < end; ++j, ++entry) {
            qint64 a = 0;
            qint64 b = 0;
            if (!androidsync::isPhoneId(m_nameIds.value(entry.key()), &a, &b)) {
                qCWarning(lcAndroid) << "contact without a phone id, its records not sent:" << entry.key();
                continue;
            }
            for (auto type = entry->constBegin(); type != entry->constEnd(); ++type) {
                if (type.key() == pim::ENTITY_NAME)
                    continue;
                for (const pim::Entity& entity : type.value()) {
                    lines << kEnt + SyncContactBuilder::entitySyncCmd(type.key(), a, b, entity);
                    sent.add(SyncContactBuilder::makeAndroidSyncId(type.key(), a, b, entity), entry.key(),
                        entity.id);
                }
            }
        }
        // A batch of names only has nothing left to send.
        if (!lines.isEmpty()) {
            const QString reply = androidsync::exchangeBatch(socket, lines, cancelled);
            for (const androidsync::TemporaryIds::Record& record : sent.confirm(reply))
                m_db->updateEntitySrcId(record.entityId, record.newId);
            if (!sent.unconfirmed().isEmpty())
                qCWarning(lcAndroid) << sent.unconfirmed().size() << "records got no id from the phone";
        }
        m_reporter->invokeUpdateProgress(
            tr("IDS_SEND_CHANGES_TO_ANDROID"), stagePercent(j, m, 67.0), QString());
    }
}

QString SyncBackupThread::successText() const
{
    if (m_merged < 1)
        return tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_ANDROID").arg(m_processed);
    return tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_ANDROID_%2_MERGED").arg(m_processed - m_merged).arg(m_merged);
}
