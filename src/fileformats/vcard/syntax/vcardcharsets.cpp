// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardcharsets.h"

#include "fileformats/fileformatslog.h"
#include "fileformats/legacytext.h"
#include "fileformats/vcard/syntax/vcardproperty.h"

#include <QStringDecoder>

namespace {

// A charset's name as decoders are kept by.
QByteArray keyOf(const QString& charset)
{
    return charset.trimmed().toLatin1().toUpper();
}

// Names that need no decoder: UTF-8 is read by QString itself, and an
// empty name or a list of names ("UTF-8,GBK") as UTF-8.
bool readsAsUtf8(const QByteArray& key)
{
    return key.isEmpty() || key.contains(',') || key == "UTF-8" || key == "UTF8";
}

} // namespace

VCardCharsets::VCardCharsets() = default;
VCardCharsets::~VCardCharsets() = default;

bool VCardCharsets::hasDecoder(QByteArrayView charset)
{
    const QByteArray key = charset.trimmed().toByteArray().toUpper();
    return !readsAsUtf8(key) && QStringDecoder(key.constData(), QStringConverter::Flag::Stateless).isValid();
}

QStringDecoder* VCardCharsets::decoderFor(const QString& charset)
{
    const QByteArray key = keyOf(charset);
    auto found = m_decoders.find(key);
    if (found != m_decoders.end())
        return found->second.get();
    std::unique_ptr<QStringDecoder> decoder;
    if (!readsAsUtf8(key)) {
        decoder = std::make_unique<QStringDecoder>(key.constData(), QStringConverter::Flag::Stateless);
        if (!decoder->isValid()) {
            qCInfo(lcVCard) << "unknown charset" << charset << "read as UTF-8";
            decoder.reset();
        }
    }
    QStringDecoder* raw = decoder.get();
    m_decoders.emplace(key, std::move(decoder));
    return raw;
}

QString VCardCharsets::decode(const QByteArray& bytes, const QString& charset)
{
    if (charset.isEmpty())
        return legacytext::utf8OrWindows1252(bytes);
    QStringDecoder* decoder = decoderFor(charset);
    if (!decoder)
        return QString::fromUtf8(bytes);
    return decoder->decode(bytes);
}

bool VCardCharsets::isKnown(const QString& charset)
{
    const QByteArray key = keyOf(charset);
    return key.isEmpty() || key == "UTF-8" || key == "UTF8" || decoderFor(charset);
}

void VCardCharsets::startCard(const QList<VCardProperty>* card)
{
    m_card = card;
    m_cardLooked = false;
    m_cardDeclares = false;
    m_cardDecoder = nullptr;
    m_unmarked.clear();
}

void VCardCharsets::lookForDeclaredCharset()
{
    m_cardLooked = true;
    const auto declares = [this](const QString& charset) {
        const QByteArray key = keyOf(charset);
        // ASCII and Latin-1 name the code page such writers write, whose
        // letters they hold: windows-1252 (as web browsers read them too),
        // not control codes or replacement characters.
        if (key == "US-ASCII" || key == "ASCII" || key == "ISO-8859-1" || key == "ISO8859-1" || key == "LATIN1") {
            m_cardDeclares = true;
            return true;
        }
        m_cardDecoder = decoderFor(charset);
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

QString VCardCharsets::decodeUndeclared(const QByteArray& bytes, qint64 line)
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
