// SPDX-License-Identifier: GPL-3.0-or-later
// What the tokenizer notes of a name that holds more than the bytes of
// names, and what it tells of it.
#include "fileformats/vcard/syntax/vcardtokenizer.h"

#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstring>

using namespace cardtok;

namespace {

// What is noted of a name but that it has bytes, which nearly no name
// needs: set going at the first such note of its line.
void startNameNotes(CARD_Parser* p)
{
    if (p->nameNoted)
        return;
    p->nameNoted = true;
    p->nameGap = 0;
    p->nameGaps = 0;
    p->nameMark = 0;
    p->nameOdd = false;
}

// The desktop address book names its messaging fields after a protocol,
// "X-messaging/xmpp-All": a "/" right after "X-messaging", at the start of
// the name or after its group, is a byte of the name.
bool endsMessagingPrefix(const CARD_Parser* p)
{
    static constexpr char kPrefix[] = "X-MESSAGING";
    constexpr size_t length = sizeof kPrefix - 1;
    if (p->lineLength < p->nameMark + length)
        return false;
    const char* start = p->line + p->lineLength - length;
    if (start != p->line + p->nameMark && start[-1] != '.')
        return false;
    for (size_t i = 0; i < length; ++i) {
        const char c = start[i];
        if ((c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c) != kPrefix[i])
            return false;
    }
    return true;
}

} // namespace

namespace cardtok {

// A byte no name holds (kNameBytes): only the bytes of a byte-order mark
// before the name are none of its own, as two files joined into one leave
// it before the second one's BEGIN.
[[gnu::noinline]] void noteOddNameByte(CARD_Parser* p, unsigned char c)
{
    static constexpr unsigned char kMark[3] = { 0xEF, 0xBB, 0xBF };
    startNameNotes(p);
    if (p->lineLength < 3 && p->nameMark == p->lineLength && c == kMark[p->lineLength])
        ++p->nameMark;
    else if (c != '/' || !endsMessagingPrefix(p))
        p->nameOdd = true;
}

// A blank after a byte of the name, which the name the property callback
// gets leaves out: where it stood is noted.
[[gnu::noinline]] void noteNameGap(CARD_Parser* p)
{
    startNameNotes(p);
    if (p->nameGap == 0)
        p->nameGap = p->lineLength;
    if (p->lineLength < kNameGapRoom)
        p->nameGaps |= 1ULL << p->lineLength;
}

} // namespace cardtok

int CARD_IsNameDamaged(const CARD_Parser* parser)
{
    // The name is the first text of the line. A byte that would end it
    // early, a NUL, is noted.
    if (!parser->nameNoted)
        return parser->line[0] == 0;
    const size_t length = std::strlen(parser->line);
    const size_t mark = parser->nameMark;
    return parser->nameOdd || (mark != 0 && mark != 3) || length == mark
        || (parser->nameGap > mark && parser->nameGap < length);
}

unsigned long long CARD_GetNameGaps(const CARD_Parser* parser)
{
    if (!parser->nameNoted || parser->nameOdd || (parser->nameMark != 0 && parser->nameMark != 3))
        return 0;
    const size_t length = std::strlen(parser->line);
    if (length >= kNameGapRoom || length == parser->nameMark)
        return 0;
    // Only blanks between two of the name's bytes: not those after it, nor
    // those between a byte-order mark and the name.
    const unsigned long long inside = ((1ULL << length) - 1) & ~((2ULL << parser->nameMark) - 1);
    return parser->nameGaps & inside;
}
