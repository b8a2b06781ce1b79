// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tokenizer's inner parts, shared by its state machine
// (vcardtokenizer.cpp), its other calls (vcardtokenizer_parser.cpp), its
// value decoders (vcardtokenizer_decode.cpp), its fast paths
// (vcardtokenizer_fastpath.cpp), its parameters' blanks and labels
// (vcardtokenizer_params.cpp), what it does after a line end
// (vcardtokenizer_lineends.cpp) and at a CR alone
// (vcardtokenizer_cralone.cpp). Not for use outside the tokenizer,
// but for the fold look-ahead and the card text (vcardcardtext.cpp), which
// read escapes as the tokenizer does.

#include "fileformats/vcard/syntax/vcardlineend.h"
#include "fileformats/vcard/syntax/vcardtokenizer.h"

#include <cstddef>

namespace cardtok {

enum State {
    STATE_NAME,
    STATE_PARAM_START,
    STATE_PARAM_NAME,
    STATE_PARAM_VALUE_START,
    STATE_PARAM_VALUE,
    STATE_VALUE,
    // The rest of a malformed logical line is read and thrown away.
    STATE_SKIP,
};

enum Encoding {
    ENC_NONE,
    ENC_QUOTED_PRINTABLE,
    ENC_BASE64,
    ENC_8BIT,
};

// The line buffer moves while it grows, so parameters are kept as offsets;
// a value offset of 0 means a bare parameter (the name starts at 0).
struct ParamOffsets {
    size_t name;
    size_t value;
};

constexpr size_t kDefaultMaxLine = size_t(512) * 1024 * 1024;
// A line buffer that grew beyond this is given back after its line, so one
// huge photo does not pin memory for the rest of the file.
constexpr size_t kKeepCapacity = 64 * 1024;

inline bool isSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct HexTable {
    signed char value[256];
    constexpr HexTable()
        : value()
    {
        for (int i = 0; i < 256; ++i)
            value[i] = -1;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = (signed char)i;
        for (int i = 0; i < 6; ++i) {
            value['A' + i] = (signed char)(10 + i);
            value['a' + i] = (signed char)(10 + i);
        }
    }
};
inline constexpr HexTable kHex;

// A hex digit's value, either case; -1 for any other byte.
inline int hexValue(unsigned char c)
{
    return kHex.value[c];
}

struct Base64Table {
    unsigned char value[256];
    constexpr Base64Table()
        : value()
    {
        for (int i = 0; i < 256; ++i)
            value[i] = 255;
        for (int i = 0; i < 26; ++i) {
            value['A' + i] = (unsigned char)i;
            value['a' + i] = (unsigned char)(i + 26);
        }
        for (int i = 0; i < 10; ++i)
            value['0' + i] = (unsigned char)(i + 52);
        value[(unsigned char)'+'] = 62;
        value[(unsigned char)'/'] = 63;
    }
};
inline constexpr Base64Table kBase64;

inline unsigned char base64ToOrd(unsigned char c)
{
    return kBase64.value[c];
}

// The bytes of property names and groups: letters, digits, "-", the "_"
// some writers put in their own names and the "." after a group. Any other
// byte in a name is read one at a time and noted (CARD_IsNameDamaged()).
struct NameBytes {
    bool is[256];
    constexpr NameBytes()
        : is()
    {
        for (int c = 0; c < 256; ++c)
            is[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
                || c == '_' || c == '.';
    }
};
inline constexpr NameBytes kNameBytes;

// Blanks dropped inside a name are noted by where they stood (nameGaps)
// up to this byte of the line; no name that a rule reads runs longer.
constexpr size_t kNameGapRoom = 64;

} // namespace cardtok

namespace cardtok {

// After "=" and a line end in a quoted-printable value, what the next bytes
// are still to tell.
enum SoftBreak {
    SOFT_NONE,
    // Whether the next line continues the value.
    SOFT_BREAK,
    // 3.0/4.0: a blank followed, so the line end may be a fold inside an
    // "=XX" escape; a hex digit next says it was.
    SOFT_FOLD,
    // The next line starts like a BEGIN or END line, or like a property's
    // line (vcardsyntax::propertyLineAt()); its bytes are held in lookahead
    // until it is known whether it is one.
    SOFT_LOOKAHEAD,
    // 2.1: the soft break split a UTF-8 letter and a blank followed; the
    // blank and the escapes after it are held in lookahead until they tell
    // whether they finish the letter.
    SOFT_SPLIT_LETTER,
    // The same, the "=" of an escape held last.
    SOFT_SPLIT_ESCAPE,
    // The same, the first hex digit of a letter byte ("=8x" to "=Bx") held
    // last.
    SOFT_SPLIT_ESCAPE_LOW,
    // 2.1: a line after a base64 value starts with a base64 character, as
    // writers that do not indent a photo's lines write it; its bytes are
    // held in lookahead until they show whether the line goes on with the
    // value (nothing but base64 up to its end) or is a line of its own
    // (a name ends in ":", ";" or ".").
    SOFT_BASE64_LINE,
    // The value of a card's END line, or of its BEGIN line: "VCARD" and
    // blanks are read as any value is, while they match; the other card
    // line may follow on the same line, as writers that put no line break
    // between cards write it ("END:VCARDBEGIN:VCARD").
    SOFT_CARD_KIND,
    // After them, the bytes of the other card line so far are held until
    // they are all of it: then it is a line of its own.
    SOFT_CARD_NEXT,
};

// "BEGIN:VCARD" is the longest card line a continuation must not swallow;
// a few blanks may follow it.
constexpr int kLookaheadRoom = 16;
// No property name runs this long on base64 characters alone: a line that
// does is taken as base64 without waiting for its end.
constexpr int kBase64LineRoom = 80;
// What the bytes held after a line end may run to: the most a property's
// line needs to be told (vcardsyntax::propertyLineAt()), or a line of
// base64.
constexpr int kHeldRoom = vcardsyntax::kCrNameRoom + 1 > kBase64LineRoom ? vcardsyntax::kCrNameRoom + 1
                                                                          : kBase64LineRoom;

// At a soft break, an escape that the "=" before it left open, which the
// next line's hex digits may finish: a writer that cuts its lines anywhere
// cuts escapes too ("=D0=9A==" and "D0=A1", "=69=6=" and "9").
enum CutEscape {
    CUT_NONE,
    // "=" before the soft break's own.
    CUT_RUN,
    // "=" and its first digit before it.
    CUT_HALF,
};

// A blank left out inside a letter (settleFoldJoins()): before the byte
// at `at` of the line, or, where the digits after it were read as the
// escape of a soft break's "=", with those digits in the byte's stead.
struct FoldJoin {
    size_t at;
    unsigned char digits[2];
};

} // namespace cardtok

struct CARD_Parser {
    bool lfPending = true;
    // The input of the last call ended in a CR, read as a line end: a line
    // feed next belongs to it.
    bool crEnded = false;
    // The input of the last call ended in a CR in input whose lines end in
    // LF, or in a CR alone and the start of a name after it (crName): the
    // next bytes tell whether it was the CR of a CR LF, a CR that ends its
    // line (vcardsyntax::crAloneAt()) or a byte of the line.
    bool crHeld = false;
    unsigned char crName[vcardsyntax::kCrNameRoom] = {};
    int crNameCount = 0;
    // Decided at the first CR alone (CARD_LineEnds): by then a line end
    // read before it (physLine past firstLine) was an LF or a CR LF.
    int lineEnds = CARD_LINES_UNKNOWN;
    long long firstLine = 1;
    // The last line end a run found was a CR alone (vcardsyntax::findLineEnd()).
    bool crLines = false;
    // The pending line end was a CR alone, and the logical line being read
    // began after one: a card whose lines end so ends the lines of its
    // notes so too (vcardsyntax::crAloneAt()).
    bool lfFromCr = false;
    bool lineAfterCr = false;
    // The physical line that follows the last empty line, or line of
    // blanks, read (continuesOwnLabel()).
    long long lineAfterGap = 0;
    // The open own label whose soft breaks continuesOwnLabel() joins: the
    // logical line's start and its parameter's, and how far its text holds
    // no ")".
    long long ownLabelLine = -1;
    size_t ownLabelParam = 0;
    size_t ownLabelLooked = 0;
    bool foldPending = false;
    int softBreak = cardtok::SOFT_NONE;
    // The line whose "=" started the soft break, where that "=", or the run
    // of them it ends, starts in the line, whether a CR alone ended it, and
    // the escape it may have cut (CutEscape).
    long long softBreakLine = 0;
    size_t softBreakFrom = 0;
    bool softBreakFromCr = false;
    // The soft break is the encoder's (noteSoftBreak()): the line after it
    // is the text's, whatever it reads as. Else a line after it that
    // reads as a property's is held to its end (heldProperty): one that
    // ends in a soft break of its own is the text's too.
    bool softBreakEncoders = false;
    bool heldProperty = false;
    // The widths of a quoted-printable value's lines that soft breaks
    // ended, for the value whose logical line starts at qpLinesOf: whether
    // a line but its first was of no encoder's width (a line after an
    // encoded line break aside, which any width ends), and where its
    // current line starts.
    bool qpOddWidth = false;
    int cutEscape = cardtok::CUT_NONE;
    long long qpLinesOf = -1;
    long long qpLineFrom = 0;
    // Where the value starts in its logical line, as its name and
    // parameters were read, the ":" counted: an encoder that counts only a
    // value's columns ends its first line that much further on.
    size_t valueColumn = 0;
    // Where a CR that went with the line feed after it stood, when the
    // line feed came in another input (settleHeldCr()).
    long long crWithLfAt = -1;
    unsigned char lookahead[cardtok::kHeldRoom] = {};
    int lookaheadCount = 0;
    long long lookaheadStart = 0;
    // The physical line the held bytes stand on.
    long long lookaheadLine = 0;
    // The logical line's parameters name base64, whatever became of its
    // value since (a data URI read as text, a group that did not decode):
    // the lines it takes must not depend on what was decoded, so that a
    // reader without a data callback finds the same lines.
    bool base64Line = false;
    // The line feed just read ended a line of a 2.1 base64 value that may
    // go on on lines that are not indented; an empty line ends it.
    bool base64Open = false;
    // CARD_WARN_FOLD_DROPPED was said of the logical line.
    bool foldDropSaid = false;
    // SOFT_SPLIT_*: the bytes the split letter still lacks, 0 before its
    // lead byte; whether the soft break's "=" may open the escape the blank
    // cut ("=D0=" and " A1"), and whether it did: it is held in the blank's
    // stead.
    int splitMissing = 0;
    bool splitEquals = false;
    bool splitOwnEquals = false;
    // The blank was a 2.1 fold's, not one after a soft break.
    bool splitFromFold = false;
    // Where a value that names no charset lost the blank of a 2.1 fold
    // inside a letter, or the blank after a soft break whose "=" became an
    // escape's: they come back at its end unless the value is UTF-8
    // (settleFoldJoins()).
    int foldJoinCount = 0;
    int foldJoinCapacity = 0;
    cardtok::FoldJoin* foldJoins = nullptr;
    // SOFT_CARD_*: how much of "VCARD" was read, and the card line that
    // may follow it ("BEGIN:VCARD" after an END, "END:VCARD" after a BEGIN).
    const char* cardNext = nullptr;
    int cardKindRead = 0;

    char* line = nullptr;
    size_t lineCapacity = 0;
    size_t lineLength = 0;
    // Where a blank was first dropped after a byte of the name (0 for
    // none), before which of its first kNameGapRoom bytes blanks were
    // dropped (CARD_GetNameGaps()), how many bytes of a byte-order mark it
    // starts with and whether it holds a byte no name holds
    // (CARD_IsNameDamaged()); they count only once nameNoted, which nearly
    // no name needs.
    bool nameNoted = false;
    size_t nameGap = 0;
    unsigned long long nameGaps = 0;
    size_t nameMark = 0;
    bool nameOdd = false;
    // The name's length in line, group included, once its ":" or ";" is
    // read.
    size_t nameLength = 0;
    // Once the value starts, the name's last bytes (all of a shorter one):
    // whether the value is free text (vcardsyntax::isFreeTextName()), in
    // which a CR alone is a line break of the text, is asked of them.
    unsigned char nameEnd[8] = {};
    int state = cardtok::STATE_NAME;
    bool skipSpace = true;

    cardtok::ParamOffsets* params = nullptr;
    size_t paramCount = 0;
    size_t paramCapacity = 0;
    const char** paramPtrs = nullptr;
    size_t paramPtrCapacity = 0;
    bool paramEscape = false;
    bool paramQuoted = false;
    // A blank or tab was kept in a parameter of the line (keepsParamBlank()):
    // the blanks that end a name or value are then looked for.
    bool paramBlanks = false;

    int encoding = cardtok::ENC_NONE;
    // The value's CHARSET names one other than UTF-8, or UTF-8.
    bool otherCharset = false;
    bool utf8Charset = false;
    // An "=" of a quoted-printable value was read and the bytes after it
    // do not yet tell what it is: an escape ("=XX"), a soft break (the
    // line end next, blanks between allowed), a soft break whose line end
    // was lost (another "=" next: a run of them before an escape goes
    // whole), or text, kept as written. While it is open its bytes stand
    // in the line as written, from qpHeld on, the run's last "=" at
    // qpLast; the first hex digit is in pending (pendingCount 1).
    bool qpEscape = false;
    // Blanks followed the run's last "=".
    bool qpBlanks = false;
    // The run holds more than one "=".
    bool qpRun = false;
    // The value escaped a letter or a digit, as writers that escape every
    // byte do, and no standard encoder.
    bool qpEscapesText = false;
    size_t qpHeld = 0;
    size_t qpLast = 0;
    // The physical line of the run's first "=".
    long long qpLine = 0;
    // The last byte of the value came from an escape; the run's first "="
    // came right after one; the run's "=" came right after an "=" and one
    // hex digit that did (qpHalfDigit). Only escapes among escapes are
    // joined over a soft break or a fold that cut them: a text's "=" stays
    // as written ("E=MC2", "a==" and "cd").
    bool qpEscaped = false;
    bool qpAfterEscape = false;
    bool qpHalf = false;
    unsigned char qpHalfDigit = 0;
    // The byte of the escape read last, while qpEscaped says one was.
    unsigned char qpEscapedByte = 0;
    unsigned char pending[4] = { 0, 0, 0, 0 };
    int pendingCount = 0;

    void* userData = nullptr;
    CARD_PropHandler propCallback = nullptr;
    CARD_DataHandler dataCallback = nullptr;
    CARD_ErrorHandler errorCallback = nullptr;
    CARD_WarningHandler warningCallback = nullptr;

    int unfoldMode = CARD_UNFOLD_SPACE;
    size_t maxLine = cardtok::kDefaultMaxLine;

    long long position = 0;
    long long physLine = 1;
    long long lineStart = 0;
    long long lineNumber = 1;
    long long errors = 0;
    bool errorInCall = false;
    bool stopRequested = false;
};

namespace cardtok {

// State machine (vcardtokenizer.cpp).
void clearLine(CARD_Parser* p);
// Drops the current logical line; what is left of it up to its end is
// skipped.
void dropLine(CARD_Parser* p);
// Makes room for n more bytes; false when the line would be too long or
// memory is exhausted.
bool reserve(CARD_Parser* p, size_t n);
// Appends one byte; false (the line dropped) when it does not fit. Inline:
// every separator and every decoded escape comes this way.
inline bool append(CARD_Parser* p, unsigned char c)
{
    if ((p->lineLength == p->lineCapacity || p->lineLength >= p->maxLine) && !reserve(p, 1)) {
        dropLine(p);
        return false;
    }
    p->line[p->lineLength++] = char(c);
    return true;
}

// Notes of a name (vcardtokenizer_names.cpp), read one byte at a time.
// A byte no name holds (kNameBytes).
[[gnu::cold]] void noteOddNameByte(CARD_Parser* p, unsigned char c);
// A blank after a byte of the name.
[[gnu::cold]] void noteNameGap(CARD_Parser* p);

// Parameters (vcardtokenizer_params.cpp).
// A blank or tab in a parameter's name or value: true when it is kept. A
// value keeps those between its bytes, quoted or not ("Google Talk"): it
// may be text that is stored, a service's or a label's name. A name keeps
// them only in a phone's own label ("X-CUSTOM(Gate Code)", "X-Gate Code");
// in any other they are dropped, as ever ("TY PE").
[[gnu::cold]] bool keepsParamBlank(CARD_Parser* p, unsigned char c);
// The name of the last parameter ends: the blanks it ends in are none of
// it.
[[gnu::cold]] void endBlankedName(CARD_Parser* p);
inline void endParamName(CARD_Parser* p)
{
    if (p->paramBlanks)
        endBlankedName(p);
}
// Its value ends: the same, and the value of a CHARSET, ENCODING or VALUE
// parameter, a word of the standard that says how the line is read, goes
// without any, as such words always were read.
[[gnu::cold]] void endBlankedValue(CARD_Parser* p);
inline void endParamValue(CARD_Parser* p)
{
    if (p->paramBlanks)
        endBlankedValue(p);
}
// A line end cut the parameters and the next line starts with "=": true
// when the line end was a quoted-printable soft break inside a phone's own
// label, an open "X-CUSTOM(" that names ENCODING=QUOTED-PRINTABLE and whose
// line ends in "=" before its ")" and the ":". That "=" is then taken
// back, and the parameter goes on with the next line; nothing else goes on
// so, and no line of its own starts with "=". Nor does a line that an
// empty line or one of blanks parts from the label's (lineAfterGap).
[[gnu::cold]] bool continuesOwnLabel(CARD_Parser* p);

// Value decoding (vcardtokenizer_decode.cpp).
// Decodes the four characters in pending; false on a character outside the
// base64 alphabet (padding aside).
bool decodeBase64Group(CARD_Parser* p);
// After a group that failed to decode: when the value is a data URI
// ("data:image/jpeg;base64,...") under a base64 ENCODING, puts back what was
// decoded of it, as written, reads the rest as it stands (the photo rule
// decodes the URI) and says true; else false.
bool keepDataUri(CARD_Parser* p);
// One byte of a value in the current transfer encoding.
void valueByte(CARD_Parser* p, unsigned char c);
// The "=" of an open quoted-printable escape at the line end is a soft
// break: it goes from the line with the blanks after it.
void takeSoftBreak(CARD_Parser* p);
// After a soft break, 3.0/4.0: the line end was a fold inside an escape,
// whose "=" is open again.
void reopenEscape(CARD_Parser* p);
// The value goes on after a soft break with c: an escape the break cut
// (cutEscape) is open again when c is a hex digit, to be finished by it.
void resumeCutEscape(CARD_Parser* p, unsigned char c);
// Runs without line ends, each the same as feeding its bytes to valueByte
// one at a time.
void appendPlain(CARD_Parser* p, const unsigned char* bytes, size_t n);
// False, with nothing read, when the decoded run might not fit the line
// limit: the byte-wise path then finds where it overflows.
bool appendQuotedPrintable(CARD_Parser* p, const unsigned char* bytes, size_t n);
void appendBase64(CARD_Parser* p, const unsigned char* bytes, size_t n);

// Fast paths (vcardtokenizer_fastpath.cpp).
// Reads the run of bytes from s[i] that the current state can take in one
// piece, never past a line end: a CR right before a line feed is taken and
// dropped, any other CR is left for the byte-wise reading; of a base64
// value, a fold after the run's line goes with it (passBase64Fold()).
// Returns where it stopped, i itself when the bytes must go one at a time.
int takeRun(CARD_Parser* p, const unsigned char* s, int i, int n);

// At s[i], where a run of a base64 value's line stopped: when it is the
// line feed of the line and the next line goes on with the value (a blank,
// then no line end), the line end and the fold's blanks, which base64
// passes over, are taken at once and where the value goes on is returned;
// else i, for the bytes to be read one at a time. Inline: a photo has a
// fold on each of its lines.
inline int passBase64Fold(CARD_Parser* p, const unsigned char* s, int i, int n)
{
    if (i + 2 >= n || s[i] != '\n' || p->encoding != ENC_BASE64 || p->state != STATE_VALUE
        || p->stopRequested)
        return i;
    int at = i + 1;
    while (at < n && (s[at] == ' ' || s[at] == '\t'))
        ++at;
    // A line of blanks, or one whose end is in the next input, is read
    // byte by byte.
    if (at == i + 1 || at == n || s[at] == '\n' || s[at] == '\r')
        return i;
    ++p->physLine;
    // As the line feed read one at a time leaves it.
    p->base64Open = p->base64Line && p->unfoldMode != CARD_UNFOLD_JOIN;
    return at;
}

// The tokenizer's state machine for one byte of a line (vcardtokenizer.cpp).
void processChar(CARD_Parser* p, unsigned char c);
// The byte loop of CARD_Parse over s[i, n), s[0] at offset `base` of the
// input: returns where it stopped, n unless a stop was asked for.
int readBytes(CARD_Parser* p, const unsigned char* s, int i, int n, long long base);

// After a line end (vcardtokenizer_lineends.cpp).
// The blank after a line end joins the next line to this one; next is the
// byte after the blank, -1 when a line end follows it. A fold that cut an
// escape or a letter of escapes may take its blank away or hold it: true
// when it is held, the byte after it then to be read by continueSoftBreak()
// first.
bool applyFold(CARD_Parser* p, int next);
void warnDanglingSoftBreak(CARD_Parser* p, long long line);
// How far the held bytes match "BEGIN:VCARD" or "END:VCARD" (ASCII case
// aside): 0 not at all, 1 a proper prefix, 2 the whole line (blanks after
// it allowed).
int matchCardBoundary(const CARD_Parser* p);
// The held bytes, read as the bytes of the line they are.
void replayLookahead(CARD_Parser* p);
// The held line is complete: a BEGIN or END line ends the value and is read
// as the line it is; anything else continues the value.
void resolveLookahead(CARD_Parser* p);
// The held blank and escapes, read as the text they turned out to be.
void releaseSplitLetter(CARD_Parser* p);
// The first byte of a line after a 2.1 base64 value is a base64 character:
// the line is held until it shows what it is.
void holdBase64Line(CARD_Parser* p, unsigned char b, long long offset);
// The bytes of a held line from s[i] (s[0] at offset `base` of the input):
// when they show that the line goes on with the value (base64 beyond the
// room, or up to the line end), the held bytes are let go and where the
// line is to be read on as any value's line is returned: where the held
// bytes start when they stand right before i, else i, the held bytes read.
// Otherwise the run of base64 is held and where it stopped returned, the
// byte there (a byte of a name, a CR) for continueSoftBreak to read. The
// same as holding the bytes one at a time.
int holdBase64Run(CARD_Parser* p, const unsigned char* s, int i, int n, long long base);
// At the end of a value that lost blanks inside letters (foldJoinCount):
// they stay out only where the value is UTF-8 apart from those letters;
// else each blank comes back where it stood, with the digits it stood
// before as written.
[[gnu::cold]] void settleFoldJoins(CARD_Parser* p);
// A soft break's "=" and the line end after it, s[i - 1] (s[0] at offset
// `base` of the input): where the "=", or the run of them it ends, starts
// in the line, the escape it may have cut and whether the break is the
// encoder's (softBreakEncoders), told by the width of the line it ends, for
// the line after it to tell (readLineAfterSoftBreak()).
void noteSoftBreak(CARD_Parser* p, const unsigned char* s, int i, long long base);
// A byte after a soft break, or of a card line's value (SOFT_CARD_*);
// true when it was taken here.
bool continueSoftBreak(CARD_Parser* p, unsigned char b, long long offset);
// At s[i], the first byte of the line after a soft break, when it is no
// blank and no line end: when the bytes at hand tell whether the line is a
// property's (vcardsyntax::propertyLineAt()), the value ends before it or
// goes on with it. Returns i; the state tells (SOFT_NONE: decided).
int readLineAfterSoftBreak(CARD_Parser* p, const unsigned char* s, int i, int n, long long base);
// The value about to be read is that of a card's BEGIN or END line: what
// follows "VCARD" on its line is watched for the other one.
void watchCardLine(CARD_Parser* p);

// At a CR alone (vcardtokenizer_cralone.cpp).
// A CR alone, s[i - 1], where the byte loop reads it: as a line end, as a
// byte of its line, or held with the bytes after it (crHeld) when they do
// not yet tell.
enum CrRead { CR_TEXT, CR_LINE_END, CR_HELD };
[[gnu::cold]] CrRead readCr(CARD_Parser* p, const unsigned char* s, int i, int n);
// Where the input s[0, n) (n > 0, s[0] at offset `base`) starts to be read
// after one that ended in a CR; -1 when a stop was asked for at a held CR
// that ended its line: the position then stands right after it, and the
// name bytes held after it are the caller's to feed again.
[[gnu::cold]] int resumeAfterCr(CARD_Parser* p, const unsigned char* s, int n, long long base);
// The input ends after a CR held (crHeld): one that name bytes follow is a
// byte of its line, one alone ends the last line as the end does.
[[gnu::cold]] void endHeldCr(CARD_Parser* p);

} // namespace cardtok
