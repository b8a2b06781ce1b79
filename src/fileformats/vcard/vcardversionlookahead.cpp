// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/vcardversionlookahead.h"

#include <cstring>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

void VCardVersionLookahead::start(bool atLineStart)
{
    *this = VCardVersionLookahead();
    m_afterLineEnd = atLineStart;
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
                at = end;
                break;
            }
            at = static_cast<const char*>(lf) + 1;
            m_afterLineEnd = true;
            m_foldBlank = false;
            continue;
        }
        take(*at++);
    }
    m_read += at - data;
    if (m_result == Undecided && m_read >= kMaxBytes)
        m_result = Spaces;
    return m_result;
}

VCardVersionLookahead::Result VCardVersionLookahead::finish()
{
    if (m_result == Undecided)
        m_result = Spaces;
    return m_result;
}

void VCardVersionLookahead::take(char c)
{
    // The tokenizer drops every CR.
    if (c == '\r')
        return;
    if (!m_afterLineEnd) {
        if (c == '\n') {
            m_afterLineEnd = true;
            m_foldBlank = false;
            return;
        }
        takeInLine(c);
        return;
    }
    if (c == '\n') {
        m_foldBlank = false;
        return;
    }
    if (isBlank(c)) {
        m_foldBlank = true;
        return;
    }
    m_afterLineEnd = false;
    if (!m_foldBlank) {
        // A new line; a VERSION line that ended without a value says no
        // version, as the card reader takes it.
        if (m_line == Value) {
            m_result = Spaces;
            return;
        }
        m_line = Name;
        m_nameLength = 0;
        m_nameTooLong = false;
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
        m_result = c == '3' || c == '4' ? Joins : Spaces;
        return;
    }
}

void VCardVersionLookahead::endName(bool parametersFollow)
{
    const auto is = [this](const char* word) {
        const size_t length = std::strlen(word);
        return !m_nameTooLong && size_t(m_nameLength) == length && std::memcmp(m_name, word, length) == 0;
    };
    if (is("BEGIN") || is("END")) {
        m_result = Spaces;
        return;
    }
    if (is("VERSION")) {
        m_line = parametersFollow ? Parameters : Value;
        return;
    }
    m_line = SkipLine;
}
