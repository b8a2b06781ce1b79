// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/plistinputcheck_p.h"

#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace plistcheck {

namespace {

constexpr size_t kHeaderSize = 8;
constexpr size_t kTrailerSize = 32;

quint64 readBigEndian(const unsigned char* p, size_t n)
{
    quint64 value = 0;
    for (size_t i = 0; i < n; ++i)
        value = (value << 8) | p[i];
    return value;
}

bool fail(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

// One object of a binary property list, as far as the walk needs it.
struct ObjectInfo {
    unsigned char marker = 0;
    size_t refs = 0;      // offset of the first reference (containers)
    quint64 refCount = 0; // references: items, or keys then values
    bool isDict = false;
    bool isContainer() const { return refCount > 0 || (marker >> 4) == 0xA || (marker >> 4) == 0xD; }
};

class BinaryWalk {
public:
    BinaryWalk(const unsigned char* data, size_t size, QString* reason)
        : m_data(data)
        , m_size(size)
        , m_reason(reason)
    {
    }

    bool readTrailer(long long maxNodes);
    bool walk(int maxDepth, long long maxNodes);

private:
    struct Frame {
        quint64 index;
        ObjectInfo info;
        quint64 next = 0;
        long long nodes = 1;
        int height = 1;
    };

    bool objectAt(quint64 index, ObjectInfo* info);
    bool lengthAt(size_t pos, size_t* length, size_t* contentStart, quint64 index);
    bool refAt(const ObjectInfo& info, quint64 k, quint64* target, quint64 index);
    bool isString(quint64 index);
    bool bad(quint64 index, const char* what)
    {
        return fail(m_reason, QStringLiteral("Binary property list: object %1 %2.").arg(index).arg(QLatin1String(what)));
    }

    const unsigned char* m_data;
    size_t m_size;
    QString* m_reason;
    size_t m_offsetSize = 0;
    size_t m_refSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_top = 0;
    size_t m_tableStart = 0;
};

bool BinaryWalk::readTrailer(long long maxNodes)
{
    if (m_size < kHeaderSize + 1 + kTrailerSize)
        return fail(m_reason, QStringLiteral("Binary property list: %1 bytes are too short to hold one.").arg(m_size));
    if (std::memcmp(m_data, "bplist00", kHeaderSize) != 0)
        return fail(m_reason, QStringLiteral("Binary property list: unknown format version."));
    const unsigned char* trailer = m_data + m_size - kTrailerSize;
    m_offsetSize = trailer[6];
    m_refSize = trailer[7];
    m_objectCount = readBigEndian(trailer + 8, 8);
    m_top = readBigEndian(trailer + 16, 8);
    const quint64 tableStart = readBigEndian(trailer + 24, 8);
    const size_t trailerStart = m_size - kTrailerSize;
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
        return fail(m_reason, QStringLiteral("Binary property list: bad offset or reference size in the trailer."));
    if (m_objectCount < 1 || m_top >= m_objectCount)
        return fail(m_reason, QStringLiteral("Binary property list: the trailer names no valid top object."));
    if (m_objectCount > quint64(maxNodes))
        return fail(m_reason, QStringLiteral("Binary property list: %1 objects; at most %2 are read.")
                                  .arg(m_objectCount)
                                  .arg(maxNodes));
    if (tableStart <= kHeaderSize || tableStart >= trailerStart
        || m_objectCount > (trailerStart - tableStart) / m_offsetSize)
        return fail(m_reason, QStringLiteral("Binary property list: the offset table lies outside the file."));
    m_tableStart = size_t(tableStart);
    return true;
}

// Reads a length: the marker's low nibble, or for 0xF the integer object
// that follows the marker.
bool BinaryWalk::lengthAt(size_t pos, size_t* length, size_t* contentStart, quint64 index)
{
    const unsigned low = m_data[pos] & 0x0F;
    if (low != 0x0F) {
        *length = low;
        *contentStart = pos + 1;
        return true;
    }
    if (pos + 2 > m_tableStart || (m_data[pos + 1] >> 4) != 0x1 || (m_data[pos + 1] & 0x0F) > 3)
        return bad(index, "has a malformed length");
    const size_t n = size_t(1) << (m_data[pos + 1] & 0x0F);
    if (n > m_tableStart - (pos + 2))
        return bad(index, "has a length that runs past the objects");
    const quint64 value = readBigEndian(m_data + pos + 2, n);
    if (value > m_tableStart)
        return bad(index, "is longer than the file");
    *length = size_t(value);
    *contentStart = pos + 2 + n;
    return true;
}

bool BinaryWalk::objectAt(quint64 index, ObjectInfo* info)
{
    const quint64 offset = readBigEndian(m_data + m_tableStart + index * m_offsetSize, m_offsetSize);
    if (offset < kHeaderSize || offset >= m_tableStart)
        return bad(index, "lies outside the object area");
    const size_t pos = size_t(offset);
    const unsigned char marker = m_data[pos];
    const unsigned type = marker >> 4;
    const unsigned low = marker & 0x0F;
    const size_t room = m_tableStart - pos - 1; // bytes after the marker
    *info = ObjectInfo();
    info->marker = marker;
    size_t length = 0;
    size_t start = pos + 1;
    size_t unit = 1;
    switch (type) {
    case 0x0:
        return (low == 0x8 || low == 0x9) ? true : bad(index, "has an unknown marker");
    case 0x1:
        return (low <= 4 && (size_t(1) << low) <= room) ? true : bad(index, "is a malformed integer");
    case 0x2:
        return ((low == 2 || low == 3) && (size_t(1) << low) <= room) ? true : bad(index, "is a malformed real");
    case 0x3:
        return (marker == 0x33 && room >= 8) ? true : bad(index, "is a malformed date");
    case 0x8:
        return (low <= 7 && low + 1 <= room) ? true : bad(index, "is a malformed UID");
    case 0x4:
    case 0x5:
        break;
    case 0x6:
        unit = 2;
        break;
    case 0xA:
        unit = m_refSize;
        break;
    case 0xD:
        unit = 2 * m_refSize;
        info->isDict = true;
        break;
    default:
        return bad(index, "has an unknown marker");
    }
    if (!lengthAt(pos, &length, &start, index))
        return false;
    if (length > (m_tableStart - start) / unit)
        return bad(index, "runs past the objects");
    // libplist asserts (and so aborts) when a string it hands out holds a
    // NUL; bytes above ASCII would reach the program as invalid UTF-8.
    if (type == 0x5) {
        for (size_t i = 0; i < length; ++i) {
            if (m_data[start + i] == 0 || m_data[start + i] > 0x7F)
                return bad(index, "is an ASCII text holding a NUL or non-ASCII byte");
        }
    }
    if (type == 0x6) {
        for (size_t i = 0; i < length; ++i) {
            if (m_data[start + 2 * i] == 0 && m_data[start + 2 * i + 1] == 0)
                return bad(index, "is a text holding a NUL character");
        }
    }
    if (type == 0xA || type == 0xD) {
        info->refs = start;
        info->refCount = info->isDict ? 2 * quint64(length) : quint64(length);
    }
    return true;
}

bool BinaryWalk::refAt(const ObjectInfo& info, quint64 k, quint64* target, quint64 index)
{
    *target = readBigEndian(m_data + info.refs + k * m_refSize, m_refSize);
    if (*target >= m_objectCount)
        return bad(index, "refers to an object that does not exist");
    return true;
}

bool BinaryWalk::isString(quint64 index)
{
    const quint64 offset = readBigEndian(m_data + m_tableStart + index * m_offsetSize, m_offsetSize);
    if (offset < kHeaderSize || offset >= m_tableStart)
        return false;
    const unsigned type = m_data[offset] >> 4;
    return type == 0x5 || type == 0x6;
}

// Depth-first over the references with an explicit stack. Node counts and
// heights of finished objects are kept, so an object referenced many times
// is checked once but counted once per reference, as libplist expands it.
bool BinaryWalk::walk(int maxDepth, long long maxNodes)
{
    enum : unsigned char { Unseen, OnPath, Done };
    std::vector<unsigned char> state(m_objectCount, Unseen);
    std::vector<long long> nodes(m_objectCount, 0);
    std::vector<int> heights(m_objectCount, 0);

    ObjectInfo topInfo;
    if (!objectAt(m_top, &topInfo))
        return false;
    if (!topInfo.isContainer())
        return true;
    std::vector<Frame> path;
    path.push_back(Frame {m_top, topInfo});
    state[m_top] = OnPath;
    while (!path.empty()) {
        Frame& frame = path.back();
        if (frame.next == frame.info.refCount) {
            const Frame done = frame;
            path.pop_back();
            state[done.index] = Done;
            nodes[done.index] = done.nodes;
            heights[done.index] = done.height;
            if (!path.empty()) {
                path.back().nodes = std::min(path.back().nodes + done.nodes, maxNodes + 1);
                path.back().height = std::max(path.back().height, done.height + 1);
            }
            if (done.nodes > maxNodes)
                return fail(m_reason, QStringLiteral("Binary property list: more than %1 values once shared "
                                                     "references are expanded.")
                                          .arg(maxNodes));
            continue;
        }
        const quint64 k = frame.next++;
        quint64 child = 0;
        if (!refAt(frame.info, k, &child, frame.index))
            return false;
        if (frame.info.isDict && k < frame.info.refCount / 2 && !isString(child))
            return bad(frame.index, "has a dictionary key that is no string");
        if (state[child] == OnPath)
            return bad(frame.index, "refers back to an object that contains it");
        if (state[child] == Done) {
            if (int(path.size()) + heights[child] > maxDepth)
                return bad(frame.index, "is nested too deeply");
            frame.nodes = std::min(frame.nodes + nodes[child], maxNodes + 1);
            frame.height = std::max(frame.height, heights[child] + 1);
            continue;
        }
        ObjectInfo info;
        if (!objectAt(child, &info))
            return false;
        if (!info.isContainer()) {
            state[child] = Done;
            nodes[child] = 1;
            heights[child] = 0;
            frame.nodes = std::min(frame.nodes + 1, maxNodes + 1);
            continue;
        }
        if (int(path.size()) >= maxDepth)
            return bad(child, "is nested too deeply");
        state[child] = OnPath;
        path.push_back(Frame {child, info}); // frame is invalid from here on
    }
    return true;
}

// Finds the end of a piece of markup that starts at pos, honouring quotes
// and, in declarations only, bracketed internal subsets (libplist reads
// brackets elsewhere as plain characters). Returns size when it does not end.
size_t tagEnd(const char* data, size_t size, size_t pos, bool declaration)
{
    char quote = 0;
    int brackets = 0;
    for (size_t i = pos; i < size; ++i) {
        const char c = data[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[' && declaration) {
            ++brackets;
        } else if (c == ']') {
            brackets = std::max(0, brackets - 1);
        } else if (c == '>' && brackets == 0) {
            return i;
        }
    }
    return size;
}

size_t find(const char* data, size_t size, size_t from, const char* needle)
{
    const size_t n = std::strlen(needle);
    const char* end = data + size;
    const char* hit = std::search(data + std::min(from, size), end, needle, needle + n);
    return hit == end ? size : size_t(hit - data);
}

// Whether the text holds a NUL character, raw or as a character reference:
// libplist would keep it inside a string and then abort reading the string.
bool holdsNul(const char* data, size_t size)
{
    if (std::memchr(data, 0, size))
        return true;
    for (size_t pos = find(data, size, 0, "&#"); pos < size; pos = find(data, size, pos + 2, "&#")) {
        size_t i = pos + 2;
        const bool hex = i < size && (data[i] == 'x' || data[i] == 'X');
        i += hex ? 1 : 0;
        bool zero = true;
        bool digits = false;
        for (; i < size && std::isxdigit(static_cast<unsigned char>(data[i])); ++i) {
            digits = true;
            zero = zero && data[i] == '0';
        }
        if (digits && zero)
            return true;
    }
    return false;
}

} // namespace

bool checkBinary(const char* data, size_t size, int maxDepth, long long maxNodes, QString* reason)
{
    BinaryWalk walk(reinterpret_cast<const unsigned char*>(data), size, reason);
    return walk.readTrailer(maxNodes) && walk.walk(maxDepth, maxNodes);
}

bool checkXml(const char* data, size_t size, int maxDepth, long long maxNodes, QString* reason)
{
    if (holdsNul(data, size))
        return fail(reason, QStringLiteral("XML property list: holds a NUL character."));
    // libplist keeps invalid UTF-8 as it is and later writes such a text as
    // one its own reader refuses.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(QByteArrayView(data, qsizetype(size)));
    if (utf8.hasError())
        return fail(reason, QStringLiteral("XML property list: the text is not valid UTF-8."));
    int depth = 0;
    long long elements = 0;
    size_t pos = 0;
    while (pos < size) {
        const char* lt = static_cast<const char*>(std::memchr(data + pos, '<', size - pos));
        if (!lt)
            break;
        pos = size_t(lt - data);
        const auto startsWith = [&](const char* s) {
            const size_t n = std::strlen(s);
            return size - pos >= n && std::memcmp(data + pos, s, n) == 0;
        };
        size_t end;
        if (startsWith("<!--")) {
            end = find(data, size, pos + 4, "-->") + 2;
        } else if (startsWith("<![CDATA[")) {
            end = find(data, size, pos + 9, "]]>") + 2;
        } else if (startsWith("<?")) {
            end = find(data, size, pos + 2, "?>") + 1;
        } else if (startsWith("</")) {
            depth = std::max(0, depth - 1);
            end = tagEnd(data, size, pos, false);
        } else {
            const bool declaration = startsWith("<!");
            end = tagEnd(data, size, pos, declaration);
            const bool selfClosing = declaration || (end < size && data[end - 1] == '/');
            if (!declaration && ++elements > maxNodes + 1) // the <plist> element holds no value
                return fail(reason, QStringLiteral("XML property list: more than %1 values.").arg(maxNodes));
            if (!selfClosing && ++depth > maxDepth)
                return fail(reason, QStringLiteral("XML property list: elements are nested more than %1 deep "
                                                   "near byte %2.")
                                        .arg(maxDepth)
                                        .arg(pos));
        }
        // Markup that does not end would hide whatever follows it.
        if (end >= size)
            return fail(reason, QStringLiteral("XML property list: markup near byte %1 does not end.").arg(pos));
        pos = end + 1;
    }
    return true;
}

} // namespace plistcheck
