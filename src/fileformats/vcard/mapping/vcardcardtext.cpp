// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardcardtext.h"

#include "fileformats/vcard/syntax/vcardproperty.h"

QString VCardCardText::text(const VCardProperty& property)
{
    const QString charset = property.paramIgnoringCase(QLatin1StringView("CHARSET"));
    if (charset.isEmpty()) {
        // Nearly every such value: looked at before anything else is.
        if (legacytext::isValidUtf8(property.value))
            return QString::fromUtf8(property.value);
        return decodeUndeclared(property.value, property.line, GuessedLine::Undeclared, QString());
    }
    if (VCardCharsets::namesUtf8(charset)) {
        // Sync tools put "CHARSET=UTF-8" on text they copied as it was.
        if (legacytext::isValidUtf8(property.value))
            return QString::fromUtf8(property.value);
        return decodeUndeclared(property.value, property.line, GuessedLine::NotUtf8, QString());
    }
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
            m_westernGuess->add(legacytext::strayBytesInContext(bytes));
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
