// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardcardtext.h"

#include "fileformats/legacytext.h"
#include "fileformats/vcard/syntax/vcardproperty.h"

#include <QStringDecoder>

QString VCardCardText::text(const VCardProperty& property)
{
    const QString charset = property.paramIgnoringCase(QLatin1StringView("CHARSET"));
    return charset.isEmpty() ? decodeUndeclared(property.value, property.line)
                             : m_charsets.decode(property.value, charset);
}

void VCardCardText::startCard(const QList<VCardProperty>* card)
{
    m_card = card;
    m_cardLooked = false;
    m_cardDeclares = false;
    m_cardDecoder = nullptr;
    m_unmarked.clear();
}

void VCardCardText::lookForDeclaredCharset()
{
    m_cardLooked = true;
    const auto declares = [this](const QString& charset) {
        if (VCardCharsets::namesLatin1(charset)) {
            m_cardDeclares = true;
            return true;
        }
        m_cardDecoder = m_charsets.decoderFor(charset);
        m_cardDeclares = m_cardDecoder != nullptr;
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

QString VCardCardText::decodeUndeclared(const QByteArray& bytes, qint64 line)
{
    if (legacytext::isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    if (!m_cardLooked)
        lookForDeclaredCharset();
    if (m_cardDecoder)
        return m_cardDecoder->decode(bytes);
    if (!m_cardDeclares)
        m_unmarked.append(line);
    return legacytext::fromWindows1252(bytes);
}
