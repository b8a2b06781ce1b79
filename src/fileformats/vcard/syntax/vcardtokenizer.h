// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A push tokenizer for vCard text: bytes in, one property callback (name and
// parameters) and the decoded value out per logical line. It unfolds
// continuation lines and decodes quoted-printable and base64 values, so its
// user only sees decoded bytes. In quoted-printable an "=" that no two hex
// digits (either case) follow is text as written ("=4G", "E=MC2", "a = b"),
// but before a line end (a soft break, blanks between allowed) and right
// before another "=XX" escape, where a soft break lost its line end: a run
// of "=" there goes whole, so "==4B" and "===4B" read as "=4B" does. Among
// escapes, one that a soft break or a 2.1 fold cut after its "=" or its
// first digit goes on with the digits after it ("=9A==" LF "D0", "=6" CR LF
// " 9"), and a 2.1 fold between the escapes of one UTF-8 letter leaves no
// blank. A soft break right before a line that reads as a property's
// (vcardsyntax::propertyLineAt()) ends the value instead
// (CARD_WARN_SOFT_BREAK_BEFORE_PROPERTY). Outside CARD_UNFOLD_JOIN a base64 value also
// goes on over lines of nothing but base64 written at the start of the line,
// up to an empty line, as 2.1 writers that do not indent a photo write it.
// Of cards it knows only the lines "BEGIN:VCARD" and "END:VCARD", which no
// continuation swallows and which are parted where a writer put one right
// after the other (CARD_WARN_CARDS_JOINED); BEGIN and END are ordinary
// properties otherwise. Plain C-style interface so that it can be fuzzed
// and reused on its own.

struct CARD_Parser;

// name: NUL-terminated property name as written (group prefix and case kept).
// params: pairs of name and value, a null value for a bare parameter, ended
// by a pair of two nulls. Valid only during the call. A value keeps its
// quotes and the blanks and tabs between its bytes ("Google Talk"), as text
// that is stored may be; but one of CHARSET, ENCODING or VALUE, a word of
// the standard that says how the line is read, comes without them, as does
// a name, but that of a phone's own label ("X-CUSTOM(Gate Code)", see
// vcardownlabel.h). Such a label in quoted-printable goes on over its soft
// breaks, to a line that starts with "=" (no line of its own does).
typedef void (*CARD_PropHandler)(void* userData, const char* name, const char** params);
// Decoded value bytes (not NUL-terminated), from right after the colon,
// blanks included; only blanks before a quoted-printable value are
// skipped. A call with null and 0 closes the value.
typedef void (*CARD_DataHandler)(void* userData, const char* data, int len);
// A malformed line was dropped. lineNumber is the 1-based physical line on
// which the dropped logical line began. A value already announced through
// the property callback will not be delivered.
typedef void (*CARD_ErrorHandler)(void* userData, long long lineNumber);

enum CARD_Warning {
    // A quoted-printable value ended in "=" with nothing left to join: the
    // last line of the input, an empty line, or a BEGIN or END line, which
    // a continuation never swallows. The "=" is dropped, the value kept.
    CARD_WARN_DANGLING_SOFT_BREAK = 1,
    // CARD_UNFOLD_DROP took a fold of a value out with its blank; said once
    // per logical line, on its first line, and not of a base64 value, whose
    // blanks mean nothing.
    CARD_WARN_FOLD_DROPPED = 2,
    // "END:VCARD" and "BEGIN:VCARD" stood on one line, as writers that put
    // no line break between cards write them: they were read as two lines,
    // the BEGIN's starting where it stands on that line. Said of the
    // BEGIN's line. A "BEGIN:VCARD" right before "END:VCARD" is parted so
    // too (an empty card), unsaid.
    CARD_WARN_CARDS_JOINED = 3,
    // A quoted-printable "=" stood right before another "=XX" escape, a
    // soft break whose line end was lost, and was dropped with every "="
    // of its run; said of the line of the run's first "=", of a value
    // that has a data callback.
    CARD_WARN_STRAY_EQUALS = 4,
    // A quoted-printable value ended in "=" (or a run of them) right before
    // a line that reads as a property's line of the card: the "=" ended
    // the value and were dropped, and the line was read as its own. A
    // standard encoder escapes every "=" of the text, so a text line after
    // its soft break ("TEL: 555 0100") never reads so. Said of the line of
    // the "=".
    CARD_WARN_SOFT_BREAK_BEFORE_PROPERTY = 5,
};
// Something was read but not as written; lineNumber is the physical line
// it stands on.
typedef void (*CARD_WarningHandler)(void* userData, long long lineNumber, int warning);

// How a line end followed by one blank joins two lines.
enum CARD_UnfoldMode {
    // vCard 2.1: the line end and the blank become one space.
    CARD_UNFOLD_SPACE = 0,
    // vCard 3.0/4.0: the line end and the blank vanish; writers of these
    // versions fold inside words, inside UTF-8 sequences and inside the
    // "=XX" escapes of quoted-printable, so folds are undone before soft
    // breaks are joined and escapes decoded.
    CARD_UNFOLD_JOIN = 1,
    // vCard 2.1 cut at a fixed width, inside words: the line end and the
    // blank vanish as in 3.0, and a quoted-printable soft break is read the
    // 2.1 way.
    CARD_UNFOLD_DROP = 2,
};

// Null when memory is exhausted.
CARD_Parser* CARD_ParserCreate();
void CARD_ParserFree(CARD_Parser* parser);
// Back to the state of a new parser for new input; callbacks, user data and
// the line length limit stay, buffers are kept for reuse.
void CARD_ParserReset(CARD_Parser* parser);

void CARD_SetUserData(CARD_Parser* parser, void* userData);
void* CARD_GetUserData(CARD_Parser* parser);
void CARD_SetPropHandler(CARD_Parser* parser, CARD_PropHandler handler);
// May be set from inside the property callback: it then receives that
// property's value; one cleared in the closing call (null and 0) gets no
// more.
void CARD_SetDataHandler(CARD_Parser* parser, CARD_DataHandler handler);
void CARD_SetErrorHandler(CARD_Parser* parser, CARD_ErrorHandler handler);
void CARD_SetWarningHandler(CARD_Parser* parser, CARD_WarningHandler handler);

// May be changed from inside a callback; it applies to the folds that
// follow.
void CARD_SetUnfoldMode(CARD_Parser* parser, CARD_UnfoldMode mode);
// From inside a callback: the CARD_Parse call under way returns as soon as
// the byte it is reading is done, so the caller can look at what follows
// (a card's VERSION further on) before the tokenizer reads it. The bytes of
// that call from CARD_GetPosition() on, and its isFinal, are the caller's
// to feed again; a stop asked for while the input is being ended does
// nothing. A stop at or after a CR alone that earlier calls ended with,
// and that ended a line (CARD_LINES_LF), among the bytes held after it
// (at most vcardsyntax::kCrNameRoom), stands where it was asked: the held
// bytes from there on are fed again too.
void CARD_StopParser(CARD_Parser* parser);
// Longest logical line kept (name, parameters and decoded value; the bytes
// of a quoted-printable escape count as written until it is decoded); a
// longer line is dropped and reported as malformed. Default 512 MiB.
void CARD_SetMaxLineLength(CARD_Parser* parser, long long bytes);
// Where the next byte fed stands in the caller's file, so that offsets and
// line numbers refer to the whole file when only a part of it is fed.
void CARD_SetPosition(CARD_Parser* parser, long long byteOffset, long long lineNumber);
// Inside the property callback: non-zero when the name as written, group
// included, holds bytes no name holds. Names and groups are letters,
// digits, "-", "_" and the "." after a group (and the "/" of the desktop
// address book's "X-messaging/xmpp-All"); a damaged one has none at all,
// any other byte (a control byte, a NUL among them, which ends the name
// the callback gets; a byte over 0x7E; punctuation such as "|", "<", "{"
// or "@"), or a blank between two of its bytes, which the name the callback
// gets leaves out ("TE L" comes as "TEL"). Blanks around the name are none
// of them, nor is a UTF-8 byte-order mark before it.
int CARD_IsNameDamaged(const CARD_Parser* parser);
// Inside the property callback, of a name damaged by blanks between its
// bytes and by nothing else, of fewer than 64 bytes: bit k is set when
// blanks stood right before byte k of the name the callback gets ("X-GOOGLE
// TALK" comes as "X-GOOGLETALK", bit 8 set). 0 for any other name.
unsigned long long CARD_GetNameGaps(const CARD_Parser* parser);
// File offset and 1-based line number at which the current logical line
// began; inside a property callback, that of the property's own line.
long long CARD_GetLineStart(const CARD_Parser* parser);
long long CARD_GetLineNumber(const CARD_Parser* parser);
// File offset of the next byte to feed.
long long CARD_GetPosition(const CARD_Parser* parser);
// Malformed lines dropped since creation.
long long CARD_GetErrorCount(const CARD_Parser* parser);

// How the lines of the input end. Files of older Macs end every line in a
// CR alone; all others in LF or CR LF, and a CR alone inside a value of
// such a file (a line break a program put in a note) is text, unless a
// property's line follows it (vcardsyntax::crAloneAt()). The input's first
// line end tells which: a file's first line is its BEGIN line, which no
// writer breaks, and one file is one writer.
enum CARD_LineEnds {
    // No line end read yet.
    CARD_LINES_UNKNOWN = 0,
    // A CR alone ends a line.
    CARD_LINES_CR = 1,
    // A line ends in LF or CR LF, and at a CR alone that a property's line
    // follows (its name and ":" or ";", in a note or a label its name and
    // parameters); another CR alone is a byte of its line, in a
    // value a line break of the text (delivered as LF), elsewhere dropped
    // as a blank is.
    CARD_LINES_LF = 2,
};
// What the input read so far says; unknown before its first line end.
CARD_LineEnds CARD_GetLineEnds(const CARD_Parser* parser);
// For input that is part of a file (one card of it): how the file's lines
// end, as a reader of the whole file found. Call before feeding.
void CARD_SetLineEnds(CARD_Parser* parser, CARD_LineEnds lineEnds);

// Feeds len bytes (none when len <= 0). All state carries over between calls;
// a non-zero isFinal ends the input as if a line feed followed it. A line
// ends in LF, CR LF or, as CARD_LineEnds says, a CR alone; a CR LF split
// between two calls is one line end, and a CR alone whose name after it
// runs to the end of a call is read when later bytes tell what it is. A
// malformed line never stops the tokenizer: it is dropped, reported to the
// error callback and the rest is read. Returns 0 when this call dropped a
// line, non-zero otherwise.
int CARD_Parse(CARD_Parser* parser, const char* data, int len, int isFinal);

// "1.0"
const char* CARD_ParserVersion();
