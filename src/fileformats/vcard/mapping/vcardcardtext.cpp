// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardcardtext.h"

#include "fileformats/vcard/syntax/vcardproperty.h"
#include "model/contact.h"
// Escapes are read as the tokenizer reads them.
#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstring>
#include <optional>

namespace {

// Bytes that may be quoted-printable codes of UTF-8 written without saying
// so (see VCardCardText::text()): the text they write, or nothing. `stray`
// tells whether a run of "=" before a code was left out.
std::optional<QString> fromUndeclaredCodes(const QByteArray& bytes, bool& stray)
{
    // The tokenizer joins no next line to a value that does not declare
    // quoted-printable: a soft break can only end it.
    const qsizetype end = bytes.endsWith('=') ? bytes.size() - 1 : bytes.size();
    const auto escapeAt = [&bytes, end](qsizetype at) {
        return at + 2 < end && cardtok::hexValue(uchar(bytes.at(at + 1))) >= 0
            && cardtok::hexValue(uchar(bytes.at(at + 2))) >= 0;
    };
    QByteArray decoded;
    decoded.reserve(end);
    bool beyondAscii = false;
    for (qsizetype i = 0; i < end; ++i) {
        const auto c = uchar(bytes.at(i));
        if (c > 0x7E)
            return std::nullopt;
        if (c != '=') {
            decoded.append(char(c));
            continue;
        }
        if (!escapeAt(i)) {
            // As the tokenizer reads them: a run of "=" right before a
            // code stands where soft breaks lost their line ends.
            qsizetype last = i;
            while (last + 1 < end && bytes.at(last + 1) == '=')
                ++last;
            if (last == i || !escapeAt(last))
                return std::nullopt;
            stray = true;
            i = last;
        }
        const int high = cardtok::hexValue(uchar(bytes.at(i + 1)));
        decoded.append(char(high * 16 + cardtok::hexValue(uchar(bytes.at(i + 2)))));
        beyondAscii = beyondAscii || high >= 8;
        i += 2;
    }
    // In valid UTF-8 a byte beyond ASCII belongs to a letter of two or
    // more bytes.
    if (!beyondAscii || !legacytext::isValidUtf8(decoded))
        return std::nullopt;
    return QString::fromUtf8(decoded);
}

// Whether the bytes are ASCII, whether they hold an "=" (only looked for
// when asked), and whether a control character (below 0x20, tab and line
// breaks among them, or DEL).
struct AsciiScan {
    bool ascii;
    bool equals;
    bool controls;
};
template <bool findEquals>
AsciiScan scanAscii(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 8) {
        uint all = 0;
        bool equals = false;
        bool controls = false;
        for (qsizetype i = 0; i < n; ++i) {
            all |= p[i];
            equals |= findEquals && p[i] == '=';
            controls |= p[i] < 0x20 || p[i] == 0x7F;
        }
        return { all < 0x80, equals, controls };
    }
    // Eight at a time, the last eight overlapping those before: of ASCII
    // bytes, only an "=" XORed with "=" borrows when 1 is taken from each,
    // only one below 0x20 borrows when 0x20 is taken from each, and only
    // DEL carries into the high bit when 1 is added to each.
    constexpr quint64 kHigh = 0x8080808080808080ULL;
    constexpr quint64 kOnes = 0x0101010101010101ULL;
    quint64 equals = 0;
    quint64 controls = 0;
    for (qsizetype i = 0;; i += 8) {
        if (i > n - 8)
            i = n - 8;
        quint64 word;
        std::memcpy(&word, p + i, 8);
        if (word & kHigh)
            return { false, false, false };
        if (findEquals)
            equals |= (word ^ (0x3D * kOnes)) - kOnes;
        controls |= (word - 0x20 * kOnes) | (word + kOnes);
        if (i == n - 8)
            break;
    }
    return { true, (equals & kHigh) != 0, (controls & kHigh) != 0 };
}

// Whether the property's own parameters say what its bytes are: an
// ENCODING, or a VALUE other than text (a link, a date).
bool saysWhatItHolds(const VCardProperty& property)
{
    if (!property.paramIgnoringCase(QLatin1StringView("ENCODING")).isEmpty()
        || property.isEncodedAs({ QLatin1StringView("QUOTED-PRINTABLE"), QLatin1StringView("BASE64"),
            QLatin1StringView("8BIT"), QLatin1StringView("7BIT") }))
        return true;
    const QString value = property.paramIgnoringCase(QLatin1StringView("VALUE")).trimmed();
    return !value.isEmpty() && !VCardParams::isWord(value, QLatin1StringView("TEXT"));
}

} // namespace

QString VCardCardText::text(const VCardProperty& property, Holds holds)
{
    bool mayHoldControls = true;
    pim::ReadFrom from = pim::ReadFrom::Unicode;
    QString read = readText(property, holds, mayHoldControls, from);
    // While the file's Western text is surveyed nothing is read.
    if (mayHoldControls && !m_westernGuess) {
        if (const pim::ControlCharacterChanges changes = pim::dropControlCharacters(read, from))
            noteChanges(changes, property.line);
    }
    return read;
}

QString VCardCardText::storedText(const VCardProperty& property, const QString& written)
{
    QStringView unquoted(written);
    if (unquoted.size() >= 2 && unquoted.front() == u'"' && unquoted.back() == u'"')
        unquoted = unquoted.sliced(1, unquoted.size() - 2);
    return storedText(property, unquoted.toLatin1(), QString());
}

QString VCardCardText::storedText(const VCardProperty& property, const QByteArray& bytes, const QString& charset)
{
    VCardProperty stored;
    stored.line = property.line;
    stored.value = bytes;
    const QString declared = charset.isEmpty() ? property.paramIgnoringCase(QLatin1StringView("CHARSET")) : charset;
    if (!declared.isEmpty())
        stored.params.insert(QStringLiteral("CHARSET"), declared);
    bool mayHoldControls = true;
    pim::ReadFrom from = pim::ReadFrom::Unicode;
    QString text = readText(stored, Holds::Data, mayHoldControls, from);
    if (mayHoldControls) {
        if (const pim::ControlCharacterChanges changes = pim::dropControlCharacters(text, from))
            noteChanges(changes, property.line);
    }
    pim::dropEndBlanks(text);
    return text;
}

void VCardCardText::noteChanges(pim::ControlCharacterChanges changes, qint64 line)
{
    if (changes.controls)
        m_controlLines.append(line);
    if (changes.twiceEncoded)
        m_twiceEncodedLines.append(line);
}

QString VCardCardText::readText(const VCardProperty& property, Holds holds, bool& mayHoldControls,
                                pim::ReadFrom& from)
{
    const QString charset = property.paramIgnoringCase(QLatin1StringView("CHARSET"));
    const bool utf8 = !charset.isEmpty() && VCardCharsets::namesUtf8(charset);
    if (charset.isEmpty() || utf8) {
        // A value of ASCII alone, nearly every one, is read here, looked
        // through once for bytes beyond ASCII, for control characters and,
        // as codes are ASCII, for an "=".
        const AsciiScan scan
            = holds == Holds::Words ? scanAscii<true>(property.value) : scanAscii<false>(property.value);
        if (scan.ascii) {
            if (holds == Holds::Words && scan.equals) {
                bool stray = false;
                std::optional<QString> read = fromUndeclaredCodes(property.value, stray);
                if (read && !saysWhatItHolds(property)) {
                    m_guessed.append({ property.line, GuessedLine::UndeclaredCodes, QString(), QString() });
                    if (stray)
                        m_strayEqualsLines.append(property.line);
                    return *std::move(read);
                }
            }
            mayHoldControls = scan.controls;
            return QString::fromLatin1(property.value);
        }
    }
    if (charset.isEmpty()) {
        // Nearly every such value: looked at before anything else is.
        if (legacytext::isValidUtf8(property.value))
            return QString::fromUtf8(property.value);
        from = pim::ReadFrom::CodePage;
        return decodeUndeclared(property.value, property.line, GuessedLine::Undeclared, QString());
    }
    if (utf8) {
        // Sync tools put "CHARSET=UTF-8" on text they copied as it was.
        if (legacytext::isValidUtf8(property.value))
            return QString::fromUtf8(property.value);
        from = pim::ReadFrom::CodePage;
        return decodeUndeclared(property.value, property.line, GuessedLine::NotUtf8, QString());
    }
    // Text of a declared charset, or of the code page read where it does
    // not hold the text.
    from = pim::ReadFrom::CodePage;
    VCardCharsets::Reading reading = m_charsets.decodeDeclared(property.value, charset);
    if (reading.how == VCardCharsets::Reading::NotHeld)
        return decodeUndeclared(property.value, property.line, GuessedLine::NotDeclared, charset.trimmed());
    if (reading.how == VCardCharsets::Reading::InRelative)
        m_guessed.append({ property.line, GuessedLine::NotDeclared, QString::fromLatin1(reading.relative),
                           charset.trimmed() });
    return std::move(reading.text);
}

void VCardCardText::startCard(const QList<VCardProperty>* card)
{
    m_card = card;
    m_cardLooked = false;
    m_cardDeclares = false;
    m_cardCharset.clear();
    m_cardLatin1.clear();
    m_guessed.clear();
    m_controlLines.clear();
    m_twiceEncodedLines.clear();
    m_strayEqualsLines.clear();
}

void VCardCardText::lookForDeclaredCharset()
{
    m_cardLooked = true;
    const auto declares = [this](const QString& charset) {
        if (VCardCharsets::namesLatin1(charset)) {
            m_cardDeclares = true;
            m_cardLatin1 = charset.trimmed();
            return true;
        }
        m_cardDeclares = m_charsets.decoderFor(charset) != nullptr;
        if (m_cardDeclares)
            m_cardCharset = charset.trimmed();
        return m_cardDeclares;
    };
    if (m_card) {
        for (const VCardProperty& property : *m_card) {
            const QString charset = property.paramIgnoringCase(QLatin1StringView("CHARSET"));
            if (!charset.isEmpty() && declares(charset))
                return;
        }
    }
    if (m_fileCharset) {
        const QString charset = m_fileCharset();
        if (!charset.isEmpty())
            declares(charset);
    }
}

legacytext::WesternSet VCardCardText::fileWesternSet()
{
    return m_fileWesternSet ? m_fileWesternSet() : legacytext::WesternSet::Windows1252;
}

QString VCardCardText::decodeUndeclared(const QByteArray& bytes, qint64 line, GuessedLine::Source source,
                                        const QString& declared)
{
    const bool notDeclared = source == GuessedLine::NotDeclared;
    if (source != GuessedLine::NotUtf8 && legacytext::isValidUtf8(bytes)) {
        if (notDeclared && !m_westernGuess)
            m_guessed.append({ line, source, QStringLiteral("UTF-8"), declared });
        return QString::fromUtf8(bytes);
    }
    // UTF-8 letters are kept before any code page is tried: no code page
    // reads them as words.
    if (legacytext::isUtf8WithStrayBytes(bytes)) {
        if (m_westernGuess) {
            m_westernGuess->addStrayBytes(bytes);
            return QString();
        }
        if (notDeclared)
            m_guessed.append({ line, source, QStringLiteral("UTF-8"), declared });
        else
            m_guessed.append({ line, GuessedLine::StrayBytes, QString(), QString() });
        return legacytext::fromUtf8WithStrayBytes(bytes, fileWesternSet());
    }
    if (!m_cardLooked)
        lookForDeclaredCharset();
    if (!m_cardCharset.isEmpty()) {
        // Files that several programs appended to hold cards of other
        // code pages beside the one that declares its set.
        std::optional<QString> read = legacytext::borrowedReading(
            bytes, [this](QByteArrayView piece) { return m_charsets.decode(piece, m_cardCharset); });
        if (read) {
            m_guessed.append({ line, source, m_cardCharset, declared });
            return *std::move(read);
        }
    } else if (m_cardDeclares) {
        if (source != GuessedLine::Undeclared)
            m_guessed.append({ line, source, m_cardLatin1, declared });
        return legacytext::fromWindows1252(bytes);
    }
    if (m_westernGuess) {
        m_westernGuess->add(bytes);
        return QString();
    }
    m_guessed.append({ line, source, QString(), declared });
    return legacytext::fromWestern(bytes, fileWesternSet());
}

void VCardCardText::addWesternText(const QList<VCardProperty>& card, legacytext::WesternGuess& guess)
{
    startCard(&card);
    m_westernGuess = &guess;
    for (const VCardProperty& property : card) {
        // A picture's or a sound's bytes are no text. What a charset of its
        // own reads adds nothing.
        if (property.isEncodedAs({ QLatin1StringView("BASE64"), QLatin1StringView("B") }))
            continue;
        text(property);
    }
    m_westernGuess = nullptr;
    startCard(nullptr);
}
