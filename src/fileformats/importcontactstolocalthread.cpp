// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/importcontactstolocalthread.h"

#include "kit/contactprogress.h"
#include "fileformats/csv/csvimport.h"
#include "fileformats/fileformatslog.h"
#include "model/localdb.h"
#include "fileformats/vcard/vcardimport.h"
#include "fileformats/contactreadahead.h"
#include "fileformats/workercancelled_p.h"
#include "kit/workerreporter.h"
#include "kit/messagetext.h"
#include "model/abscontactcombinerule.h"

#include "platform/error.h"
#include "platform/files/safefilewriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

// The same bound for one card as for a contact that grows by merging.
static_assert(ImportContactsToLocalThread::kMaxEntitiesPerContact == LocalDb::kMaxEntitiesPerContact);

namespace {

// A file's records in file order, decoded on as many threads as its reader
// can be split into (one when it cannot): with the merge on a thread of its
// own, reading the cards is most of a large import's time.
class RecordsInOrder {
public:
    static constexpr int kLanes = 2;
    // Records one lane decodes in turn; the lanes take turns batch by batch.
    static constexpr int kBatch = 32;

    explicit RecordsInOrder(AbsImport& reader)
        : m_reader(reader)
    {
        for (int i = 0; reader.expectedTotal() > kBatch && i < kLanes; ++i) {
            std::unique_ptr<AbsImport> lane = reader.lane(i, kLanes, kBatch);
            if (!lane) {
                m_lanes.clear();
                break;
            }
            m_lanes.push_back(std::move(lane));
        }
        if (m_lanes.empty()) {
            // The reader becomes its read-ahead's; only a count that is
            // already known may be asked of it meanwhile.
            reader.total();
            m_aheads.push_back(std::make_unique<ContactReadAhead>(reader));
        }
        for (const auto& lane : m_lanes)
            m_aheads.push_back(std::make_unique<ContactReadAhead>(*lane));
    }

    // The next record of the file; false once all were taken. Rethrows what
    // a reader threw, once every record before it was taken.
    bool next(pim::_Contact& contact)
    {
        if (m_taken == kBatch) {
            m_taken = 0;
            m_at = (m_at + 1) % m_aheads.size();
        }
        if (!m_aheads[m_at]->next(contact))
            return false;
        ++m_taken;
        return true;
    }

    // A cancel or failure does not wait for the rest of the file to be
    // counted.
    ~RecordsInOrder()
    {
        if (!m_finished)
            m_reader.abandon();
    }
    RecordsInOrder(const RecordsInOrder&) = delete;
    RecordsInOrder& operator=(const RecordsInOrder&) = delete;

    // Waits for the reading threads; the reader then holds what its lanes
    // left out or changed, as if it had read every record itself.
    void finish()
    {
        for (const auto& ahead : m_aheads)
            ahead->finish();
        m_finished = true;
        if (m_lanes.empty())
            return;
        QList<const AbsImport*> lanes;
        for (const auto& lane : m_lanes)
            lanes.append(lane.get());
        m_reader.gatherLanes(lanes);
    }

private:
    AbsImport& m_reader;
    // Declared before the read-aheads that use them, so destroyed after.
    std::vector<std::unique_ptr<AbsImport>> m_lanes;
    std::vector<std::unique_ptr<ContactReadAhead>> m_aheads;
    size_t m_at = 0;
    int m_taken = 0;
    bool m_finished = false;
};

// Keeps the first kMaxEntitiesPerContact entities of the contact, in type
// order, and returns how many were dropped.
int capEntities(pim::_Contact& contact)
{
    int kept = 0;
    int dropped = 0;
    for (auto it = contact.entities.begin(); it != contact.entities.end(); ++it) {
        QList<pim::Entity>& list = it.value();
        const int room = ImportContactsToLocalThread::kMaxEntitiesPerContact - kept;
        if (list.size() > room) {
            dropped += int(list.size()) - room;
            list.resize(room);
        }
        kept += int(list.size());
    }
    return dropped;
}

// The photos each merge put another in the place of, by the name of the
// contact: once the file is read, those the contact does not hold again
// were left out.
struct PhotosPut {
    struct OfContact {
        QSet<QString> replaced;
        QString kept;
    };
    QHash<QString, OfContact> byName;
    QStringList names;

    void add(const pim::_Contact& contact, const QString& replaced)
    {
        auto it = byName.find(contact.fullName);
        if (it == byName.end()) {
            it = byName.insert(contact.fullName, {});
            names.append(contact.fullName);
        }
        it->replaced.insert(replaced);
        it->kept = contact.entities.value(pim::ENTITY_PHOTO).value(0).photoHash();
    }
};

// The contacts that cards of their name merged into by the name alone
// (LocalDb::lastMergeByNameAlone()), in the order first met, each with
// how many.
struct NamesMerged {
    QHash<QString, int> byName;
    QStringList names;

    void add(const QString& name)
    {
        int& count = byName[name];
        if (count++ == 0)
            names.append(name);
    }
};

} // namespace

ImportContactsToLocalThread::ImportContactsToLocalThread(QString path, TYPE type, LocalDb* db,
                                                         IWorkerReporter* reporter, QObject* parent)
    : QThread(parent)
    , m_path(std::move(path))
    , m_type(type)
    , m_db(db)
    , m_reporter(reporter)
{
}

void ImportContactsToLocalThread::run()
{
    // Nothing may leave a worker thread: whatever goes wrong is rolled back
    // and reported, so the modal dialog always gets its ending.
    try {
        importAll();
    } catch (const WorkerCancelled&) {
        rollBack();
    } catch (const MergeCancelled&) {
        rollBack();
    } catch (const std::exception& e) {
        rollBack();
        m_reporter->invokeErrorOccurred(g_messageText(QString::fromUtf8(e.what())));
    } catch (...) {
        rollBack();
        m_reporter->invokeErrorOccurred(tr("The import stopped on an unexpected error."));
    }
}

void ImportContactsToLocalThread::rollBack()
{
    if (!m_editing)
        return;
    m_editing = false;
    try {
        m_db->endEdit(false);
    } catch (const std::exception& e) {
        qCWarning(lcVCard) << "rollback of the import failed:" << e.what();
    } catch (...) {
        qCWarning(lcVCard) << "rollback of the import failed";
    }
}

void ImportContactsToLocalThread::importAll()
{
    m_skippedLines = 0;
    m_skippedContacts = 0;
    m_stored = 0;

    // A FIFO would block open() for good and a device never ends.
    const QString refused = notARegularFileReason(m_path);
    if (!refused.isEmpty())
        throw Error(refused);

    // What the file holds decides how it is read, not the name it has or
    // the type picked in the file dialog.
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(tr("%1 could not be read: %2").arg(QDir::toNativeSeparators(m_path), file.errorString()));
    const QByteArray head = file.read(kTypeProbeBytes);
    const bool wholeFile = head.size() == file.size();
    file.close();
    const bool namedAsCards = QFileInfo(m_path).suffix().compare(QLatin1String("vcf"), Qt::CaseInsensitive) == 0;
    const std::optional<TYPE> type = typeOfContent(head, namedAsCards);
    if (!type)
        throw Error(tr("%1: This file is not a vCard or CSV file.").arg(QDir::toNativeSeparators(m_path)));
    m_type = *type;
    // A calendar and no card in it: the card reader would take the BEGIN
    // of the calendar and of each event for a card's.
    if (m_type == TYPE_VCARD && wholeFile && beginsOnlyOtherObjects(head))
        throw Error(outcome(0, 0, 0, false, ImportProblems(), TYPE_VCARD).text);

    std::unique_ptr<AbsImport> reader;
    switch (m_type) {
    case TYPE_VCARD:
        reader = std::make_unique<VCardImport>();
        break;
    case TYPE_CSV:
        reader = std::make_unique<CSVImport>();
        break;
    }
    const QFileInfo before(m_path);
    const qint64 sizeBefore = before.size();
    const QDateTime modifiedBefore = before.lastModified();

    reader->initialize(m_path);
    // The cancel is also asked inside a contact: one may hold thousands of
    // entries. The database outlives this run, the check must not.
    struct CancelCheck {
        LocalDb* db;
        ~CancelCheck() { db->setCancelCheck({}); }
    } const cancelCheck { m_db };
    m_db->setCancelCheck([reporter = m_reporter] { return reporter->isCancelled(); });
    // All or nothing: any failure below rolls the whole edit back.
    m_db->beginImport(reader->expectedTotal());
    m_editing = true;

    int position = 1;
    int added = 0;
    int merged = 0;
    ImportProblems capped;
    PhotosPut photos;
    NamesMerged byName;
    // A large file is still being counted while its first records are
    // merged; the progress starts once the count is known.
    std::optional<ContactProgress> progress;
    RecordsInOrder records(*reader);
    pim::_Contact contact;
    while (records.next(contact)) {
        if (m_reporter->isCancelled())
            throw WorkerCancelled();
        if (!progress && reader->totalKnown())
            progress.emplace(m_reporter, tr("IDS_IMPORTING_CONTACTS_TO_DB"), reader->total());
        if (progress)
            progress->step(position);
        // A contact without a name is not stored: nothing of it was kept.
        if (!contact.fullName.isEmpty()) {
            if (const int dropped = capEntities(contact); dropped > 0)
                capped.add(LocalDb::leftOutEntriesText(contact.fullName, dropped));
            if (const QSharedPointer<AbsContactCombineRule> rule = m_db->rule())
                noteOneKept(contact, *rule, capped);
            bool existed = false;
            m_db->mergeContact(contact, existed);
            if (const qsizetype full = m_db->lastMergeLeftOut(); full > 0)
                capped.add(tr("%1: the contact already holds %2 entries, the most one contact can hold; %3 more "
                              "were left out.")
                               .arg(contact.fullName)
                               .arg(kMaxEntitiesPerContact)
                               .arg(full));
            if (const QString& replaced = m_db->lastMergeReplacedPhoto(); !replaced.isEmpty())
                photos.add(contact, replaced);
            if (m_db->lastMergeByNameAlone())
                byName.add(contact.fullName);
            if (existed)
                ++merged;
            else
                ++added;
        } else {
            ++m_skippedContacts;
        }
        ++position;
    }
    records.finish();
    reader->uninitialize();
    for (const QString& name : std::as_const(photos.names)) {
        const PhotosPut::OfContact& put = photos.byName.value(name);
        const qsizetype n = put.replaced.size() - (put.replaced.contains(put.kept) ? 1 : 0);
        if (n == 0)
            continue;
        const QString text = n == 1 ? tr("%1: a contact keeps one photo, so it keeps the one read last; %2 other "
                                         "photo was left out.")
                                    : tr("%1: a contact keeps one photo, so it keeps the one read last; %2 other "
                                         "photos were left out.");
        capped.add(text.arg(name, QString::number(n)));
    }
    for (const QString& name : std::as_const(byName.names)) {
        const int n = byName.byName.value(name);
        capped.add(n == 1
                ? tr("%1: a contact was merged with the contact of the same name; they share no phone "
                     "number or e-mail address.")
                      .arg(name)
                : tr("%1: %2 contacts were merged with the contact of the same name; they share no "
                     "phone number or e-mail address.")
                      .arg(name, QString::number(n)));
    }
    // What was read may mix the old file and the new one: keep none of it.
    const QFileInfo after(m_path);
    if (after.size() != sizeBefore || after.lastModified() != modifiedBefore)
        throw Error(tr("%1 was changed while it was imported, so nothing was imported. "
                       "Import it again once it is complete.")
                        .arg(QDir::toNativeSeparators(m_path)));
    m_skippedLines = reader->skippedCount();
    m_editing = false;
    m_db->endEdit(true);

    if (m_skippedLines > 0 || m_skippedContacts > 0)
        qCInfo(lcVCard) << m_path << "skipped" << m_skippedLines.load() << "lines and"
                        << m_skippedContacts.load() << "contacts without a name";
    ImportProblems problems = reader->problems();
    for (const QString& text : capped.listed())
        problems.add(text);
    problems.addUnlisted(capped.count() - int(capped.listed().size()));
    const Outcome result = outcome(added, merged, reader->total(), sizeBefore == 0, problems, m_type);
    m_stored = added + merged;
    if (result.isError)
        m_reporter->invokeErrorOccurred(g_messageText(result.text));
    else
        m_reporter->invokeSucceed(g_messageText(result.text));
}

ImportContactsToLocalThread::Outcome ImportContactsToLocalThread::outcome(int added, int merged, int records,
                                                                          bool fileEmpty,
                                                                          const ImportProblems& problems,
                                                                          TYPE format)
{
    constexpr int kShown = 10;
    Outcome result;
    if (added + merged == 0) {
        // Nothing stored is never a success, an empty file included.
        result.isError = true;
        if (fileEmpty)
            result.text = tr("This file is empty: there are no contacts in it.");
        else if (records > 0)
            result.text = tr("No contact could be imported from this file.");
        else if (format == TYPE_VCARD)
            result.text = tr("No contact card was found in this file.");
        else
            result.text = tr("No contact was found in this file.");
    } else {
        result.text = merged == 0 ? tr("IDS_SUC_IMPORT_%1_CONTACTS_TO_DB").arg(added)
                                  : tr("IDS_SUC_IMPORT_%1_CONTACTS_TO_DB_%2_MERGED").arg(added).arg(merged);
    }
    if (problems.count() == 0 && problems.leftOutCount() == 0 && problems.noticeCount() == 0)
        return result;
    // Losses first and each on its own line; what no field here holds and
    // the harmless notices after them, one line each however many there are.
    result.text += QLatin1Char('\n') + tr("Left out or changed:");
    const QStringList& listed = problems.listed();
    for (int i = 0; i < kShown && i < listed.size(); ++i)
        result.text += QLatin1Char('\n') + listed.at(i);
    if (problems.count() > kShown)
        result.text += QLatin1Char('\n') + tr("and %1 more.").arg(problems.count() - kShown);
    if (problems.leftOutCount() > 0)
        result.text += QLatin1Char('\n') + leftOutText(problems);
    if (problems.noticeCount() > 0)
        result.text += QLatin1Char('\n') + noticesText(problems);
    return result;
}

void ImportContactsToLocalThread::noteOneKept(const pim::_Contact& contact, AbsContactCombineRule& rule,
                                              ImportProblems& problems)
{
    for (const int type : { pim::ENTITY_GROUP, pim::ENTITY_NICKNAME }) {
        const QList<pim::Entity> values = contact.entities.value(type);
        if (values.isEmpty())
            continue;
        bool single = false;
        rule.validFields(type, single);
        // Groups the reader did not read, beyond those it keeps of one record.
        const int notRead = values.constLast().fields.value(groupsNotReadKey()).toInt();
        if (!single) {
            if (notRead > 0)
                problems.add((notRead == 1 ? tr("%1: the first %2 groups the file names were read; %3 other group "
                                                "was left out.")
                                           : tr("%1: the first %2 groups the file names were read; %3 other groups "
                                                "were left out."))
                                 .arg(contact.fullName, QString::number(values.size()), QString::number(notRead)));
            continue;
        }
        // The value as the merge compares it: a group by its name.
        const QString key = type == pim::ENTITY_GROUP ? QStringLiteral("data2") : QStringLiteral("data1");
        const QString kept = pim::fieldText(values.constLast().fields.value(key)).trimmed();
        QSet<QString> others;
        for (const pim::Entity& value : values) {
            const QString named = pim::fieldText(value.fields.value(key)).trimmed();
            if (named != kept)
                others.insert(named);
        }
        const qsizetype n = others.size() + notRead;
        if (n == 0)
            continue;
        const QString text = type == pim::ENTITY_GROUP
            ? (n == 1 ? tr("%1: a contact is in one group, so it was put in \"%2\"; %3 other group the file names "
                           "was left out.")
                      : tr("%1: a contact is in one group, so it was put in \"%2\"; %3 other groups the file names "
                           "were left out."))
            : (n == 1 ? tr("%1: a contact keeps one nickname, so it keeps \"%2\"; %3 other nickname the file names "
                           "was left out.")
                      : tr("%1: a contact keeps one nickname, so it keeps \"%2\"; %3 other nicknames the file names "
                           "were left out."));
        problems.add(text.arg(contact.fullName, kept, QString::number(n)));
    }

    // Organisations without the keys a match needs (a title without a
    // company) match one another: merged, each later title takes the place
    // of the one before, and the contact keeps the last.
    bool single = false;
    rule.validFields(pim::ENTITY_ORG, single);
    if (single)
        return;
    const QStringList matchKeys = rule.checkEqualFieldsMin(pim::ENTITY_ORG);
    QStringList titles;
    for (const pim::Entity& org : contact.entities.value(pim::ENTITY_ORG)) {
        const bool keyless = std::all_of(matchKeys.cbegin(), matchKeys.cend(), [&org](const QString& key) {
            return pim::isBlankText(pim::fieldText(org.fields.value(key)));
        });
        const QString title = pim::fieldText(org.fields.value(QStringLiteral("data4"))).trimmed();
        if (keyless && !title.isEmpty())
            titles.append(title);
    }
    if (titles.size() < 2)
        return;
    QSet<QString> others(titles.cbegin(), titles.cend());
    others.remove(titles.constLast());
    const qsizetype n = others.size();
    if (n == 0)
        return;
    problems.add((n == 1 ? tr("%1: a contact keeps one title without a company, so it keeps \"%2\"; %3 other title "
                              "the file names was left out.")
                         : tr("%1: a contact keeps one title without a company, so it keeps \"%2\"; %3 other titles "
                              "the file names were left out."))
                     .arg(contact.fullName, titles.constLast(), QString::number(n)));
}

QString ImportContactsToLocalThread::leftOutText(const ImportProblems& problems)
{
    constexpr int kNamed = 10;
    const QList<ImportProblems::Tally> kinds = problems.leftOutKinds();
    QStringList named;
    int rest = problems.leftOutCount();
    for (const ImportProblems::Tally& kind : kinds.mid(0, kNamed)) {
        named.append(QStringLiteral("%1 (%2)").arg(kind.text, QString::number(kind.count)));
        rest -= kind.count;
    }
    if (rest > 0)
        named.append(tr("other kinds (%1)").arg(rest));
    const QString list = named.join(QLatin1String(", "));
    return problems.leftOutCount() == 1
        ? tr("1 value of a kind this program does not keep was left out: %1.").arg(list)
        : tr("%1 values of kinds this program does not keep were left out: %2.").arg(problems.leftOutCount()).arg(list);
}

QString ImportContactsToLocalThread::noticesText(const ImportProblems& problems)
{
    QStringList kinds;
    for (const ImportProblems::Tally& notice : problems.notices()) {
        const QString places = ImportProblems::places(notice.lines, notice.count);
        kinds.append(notice.count == 1 ? tr("%1 (line %2)").arg(notice.text, places)
                                       : tr("%1 (lines %2)").arg(notice.text, places));
    }
    const QString list = kinds.join(QLatin1String("; "));
    return problems.noticeCount() == 1 ? tr("1 harmless notice: %1.").arg(list)
                                       : tr("%1 harmless notices: %2.").arg(problems.noticeCount()).arg(list);
}
