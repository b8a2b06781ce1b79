// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardlineend.h"

namespace vcardsyntax {

namespace {

// The names of vCard 2.1, 3.0 and 4.0, and of instant messaging, which
// writers of 3.0 use too; upper case.
constexpr const char* kPropertyNames[] = {
    // 2.1
    "ADR", "AGENT", "BDAY", "BEGIN", "EMAIL", "END", "FN", "GEO", "KEY", "LABEL", "LOGO", "MAILER", "N",
    "NOTE", "ORG", "PHOTO", "REV", "ROLE", "SOUND", "TEL", "TITLE", "TZ", "UID", "URL", "VERSION",
    // 3.0
    "CATEGORIES", "CLASS", "NAME", "NICKNAME", "PRODID", "PROFILE", "SORT-STRING", "SOURCE",
    // 4.0
    "ANNIVERSARY", "CALADRURI", "CALURI", "CLIENTPIDMAP", "FBURL", "GENDER", "IMPP", "KIND", "LANG", "MEMBER",
    "RELATED", "XML"
};

bool isNameByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// Written as writers write a property's name: a known one in capitals, an
// X- name after a capital X ("X-ABLabel" keeps its small letters). A note's
// line that starts "Note:", "Title:" or "Name:" is the note's.
bool isPropertyName(const unsigned char* name, const unsigned char* end)
{
    const long length = long(end - name);
    // "X-" and at least one more.
    if (length > 2 && name[0] == 'X' && name[1] == '-')
        return true;
    for (const char* known : kPropertyNames) {
        long i = 0;
        while (i < length && known[i] && name[i] == (unsigned char)known[i])
            ++i;
        if (i == length && !known[i])
            return true;
    }
    return false;
}

} // namespace

CrAlone crAloneAt(const unsigned char* from, const unsigned char* to)
{
    const unsigned char* name = from;
    for (const unsigned char* at = from;; ++at) {
        if (at - from > kCrNameRoom)
            return CrAlone::Text;
        if (at == to)
            return CrAlone::Undecided;
        if (isNameByte(*at))
            continue;
        // One group before the name ("item1.EMAIL").
        if (*at == '.' && name == from && at != from) {
            name = at + 1;
            continue;
        }
        if ((*at == ':' || *at == ';') && isPropertyName(name, at))
            return CrAlone::EndsLine;
        return CrAlone::Text;
    }
}

} // namespace vcardsyntax
