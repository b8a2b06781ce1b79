// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardlineend.h"

#include <initializer_list>

namespace vcardsyntax {

// The names of vCard 2.1, 3.0 and 4.0, and of instant messaging, which
// writers of 3.0 use too; upper case. BEGIN and END end a line only as a
// card's own lines (crAloneAt()).
const char* const kKnownPropertyNames[] = {
    // 2.1
    "ADR", "AGENT", "BDAY", "EMAIL", "FN", "GEO", "KEY", "LABEL", "LOGO", "MAILER", "N",
    "NOTE", "ORG", "PHOTO", "REV", "ROLE", "SOUND", "TEL", "TITLE", "TZ", "UID", "URL", "VERSION",
    // 3.0
    "CATEGORIES", "CLASS", "NAME", "NICKNAME", "PRODID", "PROFILE", "SORT-STRING", "SOURCE",
    // 4.0
    "ANNIVERSARY", "CALADRURI", "CALURI", "CLIENTPIDMAP", "FBURL", "GENDER", "IMPP", "KIND", "LANG", "MEMBER",
    "RELATED", "XML", nullptr
};

namespace {

bool isNameByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool isCapital(unsigned char c)
{
    return c >= 'A' && c <= 'Z';
}

bool isSmall(unsigned char c)
{
    return c >= 'a' && c <= 'z';
}

bool isWord(const unsigned char* from, const unsigned char* to, const char* word)
{
    for (; from < to && *word; ++from, ++word) {
        if (*from != (unsigned char)*word)
            return false;
    }
    return from == to && !*word;
}

// Written as writers write a property's name: a known one in capitals, an
// X- name in capitals, but for a writer's prefix in capitals before small
// letters ("X-ABLabel"). A note's line that starts "Note:", "Title:",
// "X-ray:" or "X-Mas:" is the note's.
bool isPropertyName(const unsigned char* name, const unsigned char* end)
{
    const long length = long(end - name);
    if (length > 2 && name[0] == 'X' && name[1] == '-') {
        if (length > 3 && isCapital(name[2]) && isCapital(name[3]))
            return true;
        for (const unsigned char* at = name + 2; at < end; ++at) {
            if (isSmall(*at))
                return false;
        }
        return true;
    }
    for (const char* const* known = kKnownPropertyNames; *known; ++known) {
        if (isWord(name, end, *known))
            return true;
    }
    return false;
}

// A card's own line after a CR alone ends the CR's line: from `at` on, the
// rest of it (`rest`: "VCARD" after "BEGIN:" or "END:") and blanks up to a
// line end. `from` is where the CR's bytes start, for the room.
CrAlone cardLineAt(const unsigned char* from, const unsigned char* at, const unsigned char* to, bool last,
                   const char* rest)
{
    for (; *rest; ++rest, ++at) {
        if (at == to)
            return last ? CrAlone::Text : CrAlone::Undecided;
        if (*at != (unsigned char)*rest)
            return CrAlone::Text;
    }
    for (;; ++at) {
        if (at - from > kCrNameRoom)
            return CrAlone::Text;
        if (at == to)
            return last ? CrAlone::EndsLine : CrAlone::Undecided;
        if (*at == '\r' || *at == '\n')
            return CrAlone::EndsLine;
        if (*at != ' ' && *at != '\t')
            return CrAlone::Text;
    }
}

// The bytes are read from `from` on, at most kCrNameRoom and one more:
// whether `at` may be read, or else what the bytes at hand say.
bool inRoom(const unsigned char* from, const unsigned char* at, const unsigned char* to, bool last,
            PropertyLine& otherwise)
{
    if (at - from > kCrNameRoom || at == to) {
        otherwise = at == to && !last && at - from <= kCrNameRoom ? PropertyLine::Undecided : PropertyLine::No;
        return false;
    }
    return true;
}

bool isLetter(unsigned char c)
{
    return isCapital(c) || isSmall(c);
}

// A byte of a parameter's value that is not quoted, as writers write one:
// printable ASCII but what ends, quotes or escapes it, or an "=".
bool isParameterValueByte(unsigned char c)
{
    return c > ' ' && c < 0x7F && c != ';' && c != ':' && c != '"' && c != '\\' && c != '=';
}

// The parameters from `at`, right after a name's ";", up to the ":".
// encoded: the line follows a quoted-printable soft break, where the "="
// of text is written "=3D": a value that starts so is the text's.
PropertyLine parametersAt(const unsigned char* from, const unsigned char* at, const unsigned char* to, bool last,
                          bool encoded)
{
    PropertyLine read = PropertyLine::No;
    for (;;) {
        if (!inRoom(from, at, to, last, read))
            return read;
        if (!isLetter(*at))
            return PropertyLine::No;
        do {
            if (!inRoom(from, ++at, to, last, read))
                return read;
        } while (isNameByte(*at));
        if (*at == '=') {
            if (!inRoom(from, ++at, to, last, read))
                return read;
            if (*at == '"') {
                do {
                    if (!inRoom(from, ++at, to, last, read))
                        return read;
                    if (*at == '\r' || *at == '\n')
                        return PropertyLine::No;
                } while (*at != '"');
                if (!inRoom(from, ++at, to, last, read))
                    return read;
            } else {
                if (!isParameterValueByte(*at) || (encoded && *at == '3' && to - at > 1 && (at[1] & ~0x20u) == 'D'))
                    return PropertyLine::No;
                do {
                    if (!inRoom(from, ++at, to, last, read))
                        return read;
                } while (isParameterValueByte(*at));
            }
        }
        if (*at == ':')
            return PropertyLine::Yes;
        if (*at != ';')
            return PropertyLine::No;
        ++at;
    }
}

} // namespace

PropertyLine propertyLineAt(const unsigned char* from, const unsigned char* to, bool last, PropertyHead head)
{
    const unsigned char* name = from;
    const unsigned char* at = from;
    PropertyLine read = PropertyLine::No;
    for (;; ++at) {
        if (!inRoom(from, at, to, last, read))
            return read;
        if (isNameByte(*at))
            continue;
        // One group before the name ("item1.EMAIL").
        if (*at == '.' && name == from && at != from) {
            name = at + 1;
            continue;
        }
        break;
    }
    if ((*at != ':' && *at != ';') || !isPropertyName(name, at))
        return PropertyLine::No;
    if (head == PropertyHead::Separator)
        return PropertyLine::Yes;
    if (*at == ';')
        return parametersAt(from, at + 1, to, last, head == PropertyHead::ParametersOrValue);
    if (head == PropertyHead::Parameters)
        return PropertyLine::No;
    if (!inRoom(from, ++at, to, last, read))
        return read;
    return *at != ' ' && *at != '\t' && *at != '\r' && *at != '\n' ? PropertyLine::Yes : PropertyLine::No;
}

CrAlone crAloneAt(const unsigned char* from, const unsigned char* to, bool last, bool freeText)
{
    const auto asCrAlone = [](PropertyLine read) {
        return read == PropertyLine::Yes ? CrAlone::EndsLine
            : read == PropertyLine::No   ? CrAlone::Text
                                         : CrAlone::Undecided;
    };
    // Free text keeps every line but the card's own end, which no note
    // holds, and a property's line with parameters, which no note's line
    // reads as: a card written in CR-alone lines into an LF file (two files
    // joined) ends there, and so does its note, rather than taking every
    // card after it into its text.
    if (freeText) {
        const CrAlone card = cardLineAt(from, from, to, last, "END:VCARD");
        return card != CrAlone::Text ? card : asCrAlone(propertyLineAt(from, to, last, PropertyHead::Parameters));
    }
    // A card's own line: "BEGIN:" or "END:" in capitals and what follows.
    for (const char* word : { "BEGIN:", "END:" }) {
        const unsigned char* at = from;
        for (; at < to && *word && *at == (unsigned char)*word; ++at, ++word) { }
        if (!*word)
            return cardLineAt(from, at, to, last, "VCARD");
        if (at == to && !last)
            return CrAlone::Undecided;
    }
    return asCrAlone(propertyLineAt(from, to, last, PropertyHead::Separator));
}

} // namespace vcardsyntax
