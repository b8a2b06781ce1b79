// SPDX-License-Identifier: GPL-3.0-or-later
// What folded lines say of their writer: each folded line measured in
// octets and in characters, the folds of a card or of a whole file pooled,
// and the rule that reads a cut at one width from them.
#include "fileformats/vcard/syntax/vcardfoldlookahead.h"

// It reads escapes as the tokenizer does.
#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstring>

namespace {

// The fold rule. A 2.1 writer folds before a blank, so its folded lines are
// as long as the words allow, and of one width only by chance: a word ends
// right at the writer's width about one fold in five. A writer that cuts at
// a fixed width leaves every folded line at that width, narrower only where
// the width would split a letter or an "=XX" escape; it may count octets or
// characters, and count the blank it puts before a continuation or not.
//
// One writer writes a whole file, and a desktop address book that cuts
// leaves most cards one to four folds: so the folds of the text values of
// all the file's cards that are not 3.0 or 4.0 are pooled, and when at
// least kFoldsPooled of them all cut at the width of the widest, at least
// kMinFixedWidth wide, by one count, every such card of the file is cut.
// Text cut inside words meets at a stop before a letter or a small before a
// capital letter as often as anywhere (an e-mail address, "J.R.",
// "McArthur"), so that says nothing here. Only where the pooled folds
// disagree, cards of several writers in one file, is each card judged by
// its own folds, more strictly: kFoldsAlone of them, or kFoldsBesideABlank
// when a blank stands beside a fold (folding before a blank never leaves
// one there, a cut at one width now and then does), and none where two
// words meet (see meetAsTwoWords()). Anything else is read the 2.1 way, a
// fold as a blank.
constexpr int kMinFixedWidth = 70;
constexpr int kFoldsPooled = 3;
constexpr int kFoldsAlone = 5;
constexpr int kFoldsBesideABlank = 3;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

int hexValue(char c)
{
    return cardtok::hexValue(static_cast<unsigned char>(c));
}

bool isEscape(const char* at, const char* end)
{
    return end - at >= 3 && at[0] == '=' && hexValue(at[1]) >= 0 && hexValue(at[2]) >= 0;
}

// An escape of a UTF-8 continuation octet (=80 to =BF).
bool escapesContinuation(const char* at)
{
    const int high = hexValue(at[1]);
    return high >= 8 && high <= 11;
}

// The octets of the UTF-8 letter that `lead` starts; 1 for any other octet.
int letterLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 1;
}

// The characters of [at, end). A UTF-8 letter is one character, and so, in
// a quoted-printable value (from `escapesFrom` on, when not null), is an
// "=XX" escape, or the run of escapes that writes one UTF-8 letter: a
// writer that counts characters counts the letters it encodes. Other
// octets count one each, so text in a single-octet character set counts as
// its octets.
int charactersOf(const char* at, const char* end, const char* escapesFrom)
{
    int characters = 0;
    for (const char* c = at; c < end; ++c)
        characters += (static_cast<unsigned char>(*c) & 0xC0) != 0x80;
    if (!escapesFrom)
        return characters;
    for (const char* c = qMax(at, escapesFrom); c < end;) {
        c = static_cast<const char*>(std::memchr(c, '=', size_t(end - c)));
        if (!c)
            break;
        if (!isEscape(c, end)) {
            ++c;
            continue;
        }
        // Counted as three characters above.
        characters -= escapesContinuation(c) ? 3 : 2;
        c += 3;
    }
    return characters;
}

// The octets of the letter that starts at `at`: a UTF-8 letter's, or in a
// quoted-printable value those of the escapes that write one; 1 at the end.
int letterOctetsAt(const char* at, const char* end, bool escapes)
{
    if (at >= end)
        return 1;
    if (!escapes || !isEscape(at, end))
        return int(qMin<qsizetype>(letterLength(static_cast<unsigned char>(*at)), end - at));
    const int letter = letterLength(static_cast<unsigned char>(hexValue(at[1]) * 16 + hexValue(at[2])));
    int octets = 3;
    for (int i = 1; i < letter && isEscape(at + octets, end) && escapesContinuation(at + octets); ++i)
        octets += 3;
    return octets;
}

// Whether a fold stands where two words meet: after a comma or a stop and
// before a letter, or between a small letter and a capital (Latin-1
// letters written in UTF-8 included). `last` holds the folded line's last
// two octets, the last one first; next0 and next1 are the first two after
// the fold's blank. Text cut inside words hardly ever has those side by
// side; text folded before its blanks often has.
bool meetAsTwoWords(const unsigned char* last, unsigned char next0, unsigned char next1)
{
    const bool nextIsCapital = (next0 >= 'A' && next0 <= 'Z')
        || (next0 == 0xC3 && next1 >= 0x80 && next1 <= 0x9E && next1 != 0x97);
    const bool nextIsLetter = nextIsCapital || (next0 >= 'a' && next0 <= 'z') || next0 >= 0xC3;
    const bool lastIsSmall = (last[0] >= 'a' && last[0] <= 'z')
        || (last[1] == 0xC3 && last[0] >= 0x9F && last[0] <= 0xBF && last[0] != 0xB7);
    const bool lastEndsClause = last[0] == ',' || last[0] == '.' || last[0] == '!' || last[0] == '?';
    return (lastEndsClause && nextIsLetter) || (lastIsSmall && nextIsCapital);
}

} // namespace

void VCardFoldLookahead::Folds::add(const Folds& more)
{
    for (int c = 0; c < kCounts; ++c) {
        widest[c] = qMax(widest[c], more.widest[c]);
        splitAt[c] = qMin(splitAt[c], more.splitAt[c]);
    }
    count += more.count;
    blankBeside = blankBeside || more.blankBeside;
    betweenWords = betweenWords || more.betweenWords;
}

bool VCardFoldLookahead::Folds::widthsRuledOut() const
{
    for (int c = 0; c < kCounts; ++c) {
        if (widest[c] <= splitAt[c])
            return false;
    }
    return true;
}

bool VCardFoldLookahead::Folds::ruledOut() const
{
    return betweenWords || widthsRuledOut();
}

namespace {

bool oneWidth(const VCardFoldLookahead::Folds& folds)
{
    for (int c = 0; c < VCardFoldLookahead::kCounts; ++c) {
        if (folds.widest[c] >= kMinFixedWidth && folds.widest[c] <= folds.splitAt[c])
            return true;
    }
    return false;
}

} // namespace

bool VCardFoldLookahead::Folds::cutAtOneWidth() const
{
    if (betweenWords || count < kFoldsBesideABlank || (count < kFoldsAlone && !blankBeside))
        return false;
    return oneWidth(*this);
}

bool VCardFoldLookahead::Folds::cutByOneWriter() const
{
    return count >= kFoldsPooled && oneWidth(*this);
}

void VCardFoldLookahead::measureFold(qsizetype begin, qsizetype end, bool continuation)
{
    // A line that ends in "=" is a quoted-printable soft break, and a blank
    // after it is text (2.1) or a fold (3.0): no evidence either way.
    if (end > begin && m_card[end - 1] == '=')
        return;
    if (!m_wantParameters) {
        // Only a folded line asks what its value is.
        m_wantParameters = true;
        if (m_head != HeadValue && m_head != HeadNone) {
            m_headActive = true;
            readHead();
            if (m_result != Undecided)
                return;
        }
    }
    // Every writer cuts base64 anywhere: its folds say nothing of how text
    // is folded.
    if (m_head == HeadValue && m_encoding == Base64) {
        m_measured = false;
        return;
    }
    const char* const line = m_card + begin;
    const char* const lineEnd = m_card + end;
    const int octets = int(end - begin);
    const int characters
        = charactersOf(line, lineEnd, inQuotedPrintable(end) ? m_card + qMax(begin, m_valueStart) : nullptr);
    const int blank = continuation ? 1 : 0;
    m_fold.width[OctetsWithBlank] = octets;
    m_fold.width[Octets] = octets - blank;
    m_fold.width[CharactersWithBlank] = characters;
    m_fold.width[Characters] = characters - blank;
    m_fold.last[0] = octets >= 1 ? static_cast<unsigned char>(lineEnd[-1]) : 0;
    m_fold.last[1] = octets >= 2 ? static_cast<unsigned char>(lineEnd[-2]) : 0;
    m_foldOpen = true;
}

void VCardFoldLookahead::closeFold(qsizetype begin, qsizetype end)
{
    m_foldOpen = false;
    // The continuation's first octet is the fold's blank.
    const char* const next = m_card + begin + 1;
    const char* const lineEnd = m_card + end;
    const int octets = letterOctetsAt(next, lineEnd, inQuotedPrintable(begin + 1));
    const int following[kCounts] = { octets, octets, 1, 1 };
    Folds& folds = m_lineFolds;
    for (int c = 0; c < kCounts; ++c) {
        folds.widest[c] = qMax(folds.widest[c], m_fold.width[c]);
        folds.splitAt[c] = qMin(folds.splitAt[c], m_fold.width[c] + following[c] - 1);
    }
    ++folds.count;
    const auto next0 = static_cast<unsigned char>(next < lineEnd ? next[0] : 0);
    const auto next1 = static_cast<unsigned char>(next + 1 < lineEnd ? next[1] : 0);
    folds.blankBeside = folds.blankBeside || isBlank(char(m_fold.last[0])) || isBlank(char(next0));
    folds.betweenWords = folds.betweenWords || meetAsTwoWords(m_fold.last, next0, next1);
}

bool VCardFoldLookahead::foldsRuledOut()
{
    if (m_pooled) {
        Folds all = *m_pooled;
        all.add(m_cardFolds);
        return all.widthsRuledOut();
    }
    if (m_cardFolds.widthsRuledOut())
        return true;
    // Where two words meet says nothing when the file's folds agree; when
    // they rule a cut out too, or are not known, the card is judged by its
    // own folds alone and that settles it at once.
    if (!m_cardFolds.betweenWords)
        return false;
    const Folds* file = fileFolds();
    return !file || file->widthsRuledOut();
}

const VCardFoldLookahead::Folds* VCardFoldLookahead::fileFolds()
{
    if (!m_fileFoldsAsked) {
        m_fileFoldsAsked = true;
        m_file = m_fileFolds ? m_fileFolds() : nullptr;
    }
    return m_file;
}

VCardFoldLookahead::Result VCardFoldLookahead::byFolds()
{
    if (!m_measureFolds)
        return Spaces;
    if (m_cardFolds.count > 0) {
        if (const Folds* file = fileFolds()) {
            Folds all = *file;
            all.add(m_cardFolds);
            // The file's folds hold the card's own, unless the card stands
            // beyond what was pooled of the file.
            all.count = qMax(file->count, m_cardFolds.count);
            if (all.cutByOneWriter())
                return Drops;
        }
    }
    return m_cardFolds.cutAtOneWidth() ? Drops : Spaces;
}
