// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardownlabel.h"

namespace vcardsyntax {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Whether text[0, length) is the word, upper-case ASCII, ASCII case aside.
bool isWord(const char* text, size_t length, const char* word)
{
    size_t i = 0;
    for (; i < length && word[i]; ++i) {
        const char c = text[i] >= 'a' && text[i] <= 'z' ? char(text[i] - 'a' + 'A') : text[i];
        if (c != word[i])
            return false;
    }
    return i == length && !word[i];
}

void trimBlanks(const char*& text, size_t& length)
{
    while (length > 0 && isBlank(text[0])) {
        ++text;
        --length;
    }
    while (length > 0 && isBlank(text[length - 1]))
        --length;
}

constexpr char kOpen[] = "X-CUSTOM(";
constexpr size_t kOpenLength = sizeof kOpen - 1;

} // namespace

bool startsOwnLabel(const char* text, size_t length)
{
    return length >= kOpenLength && isWord(text, kOpenLength, kOpen);
}

bool readOwnLabel(const char* text, size_t length, OwnLabelParts& parts)
{
    if (!startsOwnLabel(text, length))
        return false;
    parts = OwnLabelParts();
    size_t at = kOpenLength;
    for (;;) {
        size_t equals = at;
        while (equals < length && text[equals] != '=' && text[equals] != ',')
            ++equals;
        if (equals == length || text[equals] != '=')
            break;
        const char* name = text + at;
        size_t nameLength = equals - at;
        trimBlanks(name, nameLength);
        const bool charset = isWord(name, nameLength, "CHARSET");
        if (!charset && !isWord(name, nameLength, "ENCODING"))
            break;
        size_t comma = equals + 1;
        while (comma < length && text[comma] != ',')
            ++comma;
        const char*& value = charset ? parts.charset : parts.encoding;
        size_t& valueLength = charset ? parts.charsetLength : parts.encodingLength;
        // An option that no comma ends leaves no label, and one named twice
        // is no such label's.
        if (comma == length || value)
            return false;
        value = text + equals + 1;
        valueLength = comma - equals - 1;
        trimBlanks(value, valueLength);
        at = comma + 1;
    }
    parts.label = text + at;
    parts.labelLength = length - at;
    return true;
}

bool namesQuotedPrintable(const char* word, size_t length)
{
    return isWord(word, length, "QUOTED-PRINTABLE");
}

} // namespace vcardsyntax
