// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/syncrestorethread.h"

#include "android/androidcontactsdb.h"
#include "android/androidlog.h"
#include "android/androidsyncsession_p.h"
#include "android/iandroidconnector.h"
#include "android/simpleprotocol.h"
#include "android/synccontactbuilder.h"
#include "android/synccontactparser.h"
#include "kit/messagetext.h"
#include "kit/workerreporter.h"
#include "kit/workerrun.h"
#include "model/localdb.h"
#include "model/localdbedit.h"
#include "platform/error.h"

#include <QTcpSocket>

using namespace simpleprotocol;

SyncRestoreThread::SyncRestoreThread(QSharedPointer<LocalDb> db, PAndroidConnector connector, int port,
    IWorkerReporter* reporter, QObject* parent)
    : QThread(parent)
    , m_db(std::move(db))
    , m_connector(std::move(connector))
    , m_port(port)
    , m_reporter(reporter)
{
}

SyncRestoreThread::SyncRestoreThread(
    const QSharedPointer<AndroidContactsDb>& db, int port, IWorkerReporter* reporter, QObject* parent)
    : SyncRestoreThread(db, db->connector(), port, reporter, parent)
{
}

SyncRestoreThread::~SyncRestoreThread() = default;

bool SyncRestoreThread::isCancelled() const
{
    return m_reporter->isCancelled();
}

void SyncRestoreThread::run()
{
    const CancelCheck cancelled = [this] { return isCancelled(); };
    // Made here so that it lives and dies on the thread that uses it.
    QTcpSocket socket;
    const WorkEnd end = runWorkerJob<OperationCancelled>(
        *m_reporter, tr("Reading the phone stopped on an unexpected error."), [&] {
            androidsync::runCancellable(cancelled, [&] {
                m_reporter->invokeUpdateProgress(tr("IDS_SYNC_CHECK_APK"), 0, QString());
                m_connector->initialCheck();
                if (isCancelled())
                    return;
                m_reporter->invokeUpdateProgress(tr("IDS_SYNC_START_SERVICE"), 0, QString());
                const QString host = m_connector->startBackup(m_port);
                androidsync::connectToApp(socket, host, m_port, cancelled);

                m_reporter->invokeUpdateProgress(tr("IDS_SYNC_BACKING"), 0, QString());
                LocalDbEdit edit(*m_db, lcAndroid(), "rollback of the phone's read");
                receiveAll(socket);
                edit.commit();
                socket.disconnectFromHost();
                if (m_skipped > 0)
                    qCWarning(lcAndroid) << "read of the phone left out" << m_skipped << "records";
                if (m_rowLimit.leftOut() > 0)
                    qCWarning(lcAndroid) << "read of the phone left out" << m_rowLimit.leftOut()
                                         << "records of contacts already full";
                // The text quotes the phone's own lines; the dialog shows rich text.
                m_reporter->invokeSucceed(g_messageText(endingText()));
            });
        });
    if (end == WorkEnd::Cancelled)
        qCDebug(lcAndroid) << "Sync from Android, User canceled.";
}

void SyncRestoreThread::receiveAll(QTcpSocket& socket)
{
    m_total = 0;
    m_received = 0;
    m_skipped = 0;
    m_unknownKind = 0;
    m_withoutContact = 0;
    m_notUnderstood = 0;
    m_recordNumber = 0;
    m_lastContact.clear();
    m_unreadable.clear();
    m_contactIds.clear();
    m_rowLimit = ContactRowLimit();
    const CancelCheck cancelled = [this] { return isCancelled(); };
    while (!isCancelled()) {
        const QString line = readLine(socket);
        if (line.startsWith(kDevice)) {
            m_deviceName = QString::fromUtf8(QByteArray::fromBase64(line.mid(kDevice.size()).toLatin1()));
        } else if (line.startsWith(kVersion)) {
            if (line.mid(kVersion.size()).trimmed().toInt() < kMinimumAppProtocol)
                throw Error(tr("IDS_DAEMON_APK_OLDER_THAN_%1").arg(QStringLiteral("3.0.3")));
        } else if (line.startsWith(kCount)) {
            m_total = qMax(0, line.mid(kCount.size()).trimmed().toInt());
        } else if (line.startsWith(kBatch)) {
            handleBatch(socket);
        } else if (line.startsWith(kBye)) {
            return;
        } else {
            ++m_notUnderstood;
            qCWarning(lcAndroid).noquote() << "line not understood, left out:" << androidsync::elided(line);
        }
    }
    throw OperationCancelled();
}

void SyncRestoreThread::handleBatch(QTcpSocket& socket)
{
    const CancelCheck cancelled = [this] { return isCancelled(); };
    for (;;) {
        if (isCancelled())
            throw OperationCancelled();
        const QString line = readLine(socket);
        if (line.startsWith(kEnd)) {
            sendCommand(socket, kBatch, QString(), true, -1, cancelled);
            return;
        }
        if (line.startsWith(kEnt)) {
            storeRecord(line);
        } else {
            ++m_notUnderstood;
            qCWarning(lcAndroid).noquote() << "line not understood in a batch, left out:" << androidsync::elided(line);
        }
    }
}

void SyncRestoreThread::storeRecord(const QString& line)
{
    ++m_recordNumber;
    const QStringList fields = line.mid(kEnt.size()).split(QLatin1Char(','));
    int type = 0;
    qint64 contactKey = 0;
    // One record the phone got wrong costs that record, not the whole read:
    // the line itself arrived whole, so the conversation is still in step.
    if (!SyncContactBuilder::fetchIdInfo(fields.first(), &type, &contactKey, nullptr, nullptr)) {
        ++m_skipped;
        m_unreadable.append(unreadableRecordName());
        qCWarning(lcAndroid).noquote() << "unreadable record left out:" << androidsync::elided(line);
        return;
    }
    if (!pim::isValidEntityType(type)) {
        ++m_skipped;
        ++m_unknownKind;
        qCWarning(lcAndroid) << "record of an unknown type left out:" << fields.first();
        return;
    }
    pim::Entity entity(0, fields.first());
    SyncContactParser::fillEntityInfo(fields, type, entity);

    if (type == pim::ENTITY_GROUP) {
        const QString group = pim::fieldText(entity.fields.value(QStringLiteral("data2")));
        if (!group.isEmpty())
            entity.fields[QStringLiteral("data1")] = QString::number(m_db->getGroupIdOrAdd(group));
    }
    // A second name record of a known contact is one more name of it, not a
    // new contact that would take the first one's later records away.
    if (type == pim::ENTITY_NAME && !m_contactIds.contains(contactKey)) {
        pim::_Contact contact(0, fields.first(), entity.fullName());
        m_db->insertContactBase(contact);
        m_contactIds.insert(contactKey, contact.id);
        m_rowLimit.addContact(contact.id, contact.fullName);
        m_lastContact = contact.fullName;
        ++m_received;
        reportReceived();
    }
    const unsigned long long contactId = m_contactIds.value(contactKey, 0);
    if (contactId == 0) {
        ++m_skipped;
        ++m_withoutContact;
        qCWarning(lcAndroid) << "record of a contact without a name record left out:" << fields.first();
        return;
    }
    if (m_rowLimit.take(contactId, type, entity))
        m_db->insertEntity(contactId, type, entity);
}

QString SyncRestoreThread::readLine(QTcpSocket& socket)
{
    return readCommand(socket, -1, [this] { return isCancelled(); });
}

// The phone's records come contact by contact, each contact's name first: a
// record that cannot be read is either one of the last named contact's or
// the name of the next one.
QString SyncRestoreThread::unreadableRecordName() const
{
    if (m_lastContact.isEmpty())
        return tr("record %1, sent before any contact's name").arg(m_recordNumber);
    return tr("record %1, sent after the name of \"%2\"").arg(m_recordNumber).arg(m_lastContact);
}

// One sentence per kind of record or line the read left out, with its count.
QString SyncRestoreThread::leftOutText() const
{
    // Records named before "and N more".
    constexpr int kNamed = 5;
    QStringList sentences;
    if (!m_unreadable.isEmpty()) {
        QString which = m_unreadable.mid(0, kNamed).join(QStringLiteral("; "));
        if (m_unreadable.size() > kNamed)
            which += QStringLiteral("; ") + tr("and %1 more").arg(m_unreadable.size() - kNamed);
        sentences << (m_unreadable.size() == 1
                ? tr("One record sent by the phone could not be read and was left out: %1.")
                : tr("%1 records sent by the phone could not be read and were left out: %2.")
                      .arg(m_unreadable.size()))
                         .arg(which);
    }
    if (m_withoutContact > 0)
        sentences << (m_withoutContact == 1
                ? tr("One record belonged to a contact whose name the phone did not send, and was left out.")
                : tr("%1 records belonged to contacts whose names the phone did not send, and were left out.")
                      .arg(m_withoutContact));
    if (m_unknownKind > 0)
        sentences << (m_unknownKind == 1
                ? tr("One record of a kind this program does not know was left out.")
                : tr("%1 records of a kind this program does not know were left out.").arg(m_unknownKind));
    if (m_notUnderstood > 0)
        sentences << (m_notUnderstood == 1
                ? tr("One line from the companion app was not understood and was left out.")
                : tr("%1 lines from the companion app were not understood and were left out.")
                      .arg(m_notUnderstood));
    if (sentences.isEmpty())
        return QString();
    sentences << tr("Everything else was stored. Update the companion app on the phone if this happens again.");
    return sentences.join(QLatin1Char('\n'));
}

QString SyncRestoreThread::endingText() const
{
    // Contacts named in a list before "and N more".
    constexpr int kNamed = 5;
    QStringList parts;
    if (m_received == 0)
        parts << tr("The phone sent no contacts: the companion app found none it may share. If the phone shows "
                    "contacts, allow the app to read them in the phone's settings and connect again.");
    const QString leftOut = leftOutText();
    if (!leftOut.isEmpty())
        parts << leftOut;
    if (m_rowLimit.fullContacts() > 0)
        parts << m_rowLimit.summary(kNamed);
    return parts.join(QStringLiteral("\n\n"));
}

void SyncRestoreThread::reportReceived()
{
    // A phone that announced too few contacts (or none) gets no bar beyond
    // 100 % and no division by zero; without a count the bar stays put.
    const int shownTotal = m_total > 0 ? qMax(m_total, m_received) : 0;
    const int percent = shownTotal > 0 ? int(double(m_received) / double(shownTotal) * 100.0) : -1;
    m_reporter->invokeUpdateProgress(tr("IDS_RECEIVING_CONTACTS_FROM_ANDROID"), percent,
        tr("Contacts: %1/%2").arg(m_received).arg(shownTotal > 0 ? shownTotal : m_received));
}
