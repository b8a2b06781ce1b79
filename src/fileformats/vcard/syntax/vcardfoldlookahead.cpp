// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardfoldlookahead.h"

#include "fileformats/vcard/syntax/vcardlineend.h"

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

// Once the version is known, only the names of a card's end (END, BEGIN)
// and of a picture or a sound matter, and they start with one of these
// letters; a group before them ("item1.PHOTO") is not looked for.
bool mayNameWhatMatters(char c)
{
    switch (c | 0x20) {
    case 'b':
    case 'e':
    case 'k':
    case 'l':
    case 'p':
    case 's':
        return true;
    default:
        return false;
    }
}

// Whether the line end at `c` (a CR before its LF, or the LF) is followed,
// in this piece, by a line that is no fold.
bool endsUnfolded(const char* c, const char* end)
{
    if (*c == '\r' && (end - c < 2 || c[1] != '\n'))
        return false;
    const char* const next = *c == '\r' ? c + 2 : c + 1;
    return next < end && !isBlank(*next);
}

} // namespace

void VCardFoldLookahead::start(bool atLineStart, bool measureFolds, bool afterCr)
{
    // How the file's lines end carries over from card to card.
    const bool crLines = m_crLines;
    *this = VCardFoldLookahead();
    m_crLines = crLines;
    m_afterLineEnd = atLineStart;
    m_crEnded = afterCr;
    m_measureFolds = measureFolds;
}

VCardFoldLookahead::Result VCardFoldLookahead::read(const char* data, qsizetype length)
{
    const char* at = data;
    const char* const end = data + qMin<qint64>(length, kMaxBytes - m_read);
    m_data = data;
    if (m_read == 0 && m_afterLineEnd)
        at = readVersionLine(at, end);
    while (m_result == Undecided && at < end) {
        if (m_line == SkipLine && !m_afterLineEnd) {
            at = skipLines(at, end);
            continue;
        }
        if (m_line == Name && !m_afterLineEnd) {
            // Every line's name is read, to its ":" or ";", in one loop.
            at = readName(at, end);
            if (at < end)
                take(at++);
            continue;
        }
        take(at++);
    }
    // The last bytes read, for the width of a line that ends in the next
    // piece.
    if (at - data >= 2) {
        m_tail[0] = at[-2];
        m_tail[1] = at[-1];
    } else if (at - data == 1) {
        m_tail[0] = m_tail[1];
        m_tail[1] = at[-1];
    }
    m_read += at - data;
    if (m_result == Undecided && m_read >= kMaxBytes)
        m_result = byFolds();
    return m_result;
}

VCardFoldLookahead::Result VCardFoldLookahead::finish()
{
    if (m_result == Undecided)
        m_result = byFolds();
    return m_result;
}

const char* VCardFoldLookahead::readVersionLine(const char* at, const char* end)
{
    // Nearly every writer puts VERSION right after BEGIN, in upper case and
    // without parameters: its value is read here at once, at the start of a
    // line that is no fold. Anything else goes the byte-wise way.
    static constexpr char kVersion[] = "VERSION:";
    constexpr qsizetype kLength = sizeof kVersion - 1;
    if (end - at <= kLength || std::memcmp(at, kVersion, size_t(kLength)) != 0)
        return at;
    const char c = at[kLength];
    if (c == '3' || c == '4') {
        m_result = Joins;
        return at + kLength + 1;
    }
    if (isBlank(c) || c == '\v' || c == '\f' || c == '\r' || c == '\n')
        return at;
    m_afterLineEnd = false;
    m_nameLength = 0;
    m_nameTooLong = false;
    m_binaryLine = false;
    notJoining();
    return at + kLength + 1;
}

const char* VCardFoldLookahead::skipLines(const char* at, const char* end)
{
    // Most of a card is lines of no interest: straight to their ends, and
    // of the line after each only its first byte is looked at while it
    // leaves the line of no interest.
    for (;;) {
        const char* lf = vcardsyntax::findLineEnd(at, end, m_crLines);
        if (lf == end)
            return end;
        if (*lf == '\r') {
            // A CR LF is read as its line feed; a CR alone ends its line as
            // the tokenizer reads it, and a line feed at the start of the
            // next piece belongs to one that ends this piece.
            if (lf + 1 == end) {
                m_crEnded = true;
            } else {
                m_crLines = lf[1] != '\n';
                lf += m_crLines ? 0 : 1;
            }
        } else {
            m_crLines = false;
        }
        at = lf + 1;
        m_afterLineEnd = true;
        m_foldBlank = false;
        const char c = at < end ? *at : ' ';
        if (m_versionRead && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            // A line starts right here: no fold asks the width of the one
            // that ended.
            m_lineStart = m_read + (at - m_data);
        } else {
            endPhysicalLine(lf);
        }
        if (at == end)
            return at;
        if (!m_versionRead) {
            // Every name matters until the version is known; VERSION
            // itself, written the common way, is read here.
            const char* const valueEnd = c == 'V' ? readVersionLine(at, end) : at;
            if (valueEnd == at || m_result != Undecided)
                return valueEnd;
            at = valueEnd;
            continue;
        }
        if (isBlank(c)) {
            // A fold: the rest of the physical line is still of no
            // interest, whatever blanks follow.
            noteFold();
        } else if (c == '\r' || c == '\n') {
            return at;
        } else if (mayNameWhatMatters(c)) {
            const char* const nameEnd = readPlainName(at, end);
            if (!nameEnd)
                return at;
            if (m_result != Undecided)
                return nameEnd;
            at = nameEnd;
            continue;
        } else {
            // A new line of no interest (the line before it was one too,
            // so it held no VERSION waiting for its value).
            m_nameLength = 0;
            m_nameTooLong = false;
            m_binaryLine = false;
        }
        m_afterLineEnd = false;
        ++at;
    }
}

const char* VCardFoldLookahead::readPlainName(const char* at, const char* end)
{
    // Only a name without a group, blank or CR, whose ":" or ";" is in this
    // piece; anything else is left to the byte-wise reading, which reads
    // such names the same way.
    const char* c = at;
    for (; c < end && *c != ':' && *c != ';'; ++c) {
        switch (*c) {
        case '\r':
        case '\n':
            // A line without a name's end (a line of a 2.1 photo's base64
            // written at the start of the line) is of no interest when the
            // next line in this piece is no fold of it.
            return endsUnfolded(c, end) ? endUninteresting(c) : nullptr;
        case '.':
        case ' ':
        case '\t':
        case '\v':
        case '\f':
            return nullptr;
        default:
            break;
        }
    }
    if (c == end)
        return nullptr;
    const qsizetype length = c - at;
    // Letters compare without case; no other byte matches one that way.
    const auto is = [at, length](const char* lower) {
        if (qsizetype(std::strlen(lower)) != length)
            return false;
        for (qsizetype i = 0; i < length; ++i) {
            if ((at[i] | 0x20) != lower[i])
                return false;
        }
        return true;
    };
    m_nameLength = 0;
    m_nameTooLong = false;
    m_line = SkipLine;
    m_afterLineEnd = false;
    if (is("end") || is("begin")) {
        m_result = byFolds();
        return c + 1;
    }
    m_binaryLine = is("photo") || is("logo") || is("sound") || is("key");
    return c + 1;
}

const char* VCardFoldLookahead::endUninteresting(const char* lineEnd)
{
    m_nameLength = 0;
    m_nameTooLong = false;
    m_binaryLine = false;
    m_line = SkipLine;
    m_afterLineEnd = false;
    return lineEnd;
}

void VCardFoldLookahead::take(const char* at)
{
    char c = *at;
    if (m_crEnded) {
        m_crEnded = false;
        if (c == '\n') {
            // The line feed of a CR LF: the next line starts after it.
            m_lineStart = m_read + (at - m_data) + 1;
            return;
        }
    }
    // A CR ends a line as the tokenizer reads it: alone, or with the line
    // feed after it.
    if (c == '\r') {
        m_crEnded = true;
        c = '\n';
    }
    if (c == '\n') {
        endPhysicalLine(at);
        m_afterLineEnd = true;
        m_foldBlank = false;
        return;
    }
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
        m_nameLength = 0;
        m_nameTooLong = false;
        m_binaryLine = false;
        m_line = m_versionRead && !mayNameWhatMatters(c) ? SkipLine : Name;
    }
    takeInLine(c);
}

void VCardFoldLookahead::takeInLine(char c)
{
    switch (m_line) {
    case SkipLine:
        return;
    case Name:
        if (c == ':' || c == ';')
            endName(c == ';');
        else
            readName(&c, &c + 1);
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

const char* VCardFoldLookahead::readName(const char* at, const char* end)
{
    for (; at < end; ++at) {
        const char c = *at;
        if (c == ':' || c == ';' || c == '\n' || c == '\r')
            break;
        if (c == '.') {
            m_nameLength = 0;
            m_nameTooLong = false;
        } else if (isBlank(c) || c == '\v' || c == '\f') {
            // Dropped inside a name, as the tokenizer does.
        } else if (m_nameLength < int(sizeof m_name)) {
            m_name[m_nameLength++] = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        } else {
            m_nameTooLong = true;
        }
    }
    return at;
}

void VCardFoldLookahead::endName(bool parametersFollow)
{
    const auto is = [this](const char* word, int length) {
        return m_nameLength == length && std::memcmp(m_name, word, size_t(length)) == 0;
    };
    m_line = SkipLine;
    if (m_nameTooLong)
        return;
    if (is("BEGIN", 5) || is("END", 3)) {
        m_result = byFolds();
        return;
    }
    if (is("VERSION", 7) && !m_versionRead) {
        m_line = parametersFollow ? Parameters : Value;
        return;
    }
    m_binaryLine = is("PHOTO", 5) || is("LOGO", 4) || is("SOUND", 5) || is("KEY", 3);
}

void VCardFoldLookahead::notJoining()
{
    m_line = SkipLine;
    m_versionRead = true;
    if (!m_measureFolds)
        m_result = Spaces;
}

char VCardFoldLookahead::byteBefore(const char* at, int back) const
{
    if (at - m_data >= back)
        return at[-back];
    // In an earlier piece: m_tail holds the last two bytes read.
    const qsizetype earlier = back - (at - m_data);
    return earlier <= 2 ? m_tail[2 - earlier] : 0;
}

void VCardFoldLookahead::endPhysicalLine(const char* lf)
{
    if (!m_measureFolds)
        return;
    const qint64 lfOffset = m_read + (lf - m_data);
    qint64 width = lfOffset - m_lineStart;
    char last = 0;
    if (width > 0) {
        last = lf - m_data >= 1 ? lf[-1] : byteBefore(lf, 1);
        if (last == '\r') {
            --width;
            last = width == 0 ? 0 : lf - m_data >= 2 ? lf[-2] : byteBefore(lf, 2);
        }
    }
    m_endedWidth = width;
    // A line that ends in "=" is a quoted-printable soft break, and a blank
    // after it is text (2.1) or a fold (3.0): no evidence either way.
    m_endedCounts = !m_binaryLine && last != '=';
    m_lineStart = lfOffset + 1;
}

void VCardFoldLookahead::noteFold()
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

VCardFoldLookahead::Result VCardFoldLookahead::byFolds() const
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
