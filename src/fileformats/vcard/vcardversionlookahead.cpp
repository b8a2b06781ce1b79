// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/vcardversionlookahead.h"

#include <cstring>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The fold rule. A 2.1 writer folds where the text has a blank, so its
// folded lines are as long as the words allow, each its own length. A
// writer that cuts at a fixed width leaves every folded line at that width,
// give or take the octets of a letter or escape it would not split. So a
// card is taken as cut at a fixed width when it has at least two folded
// lines, all within kWidthSlack octets of each other and at least
// kMinFixedWidth wide, and two of them of exactly one width (with only two
// folds, both of one width). A card with one fold alone gives no such
// evidence: it is read the 2.1 way, the fold as a blank.
constexpr qint64 kWidthSlack = 2;
constexpr qint64 kMinFixedWidth = 70;

} // namespace

void VCardVersionLookahead::start(bool atLineStart, bool measureFolds)
{
    *this = VCardVersionLookahead();
    m_afterLineEnd = atLineStart;
    m_measureFolds = measureFolds;
}

VCardVersionLookahead::Result VCardVersionLookahead::read(const char* data, qsizetype length)
{
    const char* at = data;
    const char* const end = data + qMin<qint64>(length, kMaxBytes - m_read);
    while (m_result == Undecided && at < end) {
        if (m_line == SkipLine && !m_afterLineEnd) {
            // Most of a card is lines of no interest: straight to their ends.
            const void* lf = std::memchr(at, '\n', size_t(end - at));
            if (!lf) {
                noteBytes(at, end);
                at = end;
                break;
            }
            noteBytes(at, static_cast<const char*>(lf));
            endPhysicalLine();
            at = static_cast<const char*>(lf) + 1;
            m_afterLineEnd = true;
            m_foldBlank = false;
            continue;
        }
        take(*at++);
    }
    m_read += at - data;
    if (m_result == Undecided && m_read >= kMaxBytes)
        m_result = byFolds();
    return m_result;
}

VCardVersionLookahead::Result VCardVersionLookahead::finish()
{
    if (m_result == Undecided)
        m_result = byFolds();
    return m_result;
}

void VCardVersionLookahead::take(char c)
{
    if (c == '\n') {
        endPhysicalLine();
        m_afterLineEnd = true;
        m_foldBlank = false;
        return;
    }
    noteBytes(&c, &c + 1);
    // The tokenizer drops every CR.
    if (c == '\r')
        return;
    if (!m_afterLineEnd) {
        takeInLine(c);
        return;
    }
    if (isBlank(c)) {
        if (!m_foldBlank)
            noteFold();
        m_foldBlank = true;
        return;
    }
    m_afterLineEnd = false;
    if (!m_foldBlank) {
        // A new line; a VERSION line that ended without a value says no
        // version, as the card reader takes it.
        if (m_line == Value) {
            notJoining();
            if (m_result != Undecided)
                return;
        }
        m_line = Name;
        m_nameLength = 0;
        m_nameTooLong = false;
        m_binaryLine = false;
    }
    takeInLine(c);
}

void VCardVersionLookahead::takeInLine(char c)
{
    switch (m_line) {
    case SkipLine:
        return;
    case Name:
        if (c == ':' || c == ';') {
            endName(c == ';');
        } else if (c == '.') {
            m_nameLength = 0;
            m_nameTooLong = false;
        } else if (isBlank(c) || c == '\v' || c == '\f') {
            // Blanks inside a name are dropped, as the tokenizer does.
        } else if (m_nameLength < int(sizeof m_name)) {
            m_name[m_nameLength++] = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        } else {
            m_nameTooLong = true;
        }
        return;
    case Parameters:
        if (c == ':')
            m_line = Value;
        return;
    case Value:
        if (isBlank(c) || c == '\v' || c == '\f')
            return;
        if (c == '3' || c == '4') {
            m_result = Joins;
            return;
        }
        notJoining();
        return;
    }
}

void VCardVersionLookahead::endName(bool parametersFollow)
{
    const auto is = [this](const char* word) {
        const size_t length = std::strlen(word);
        return !m_nameTooLong && size_t(m_nameLength) == length && std::memcmp(m_name, word, length) == 0;
    };
    m_line = SkipLine;
    if (is("BEGIN") || is("END")) {
        m_result = byFolds();
        return;
    }
    if (is("VERSION") && !m_versionRead) {
        m_line = parametersFollow ? Parameters : Value;
        return;
    }
    m_binaryLine = is("PHOTO") || is("LOGO") || is("SOUND") || is("KEY");
}

void VCardVersionLookahead::notJoining()
{
    m_line = SkipLine;
    m_versionRead = true;
    if (!m_measureFolds)
        m_result = Spaces;
}

void VCardVersionLookahead::noteBytes(const char* from, const char* to)
{
    if (from == to)
        return;
    m_lineWidth += to - from;
    const char* last = to;
    while (last > from && last[-1] == '\r')
        --last;
    if (last == from) {
        m_trailingCr += to - from;
        return;
    }
    m_trailingCr = to - last;
    m_lastByte = last[-1];
}

void VCardVersionLookahead::endPhysicalLine()
{
    m_endedWidth = m_lineWidth - m_trailingCr;
    // A line that ends in "=" is a quoted-printable soft break, and a blank
    // after it is text (2.1) or a fold (3.0): no evidence either way.
    m_endedCounts = !m_binaryLine && !(m_endedWidth > 0 && m_lastByte == '=');
    m_lineWidth = 0;
    m_trailingCr = 0;
    m_lastByte = 0;
}

void VCardVersionLookahead::noteFold()
{
    if (!m_measureFolds || !m_endedCounts || m_irregular)
        return;
    ++m_folds;
    const qint64 width = m_endedWidth;
    for (int i = 0; i < m_distinctWidths; ++i) {
        if (m_widths[i].octets == width) {
            ++m_widths[i].count;
            return;
        }
    }
    for (int i = 0; i < m_distinctWidths; ++i) {
        if (qAbs(m_widths[i].octets - width) > kWidthSlack) {
            m_irregular = true;
            return;
        }
    }
    // Within the slack of each other, there are at most three widths.
    m_widths[m_distinctWidths++] = { width, 1 };
}

VCardVersionLookahead::Result VCardVersionLookahead::byFolds() const
{
    if (!m_measureFolds || m_irregular || m_folds < 2)
        return Spaces;
    bool twiceOneWidth = false;
    for (int i = 0; i < m_distinctWidths; ++i) {
        if (m_widths[i].octets < kMinFixedWidth)
            return Spaces;
        twiceOneWidth = twiceOneWidth || m_widths[i].count >= 2;
    }
    return twiceOneWidth ? Drops : Spaces;
}
