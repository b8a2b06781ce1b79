// SPDX-License-Identifier: GPL-3.0-or-later
// What LocalDb's two files of names share: the letters of a name's UTF-8,
// where a name of a parts key stands and the parts of a name row
// (localdb_names.cpp, the keys; localdb_nameindex.cpp, the lookup through
// the name index).
#pragma once

#include "model/localdb.h"

#include <QVarLengthArray>

#include <algorithm>

namespace localdbnames {

inline long long id64(unsigned long long id)
{
    return static_cast<long long>(id);
}

// Those letters lie at U+1100 and above: three bytes or four in UTF-8.
constexpr char32_t kFirstCjk = 0x1100;

// The words whose ranges of the name index an import keeps (wordNames())
// are at most this long: names share their first words, while each longer
// prefix of a long name is its own, and keeping them all would keep the
// square of the name's length.
constexpr qsizetype kKeptWordBytes = 64;
// A parts key holds at most this many letters: the names earlier builds
// made of parts are short, and every letter of a key is a place where
// the lookup reads the index.
constexpr qsizetype kMostPartsLetters = 64;

// The name parts Entity::fullName() is made of, in the order of the
// columns read for them.
inline const QString kNameParts[] = { QStringLiteral("data2"), QStringLiteral("data3"), QStringLiteral("data4"),
                                      QStringLiteral("data5"), QStringLiteral("data6") };
inline const int kNamePartColumns[] = { 2, 3, 4, 5, 6 };

// The letter that starts at `at` in UTF-8 text (its first byte, not a
// continuation byte); U+FFFD for a sequence cut short.
inline char32_t letterAt(QByteArrayView utf8, qsizetype at)
{
    const uchar lead = uchar(utf8.at(at));
    if (lead < 0x80)
        return lead;
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (at + length > utf8.size())
        return 0xFFFD;
    char32_t c = lead & (0x3F >> (length - 1));
    for (int i = 1; i < length; ++i)
        c = c << 6 | (uchar(utf8.at(at + i)) & 0x3F);
    return c;
}

inline bool startsLetter(char c)
{
    return (uchar(c) & 0xC0) != 0x80;
}

inline bool isBlankOrTab(char c)
{
    return c == ' ' || c == '\t';
}

// Whether a stored name holds a blank or tab beside such a letter: only
// then can partsNameKey() differ from its nameKey(). Nearly every name
// is told by its bytes alone; the rest by the letters beside each blank.
inline bool hasBlankBesideCjk(QByteArrayView utf8)
{
    bool high = false;
    bool blank = false;
    for (const char c : utf8) {
        high = high || uchar(c) >= 0xE1;
        blank = blank || c == ' ' || c == '\t';
    }
    if (!high || !blank)
        return false;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (!isBlankOrTab(utf8.at(i)))
            continue;
        qsizetype before = i - 1;
        while (before > 0 && !startsLetter(utf8.at(before)))
            --before;
        if ((before >= 0 && pim::isCjkLetter(letterAt(utf8, before)))
            || (i + 1 < utf8.size() && pim::isCjkLetter(letterAt(utf8, i + 1))))
            return true;
    }
    return false;
}

// The first word of a name: up to its first blank or tab, or the whole.
inline QByteArrayView firstWord(QByteArrayView name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isBlankOrTab(name.at(i)))
            return name.first(i);
    }
    return name;
}

// The length in bytes of the UTF-8 letter that starts at `at`.
inline qsizetype letterLength(QByteArrayView utf8, qsizetype at)
{
    qsizetype end = at + 1;
    while (end < utf8.size() && !startsLetter(utf8.at(end)))
        ++end;
    return end - at;
}

// Where in the name index a stored name with the parts key `key` (see
// partsKeyOf) stands: it starts with `before` (A-Z folded), then blanks or
// tabs, then `next`, or anything where `next` is empty; with one blank
// there, it is `before`, the blank, `next` and `rest`. The one definition
// of it, so that a lookup through the index reads those few names and
// finds every one whose names were read at once. Parts of Chinese,
// Japanese or Korean letters read family name first, so a name made of
// them with end blanks is the key with a blank after a letter ("山田" and
// "太" of "山田 太郎" for "山田太郎"); one that an earlier build put in the
// order of a Latin name starts with the given name, which ends the key,
// and goes on with the family name, which starts it ("明" and "李" of
// "明 李" for "李明"). Each starts with a letter at U+1100 or above, as
// such names do. A key with a title ("dr" NUL "李明") is of a name that
// starts with the title's first word.
struct Place {
    QByteArrayView before;
    QByteArrayView next;
    QByteArrayView rest;
};
using Places = QVarLengthArray<Place, 16>;
inline Places partsPlaces(QByteArrayView key)
{
    Places places;
    const qsizetype titleEnd = key.indexOf('\0');
    if (titleEnd >= 0) {
        places.append({ firstWord(key.first(titleEnd)), QByteArrayView(), QByteArrayView() });
        return places;
    }
    const QByteArrayView first = key.first(letterLength(key, 0));
    for (qsizetype at = first.size(); at < key.size(); at += letterLength(key, at)) {
        const QByteArrayView next = key.sliced(at, letterLength(key, at));
        if (letterAt(key, 0) >= kFirstCjk)
            places.append({ key.first(at), next, key.sliced(at + next.size()) });
        if (letterAt(key, at) >= kFirstCjk)
            places.append({ key.sliced(at), first, key.first(at).sliced(first.size()) });
    }
    return places;
}

// Whether a name key is one the parts of a parts key make with blanks at
// their ends (Entity::fullName()): the key with one blank in it, where
// the family name, or the family and middle name, ends; or in the order
// of a Latin name the given name, which ends the key, a blank and the
// family name, which starts it. With a title, the name starts with it and
// a blank. Middle names with blanks at their ends too, which would make a
// second blank, are not told.
inline bool madeOfParts(QByteArrayView own, QByteArrayView key)
{
    const qsizetype titleEnd = key.indexOf('\0');
    if (titleEnd >= 0) {
        const QByteArrayView title = key.first(titleEnd);
        if (!own.startsWith(title) || own.size() <= title.size() || own.at(title.size()) != ' ')
            return false;
        own = own.sliced(title.size() + 1);
        key = key.sliced(titleEnd + 1);
    }
    const qsizetype blank = own.indexOf(' ');
    if (blank <= 0 || own.size() != key.size() + 1 || own.indexOf(' ', blank + 1) >= 0)
        return false;
    const QByteArrayView before = own.first(blank);
    const QByteArrayView after = own.sliced(blank + 1);
    return (key.startsWith(before) && key.endsWith(after)) || (key.startsWith(after) && key.endsWith(before));
}

// Whether a name key stands where `places` say.
inline bool standsAt(QByteArrayView nameKey, const Places& places)
{
    return std::any_of(places.cbegin(), places.cend(), [nameKey](const Place& place) {
        const qsizetype at = place.before.size();
        return nameKey.startsWith(place.before) && at < nameKey.size() && nameKey.at(at) == ' '
            && nameKey.sliced(at + 1).startsWith(place.next);
    });
}

// The letters of a key whatever their order, without blanks, tabs and the
// NUL after a title, counted and summed: where a lookup finds the names to
// ask of their parts, which hold the same letters in another order.
// The same for a stored name as for its nameKey(): A-Z are folded here.
inline quint64 lettersSum(QByteArrayView key)
{
    quint64 count = 0;
    quint64 sum = 0;
    quint64 squares = 0;
    for (const char c : key) {
        if (c == ' ' || c == '\t' || c == '\0')
            continue;
        const quint64 b = uchar(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
        ++count;
        sum += b;
        squares += b * b;
    }
    return count << 48 ^ sum << 24 ^ squares;
}

// Whether a key can be the parts key of a stored name: parts of those
// letters make a name without blanks, family name first (Entity::fullName),
// so a blank in what they make, after its title if it has one, is a blank
// inside a part, which writers of such names do not put there. A name
// written with a blank ("山田 太郎", "★ 王明") is then looked up as it is
// written, without reading every stored name of its first word. The key
// holds at most kMostPartsLetters letters, and one of those scripts: the
// stored name holds the key's letters with a blank beside such a letter,
// so one of marks or emoji alone ("★♪・〆") is no parts key.
inline bool mayBePartsKey(QByteArrayView key)
{
    if (key.isEmpty() || key.sliced(key.indexOf('\0') + 1).contains(' '))
        return false;
    qsizetype letters = 0;
    bool cjk = false;
    for (qsizetype at = 0; at < key.size(); at += letterLength(key, at)) {
        const char c = key.at(at);
        if (c == '\0' || c == ' ')
            continue;
        if (++letters > kMostPartsLetters)
            return false;
        cjk = cjk || (uchar(c) >= 0xE1 && pim::isCjkLetter(letterAt(key, at)));
    }
    return cjk;
}

// Whether a name holds few enough letters, its blanks and tabs aside, for
// its parts to make a key of them.
inline bool fewPartsLetters(QByteArrayView name)
{
    qsizetype letters = 0;
    for (const char c : name) {
        if (startsLetter(c) && c != ' ' && c != '\t' && ++letters > kMostPartsLetters)
            return false;
    }
    return true;
}

// Whether a text holds an ASCII letter: where none does, the name index
// of the case-sensitive order holds the same names in a range as the
// case-insensitive one, and is read for less.
inline bool hasAsciiLetter(QByteArrayView text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; });
}

// A text and a character or two more, the bound of a range of the name
// index, built without a copy on the heap for the usual short text.
class Bounds {
public:
    Bounds(QByteArrayView text, QByteArrayView tail)
        : m_bytes(text.size() + tail.size())
    {
        std::copy(tail.begin(), tail.end(), std::copy(text.begin(), text.end(), m_bytes.begin()));
    }
    // Valid while this lives.
    QByteArray text() const { return QByteArray::fromRawData(m_bytes.constData(), m_bytes.size()); }

private:
    QVarLengthArray<char, 64> m_bytes;
};

// Greater in the case-sensitive order than every name, which is UTF-8.
inline const QByteArray kPastEveryName = QByteArrayLiteral("\xff");

// The parts of a first name row read in `row` from column `first` on
// (NULL where the contact has none), where one has blanks at its ends;
// else none: such parts make no other key (LocalDb::partsKeyOf()), and
// are nearly every name's, told from the row in place.
inline pim::Entity partsWithEndBlanks(const Sqlite3Statement::Row& row, int first)
{
    pim::Entity parts;
    for (int i = first; i < first + 5; ++i) {
        const QByteArrayView part = row.text(i);
        if (!part.isEmpty() && (isBlankOrTab(part.front()) || isBlankOrTab(part.back()))) {
            for (int k = 0; k < 5; ++k)
                parts.fields.insert(kNameParts[k], row.getText(first + k));
            break;
        }
    }
    return parts;
}

} // namespace localdbnames

// Told without a call: asked many times for every name an import looks up.
inline bool LocalDb::ByteOrder::operator()(const QByteArray& a, const QByteArray& b) const noexcept
{
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (a.at(i) != b.at(i))
            return uchar(a.at(i)) < uchar(b.at(i));
    }
    return n < b.size();
}
