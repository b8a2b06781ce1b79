// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvhelper.h"

#include "fileformatslog.h"

#include <QIODevice>
#include <QStringDecoder>

#include <stdexcept>

namespace csvhelper {

namespace {

[[noreturn]] void throwReadError(QIODevice* device, const char* where)
{
    const QString err = device->errorString();
    qCDebug(lcCsv, "%s::error:%s", where, qUtf8Printable(err));
    throw std::runtime_error(err.toUtf8().toStdString());
}

// Collects the cells of a row as texts. A cell that is one plain run of
// the in-memory data is decoded straight from there, without a copy.
class CellSink {
public:
    explicit CellSink(QStringList& row) : m_row(row) {}

    void append(char c)
    {
        flushSpan();
        m_buffer.append(c);
    }

    void appendRun(const char* data, qsizetype size)
    {
        if (size == 0)
            return;
        if (!m_spanData && m_buffer.isEmpty()) {
            m_spanData = data;
            m_spanSize = size;
            return;
        }
        flushSpan();
        m_buffer.append(data, size);
    }

    void endCell()
    {
        if (m_spanData)
            m_row.append(QString::fromUtf8(m_spanData, m_spanSize));
        else if (m_buffer.isEmpty())
            m_row.append(QString());
        else
            m_row.append(QString::fromUtf8(m_buffer));
        m_spanData = nullptr;
        m_buffer.truncate(0);
    }

private:
    void flushSpan()
    {
        if (m_spanData) {
            m_buffer.append(m_spanData, m_spanSize);
            m_spanData = nullptr;
        }
    }

    QStringList& m_row;
    QByteArray m_buffer;
    const char* m_spanData = nullptr;
    qsizetype m_spanSize = 0;
};

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

// Bytes of an in-memory file. Plain runs of a cell are handed over in one
// piece, which is what keeps a 100,000-row file well under a second.
class MemorySource {
public:
    MemorySource(const QByteArray& data, qsizetype& pos)
        : m_data(data.constData()), m_size(data.size()), m_pos(pos) {}

    int get() { return m_pos < m_size ? uchar(m_data[m_pos++]) : -1; }
    int peek() const { return m_pos < m_size ? uchar(m_data[m_pos]) : -1; }

    // Hands over the bytes up to the next one the row scanner must see.
    template <typename Sink>
    void takeRun(Sink& sink, bool quoted)
    {
        takeRunFromPos(sink, quoted, m_pos);
    }

    // The same, starting with the byte get() has just returned.
    template <typename Sink>
    void takeRunFrom(Sink& sink, bool quoted, int)
    {
        takeRunFromPos(sink, quoted, m_pos - 1);
    }

private:
    template <typename Sink>
    void takeRunFromPos(Sink& sink, bool quoted, qsizetype start)
    {
        qsizetype end = m_pos;
        if (quoted) {
            while (end < m_size && m_data[end] != '"')
                ++end;
        } else {
            while (end < m_size) {
                const char c = m_data[end];
                if (c == ',' || c == '\n' || c == '\r' || c == '"')
                    break;
                ++end;
            }
        }
        sink.appendRun(m_data + start, end - start);
        m_pos = end;
    }

    const char* m_data;
    qsizetype m_size;
    qsizetype& m_pos;
};

// Bytes of a device, one read at a time; the device's own buffer carries the
// cost, and nothing past the row's line end is consumed.
class DeviceSource {
public:
    explicit DeviceSource(QIODevice* device) : m_device(device) {}

    int get()
    {
        char c = 0;
        const qint64 n = m_device->read(&c, 1);
        if (n == 1)
            return uchar(c);
        if (n < 0)
            throwReadError(m_device, "utf8CSVRow");
        return -1;
    }

    int peek()
    {
        char c = 0;
        const qint64 n = m_device->peek(&c, 1);
        if (n == 1)
            return uchar(c);
        if (n < 0)
            throwReadError(m_device, "utf8CSVRow");
        return -1;
    }

    template <typename Sink>
    void takeRun(Sink&, bool) {}

    template <typename Sink>
    void takeRunFrom(Sink& sink, bool, int c) { sink.append(char(c)); }

private:
    QIODevice* m_device;
};

template <typename Source, typename Sink>
bool scanRow(Source& src, Sink& sink)
{
    bool quoteSeen = false;
    bool inQuotes = false;
    bool quotePending = false;
    const auto endCell = [&] {
        sink.endCell();
        quoteSeen = inQuotes = quotePending = false;
    };

    for (;;) {
        const int c = src.get();
        if (c < 0) {
            // An unclosed quoted section simply runs to the end of the data.
            endCell();
            return false;
        }
        if (!quoteSeen && c == '"') {
            quoteSeen = inQuotes = true;
            src.takeRun(sink, true);
            continue;
        }
        if (inQuotes) {
            if (c == '"') {
                if (quotePending)
                    sink.append('"');
                quotePending = !quotePending;
                continue;
            }
            if (!quotePending) {
                src.takeRunFrom(sink, true, c);
                continue;
            }
            // A single quote followed by anything else closed the section;
            // that byte is read as if outside quotes.
            inQuotes = quotePending = false;
        }
        switch (c) {
        case ',':
            endCell();
            break;
        case '\r':
            // CR LF and a lone CR both end the row.
            if (src.peek() == '\n')
                src.get();
            endCell();
            return true;
        case '\n':
            endCell();
            return true;
        default:
            src.takeRunFrom(sink, false, c);
            break;
        }
    }
}

bool isValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const uchar* const end = p + bytes.size();
    while (p < end) {
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int more = 0;
        uint cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)))
            return false;
        if (more == 3 && (cp < 0x10000 || cp > 0x10FFFF))
            return false;
        p += more + 1;
    }
    return true;
}

// windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unassigned
// bytes keep their C1 code points, as Windows itself maps them.
QString fromWindows1252(const QByteArray& bytes)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char ch : bytes) {
        const uchar c = uchar(ch);
        *out++ = (c >= 0x80 && c <= 0x9F) ? QChar(high[c - 0x80]) : QChar(c);
    }
    return text;
}

bool needsGuard(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u'\'')
        ++i;
    if (i == text.size())
        return false;
    const QChar c = text[i];
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

QByteArray toUtf8Text(const QByteArray& raw, QString* encoding)
{
    const auto setEncoding = [encoding](const char* name) {
        if (encoding)
            *encoding = QString::fromLatin1(name);
    };
    if (raw.startsWith("\xEF\xBB\xBF")) {
        // The file says it is UTF-8; a damaged byte stays a damaged letter
        // rather than turning the whole file into another code page.
        setEncoding("UTF-8");
        const QByteArray body = raw.mid(3);
        return isValidUtf8(body) ? body : QString::fromUtf8(body).toUtf8();
    }
    if (raw.startsWith("\xFF\xFE") || raw.startsWith("\xFE\xFF")) {
        const bool little = raw.startsWith("\xFF\xFE");
        setEncoding(little ? "UTF-16LE" : "UTF-16BE");
        QStringDecoder decoder(little ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        const QString text = decoder.decode(QByteArrayView(raw).sliced(2));
        return text.toUtf8();
    }
    if (isValidUtf8(raw)) {
        setEncoding("UTF-8");
        return raw;
    }
    setEncoding("windows-1252");
    return fromWindows1252(raw).toUtf8();
}

bool readRow(const QByteArray& data, qsizetype& pos, QStringList& row)
{
    MemorySource src(data, pos);
    CellSink sink(row);
    return scanRow(src, sink);
}

bool skipRow(const QByteArray& data, qsizetype& pos, bool* blank)
{
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
            throwReadError(device, "utf8CSVRow");
        if (n == 0)
            return false;
        if (n == 3 && uchar(bom[0]) == 0xEF && uchar(bom[1]) == 0xBB && uchar(bom[2]) == 0xBF) {
            if (device->read(bom, 3) != 3)
                throwReadError(device, "utf8CSVRow");
        }
    }
    DeviceSource src(device);
    CellSink sink(row);
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
            throwReadError(device, "totalRecords");
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
