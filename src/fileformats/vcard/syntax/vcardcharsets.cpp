// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardcharsets.h"

#include "fileformats/fileformatslog.h"
#include "fileformats/legacytext.h"

#include <QStringDecoder>

#include <algorithm>

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

VCardCharsets::Decoder& VCardCharsets::decoders(const QString& charset)
{
    const QByteArray key = keyOf(charset);
    auto found = m_decoders.find(key);
    if (found != m_decoders.end())
        return found->second;
    Decoder decoder;
    if (!readsAsUtf8(key)) {
        decoder.plain = std::make_unique<QStringDecoder>(key.constData(), QStringConverter::Flag::Stateless);
        if (!decoder.plain->isValid()) {
            qCInfo(lcVCard) << "unknown charset" << charset << "read as UTF-8";
            decoder.plain.reset();
        } else {
            decoder.overWindows = std::make_unique<legacytext::IsoOverWindows>(key);
            if (!decoder.overWindows->isValid())
                decoder.overWindows.reset();
            decoder.relative = legacytext::windowsRelativeOf(key);
            if (!decoder.relative.isEmpty() && decoder.relative != "windows-1252") {
                decoder.relativeDecoder
                    = std::make_unique<QStringDecoder>(decoder.relative.constData(), QStringConverter::Flag::Stateless);
                if (!decoder.relativeDecoder->isValid()) {
                    decoder.relativeDecoder.reset();
                    decoder.relative.clear();
                }
            }
        }
    }
    return m_decoders.emplace(key, std::move(decoder)).first->second;
}

QStringDecoder* VCardCharsets::decoderFor(const QString& charset)
{
    return decoders(charset).plain.get();
}

QString VCardCharsets::decode(QByteArrayView bytes, const QString& charset)
{
    if (charset.isEmpty())
        return legacytext::utf8OrWindows1252(bytes);
    Decoder& decoder = decoders(charset);
    if (decoder.overWindows)
        return decoder.overWindows->decode(bytes);
    if (!decoder.plain)
        return QString::fromUtf8(bytes);
    return decoder.plain->decode(bytes);
}

VCardCharsets::Reading VCardCharsets::decodeDeclared(QByteArrayView bytes, const QString& charset)
{
    Decoder& decoder = decoders(charset);
    if (!decoder.plain || decoder.overWindows)
        return { Reading::AsDeclared, decode(bytes, charset), {} };
    if (!decoder.relative.isEmpty() && legacytext::holdsC1Bytes(bytes)) {
        // Letters of one script inside words, which a misread code page
        // seldom gives: the writer meant that code page.
        QString text = decoder.relativeDecoder ? QString(decoder.relativeDecoder->decode(bytes))
                                               : legacytext::fromWindows1252(bytes);
        if (legacytext::fitsText(text))
            return { Reading::InRelative, std::move(text), decoder.relative };
        return { Reading::NotHeld, {}, {} };
    }
    QString text = decoder.plain->decode(bytes);
    const bool controls = std::any_of(text.cbegin(), text.cend(),
                                      [](QChar c) { return c.unicode() >= 0x80 && c.unicode() <= 0x9F; });
    if (controls)
        return { Reading::NotHeld, {}, {} };
    return { Reading::AsDeclared, std::move(text), {} };
}

bool VCardCharsets::isKnown(const QString& charset)
{
    const QByteArray key = keyOf(charset);
    return key.isEmpty() || key == "UTF-8" || key == "UTF8" || decoderFor(charset);
}

bool VCardCharsets::namesUtf8(const QString& charset)
{
    // Compared as it stands, without making the key: asked of every line
    // that names a charset.
    const QStringView name = QStringView(charset).trimmed();
    return name.compare(QLatin1StringView("UTF-8"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1StringView("UTF8"), Qt::CaseInsensitive) == 0;
}

bool VCardCharsets::namesLatin1(const QString& charset)
{
    const QByteArray key = keyOf(charset);
    return key == "US-ASCII" || key == "ASCII" || key == "ISO-8859-1" || key == "ISO8859-1"
        || key == "LATIN1";
}
