// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardfoldlookahead.h"

#include "fileformats/vcard/syntax/vcardlineend.h"

#include <cstring>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Dropped inside names and parameters, as the tokenizer drops them.
bool isSpace(char c)
{
    return isBlank(c) || c == '\v' || c == '\f';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

} // namespace

void VCardFoldLookahead::start(bool atLineStart, bool measureFolds)
{
    // Only what a card's reading relies on is set again: most cards are
    // decided after a line or two.
    m_result = Undecided;
    m_endLine = -1;
    m_measureFolds = measureFolds;
    m_versionRead = false;
    m_at = 0;
    m_searchFrom = 0;
    // The rest of the BEGIN line, when it comes first, goes with it.
    m_continues = !atLineStart;
    m_firstLine = atLineStart;
    m_head = HeadValue;
    m_headActive = false;
    // The rest of the BEGIN line, or a line that goes on with it.
    m_lineBegin = -1;
    m_measured = false;
    m_foldOpen = false;
    m_lineFolds = Folds();
    m_cardFolds = Folds();
    m_fileFoldsAsked = false;
}

VCardFoldLookahead::Result VCardFoldLookahead::read(const char* card, qsizetype size, bool last)
{
    if (m_result != Undecided)
        return m_result;
    m_card = card;
    m_size = qMin<qsizetype>(size, kMaxBytes);
    m_finishing = last || size >= kMaxBytes;
    readLines();
    if (m_result == Undecided && m_finishing) {
        endLogicalLine();
        if (m_result == Undecided)
            m_result = byFolds();
    }
    m_card = nullptr;
    return m_result;
}

void VCardFoldLookahead::readLines()
{
    if (m_firstLine) {
        // Empty lines before the first are passed over once the bytes after
        // them are at hand: the last one may be a CR that ends no line.
        qsizetype at = m_at;
        while (at < m_size && isLineEnd(m_card[at]) && endsLineAt(at))
            ++at;
        if (at == m_size)
            return;
        m_at = at;
        m_firstLine = false;
        m_searchFrom = m_at;
        m_continues = isBlank(m_card[m_at]);
        if (!m_continues)
            startLogicalLine(m_at);
    }
    while (m_result == Undecided && m_at < m_size) {
        if (m_headActive) {
            readHead();
            if (m_result != Undecided)
                return;
        }
        if (m_continues && m_head == HeadValue && m_encoding == Base64 && !m_measured && !m_foldOpen)
            skipBase64Lines();
        // A line ends as the tokenizer ends it: at a CR LF, a CR alone or a
        // line feed.
        const char* const found = vcardsyntax::findLineEnd(m_card + m_searchFrom, m_card + m_size, m_crLines);
        if (found == m_card + m_size && !m_finishing) {
            m_searchFrom = m_size;
            return;
        }
        const qsizetype lineEnd = found - m_card;
        qsizetype next = lineEnd + 1;
        // The CR alone of a file whose lines end otherwise is a byte of its
        // line.
        if (lineEnd < m_size && m_card[lineEnd] == '\r' && (next == m_size || m_card[next] != '\n')
            && !crAloneEndsLine(lineEnd)) {
            m_searchFrom = next;
            continue;
        }
        // The line feed of a CR LF, which nearly every line ends in, and
        // empty lines between a line and its continuation, which do not
        // part them, as the tokenizer reads them.
        if (next < m_size && m_card[next] == '\n' && m_card[lineEnd] == '\r')
            ++next;
        while (next < m_size && isLineEnd(m_card[next]) && endsLineAt(next))
            ++next;
        if (next >= m_size && !m_finishing) {
            // Whether a fold follows is for the next bytes to tell.
            m_searchFrom = lineEnd;
            return;
        }
        if (lineEnd < m_size)
            m_crLines = m_card[lineEnd] == '\r' && (lineEnd + 1 == m_size || m_card[lineEnd + 1] != '\n');
        const bool foldFollows = next < m_size && isBlank(m_card[next]);
        if (m_foldOpen)
            closeFold(m_at, lineEnd);
        if (foldFollows && m_measured)
            measureFold(m_at, lineEnd, m_continues);
        m_continues = foldFollows;
        m_at = qMin(next, m_size);
        m_searchFrom = m_at;
        if (foldFollows || m_result != Undecided)
            continue;
        // The next line starts a logical line: its name is read before
        // the rest of it, which often need not be.
        if (m_headActive || m_lineFolds.count > 0)
            endLogicalLine();
        if (m_result == Undecided && m_at < m_size)
            startLogicalLine(m_at);
    }
}

void VCardFoldLookahead::skipBase64Lines()
{
    // A photo's value runs to thousands of lines: each costs only the
    // search for its end. The line the value ends with, one that an empty
    // line parts from the next and one whose end or next line is not at
    // hand are left to readLines().
    const char* const end = m_card + m_size;
    const char* const from = m_card + m_searchFrom;
    const char* line = from;
    bool crLines = m_crLines;
    for (;;) {
        const char* const found = vcardsyntax::findLineEnd(line, end, crLines);
        if (found == end)
            break;
        const bool crLf = found[0] == '\r' && found + 1 < end && found[1] == '\n';
        // Whether a CR alone ends a line is for readLines() to say.
        if (found[0] == '\r' && !crLf && m_lineEnds != CARD_LINES_CR)
            break;
        const char* const next = found + (crLf ? 2 : 1);
        if (next == end || !isBlank(*next))
            break;
        crLines = found[0] == '\r' && !crLf;
        line = next;
    }
    if (line == from)
        return;
    m_crLines = crLines;
    m_at = line - m_card;
    m_searchFrom = m_at;
}

void VCardFoldLookahead::endLogicalLine()
{
    // The line's end is at hand, so what is left of its start is too.
    if (m_headActive)
        readHead();
    if (m_result != Undecided || m_lineFolds.count == 0)
        return;
    if (m_head == HeadValue && m_encoding != Base64)
        m_cardFolds.add(m_lineFolds);
    m_lineFolds = Folds();
    if (m_versionRead && m_measureFolds && foldsRuledOut())
        m_result = Spaces;
}

void VCardFoldLookahead::startLogicalLine(qsizetype begin)
{
    m_head = HeadName;
    m_headAt = begin;
    m_lineBegin = begin;
    m_nameLength = 0;
    m_encoding = Plain;
    m_wantParameters = false;
    m_measured = m_measureFolds;
    m_foldOpen = false;
    if (!m_versionRead && m_size - begin > 8 && std::memcmp(m_card + begin, "VERSION:", 8) == 0) {
        // Nearly every writer puts VERSION right after BEGIN, in capitals
        // and without parameters: its value is read here at once. Anything
        // else goes the way of every name.
        const char c = m_card[begin + 8];
        if (c == '3' || c == '4') {
            m_result = Joins;
            return;
        }
        if (!isSpace(c) && !isLineEnd(c)) {
            startValue(begin + 7);
            notJoining();
            return;
        }
    }
    // Once the version is known, only a card's end matters of the names;
    // a group before it ("item1.END") is not looked for.
    const char c = char(m_card[begin] | 0x20);
    m_nameMatters = !m_versionRead || c == 'b' || c == 'e';
    m_headActive = m_nameMatters;
    if (m_headActive)
        readHead();
}

void VCardFoldLookahead::readHead()
{
    qsizetype at = m_headAt;
    bool lineEnded = false;
    while (at < m_size) {
        if (m_head == HeadName) {
            // A name in one loop, and so a line of a 2.1 photo's base64
            // written at the start of the line, which has no name's end.
            for (; at < m_size; ++at) {
                const char c = m_card[at];
                // A CR that ends no line is dropped below, as a blank is.
                if (c == ':' || c == ';' || isLineEnd(c))
                    break;
                if (c == '.') {
                    m_nameLength = 0;
                } else if (isSpace(c)) {
                    continue;
                } else if (m_nameLength < int(sizeof m_name)) {
                    m_name[m_nameLength++] = upper(c);
                } else {
                    m_nameLength = int(sizeof m_name) + 1;
                }
            }
            if (at == m_size)
                break;
        }
        const char c = m_card[at];
        if (!isLineEnd(c) || !endsLineAt(at)) {
            // A CR that ends no line is dropped, as a blank is.
            if (c != '\r' && !readHeadByte(c, at)) {
                m_headAt = at + 1;
                return;
            }
            ++at;
            continue;
        }
        qsizetype next = at + 1;
        while (next < m_size && isLineEnd(m_card[next]) && endsLineAt(next))
            ++next;
        if (next >= m_size && !m_finishing)
            break;
        if (next >= m_size || !isBlank(m_card[next])) {
            lineEnded = true;
            break;
        }
        // A fold: its blank goes with it.
        at = next + 1;
    }
    m_headAt = at;
    if (!lineEnded && (at < m_size || !m_finishing))
        return;
    // The logical line ended before what was asked of it.
    m_headActive = false;
    if (m_head == HeadVersionValue) {
        // A VERSION line without a value says no version, as the card
        // reader takes it.
        m_head = HeadValue;
        notJoining();
    } else if (m_head != HeadValue) {
        m_head = HeadNone;
    }
}

bool VCardFoldLookahead::readHeadByte(char c, qsizetype at)
{
    switch (m_head) {
    case HeadName:
        // readHead() reads the rest of a name.
        endName(c == ';', at);
        return m_headActive;
    case HeadVersionParameters:
        if (c == ':')
            m_head = HeadVersionValue;
        break;
    case HeadVersionValue:
        if (isSpace(c))
            break;
        if (c == '3' || c == '4') {
            m_result = Joins;
            return false;
        }
        m_head = HeadValue;
        m_headActive = false;
        notJoining();
        return false;
    case HeadParameterStart:
        if (c == ':') {
            startValue(at);
            return false;
        }
        if (c != ';' && !isSpace(c)) {
            m_head = HeadParameterName;
            m_wordLength = 0;
            m_encodingNamed = false;
            addToWord(c);
        }
        break;
    case HeadParameterName:
        if (c == ':' || c == ';' || c == '=') {
            // ENCODING=X and a bare X both name the transfer encoding.
            m_encodingNamed = c == '=' && m_wordLength == 8 && std::memcmp(m_word, "ENCODING", 8) == 0;
            if (!m_encodingNamed)
                takeEncodingWord();
            m_wordLength = 0;
            m_escaped = false;
            if (c == ':') {
                startValue(at);
                return false;
            }
            m_head = c == ';' ? HeadParameterStart : HeadParameterValue;
        } else if (!isSpace(c)) {
            addToWord(c);
        }
        break;
    case HeadParameterValue:
        if (c == '"' && m_wordLength == 0) {
            // A quoted value may hold ":" and ";"; its quotes stay in it,
            // so it names no encoding.
            m_head = HeadQuoted;
            m_wordLength = int(sizeof m_word) + 1;
        } else if (c == ':' || (c == ';' && !m_escaped)) {
            if (m_encodingNamed)
                takeEncodingWord();
            if (c == ':') {
                startValue(at);
                return false;
            }
            m_head = HeadParameterStart;
        } else if (c == '\\') {
            if (m_escaped)
                addToWord(c);
            m_escaped = !m_escaped;
        } else if (!isSpace(c)) {
            m_escaped = false;
            addToWord(c);
        }
        break;
    case HeadQuoted:
        if (c == '"')
            m_head = HeadParameterValue;
        break;
    case HeadValue:
    case HeadNone:
        m_headActive = false;
        return false;
    }
    return true;
}

void VCardFoldLookahead::endName(bool parametersFollow, qsizetype at)
{
    const auto is = [this](const char* word, int length) {
        return m_nameLength == length && std::memcmp(m_name, word, size_t(length)) == 0;
    };
    if (m_nameMatters) {
        if (is("BEGIN", 5) || is("END", 3)) {
            m_headActive = false;
            m_endLine = m_lineBegin;
            m_result = byFolds();
            return;
        }
        if (is("VERSION", 7) && !m_versionRead) {
            m_head = parametersFollow ? HeadVersionParameters : HeadVersionValue;
            return;
        }
    }
    if (!parametersFollow) {
        startValue(at);
        return;
    }
    m_head = HeadParameterStart;
    m_headActive = m_wantParameters;
}

void VCardFoldLookahead::addToWord(char c)
{
    if (m_wordLength < int(sizeof m_word))
        m_word[m_wordLength++] = upper(c);
    else
        m_wordLength = int(sizeof m_word) + 1;
}

void VCardFoldLookahead::takeEncodingWord()
{
    const auto is = [this](const char* word) {
        const int length = int(std::strlen(word));
        return m_wordLength == length && std::memcmp(m_word, word, size_t(length)) == 0;
    };
    // The last one named counts, as in the tokenizer.
    if (m_wordLength == 0)
        return;
    if (is("QUOTED-PRINTABLE"))
        m_encoding = QuotedPrintable;
    else if (is("BASE64") || is("B"))
        m_encoding = Base64;
    else if (is("8BIT"))
        m_encoding = Plain;
}

void VCardFoldLookahead::startValue(qsizetype colon)
{
    m_head = HeadValue;
    m_valueStart = colon + 1;
    m_headActive = false;
}

void VCardFoldLookahead::notJoining()
{
    m_versionRead = true;
    if (!m_measureFolds)
        m_result = Spaces;
}

bool VCardFoldLookahead::inQuotedPrintable(qsizetype at) const
{
    return m_head == HeadValue && m_encoding == QuotedPrintable && at >= m_valueStart;
}

bool VCardFoldLookahead::crAloneEndsLine(qsizetype at)
{
    if (at + 1 == m_size)
        return true;
    // The tokenizer had read no line end before the card: the card's first
    // one tells, and any before this CR was a line feed's.
    if (m_lineEnds == CARD_LINES_UNKNOWN)
        m_lineEnds = std::memchr(m_card, '\n', size_t(at)) ? CARD_LINES_LF : CARD_LINES_CR;
    if (m_lineEnds == CARD_LINES_CR)
        return true;
    const auto* const after = reinterpret_cast<const unsigned char*>(m_card + at + 1);
    switch (vcardsyntax::crAloneAt(after, after + (m_size - at - 1), m_finishing, inFreeTextValue(at))) {
    case vcardsyntax::CrAlone::EndsLine:
        return true;
    case vcardsyntax::CrAlone::Text:
        return false;
    case vcardsyntax::CrAlone::Undecided:
        break;
    }
    // The bytes after it are not read before later ones tell what it is:
    // until then the bytes at hand end with the CR, which is taken as a
    // line end for now, behind which the readers wait.
    m_size = at + 1;
    return true;
}

bool VCardFoldLookahead::inFreeTextValue(qsizetype at) const
{
    // Right after a line end the CR starts a line, as the tokenizer reads
    // it; a CR alone that ends a line never stands before another.
    if (m_lineBegin < 0 || at == 0 || m_card[at - 1] == '\n')
        return false;
    // A line that began after a CR alone that ended a line is of a card
    // written in such lines, whose CRs end its note's lines too.
    if (m_lineBegin > 0 && m_card[m_lineBegin - 1] == '\r')
        return false;
    // The logical line's name and parameters as the tokenizer reads them:
    // blanks, folds and CRs that end no line are dropped; a quoted value
    // may hold ":" and ";", an escaped ";" stays in its value.
    enum { Name, ParameterStart, ParameterName, ParameterValueStart, ParameterValue } state = Name;
    unsigned char name[6];
    size_t nameLength = 0;
    bool quoted = false;
    bool escaped = false;
    for (qsizetype i = m_lineBegin; i < at; ++i) {
        const char c = m_card[i];
        if (isSpace(c) || isLineEnd(c))
            continue;
        if (c == ':' && !quoted)
            return nameLength <= sizeof name && vcardsyntax::isFreeTextName(name, nameLength);
        switch (state) {
        case Name:
            if (c == ';') {
                state = ParameterStart;
            } else if (c == '.') {
                nameLength = 0;
            } else if (nameLength < sizeof name) {
                name[nameLength++] = (unsigned char)c;
            } else {
                // Longer than any free-text name.
                nameLength = sizeof name + 1;
            }
            break;
        case ParameterStart:
            if (c != ';')
                state = ParameterName;
            break;
        case ParameterName:
            if (c == ';' || c == '=')
                state = c == ';' ? ParameterStart : ParameterValueStart;
            break;
        case ParameterValueStart:
            if (c == ';') {
                state = ParameterStart;
            } else {
                quoted = c == '"';
                escaped = false;
                state = ParameterValue;
            }
            break;
        case ParameterValue:
            if (quoted) {
                quoted = c != '"';
            } else if (c == ';' && !escaped) {
                state = ParameterStart;
            } else {
                escaped = c == '\\' && !escaped;
            }
            break;
        }
    }
    return false;
}
