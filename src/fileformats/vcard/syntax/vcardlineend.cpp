// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardlineend.h"

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

} // namespace

CrAlone crAloneAt(const unsigned char* from, const unsigned char* to, bool last, bool freeText)
{
    // Free text keeps every line but the card's own end, which no note
    // holds: a card written in CR-alone lines into an LF file (two files
    // joined) ends there, and so does its note, rather than taking every
    // card after it into its text.
    if (freeText)
        return cardLineAt(from, from, to, last, "END:VCARD");
    const unsigned char* name = from;
    for (const unsigned char* at = from;; ++at) {
        if (at - from > kCrNameRoom)
            return CrAlone::Text;
        if (at == to)
            return last ? CrAlone::Text : CrAlone::Undecided;
        if (isNameByte(*at))
            continue;
        // One group before the name ("item1.EMAIL").
        if (*at == '.' && name == from && at != from) {
            name = at + 1;
            continue;
        }
        if (*at == ':' && name == from && (isWord(from, at, "BEGIN") || isWord(from, at, "END")))
            return cardLineAt(from, at + 1, to, last, "VCARD");
        if ((*at == ':' || *at == ';') && isPropertyName(name, at))
            return CrAlone::EndsLine;
        return CrAlone::Text;
    }
}

} // namespace vcardsyntax
