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
#include "model/contactmention.h"
#include "model/contactpages.h"
#include "model/localdb.h"
#include "model/localdbedit.h"
#include "platform/error.h"

#include <QSet>
#include <QTcpSocket>

#include <algorithm>
#include <tuple>

using namespace simpleprotocol;

namespace {

// `done` of `total` steps mapped onto the bar from `from` to `from` + 33.
int stagePercent(qsizetype done, qsizetype total, double from)
{
    return total > 0 ? int(double(done) / double(total) * 33.0 + from) : int(from);
}

// The row `id` among `list`, or null.
const pim::Entity* rowOf(const QList<pim::Entity>& list, unsigned long long id)
{
    for (const pim::Entity& entity : list)
        if (entity.id == id)
            return &entity;
    return nullptr;
}

// The phone's id of the contact's name record (empty when it has none).
QString nameIdOf(const pim::_Contact& contact)
{
    const QList<pim::Entity> names = contact.entities.value(pim::ENTITY_NAME);
    return names.isEmpty() ? QString() : names.first().srcId;
}

} // namespace

SyncBackupThread::SyncBackupThread(std::shared_ptr<ContactPages> pages, QSharedPointer<LocalDb> db,
    PAndroidConnector connector, int port, IWorkerReporter* reporter, QObject* parent)
    : QThread(parent)
    , m_pages(std::move(pages))
    , m_db(std::move(db))
    , m_connector(std::move(connector))
    , m_port(port)
    , m_reporter(reporter)
{
    Q_ASSERT(m_pages);
}

SyncBackupThread::SyncBackupThread(std::shared_ptr<ContactPages> pages,
    const QSharedPointer<AndroidContactsDb>& db, int port, IWorkerReporter* reporter, QObject* parent)
    : SyncBackupThread(std::move(pages), db, db->connector(), port, reporter, parent)
{
}

SyncBackupThread::SyncBackupThread(QList<pim::_Contact> contacts, QSharedPointer<LocalDb> db,
    PAndroidConnector connector, int port, IWorkerReporter* reporter, QObject* parent)
    : SyncBackupThread(std::make_shared<ContactListPages>(std::move(contacts)), std::move(db),
        std::move(connector), port, reporter, parent)
{
}

SyncBackupThread::SyncBackupThread(QList<pim::_Contact> contacts, const QSharedPointer<AndroidContactsDb>& db,
    int port, IWorkerReporter* reporter, QObject* parent)
    : SyncBackupThread(std::make_shared<ContactListPages>(std::move(contacts)), db, port, reporter, parent)
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
    m_written.clear();
    m_newNames.clear();
    const WorkEnd end = runWorkerJob<OperationCancelled>(
        *m_reporter, tr("Writing to the phone stopped on an unexpected error."), [this] {
            LocalDbEdit edit(*m_db, lcAndroid(), "rollback of the write to the phone");
            try {
                androidsync::runCancellable([this] { return m_reporter->isCancelled(); }, [this] { transfer(); });
            } catch (const ContactSourceError& e) {
                // The walk is merged whole before the phone is reached.
                throw Error(e.text() + QLatin1Char(' ') + tr("No contact was written to the phone."));
            }
            edit.commit();
            m_reporter->invokeSucceed(successText());
        });
    m_written = {};
    m_newNames = {};
    if (end == WorkEnd::Cancelled)
        qCDebug(lcAndroid) << "Sync to Android, User canceled.";
}

void SyncBackupThread::transfer()
{
    mergeAll();
    if (m_newNames.empty() && m_written.empty())
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
    ContactCursor source(*m_pages);
    const qsizetype total = source.count();
    qsizetype position = 0;
    std::unordered_set<unsigned long long> named;
    pim::_Contact contact;
    while (source.next(contact)) {
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
        addMerged(stored, written, named);
    }
    groupWrittenRows();
}

void SyncBackupThread::addMerged(const pim::_Contact& stored, const EntitiesByType& written,
    std::unordered_set<unsigned long long>& named)
{
    for (auto it = written.constBegin(); it != written.constEnd(); ++it) {
        for (const pim::Entity& entity : it.value())
            m_written.push_back({ stored.id, it.key(), entity.id });
    }
    if (!written.value(pim::ENTITY_NAME).isEmpty() && named.insert(stored.id).second)
        m_newNames.push_back(stored.id);
}

// Contacts by id and their rows by type, as they go out; a row written by
// several merges goes once, in the place of its first write (the database
// holds its last values).
void SyncBackupThread::groupWrittenRows()
{
    std::stable_sort(m_written.begin(), m_written.end(), [](const WrittenRow& a, const WrittenRow& b) {
        return std::tie(a.contactId, a.type) < std::tie(b.contactId, b.type);
    });
    std::size_t kept = 0;
    QSet<unsigned long long> inGroup;
    for (std::size_t i = 0; i < m_written.size(); ++i) {
        const WrittenRow row = m_written[i];
        const bool newGroup = kept == 0 || row.contactId != m_written[kept - 1].contactId
            || row.type != m_written[kept - 1].type;
        if (newGroup)
            inGroup.clear();
        if (!inGroup.contains(row.rowId)) {
            inGroup.insert(row.rowId);
            m_written[kept++] = row;
        }
    }
    m_written.resize(kept);
    m_written.shrink_to_fit();
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
    const qsizetype n = qsizetype(m_newNames.size());
    for (qsizetype i = 0; i < n;) {
        throwIfCancelled();
        QStringList lines;
        androidsync::TemporaryIds sent;
        for (const qsizetype end = qMin(n, i + androidsync::kBatchSize); i < end; ++i) {
            const pim::_Contact contact = m_db->contact(m_newNames[std::size_t(i)]);
            const pim::Entity name = contact.entities.value(pim::ENTITY_NAME).value(0);
            const qint64 key = qint64(contact.id);
            lines << kEnt + SyncContactBuilder::entitySyncCmd(pim::ENTITY_NAME, key, key, name);
            sent.add(
                SyncContactBuilder::makeAndroidSyncId(pim::ENTITY_NAME, key, key, name), contact.id, name.id);
        }
        const QString reply = androidsync::exchangeBatch(socket, lines, androidsync::Carried::Contacts, cancelled);
        for (const androidsync::TemporaryIds::Record& record : sent.confirm(reply)) {
            m_db->updateContactBaseSrcId(record.contactId, record.newId);
            m_db->updateEntitySrcId(record.entityId, record.newId);
        }
        // A contact the phone gave no id cannot carry its other records, and
        // stored without one it would never be found on the phone; the phone
        // may have stored it all the same, which only a new read shows.
        const QList<androidsync::TemporaryIds::Record> unconfirmed = sent.unconfirmed();
        if (!unconfirmed.isEmpty()) {
            QStringList names;
            for (const androidsync::TemporaryIds::Record& record : unconfirmed)
                names << pim::shownName(m_db->contact(record.contactId));
            throw Error(androidsync::unconfirmedText(names));
        }
        m_reporter->invokeUpdateProgress(
            tr("IDS_SEND_CHANGES_TO_ANDROID"), stagePercent(i, n, 33.0), QString());
    }
}

void SyncBackupThread::sendOtherRecords(QTcpSocket& socket)
{
    const CancelCheck cancelled = [this] { return m_reporter->isCancelled(); };
    qsizetype m = 0;
    for (std::size_t r = 0; r < m_written.size(); ++r)
        m += r == 0 || m_written[r].contactId != m_written[r - 1].contactId;
    std::size_t r = 0;
    for (qsizetype j = 0; j < m;) {
        throwIfCancelled();
        QStringList lines;
        androidsync::TemporaryIds sent;
        for (const qsizetype end = qMin(m, j + androidsync::kBatchSize); j < end; ++j) {
            const unsigned long long id = m_written[r].contactId;
            std::size_t last = r;
            while (last < m_written.size() && m_written[last].contactId == id)
                ++last;
            // As stored now: with the name's id the phone gave and each
            // row's last values.
            const pim::_Contact contact = m_db->contact(id);
            qint64 a = 0;
            qint64 b = 0;
            if (!androidsync::isPhoneId(nameIdOf(contact), &a, &b)) {
                qCWarning(lcAndroid) << "contact without a phone id, its records not sent:" << id;
                r = last;
                continue;
            }
            for (; r < last; ++r) {
                const WrittenRow& row = m_written[r];
                if (row.type == pim::ENTITY_NAME)
                    continue;
                const pim::Entity* entity = rowOf(contact.entities.value(row.type), row.rowId);
                if (!entity)
                    continue;
                lines << kEnt + SyncContactBuilder::entitySyncCmd(row.type, a, b, *entity);
                sent.add(SyncContactBuilder::makeAndroidSyncId(row.type, a, b, *entity), id, entity->id);
            }
        }
        // A batch of names only has nothing left to send.
        if (!lines.isEmpty()) {
            const QString reply
                = androidsync::exchangeBatch(socket, lines, androidsync::Carried::Contacts, cancelled);
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
