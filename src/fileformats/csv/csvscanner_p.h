// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The CSV row scanner shared by csvhelper and the CSV reader, which feeds it
// its own cell sink so that it decodes only the columns it knows.

#include <QByteArray>
#include <QString>

#include <cstring>

namespace csvhelper {

// Turns the cells of a row into texts and hands each to onCell(index,
// text), for the cells wants(index) asks for; the others are passed over
// undecoded. A cell that is one plain run of in-memory data is decoded
// straight from there, without a copy.
template <typename Wants, typename OnCell>
class DecodingSink {
public:
    DecodingSink(Wants wants, OnCell onCell) : m_wants(wants), m_onCell(onCell) { m_wanted = m_wants(0); }

    void append(char c)
    {
        if (!m_wanted)
            return;
        flushSpan();
        m_buffer.append(c);
    }

    void appendRun(const char* data, qsizetype size)
    {
        if (!m_wanted || size == 0)
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
        if (m_wanted) {
            if (m_spanData)
                m_onCell(m_index, QString::fromUtf8(m_spanData, m_spanSize));
            else if (m_buffer.isEmpty())
                m_onCell(m_index, QString());
            else
                m_onCell(m_index, QString::fromUtf8(m_buffer));
            m_spanData = nullptr;
            m_buffer.truncate(0);
        }
        m_wanted = m_wants(++m_index);
    }

private:
    void flushSpan()
    {
        if (m_spanData) {
            m_buffer.append(m_spanData, m_spanSize);
            m_spanData = nullptr;
        }
    }

    Wants m_wants;
    OnCell m_onCell;
    int m_index = 0;
    bool m_wanted = true;
    QByteArray m_buffer;
    const char* m_spanData = nullptr;
    qsizetype m_spanSize = 0;
};

template <typename Wants, typename OnCell>
DecodingSink<Wants, OnCell> decodingSink(Wants wants, OnCell onCell)
{
    return DecodingSink<Wants, OnCell>(wants, onCell);
}

// The bytes that end a plain run outside quotes.
constexpr bool isStopByte(uchar c, char delimiter)
{
    return c == uchar(delimiter) || c == '\n' || c == '\r' || c == '"';
}

// Where a row that holds no double quote ends: at its first CR or LF, or
// at end. Null when a quote comes first: then only scanRow knows the end,
// as quoted cells may hold line ends. Looks no further than the row's own
// end, so a file whose rows end in CR alone is read in linear time too.
inline const char* plainRowEnd(const char* begin, const char* end)
{
    for (const char* p = begin; p != end; ++p) {
        switch (*p) {
        case '\n':
        case '\r':
            return p;
        case '"':
            return nullptr;
        default:
            break;
        }
    }
    return end;
}

// Bytes of an in-memory file. Plain runs of a cell are handed over in one
// piece, which is what keeps a 100,000-row file well under a second.
class MemorySource {
public:
    MemorySource(const QByteArray& data, qsizetype& pos, char delimiter = ',')
        : m_data(data.constData()), m_size(data.size()), m_pos(pos), m_delimiter(delimiter) {}

    char delimiter() const { return m_delimiter; }

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
            const void* quote = std::memchr(m_data + end, '"', size_t(m_size - end));
            end = quote ? static_cast<const char*>(quote) - m_data : m_size;
        } else {
            while (end < m_size && !isStopByte(uchar(m_data[end]), m_delimiter))
                ++end;
        }
        sink.appendRun(m_data + start, end - start);
        m_pos = end;
    }

    const char* m_data;
    qsizetype m_size;
    qsizetype& m_pos;
    char m_delimiter;
};

// Reads one row from src into sink (append, appendRun, endCell) and
// returns true when it ended with a line end, false at the end of the data.
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
        if (c == uchar(src.delimiter())) {
            endCell();
            continue;
        }
        switch (c) {
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

} // namespace csvhelper
