// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/vcardcharsets.h"

#include "fileformats/fileformatslog.h"
#include "fileformats/legacytext.h"

#include <QStringDecoder>

VCardCharsets::VCardCharsets() = default;
VCardCharsets::~VCardCharsets() = default;

QStringDecoder* VCardCharsets::decoderFor(const QString& charset)
{
    const QByteArray key = charset.trimmed().toLatin1().toUpper();
    auto found = m_decoders.find(key);
    if (found != m_decoders.end())
        return found->second.get();
    std::unique_ptr<QStringDecoder> decoder;
    if (!key.isEmpty() && !key.contains(',') && key != "UTF-8" && key != "UTF8") {
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
    const QByteArray key = charset.trimmed().toLatin1().toUpper();
    return key.isEmpty() || key == "UTF-8" || key == "UTF8" || decoderFor(charset);
}
