// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/importcontactstolocalthread.h"

#include "fileformats/csv/csvhelper.h"
#include "fileformats/csv/csvimport.h"
#include "fileformats/csv/csvtableshape.h"
#include "fileformats/legacytext.h"

#include <algorithm>
#include <optional>

namespace {

// Whether the character is a control character that no text holds: line
// ends, tabs, vertical tabs and form feeds aside.
bool isBinaryControl(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\v' && u != u'\f' && u != u'\r') || u == 0x7F;
}

// Whether the bytes are no text: text files hold no control characters
// beyond line ends, tabs and the rare form feed, while pictures, documents
// and random bytes hold them everywhere. A few stray ones (a CSV cell with
// a NUL a program left in it) do not make a text file binary.
bool looksBinary(QStringView text)
{
    constexpr qsizetype kStray = 8;
    const qsizetype control = std::count_if(text.cbegin(), text.cend(), isBinaryControl);
    return control > kStray && control * 50 > text.size();
}

// Whether the character separates the cells of a table's row.
bool isCellSeparator(QChar c)
{
    return c == QLatin1Char(',') || c == QLatin1Char(';') || c == QLatin1Char('\t');
}

// Whether the line holds one of the separators a table is read with.
bool holdsCellSeparator(QStringView line)
{
    return std::any_of(line.cbegin(), line.cend(), isCellSeparator);
}

// Whether the cell of a header row names a column the table reader knows.
bool namesKnownColumn(QStringView cell)
{
    cell = cell.trimmed();
    if (cell.size() >= 2 && cell.startsWith(QLatin1Char('"')) && cell.endsWith(QLatin1Char('"')))
        cell = cell.mid(1, cell.size() - 2);
    return CSVImport::colInfo(cell.toString()).entityType != 0;
}

// Whether a first line can be the header row of a contact table: cells
// separated by one of those separators, or one cell that names a known
// column.
bool isTableHeader(QStringView line)
{
    return holdsCellSeparator(line) || namesKnownColumn(line);
}

// Whether the line, read as the table reader reads a header, has at least
// two cells that name known columns.
bool namesTwoKnownColumns(QStringView line)
{
    const QByteArray bytes = line.toUtf8();
    QStringList cells;
    qsizetype pos = 0;
    csvhelper::readRow(bytes, pos, cells, csvhelper::detectDelimiter(bytes));
    return std::count_if(cells.cbegin(), cells.cend(), [](const QString& cell) { return namesKnownColumn(cell); })
        >= 2;
}

// Whether the line reads as a table's header: the line, a stray control
// byte or two set aside (a NUL a program left at its end), names two known
// columns as the table reader reads a header. A binary line that happens
// to hold a comma or a semicolon names none.
bool readsAsTableHeader(QStringView line)
{
    QString text;
    text.reserve(line.size());
    for (const QChar c : line) {
        if (!isBinaryControl(c))
            text.append(c);
    }
    return namesTwoKnownColumns(text);
}

// Whether the text is a table whose header stands below lines of its own,
// as the table reader finds it.
bool headerBelowOwnRows(QStringView text)
{
    if (text.startsWith(QChar(0xFEFF)))
        text = text.mid(1);
    else if (text.startsWith(QLatin1String("\xEF\xBB\xBF")))
        text = text.mid(3);
    return csvshape::headerBelowOwnRows(text.toUtf8()).has_value();
}

// The head as text: every encoding a card or a table comes in writes the
// letters its format is told by as ASCII.
QString headText(const QByteArray& head)
{
    if (const auto utf16 = legacytext::utf16Start(head))
        return QString::fromUtf8(legacytext::utf16ToUtf8(head, *utf16));
    return QString::fromLatin1(head);
}

// The end of the line that starts at `start`: its LF, or its CR, which
// ends a line alone in files of older Macs; the text's size for the last.
qsizetype lineEnd(const QString& text, qsizetype start)
{
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\n') || text.at(i) == QLatin1Char('\r'))
            return i;
    }
    return text.size();
}

// Calls `visit` with each line of text that is not blank, trimmed and
// without a byte-order mark, until it returns false.
template <class Visit>
void forEachLine(const QString& text, Visit visit)
{
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = lineEnd(text, start);
        const QStringView line = QStringView(text).mid(start, end - start).trimmed();
        start = end + 1;
        // A byte-order mark may stand before the first line.
        const QStringView bare = line.startsWith(QChar(0xFEFF)) ? line.mid(1)
            : line.startsWith(QLatin1String("\xEF\xBB\xBF")) ? line.mid(3)
                                                            : line;
        if (!bare.isEmpty() && !visit(bare))
            return;
    }
}

bool isCardBegin(QStringView line)
{
    return line.compare(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive) == 0;
}

// Whether the cards of the text come after damage: a line "BEGIN:VCARD"
// (any case, blanks after it) at a line's very start, as the card reader
// takes it, that starts in the first `probed` characters, with bytes that
// no text holds before it, as a phone's backup that lost its start leaves
// them. The card reader passes over the damage and names its lines.
bool cardsAfterDamage(const QString& text, qsizetype probed)
{
    const QLatin1String begin("BEGIN:VCARD");
    qsizetype start = 0;
    while (start < probed && start < text.size()) {
        const qsizetype end = lineEnd(text, start);
        const QStringView line = QStringView(text).mid(start, end - start);
        if (line.startsWith(begin, Qt::CaseInsensitive)
            && std::all_of(line.cbegin() + begin.size(), line.cend(),
                           [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); })) {
            const QStringView before = QStringView(text).left(start);
            const QStringView firstLine = before.left(lineEnd(text, 0));
            return std::any_of(firstLine.cbegin(), firstLine.cend(), isBinaryControl)
                || looksBinary(before);
        }
        start = end + 1;
    }
    return false;
}

// A name or parameter name of a card's or calendar's line: ASCII letters,
// digits and dashes.
bool isContentWord(QStringView word)
{
    return !word.isEmpty() && std::all_of(word.cbegin(), word.cend(), [](QChar c) {
        return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('-'));
    });
}

// Whether the line has the shape of a line of a card or a calendar: a name
// (after a group and a dot), parameters after semicolons (words, with a
// value after "="; 2.1 writes bare words and an empty one stands for
// none), then a colon and the value.
bool isContentLine(QStringView line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    const QList<QStringView> parts = line.left(colon).split(QLatin1Char(';'));
    QStringView name = parts.first();
    if (const qsizetype dot = name.indexOf(QLatin1Char('.')); dot >= 0) {
        if (!isContentWord(name.left(dot)))
            return false;
        name = name.mid(dot + 1);
    }
    if (!isContentWord(name))
        return false;
    return std::all_of(parts.cbegin() + 1, parts.cend(), [](QStringView parameter) {
        const qsizetype equals = parameter.indexOf(QLatin1Char('='));
        return parameter.isEmpty() || isContentWord(equals < 0 ? parameter : parameter.left(equals));
    });
}

} // namespace

std::optional<ImportContactsToLocalThread::TYPE> ImportContactsToLocalThread::typeOfContent(const QByteArray& head,
                                                                                            bool namedAsCards)
{
    const QString text = headText(head);
    QStringView firstLine;
    qsizetype cardAt = -1;
    bool separatorsBefore = false;
    forEachLine(text, [&](QStringView line) {
        const bool first = firstLine.isEmpty();
        if (first)
            firstLine = line;
        if (isCardBegin(line)) {
            cardAt = line.data() - text.constData();
            return false;
        }
        // A table's header comes first: a card pasted into one of its
        // cells later on does not make the file a card file.
        if (holdsCellSeparator(line)) {
            if (first)
                return false;
            separatorsBefore = true;
        }
        return true;
    });
    // Lines with separators before the first card are the head of an
    // upload's body or a program's notes, unless they are a table's: its
    // header first, or below lines of its own.
    const bool card = cardAt >= 0
        && !(separatorsBefore
             && ((!namedAsCards && namesKnownColumn(firstLine)) || headerBelowOwnRows(QStringView(text).left(cardAt))));
    // The line of the first card after damage may end beyond the bytes
    // probed, as long as it starts in them. A first line that reads as a
    // table's header is no damage, whatever control bytes its cells hold.
    const qsizetype probed = headText(head.left(kDamagedCardsProbeBytes)).size();
    if (card || (cardsAfterDamage(text, probed) && !readsAsTableHeader(firstLine)))
        return TYPE_VCARD;
    if (looksBinary(text))
        return std::nullopt;
    // Nothing but blanks: the table reader says that the file is empty.
    if (firstLine.isEmpty())
        return TYPE_CSV;
    if (namedAsCards) {
        // A card's or a calendar's line holds semicolons and commas in its
        // parameters and values, and a word before them that a table could
        // name a column ("NAME;..."): in a file named as cards only a header
        // that names two known columns starts a table. Lines of another
        // shape that hold such separators are taken as a card's, whose
        // reader says what it finds of them.
        if (readsAsTableHeader(firstLine) || headerBelowOwnRows(text))
            return TYPE_CSV;
        if (isContentLine(firstLine) || holdsCellSeparator(firstLine))
            return TYPE_VCARD;
        return std::nullopt;
    }
    if (isTableHeader(firstLine) || headerBelowOwnRows(text))
        return TYPE_CSV;
    return std::nullopt;
}

bool ImportContactsToLocalThread::beginsOnlyOtherObjects(const QByteArray& head)
{
    bool card = false;
    bool other = false;
    forEachLine(headText(head), [&](QStringView line) {
        card = isCardBegin(line);
        other = other || line.startsWith(QLatin1String("BEGIN:"), Qt::CaseInsensitive);
        return !card;
    });
    return other && !card;
}
