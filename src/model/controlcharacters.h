// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

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
// often a byte of text that some program read as Latin-1, and the text
// tells which, taken whole:
// - UTF-8 read as Latin-1 and written as UTF-8 again (text encoded twice:
//   "it\u00E2" U+0080 U+0099 "s"), where every code point U+0080 to U+00FF
//   stands in a run of one lead U+00C2 to U+00F4 and the code points
//   U+0080 to U+00BF that, taken as bytes, make the UTF-8 of one character,
//   and more of those characters read as text (isCharacterOfText()) than
//   not: every run becomes its character, those without a C1 control too
//   ("\u00C3\u00A9" in such text is "\u00E9"), and a C1 control a run
//   makes is read as one standing alone;
// - else a windows-1252 byte read as Latin-1: every C1 control becomes
//   that byte's character ("\u2013" for U+0096, "Spa\u00DF" U+0093 is
//   "Spa\u00DF\u201C"), or U+FFFD, which marks where a letter stood, for a
//   byte windows-1252 leaves unassigned.
// Text without a C1 control is not read so ("Ren\u00C3\u00A9e" stays). The
// other controls are dropped. Text read from a one-byte code page holds a
// C1 control only where a byte stands that the code page leaves
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
// Whether UTF-8 text may hold a character that dropControlCharacters()
// changes: false only for one that holds none, looked through once, so
// that a reader of a whole file that holds none need look at none of its
// values.
bool mayHoldControlCharacters(QByteArrayView utf8);

// Whether a character read from bytes that may be of another encoding is
// one that contact text holds where it stands, after `before` and
// `beforeThat`: where those bytes read as a character of UTF-8, are they
// one? Every character of Latin-1 and Latin Extended-A is; the letters of
// Greek, Cyrillic, Armenian, Hebrew and Arabic; Vietnamese, Romanian and
// Azerbaijani letters beyond them; an accent after a letter of its script;
// punctuation, signs, emoji, the letters of other scripts. Not the
// phonetic letters, N'Ko, Syriac, rare or old scripts, private and
// unassigned code points, nor a letter of another script glued to a Latin
// one or a small letter after two capitals: what a letter and a sign of
// windows-1252 make when read as UTF-8 ("\u00C9\u201D" as U+0254,
// "\u00DF\u201C" as U+07D3, "HABL\u00D3\u201D" as "HABL\u04D4").
bool isCharacterOfText(char32_t c, char32_t before, char32_t beforeThat);

} // namespace pim
