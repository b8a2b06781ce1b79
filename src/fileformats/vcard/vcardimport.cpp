// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/vcardimport.h"

#include "fileformats/fileformatslog.h"
#include "fileformats/legacytext.h"
#include "fileformats/vcard/syntax/vcardparser.h"
#include "fileformats/vcard/vcardimport_p.h"
#include "platform/error.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

namespace {

constexpr qint64 kReadChunk = 1024 * 1024;
// A UTF-16 file is transcoded in memory; beyond this it is refused rather
// than exhausting memory.
constexpr qint64 kMaxUtf16File = qint64(512) * 1024 * 1024;
// What legacytext::utf16Start() looks at to tell UTF-16 without a mark.
constexpr qint64 kUtf16Probe = 1024;

QString tr(const char* text)
{
    return QCoreApplication::translate("VCardImport", text);
}

QString atLine(qint64 line, const QString& text)
{
    return tr("Line %1: %2").arg(line).arg(text);
}

} // namespace

namespace vcardread {

// Feeds bytes [begin, end) of the device to the parser in chunks, telling
// `fed` how far it got after each; it stops early when `fed` says false.
void feedRange(QIODevice& device, qint64 begin, qint64 end, VCardStreamParser& parser, QByteArray& buffer,
               const std::function<bool(qint64)>& fed)
{
    if (!device.seek(begin))
        throw Error(device.errorString());
    const qint64 wanted = qMin(kReadChunk, qMax<qint64>(end - begin, 1));
    if (buffer.size() < wanted)
        buffer.resize(wanted);
    qint64 at = begin;
    while (at < end) {
        const qint64 want = qMin<qint64>(buffer.size(), end - at);
        const qint64 got = device.read(buffer.data(), want);
        if (got < 0)
            throw Error(device.errorString());
        if (got == 0)
            break; // the file became shorter: what is there is read
        parser.feed(buffer.constData(), got);
        at += got;
        if (fed && !fed(at))
            break;
    }
    parser.finish();
}

} // namespace vcardread

using vcardread::feedRange;

namespace {

// The order of a problem among all of a file's: the problems of a card
// come after the shape problems up to its first line, as one reader that
// reads the cards in turn meets them.
qint64 shapeOrder(qint64 line)
{
    return line * 2;
}
qint64 cardOrder(qint64 cardLine)
{
    return cardLine * 2 + 1;
}

} // namespace

// The scan of one file, shared by the reader that started it and its lanes.
struct VCardImport::Scan {
    std::mutex mutex;
    std::condition_variable changed;
    // The cards found so far whose ranges are whole, in file order.
    QList<VCardStreamParser::CardRange> ranges;
    // Where the scan ends (the file's size when it started) and how far it is.
    qint64 end = 0;
    qint64 origin = 0;
    qint64 scanned = 0;
    // Set together with the last ranges; nothing changes after it.
    bool done = false;
    bool stop = false;
    std::exception_ptr failure;
    QList<VCardStreamParser::Problem> shape;
    int shapeCount = 0;
    QList<qint64> joinedLines;
    int joinedCount = 0;
    // The scan's file handle, the reader's own once the scan is done.
    std::unique_ptr<QIODevice> source;
    std::thread thread;

    void stopAndJoin()
    {
        {
            const std::lock_guard lock(mutex);
            stop = true;
            changed.notify_all();
        }
        if (thread.joinable())
            thread.join();
    }
};


VCardImport::VCardImport()
{
    m_cardParser.setFileFolds([this] { return fileFolds(); });
    m_mapper.setFileCharset([this] { return fileCharset(); });
    m_mapper.setFileWesternSet([this] { return westernSet(); });
}

VCardImport::~VCardImport()
{
    if (m_scan && !m_isLane)
        m_scan->stopAndJoin();
}

void VCardImport::runScan(Scan& scan)
{
    const qint64 origin = scan.origin;
    try {
        VCardStreamParser scanner(VCardStreamParser::RangesOnly);
        scanner.setOrigin(origin, 1);
        QByteArray buffer;
        qsizetype published = 0;
        // Hands the ranges found whole so far to the lanes.
        feedRange(*scan.source, origin, scan.end, scanner, buffer, [&](qint64 at) {
            const std::lock_guard lock(scan.mutex);
            for (; published < scanner.closedRanges(); ++published)
                scan.ranges.append(scanner.ranges().at(published));
            scan.scanned = at - origin;
            scan.changed.notify_all();
            return !scan.stop;
        });
        const std::lock_guard lock(scan.mutex);
        for (; published < scanner.ranges().size(); ++published)
            scan.ranges.append(scanner.ranges().at(published));
        scan.shape = scanner.problems();
        scan.shapeCount = scanner.problemCount();
        scan.joinedLines = scanner.joinedCardLines();
        scan.joinedCount = scanner.joinedCardCount();
        scan.done = true;
        scan.changed.notify_all();
    } catch (...) {
        const std::lock_guard lock(scan.mutex);
        scan.failure = std::current_exception();
        scan.done = true;
        scan.changed.notify_all();
    }
}

std::unique_ptr<QIODevice> VCardImport::openUnbuffered(const QString& path)
{
    auto file = std::make_unique<QFile>(path);
    // Unbuffered: every card is read by a seek and one read of its own
    // bytes; a device buffer would refill 16 KiB per card.
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw Error(file->errorString());
    return file;
}

void VCardImport::initialize(QString path)
{
    std::unique_ptr<QIODevice> file = openUnbuffered(path);
    const QByteArray head = file->read(kUtf16Probe);
    if (!file->seek(0))
        throw Error(file->errorString());
    std::shared_ptr<Scan> scan = std::make_shared<Scan>();
    std::exception_ptr failure;
    if (const auto utf16 = legacytext::utf16Start(head)) {
        if (file->size() > kMaxUtf16File)
            throw Error(QCoreApplication::translate("VCardImport", "The file is too large to read as UTF-16."));
        const QByteArray all = file->readAll();
        if (all.size() != file->size())
            throw Error(file->errorString());
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(legacytext::utf16ToUtf8(all, *utf16));
        buffer->open(QIODevice::ReadOnly);
        // In memory the scan takes no time worth overlapping.
        scan->source = std::move(buffer);
        scan->end = scan->source->size();
        runScan(*scan);
        failure = scan->failure;
    } else {
        scan->origin = QVCardParser::utf8BomLength(head);
        scan->end = file->size();
        scan->source = std::move(file);
        scan->thread = std::thread([scan] { runScan(*scan); });
        // A failure to read the file at all is this call's; a small file is
        // counted before it returns.
        std::unique_lock lock(scan->mutex);
        scan->changed.wait(lock, [&] { return scan->done || scan->scanned >= kReadChunk; });
        failure = scan->failure;
    }
    const bool transcoded = !scan->thread.joinable();
    if (failure) {
        scan->stopAndJoin();
        std::rethrow_exception(failure);
    }

    if (m_scan)
        m_scan->stopAndJoin();
    m_transcoded = transcoded;
    m_scan = std::move(scan);
    m_source.reset();
    m_path = path;
    m_window.clear();
    m_windowStart = -1;
    m_ranges.clear();
    m_cursor = 0;
    m_skipped = 0;
    m_skippedLines.clear();
    m_problems.clear();
    m_shape.clear();
    m_shapeCount = 0;
    m_shapeCursor = 0;
    m_joinedLines.clear();
    m_joinedCount = 0;
    m_origin = m_scan->origin;
    m_fileCharset.clear();
    m_fileCharsetLooked = false;
    m_guessed.clear();
    m_guessedReported = false;
    m_survey = std::make_shared<Survey>();
    m_foldSurvey = std::make_shared<FoldSurvey>();
    m_cutCardNext = 0;
    m_droppedFolds.clear();
    m_strayEquals.clear();
    m_softBreaksBeforeProperties.clear();
    m_controlCharacters.clear();
    m_twiceEncoded.clear();
    m_namedLinesReported = false;
    if (totalKnown())
        settle();
}

void VCardImport::settle()
{
    if (!m_scan)
        return;
    Scan& scan = *m_scan;
    {
        std::unique_lock lock(scan.mutex);
        scan.changed.wait(lock, [&] { return scan.done; });
    }
    if (scan.thread.joinable())
        scan.thread.join();
    if (scan.failure)
        std::rethrow_exception(scan.failure);
    // Nothing changes after done: the lanes may go on reading it.
    m_ranges = scan.ranges;
    m_shape = scan.shape;
    m_shapeCount = scan.shapeCount;
    m_joinedLines = scan.joinedLines;
    m_joinedCount = scan.joinedCount;
    m_source = std::move(scan.source);
    m_scan.reset();
    if (m_ranges.isEmpty())
        reportShapeUpTo(std::numeric_limits<qint64>::max());
    qCDebug(lcVCard) << m_path << "holds" << m_ranges.size() << "cards";
}

bool VCardImport::takeScanned()
{
    Scan& scan = *m_scan;
    std::unique_lock lock(scan.mutex);
    scan.changed.wait(lock, [&] { return scan.stop || scan.done || scan.ranges.size() > m_laneNext; });
    if (scan.stop)
        return false;
    const qsizetype before = m_ranges.size();
    takeLaneCards(scan.ranges);
    if (m_ranges.size() > before)
        return true;
    if (scan.failure)
        std::rethrow_exception(scan.failure);
    return false;
}

void VCardImport::takeLaneCards(const QList<VCardStreamParser::CardRange>& ranges)
{
    const qsizetype othersBatches = qsizetype(m_laneCount - 1) * m_laneBatch;
    while (m_laneNext < ranges.size()) {
        m_ranges.append(ranges.at(m_laneNext));
        if (++m_laneNext % m_laneBatch == 0)
            m_laneNext += othersBatches;
    }
}

int VCardImport::total()
{
    settle();
    return int(m_ranges.size());
}

bool VCardImport::totalKnown()
{
    if (!m_scan)
        return true;
    const std::lock_guard lock(m_scan->mutex);
    return m_scan->done;
}

int VCardImport::expectedTotal()
{
    if (!m_scan)
        return int(m_ranges.size());
    const std::lock_guard lock(m_scan->mutex);
    const qint64 found = m_scan->ranges.size();
    if (m_scan->done || m_scan->scanned <= 0)
        return int(found);
    return int(qMin<qint64>(std::numeric_limits<int>::max(),
                            found * (m_scan->end - m_scan->origin) / m_scan->scanned));
}

void VCardImport::abandon()
{
    if (m_foldSurvey)
        m_foldSurvey->stop = true;
    if (!m_scan)
        return;
    const std::lock_guard lock(m_scan->mutex);
    m_scan->stop = true;
    m_scan->changed.notify_all();
}

bool VCardImport::hasNext()
{
    if (m_cursor < m_ranges.size())
        return true;
    if (m_isLane)
        return m_scan && takeScanned();
    settle();
    if (m_cursor < m_ranges.size())
        return true;
    reportNamedLines();
    reportGuessed();
    return false;
}

pim::_Contact VCardImport::nextContact()
{
    Q_ASSERT(hasNext());
    const VCardStreamParser::CardRange range = m_ranges.at(m_cursor++);
    m_cardParser.reset();
    m_cardParser.setOrigin(range.begin, range.line);
    m_cardParser.setLineEnds(range.lineEnds);
    m_cardParser.setReadAsCut(surveyedAsCut(range));
    feedCard(range);
    const QList<QList<VCardProperty>> cards = m_cardParser.takeCards();
    vcardrules::Notes notes;
    pim::_Contact contact = cards.isEmpty() ? pim::_Contact() : m_mapper.toContact(cards.first(), &notes);
    // A line whose name is damaged could not be read either.
    QList<qint64> unread = m_cardParser.skippedLineNumbers();
    if (!notes.unreadLines.isEmpty()) {
        unread += notes.unreadLines;
        std::sort(unread.begin(), unread.end());
        unread.resize(qMin<qsizetype>(unread.size(), 1000));
    }
    const int unreadCount = m_cardParser.skippedLines() + int(notes.unreadLines.size());
    m_skipped += unreadCount;
    for (const qint64 line : std::as_const(unread)) {
        if (m_skippedLines.size() >= 1000)
            break;
        m_skippedLines.append(line);
    }
    QList<std::pair<qint64, QString>> found;
    for (const qint64 line : std::as_const(unread))
        found.append({ line, tr("the line could not be read and was left out.") });
    for (const VCardStreamParser::Problem& problem : m_cardParser.problems()) {
        if (problem.kind == VCardStreamParser::Problem::DanglingSoftBreak)
            m_problems.addNotice(tr("an \"=\" that ends a value had nothing to join and was dropped"), problem.line);
        else if (problem.kind == VCardStreamParser::Problem::TooManyParameters)
            found.append({ problem.line, tr("the line has more than %1 parameters; the value was read, "
                                            "the parameters after the first %1 were left out.")
                                             .arg(VCardStreamParser::kMaxParameters) });
        else if (problem.kind == VCardStreamParser::Problem::ReadStopped)
            found.append({ problem.line, tr("the reader could not go on from this line; the rest of the card was "
                                            "left out. Export the file again, or check the line for damage.") });
        else if (problem.kind == VCardStreamParser::Problem::FoldsDropped)
            m_droppedFolds.add(problem.line);
        else if (problem.kind == VCardStreamParser::Problem::StrayEquals)
            m_strayEquals.add(problem.line);
        else if (problem.kind == VCardStreamParser::Problem::SoftBreakBeforeProperty)
            m_softBreaksBeforeProperties.add(problem.line);
    }
    if (!cards.isEmpty()) {
        found.append(notes.items);
        for (const qint64 line : std::as_const(notes.strayEqualsLines))
            m_strayEquals.add(line);
        for (const qint64 line : std::as_const(notes.controlLines))
            m_controlCharacters.add(line);
        for (const qint64 line : std::as_const(notes.twiceEncodedLines))
            m_twiceEncoded.add(line);
        for (const auto& [line, name] : notes.leftOut)
            m_problems.addLeftOutKind(name, line);
        for (const VCardCardText::GuessedLine& guessed : std::as_const(notes.guessedLines))
            addGuessed({ guessed.source, guessed.borrowed, guessed.declared, { guessed.line }, 1 });
    }
    if (contact.fullName.isEmpty())
        found.append({ range.line, tr("the card has no name, company, phone number or e-mail address and was left out.") });
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    reportShapeUpTo(range.line + 1);
    for (const auto& [line, text] : found)
        m_problems.add(atLine(line, text), cardOrder(range.line));
    m_problems.addUnlisted(unreadCount - int(unread.size()));
    if (!m_isLane)
        reportShapeUpTo(m_cursor < m_ranges.size() ? m_ranges.at(m_cursor).line : std::numeric_limits<qint64>::max());
    return contact;
}

void VCardImport::reportShapeUpTo(qint64 line)
{
    using Problem = VCardStreamParser::Problem;
    if (line == std::numeric_limits<qint64>::max())
        m_problems.addUnlisted(m_shapeCount - int(m_shape.size()));
    for (; m_shapeCursor < m_shape.size() && m_shape.at(m_shapeCursor).line < line; ++m_shapeCursor) {
        const Problem& problem = m_shape.at(m_shapeCursor);
        switch (problem.kind) {
        case Problem::OutsideCard:
            m_problems.add(problem.lastLine > problem.line
                               ? tr("Lines %1-%2: the lines stand outside any card and were left out.")
                                     .arg(problem.line)
                                     .arg(problem.lastLine)
                               : atLine(problem.line, tr("the line stands outside any card and was left out.")),
                           shapeOrder(problem.line));
            break;
        case Problem::NestedBegin:
            m_problems.add(atLine(problem.line, tr("a card begins inside the card of line %1, which has no END; "
                                                   "each was read as a card of its own.")
                                                    .arg(problem.cardLine)),
                           shapeOrder(problem.line));
            break;
        case Problem::MissingEnd:
            m_problems.add(atLine(problem.line, tr("the card has no END line; it was read to the end of the file.")),
                           shapeOrder(problem.line));
            break;
        case Problem::ReadStopped:
            m_problems.add(atLine(problem.line, tr("the reader could not go on from this line; the rest of the file "
                                                   "was left out. Export the file again, or check the line for "
                                                   "damage.")),
                           shapeOrder(problem.line));
            break;
        case Problem::MailingList:
            m_problems.add(atLine(problem.line, tr("a mailing list is no contact; it was left out.")),
                           shapeOrder(problem.line));
            break;
        case Problem::DanglingSoftBreak:
        case Problem::TooManyParameters:
        case Problem::FoldsDropped:
        case Problem::StrayEquals:
        case Problem::SoftBreakBeforeProperty:
            break;
        }
    }
}

void VCardImport::feedCard(const VCardStreamParser::CardRange& range)
{
    const qint64 length = range.end - range.begin;
    if (length > kReadChunk) {
        feedRange(*m_source, range.begin, range.end, m_cardParser, m_buffer);
        return;
    }
    const bool inWindow = m_windowStart >= 0 && range.begin >= m_windowStart
        && range.end <= m_windowStart + m_window.size();
    if (!inWindow) {
        if (!m_source->seek(range.begin))
            throw Error(m_source->errorString());
        m_window.resize(kReadChunk);
        const qint64 got = m_source->read(m_window.data(), kReadChunk);
        if (got < 0)
            throw Error(m_source->errorString());
        m_window.resize(got);
        m_windowStart = range.begin;
    }
    const qint64 offset = range.begin - m_windowStart;
    const qint64 available = qMin<qint64>(length, m_window.size() - offset);
    if (available > 0)
        m_cardParser.feed(m_window.constData() + offset, available);
    m_cardParser.finish();
}

std::unique_ptr<AbsImport> VCardImport::lane(int index, int lanes, int batch)
{
    if (m_transcoded || m_path.isEmpty() || m_isLane || m_cursor != 0 || index < 0 || lanes < 1 || index >= lanes
        || batch < 1)
        return nullptr;
    auto lane = std::make_unique<VCardImport>();
    lane->m_source = openUnbuffered(m_path);
    lane->m_path = m_path;
    lane->m_isLane = true;
    lane->m_laneCount = lanes;
    lane->m_laneBatch = batch;
    lane->m_laneNext = qsizetype(index) * batch;
    // While the file is still scanned, the lane takes its cards as they are
    // found. The file's shape is this reader's to report, once, in
    // gatherLanes().
    lane->m_scan = m_scan;
    lane->m_survey = m_survey;
    lane->m_foldSurvey = m_foldSurvey;
    lane->m_origin = m_origin;
    if (!m_scan)
        lane->takeLaneCards(m_ranges);
    return lane;
}

void VCardImport::gatherLanes(const QList<const AbsImport*>& lanes)
{
    settle();
    m_cursor = m_ranges.size();
    reportShapeUpTo(std::numeric_limits<qint64>::max());
    QList<const ImportProblems*> parts { &m_problems };
    QList<qint64> skippedLines;
    for (const AbsImport* reader : lanes) {
        const auto* lane = static_cast<const VCardImport*>(reader);
        m_skipped += lane->m_skipped;
        skippedLines += lane->m_skippedLines;
        parts.append(&lane->m_problems);
        for (const GuessedLines& guessed : lane->m_guessed)
            addGuessed(guessed);
        m_droppedFolds.add(lane->m_droppedFolds);
        m_strayEquals.add(lane->m_strayEquals);
        m_softBreaksBeforeProperties.add(lane->m_softBreaksBeforeProperties);
        m_controlCharacters.add(lane->m_controlCharacters);
        m_twiceEncoded.add(lane->m_twiceEncoded);
    }
    std::sort(skippedLines.begin(), skippedLines.end());
    m_skippedLines = skippedLines.mid(0, 1000);
    m_problems = ImportProblems::merged(parts);
    reportNamedLines();
    reportGuessed();
}

void VCardImport::uninitialize()
{
}
