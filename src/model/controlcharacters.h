// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace pim {

// The characters windows-1252 writes with the bytes 0x80 to 0x9F, where
// Latin-1 has its C1 controls; the five bytes it leaves unassigned keep
// their C1 code points, as Windows itself maps them.
extern const char16_t kWindows1252C1[32];

// What dropControlCharacters() changed of a text.
struct ControlCharacterChanges {
    // Control characters were left out or replaced.
    bool controls = false;
    // Letters encoded twice were read as the letters meant.
    bool twiceEncoded = false;

    explicit operator bool() const { return controls || twiceEncoded; }
};

// A value's text as the file readers store it holds no control character
// but tab, line feed and CR: the others below U+0020, DEL (U+007F) and the
// C1 controls (U+0080 to U+009F), which a damaged or mis-read file leaves
// and which most views end the text at or hide, are not stored. A vertical
// tab, a form feed and a next line (U+0085), which writers put for a line
// break inside a field, become a line feed. Another C1 control is most
// often a byte of text that some program read in a one-byte code page,
// and the text tells which, taken whole (writingOf()):
// - UTF-8 read as Latin-1 and written as UTF-8 again (text encoded twice:
//   "it\u00E2" U+0080 U+0099 "s"), where a run of one lead U+00C2 to
//   U+00F4 and the code points U+0080 to U+00BF that, taken as bytes, make
//   the UTF-8 of one character holds a C1 control, no other C1 control
//   stands alone, and more of those characters read as text
//   (isCharacterOfText()) than not: every run becomes its character, those
//   without a C1 control too ("\u00C3\u00A9" in such text is "\u00E9"),
//   and a C1 control a run makes is read as one standing alone. A letter
//   standing alone was written once beside the rest ("Caf\u00E9 ... \u00E2"
//   U+0080 U+0093) and stays; a run cut off by the text's end, one of a
//   cell cut inside a letter, is left out;
// - UTF-8 read as windows-1252 and written again, where the five bytes it
//   leaves unassigned stayed C1 controls and every other byte 0x80 to 0x9F
//   became its sign ("\u00C3" U+008F "or\u00C4\u2018e"): read so where each
//   C1 control is one of those five and the runs, those signs taken as
//   their bytes, tell as above;
// - else a windows-1252 byte read as Latin-1: every C1 control becomes
//   that byte's character ("\u2013" for U+0096, "Spa\u00DF" U+0093 is
//   "Spa\u00DF\u201C"), or U+FFFD, which marks where a letter stood, for a
//   byte windows-1252 leaves unassigned.
// A next line standing alone is a line break in every reading and tells
// nothing. Text without a C1 control is not read so ("Ren\u00C3\u00A9e"
// stays) unless the texts written beside it are (see sharedWriting()).
// The other controls are dropped. Text read from a one-byte code page
// holds a C1 control only where a byte stands that the code page leaves
// unassigned (windows-1252's five), no letter and no byte of another code
// page: such a control becomes U+FFFD. In place: a text without such a
// character, nearly every one, is looked through once and neither copied
// nor written.
enum class ReadFrom {
    // UTF-8 or UTF-16, whose C1 controls are code points of the text.
    Unicode,
    CodePage,
};
ControlCharacterChanges dropControlCharacters(QString& text, ReadFrom from = ReadFrom::Unicode);

// How a text of UTF-8 or UTF-16 was written, as its C1 controls tell.
enum class Writing : uchar {
    // No C1 control but a next line: nothing is told.
    Untold,
    // windows-1252 read as Latin-1: each C1 control stands alone.
    Windows1252,
    // UTF-8 read as Latin-1, or as windows-1252, and written again.
    Twice,
    TwiceThroughWindows1252,
};
Writing writingOf(QStringView text);
// Of texts one program wrote side by side, a table's row, each with its
// own writing: how one that tells nothing was written. Text encoded twice
// where the others that tell are all so ("Zo\u00C3\u00AB" beside
// "\u00C3\u0085ngstr\u00C3\u00B6m"), through windows-1252 where one is;
// else nothing is told.
Writing sharedWriting(const Writing* writings, qsizetype count);
// Whether a line break that a control stands for stays one; in a name,
// where none belongs, it is a blank.
enum class LineBreaks { Kept, Blanks };
// As the first, in text whose writing the caller told: of UTF-8 or UTF-16,
// its own (writingOf()) and that of the texts beside it (sharedWriting()),
// read so where its own tells nothing, a run then becoming its character
// only where that reads as text; read from a code page, Windows1252.
ControlCharacterChanges dropControlCharacters(QString& text, Writing own, Writing shared, LineBreaks breaks,
                                              ReadFrom from = ReadFrom::Unicode);
// Whether UTF-8 text may hold a character that dropControlCharacters()
// changes: false only for one that holds none, looked through once, so
// that a reader of a whole file that holds none need look at none of its
// values.
bool mayHoldControlCharacters(QByteArrayView utf8);

// Whether a character read from bytes that may be of another encoding is
// one that contact text holds where it stands, after `before` and
// `beforeThat` and before `after`: where those bytes read as a character
// of UTF-8, are they one? Every character of four bytes is, known to our
// tables or newer (emoji, the mathematical letters of fancy names); every
// character of Latin-1 and Latin Extended-A; the letters of Greek,
// Cyrillic, Armenian, Hebrew and Arabic; Vietnamese, Romanian, Azerbaijani
// letters and the tones of pinyin beyond them; an accent after a letter of
// its script; punctuation, signs, emoji, the letters of other scripts. Not
// the phonetic letters, N'Ko, Syriac, rare or old scripts, private and
// unassigned code points, nor a letter of another script glued to a Latin
// one or a small letter after two capitals: what a letter and a sign of
// windows-1252 make when read as UTF-8 ("\u00C9\u201D" as U+0254,
// "\u00DF\u201C" as U+07D3, "HABL\u00D3\u201D" as "HABL\u04D4"). Capitals
// keep "\u00DF" ("GRO\u00DF"), and a name upper-cased in ASCII alone keeps
// its other letters ("BRZ\u0119K"): such a small letter is one inside a word
// or where windows-1252 would read a sign that ends no word.
bool isCharacterOfText(char32_t c, char32_t before, char32_t beforeThat, char32_t after);

} // namespace pim
