// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvhelper.h"
#include "fileformats/csv/csvscanner_p.h"

#include "fileformats/fileformatslog.h"
#include "fileformats/legacytext.h"
#include "platform/error.h"

#include <QIODevice>
#include <QList>

#include <algorithm>
#include <cstring>
#include <utility>

namespace csvhelper {

namespace {

// Only finds where a row ends, and whether it is a blank line.
class ShapeSink {
public:
    void append(char) { m_content = true; }
    void appendRun(const char*, qsizetype size) { m_content = m_content || size > 0; }
    void endCell() { ++m_cells; }

    bool isBlank() const { return m_cells == 1 && !m_content; }

private:
    int m_cells = 0;
    bool m_content = false;
};

// Bytes of a device, one read at a time; the device's own buffer carries the
// cost, and nothing past the row's line end is consumed.
class DeviceSource {
public:
    explicit DeviceSource(QIODevice* device) : m_device(device) {}

    char delimiter() const { return ','; }

    int get()
    {
        char c = 0;
        const qint64 n = m_device->read(&c, 1);
        if (n == 1)
            return uchar(c);
        if (n < 0)
            throw Error(m_device->errorString());
        return -1;
    }

    int peek()
    {
        char c = 0;
        const qint64 n = m_device->peek(&c, 1);
        if (n == 1)
            return uchar(c);
        if (n < 0)
            throw Error(m_device->errorString());
        return -1;
    }

    template <typename Sink>
    void takeRun(Sink&, bool) {}

    template <typename Sink>
    void takeRunFrom(Sink& sink, bool, int c) { sink.append(char(c)); }

private:
    QIODevice* m_device;
};

// What may follow a leading sign for a cell to stay a readable phone
// number: a spreadsheet reads "+44 20 7946 0000" as text or a number, but
// "+HYPERLINK(...)" or "-2+3+cmd|..." as a formula.
bool isPlausibleNumber(QStringView rest)
{
    for (const QChar c : rest) {
        if (!c.isDigit() && c != u' ' && c != u'(' && c != u')' && c != u'-' && c != u'.' && c != u'/')
            return false;
    }
    return true;
}

bool needsGuard(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u'\'')
        ++i;
    if (i == text.size())
        return false;
    const QChar c = text[i];
    if (c == u'+' || c == u'-')
        return !isPlausibleNumber(text.mid(i + 1));
    return c == u'=' || c == u'@' || c == u'\t' || c == u'\r';
}

} // namespace

QString formatCell(const QString& cell)
{
    bool quote = false;
    for (const QChar c : cell) {
        if (c == u'\n' || c == u'\r' || c == u'"' || c == u',') {
            quote = true;
            break;
        }
    }
    if (!quote)
        return cell;
    QString out;
    out.reserve(cell.size() + 8);
    out.append(u'"');
    for (const QChar c : cell) {
        if (c == u'"')
            out.append(u'"');
        out.append(c);
    }
    out.append(u'"');
    return out;
}

QString guardFormula(const QString& cell)
{
    return needsGuard(cell) ? QLatin1Char('\'') + cell : cell;
}

QString unguardFormula(const QString& cell)
{
    if (cell.startsWith(u'\'') && needsGuard(QStringView(cell).mid(1)))
        return cell.mid(1);
    return cell;
}

namespace {

// Whether the bytes beyond ASCII that are no part of a valid UTF-8 letter
// of two or more bytes are at most half as many as those that are.
bool mostlyUtf8(QByteArrayView bytes)
{
    const auto beyondAscii = [](QByteArrayView text) {
        return std::count_if(text.begin(), text.end(), [](char c) { return uchar(c) >= 0x80; });
    };
    const qsizetype all = beyondAscii(bytes);
    const qsizetype strays = beyondAscii(legacytext::strayBytesInContext(bytes));
    return strays * 2 <= all - strays;
}

} // namespace

QByteArray toUtf8Text(const QByteArray& raw, QString* encoding, StrayByteRows* stray)
{
    const auto setEncoding = [encoding](const char* name) {
        if (encoding)
            *encoding = QString::fromLatin1(name);
    };
    const bool marked = raw.startsWith("\xEF\xBB\xBF");
    const QByteArray body = marked ? raw.mid(3) : raw;
    // Text of a code page whose only bytes beyond ASCII are letters before
    // signs is valid UTF-8 by chance ("CAF\u00C9\u2013Bar" as "CAF\u0256Bar").
    const auto isUtf8 = [](QByteArrayView text) {
        return legacytext::isValidUtf8(text) && !legacytext::formsUtf8ByChance(text);
    };
    if (marked && isUtf8(body)) {
        setEncoding("UTF-8");
        return body;
    }
    if (const auto utf16 = legacytext::utf16Start(body)) {
        setEncoding(utf16->littleEndian ? "UTF-16LE" : "UTF-16BE");
        return legacytext::utf16ToUtf8(body, *utf16);
    }
    if (!marked && isUtf8(body)) {
        setEncoding("UTF-8");
        return body;
    }
    // The rows that are not UTF-8, read in the code page their writer used.
    struct Row {
        qsizetype start;
        qsizetype end;
        qint64 number;
        bool stray;
        // Valid UTF-8 by chance.
        bool chance;
    };
    QList<Row> legacyRows;
    bool anyStray = false;
    qint64 number = 0;
    for (qsizetype pos = 0; pos < body.size();) {
        const qsizetype start = pos;
        skipRow(body, pos);
        ++number;
        const QByteArrayView row = QByteArrayView(body).sliced(start, pos - start);
        if (legacytext::isValidUtf8(row)) {
            if (legacytext::formsUtf8ByChance(row))
                legacyRows.append({ start, pos, number, false, true });
            continue;
        }
        const bool stray = marked && legacytext::isUtf8WithStrayBytes(row);
        anyStray = anyStray || stray;
        legacyRows.append({ start, pos, number, stray, false });
    }
    // The mark says UTF-8, and a file that is UTF-8 but for a byte of
    // another code page typed or pasted into a row keeps that row's UTF-8
    // letters, as a vCard line does (legacytext::isUtf8WithStrayBytes()).
    // Web-mail exports put the mark before text of their code page, whose
    // rows may by chance hold such letters ("“CAFÉ”" in windows-1252): the
    // file is read so only where, as in such a row, its bytes beyond ASCII
    // that form no UTF-8 letter are at most half as many as those that do;
    // else as without the mark.
    const bool keepUtf8 = anyStray && mostlyUtf8(body);
    // A row that is UTF-8 by chance is of the code page of a table whose
    // other rows are, or that holds no other; a table that is UTF-8 but
    // for a few stray bytes keeps it as it is.
    const bool chanceInCodePage = std::all_of(legacyRows.cbegin(), legacyRows.cend(),
                                              [](const Row& row) { return row.chance; })
        || std::any_of(legacyRows.cbegin(), legacyRows.cend(),
                       [keepUtf8](const Row& row) { return !row.chance && !(keepUtf8 && row.stray); });
    if (!chanceInCodePage)
        legacyRows.removeIf([](const Row& row) { return row.chance; });
    // One code page for all of them, as one program wrote them.
    legacytext::WesternGuess guess;
    bool wholeRows = false;
    for (const Row& row : std::as_const(legacyRows)) {
        const QByteArrayView bytes = QByteArrayView(body).sliced(row.start, row.end - row.start);
        if (keepUtf8 && row.stray) {
            guess.addStrayBytes(bytes);
        } else {
            guess.add(bytes);
            wholeRows = true;
        }
    }
    const legacytext::WesternSet set = guess.choice();
    if (!wholeRows)
        setEncoding("UTF-8");
    else
        setEncoding(set == legacytext::WesternSet::MacRoman ? "macintosh" : "windows-1252");
    QByteArray text;
    text.reserve(body.size() + body.size() / 8);
    qsizetype done = 0;
    for (const Row& row : std::as_const(legacyRows)) {
        text.append(QByteArrayView(body).sliced(done, row.start - done));
        const QByteArrayView bytes = QByteArrayView(body).sliced(row.start, row.end - row.start);
        if (keepUtf8 && row.stray) {
            text.append(legacytext::fromUtf8WithStrayBytes(bytes, set).toUtf8());
            if (stray)
                stray->rows.append(row.number);
        } else {
            text.append(legacytext::fromWestern(bytes, set).toUtf8());
        }
        done = row.end;
    }
    text.append(QByteArrayView(body).sliced(done));
    if (stray)
        stray->set = set;
    return text;
}

pim::Writing writingOfCells(QByteArrayView utf8)
{
    QList<pim::Writing> writings;
    const auto isBoundary = [](char c) {
        return c == ',' || c == ';' || c == '\t' || c == '"' || c == '\r' || c == '\n';
    };
    for (qsizetype at = 0; at < utf8.size();) {
        const qsizetype start = at;
        bool beyondAscii = false;
        for (; at < utf8.size() && !isBoundary(utf8[at]); ++at)
            beyondAscii = beyondAscii || uchar(utf8[at]) >= 0x80;
        ++at;
        if (!beyondAscii)
            continue;
        const pim::Writing writing = pim::writingOf(QString::fromUtf8(utf8.sliced(start, at - 1 - start)));
        if (writing == pim::Writing::Windows1252)
            return pim::Writing::Untold;
        if (writing != pim::Writing::Untold && !writings.contains(writing))
            writings.append(writing);
    }
    return pim::sharedWriting(writings.constData(), writings.size());
}

char detectDelimiter(const QByteArray& data)
{
    int commas = 0, semicolons = 0, tabs = 0;
    bool quoted = false;
    for (const char c : data) {
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\n' || c == '\r')
            break;
        else if (c == ',')
            ++commas;
        else if (c == ';')
            ++semicolons;
        else if (c == '\t')
            ++tabs;
    }
    if (semicolons > commas && semicolons >= tabs)
        return ';';
    if (tabs > commas && tabs > semicolons)
        return '\t';
    return ',';
}

bool readRow(const QByteArray& data, qsizetype& pos, QStringList& row, char delimiter)
{
    MemorySource src(data, pos, delimiter);
    auto sink = decodingSink([](int) { return true; }, [&row](int, QString&& text) { row.append(std::move(text)); });
    return scanRow(src, sink);
}

bool skipRow(const QByteArray& data, qsizetype& pos, bool* blank)
{
    // A row without a double quote ends at its first line end; only a row
    // with quotes needs the scanner, which knows line ends inside them.
    const char* const begin = data.constData() + pos;
    const char* const end = data.constData() + data.size();
    if (const char* p = plainRowEnd(begin, end)) {
        // Any byte before the line end is a comma or content: only an empty
        // line is blank.
        if (blank)
            *blank = p == begin;
        if (p == end) {
            pos = data.size();
            return false;
        }
        pos = (p - data.constData()) + 1;
        if (*p == '\r' && pos < data.size() && data.at(pos) == '\n')
            ++pos;
        return true;
    }
    MemorySource src(data, pos);
    ShapeSink sink;
    const bool ended = scanRow(src, sink);
    if (blank)
        *blank = sink.isBlank();
    return ended;
}

bool utf8CSVRow(QStringList& row, QIODevice* device, bool checkBom)
{
    Q_ASSERT(device);
    if (checkBom) {
        char bom[3];
        const qint64 n = device->peek(bom, 3);
        if (n < 0)
            throw Error(device->errorString());
        if (n == 0)
            return false;
        if (n == 3 && uchar(bom[0]) == 0xEF && uchar(bom[1]) == 0xBB && uchar(bom[2]) == 0xBF) {
            if (device->read(bom, 3) != 3)
                throw Error(device->errorString());
        }
    }
    DeviceSource src(device);
    auto sink = decodingSink([](int) { return true; }, [&row](int, QString&& text) { row.append(std::move(text)); });
    return scanRow(src, sink);
}

bool utf8CSVRowSkip(QStringList& row, QIODevice* device, int minCells)
{
    for (;;) {
        if (!utf8CSVRow(row, device, true))
            return false;
        if (row.size() >= minCells)
            return true;
        row.clear();
    }
}

int totalRecords(QIODevice* device)
{
    Q_ASSERT(device);
    int count = 0;
    bool outside = true;
    bool afterCr = false;
    char buf[64 * 1024];
    for (;;) {
        const qint64 n = device->read(buf, sizeof buf);
        if (n < 0)
            throw Error(device->errorString());
        if (n == 0)
            break;
        for (qint64 i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '"') {
                outside = !outside;
            } else if (outside) {
                if (c == '\r')
                    ++count;
                else if (c == '\n' && !afterCr)
                    ++count;
            }
            afterCr = outside && c == '\r';
        }
    }
    return count;
}

QHash<QString, int> toHeader(const QStringList& cols)
{
    QHash<QString, int> header;
    for (int i = 0; i < cols.size(); ++i)
        header.insert(cols.at(i), i);
    return header;
}

QString getCell(const QHash<QString, int>& header, const QStringList& row, const QString& name,
                const QString& defaultValue)
{
    const auto it = header.constFind(name);
    if (it == header.constEnd())
        return defaultValue;
    const int index = it.value();
    if (index < 0 || index >= row.size())
        return defaultValue;
    return row.at(index);
}

} // namespace csvhelper
