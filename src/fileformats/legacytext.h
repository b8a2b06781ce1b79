// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

#include <functional>
#include <optional>

// Text of files that name no encoding: phones and mail programs of old
// wrote the local 8-bit code page, almost always windows-1252 (Mac Roman on
// older Macs and the palmtops synced with them), where everything newer
// writes UTF-8. A stretch of bytes that is valid UTF-8 is taken as UTF-8,
// anything else in one of those code pages, so no letter becomes a
// replacement character.
namespace legacytext {

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or code points beyond U+10FFFF).
bool isValidUtf8(QByteArrayView bytes);
// windows-1252 differs from Latin-1 only in 0x80..0x9F; the five
// unassigned bytes keep their C1 code points, as Windows itself maps them.
QString fromWindows1252(QByteArrayView bytes);
QString utf8OrWindows1252(QByteArrayView bytes);

// The two code pages Western European text without a declared charset
// comes in.
enum class WesternSet { Windows1252, MacRoman };
// Mac Roman as Macs since 8.5 map it (0xDB is the euro sign).
QString fromMacRoman(QByteArrayView bytes);
QString fromWestern(QByteArrayView bytes, WesternSet set);

// Text of an 8-bit code page forms UTF-8 by chance where a letter stands
// before a sign ("\u00C9\u201D" of windows-1252 reads as UTF-8 "\u0254"):
// whether every valid UTF-8 sequence of two or more bytes among the bytes
// is such, holding a byte 0x80..0x9F (a sign of windows-1252) and reading
// as no character of text where it stands (pim::isCharacterOfText()), and
// there is one. Bytes that form no sequence do not count.
bool formsUtf8ByChance(QByteArrayView bytes);

// UTF-8 text with a few stray bytes in it, as sync tools leave them (a
// byte of another code page typed or pasted in, a letter cut in two):
// whether the bytes hold valid UTF-8 sequences of two or more bytes, the
// stray bytes (0x80 and above outside a valid sequence) are at most half
// as many as the bytes of those, and the text without them reads as words
// (fitsText()). Text of an 8-bit code page holds such a sequence only by
// chance, two letters side by side, among more bytes that form none, or a
// letter and a sign (formsUtf8ByChance()).
bool isUtf8WithStrayBytes(QByteArrayView bytes);
// Such text: the letters of its valid sequences as UTF-8, every stray byte
// as the Western code page reads it, left out where that is a control code.
QString fromUtf8WithStrayBytes(QByteArrayView bytes, WesternSet set);
// The bytes a guess of the Western code page (WesternGuess::add()) is to
// see of such text: its stray bytes, each valid sequence as a small letter
// beside them.
QByteArray strayBytesInContext(QByteArrayView bytes);

// Tells windows-1252 text from Mac Roman text. The two put letters and
// punctuation on opposite halves of the upper range: 0x80..0x9F are
// accented letters in Mac Roman and mostly punctuation in windows-1252,
// 0xC0..0xFF the reverse. So the wrong reading of a text shows marks
// inside words ("Ib\u2021\u2013ez"), capitals inside lower-case words
// ("Montr\u017Dal") and control codes. Every stretch of a file's text that
// is not UTF-8 is added; the reading with clearly fewer such misfits wins,
// windows-1252 when in doubt. One file is one writer, so the choice holds
// for all of it.
class WesternGuess {
public:
    // Counts the misfits of both readings in bytes that are not UTF-8.
    void add(QByteArrayView bytes);
    // Counts those of the stray bytes of UTF-8 text with a few
    // (isUtf8WithStrayBytes()), each seen beside the text around it
    // (strayBytesInContext()): only what no writer writes. A byte typed
    // into UTF-8 text is a letter inside a word or a sign, and a sign of
    // windows-1252 between two letters ("ENDE\u2026BIS") is one still,
    // where Mac Roman would read a capital.
    void addStrayBytes(QByteArrayView bytes);
    // The guesses of two parts of one file as one.
    void merge(const WesternGuess& other);
    WesternSet choice() const;
    // Whether any byte outside ASCII was added.
    bool hasText() const { return m_seen; }

private:
    void count(QByteArrayView bytes, int least);

    qint64 m_windowsMisfits = 0;
    qint64 m_macMisfits = 0;
    bool m_seen = false;
};

// Windows programs declare ISO-8859 sets over text in their own code page,
// whose letters and marks stand on bytes 0x80..0x9F that the ISO set
// leaves to control codes: the Windows sibling of the named set
// ("windows-1250" for "ISO-8859-2", also spelt "ISO8859-2", "ISO_8859-2"
// or "LATIN2"), or empty for any other name.
QByteArray windowsSiblingOf(QByteArrayView charset);

// ISO-8859 sets whose Windows code page of the same letters leaves some of
// them on other bytes: text declared in one of them over bytes 0x80..0x9F
// is text of that code page where it reads as words ("ISO-8859-15" over
// windows-1252, "ISO-8859-4" over windows-1257, "ISO-8859-5" over
// windows-1251); empty for any other name.
QByteArray windowsRelativeOf(QByteArrayView charset);
// Whether any byte is one of 0x80..0x9F, which ISO-8859 sets leave to
// control codes.
bool holdsC1Bytes(QByteArrayView bytes);

// Text declared in an ISO-8859 set with a Windows sibling. A value that
// holds any byte 0x80..0x9F cannot be text of the ISO set and is read
// wholly in the sibling (where the two sets differ above 0x9F, as -2 and
// -7 do, the writer meant the sibling too); any other value in the ISO set.
// Never gives a control code U+0080..U+009F: a byte the sibling leaves
// unassigned becomes U+FFFD.
class IsoOverWindows {
public:
    // Not valid when the name has no sibling or either set has no decoder.
    explicit IsoOverWindows(QByteArrayView charset);
    bool isValid() const;
    QString decode(QByteArrayView bytes);

private:
    QStringDecoder m_iso;
    QStringDecoder m_windows;
    // windows-1252 is read by fromWindows1252(), which needs no decoder.
    bool m_windows1252 = false;
};

// Whether text read in a charset that its own line does not declare (one
// another line declares) reads as text of that charset: no replacement
// character, control code, private-use or unassigned character; no word
// that changes script ("J\u03CCrgen"), but for capitals or a single Latin
// letter in front of Chinese, Japanese or Korean ones and capitals after
// them, as in company names ("NTT\u30C9\u30B3\u30E2"); and no word of a
// single letter of a script that no longer word has ("la \u03B0 Paris").
bool fitsText(QStringView text);
// The bytes as decode reads them in such a charset, or nothing when that
// reading does not fit them (fitsText(), and no byte dropped at the end).
std::optional<QString> borrowedReading(
    QByteArrayView bytes, const std::function<QString(QByteArrayView)>& decode);

// How UTF-16 text starts: its byte order and the length of its byte-order
// mark (0 when it has none).
struct Utf16Start {
    bool littleEndian;
    int markLength;
};
// Whether the bytes that start a file are UTF-16, by the mark or, without
// one, by where the zero bytes stand: letters, digits and separators of
// the ASCII range, of which every card and table has plenty, are a zero
// byte and a non-zero one, so zeros stand on odd offsets (little-endian)
// or even ones (big-endian). Text in UTF-8 or an 8-bit code page holds no
// zero bytes, binary content holds them on both.
std::optional<Utf16Start> utf16Start(QByteArrayView head);
// UTF-16 data as UTF-8 text without the mark.
QByteArray utf16ToUtf8(QByteArrayView data, Utf16Start start);

} // namespace legacytext
