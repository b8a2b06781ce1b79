// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardrules.h"

#include "fileformats/photo/picturecheck.h"
#include "model/pimlabels.h"

#include <QCoreApplication>

#include <algorithm>
#include <cctype>

namespace vcardrules {

namespace {

// "postal", "parcel", "dom" and "intl" say how mail goes, not whose
// address it is.
std::optional<int> addressType(const QStringList& kinds)
{
    if (VCardValue::has(kinds, QLatin1StringView("home")))
        return 1;
    if (VCardValue::has(kinds, QLatin1StringView("work")))
        return 2;
    if (VCardValue::has(kinds, QLatin1StringView("other")))
        return 0;
    return std::nullopt;
}

// "scheme:" at the start: a reference, not image bytes.
bool isUri(const QByteArray& value)
{
    qsizetype i = 0;
    while (i < value.size() && (std::isalnum((unsigned char)value.at(i)) || value.at(i) == '+'
                                || value.at(i) == '-' || value.at(i) == '.'))
        ++i;
    return i > 1 && i < value.size() && value.at(i) == ':' && std::isalpha((unsigned char)value.at(0));
}

// The image of "data:image/jpeg;base64,..." in any letter case, 3.0
// escapes ("\;", "\,") and folding blanks allowed; empty when it does not
// decode.
QByteArray dataUriBytes(QByteArray uri)
{
    uri.replace('\\', QByteArray());
    const qsizetype comma = uri.indexOf(',');
    if (comma < 0)
        return QByteArray();
    QByteArray payload = uri.mid(comma + 1);
    if (!uri.left(comma).toLower().endsWith(";base64"))
        return QByteArray::fromPercentEncoding(payload);
    payload.replace(' ', QByteArray()).replace('\t', QByteArray()).replace('\r', QByteArray()).replace('\n', QByteArray());
    const auto decoded = QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? decoded.decoded : QByteArray();
}

// The kind an ORG or TITLE names, of the organisation table: the writer
// puts it on ORG, or on TITLE for a title without a company, and a custom
// label makes the two one grouped item. Only a kind the card names is
// kept: an organisation of no kind reads as before, which shows as Other
// and, merged, leaves a stored kind as it is.
void readOrgKind(const VCardValue& value, pim::Entity& org)
{
    const QStringList kinds = value.kinds();
    std::optional<int> code;
    if (VCardValue::has(kinds, QLatin1StringView("work")))
        code = 1;
    else if (VCardValue::has(kinds, QLatin1StringView("other")))
        code = 0;
    if (code || !value.customLabel().isEmpty())
        setSubType(org, value, code, 0);
}

// The components after the seventh, which no standard names (a phone
// framework's cards write four more): each that holds what no other part
// of the address does follows the street on a line of its own, so nothing
// is lost and every export writes it.
void addPartsBeyondTheCountry(QStringList& street, const QStringList& parts)
{
    for (qsizetype i = 7; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        if (!pim::isBlankText(part) && !street.contains(part) && !parts.mid(3, 4).contains(part))
            street.append(part);
    }
}

} // namespace

void readOrg(const VCardValue& value, pim::Entity& org)
{
    readOrgKind(value, org);
    const QStringList parts = value.components();
    if (parts.size() >= 1)
        org.fields.insert(QStringLiteral("data1"), parts.at(0));
    if (parts.size() < 2)
        return;
    // "Test Inc.;Testing;Lab 3": every unit after the company is part of the
    // department, the empty ones (this program's own "Acme;Sales;;") left out.
    QString department = parts.at(1);
    for (qsizetype i = 2; i < parts.size(); ++i) {
        if (parts.at(i).isEmpty())
            continue;
        if (!department.isEmpty())
            department += QLatin1String("; ");
        department += parts.at(i);
    }
    org.fields.insert(QStringLiteral("data5"), department);
}

void readTitle(const VCardValue& value, pim::Entity& org)
{
    readOrgKind(value, org);
    org.fields.insert(QStringLiteral("data4"), value.text());
}

void readAddress(const VCardValue& value, pim::_Contact& contact)
{
    static const QString keys[] = { QString(), QString(), QStringLiteral("data4"), QStringLiteral("data7"),
                                    QStringLiteral("data8"), QStringLiteral("data9"), QStringLiteral("data10") };
    pim::Entity entity;
    const QStringList parts = value.components();
    for (int i = 3; i < 7 && i < parts.size(); ++i)
        entity.fields.insert(keys[i], parts.at(i));
    // The post-office box and the extended address ("Suite 200") have no
    // field of their own: they follow the street on lines of their own, so
    // the card, the editor and every export show them.
    QStringList street;
    for (const int i : { 2, 1, 0 }) {
        if (i < parts.size() && !parts.at(i).isEmpty())
            street.append(parts.at(i));
    }
    if (parts.size() > 7) [[unlikely]]
        addPartsBeyondTheCountry(street, parts);
    if (parts.size() > 2 || !street.isEmpty())
        entity.fields.insert(keys[2], street.join(QLatin1Char('\n')));
    setNamedSubType(entity, value, addressType(value.kinds()), &pim::addrTypeMap, 0);
    entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
    appendEntity(contact, pim::ENTITY_ADDR, entity);
}

void readPrintedAddress(const VCardValue& value, pim::_Contact& contact)
{
    // Its lines end in CR LF (2.1's "=0D=0A"), LF or CR alone. Blank ones
    // hold nothing of the address, nor those of punctuation alone: a
    // handset writes the separators of the parts it lacks (",  "), and a
    // label of nothing else is no address.
    QString text = value.text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const auto saysNothing = [](QChar c) { return c.isSpace() || c.isPunct(); };
    QStringList lines;
    for (const QStringView line : QStringView(text).split(u'\n')) {
        if (std::all_of(line.cbegin(), line.cend(), saysNothing))
            continue;
        QString kept = line.toString();
        pim::dropEndBlanks(kept);
        lines.append(kept);
    }
    if (lines.isEmpty())
        return;
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data4"), lines.join(QLatin1Char('\n')));
    setNamedSubType(entity, value, addressType(value.kinds()), &pim::addrTypeMap, 0);
    entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
    appendEntity(contact, pim::ENTITY_ADDR, entity);
}

void readPhoto(const VCardValue& value, pim::_Contact& contact, Notes& notes)
{
    // "PHOTO:" holds nothing: no photo, and nothing lost.
    if (value.bytes().trimmed().isEmpty())
        return;
    const QString encoding = value.property().paramIgnoringCase(QLatin1StringView("ENCODING")).toLower();
    const bool base64 = encoding == QLatin1String("b") || encoding == QLatin1String("base64")
        || VCardValue::has(value.kinds(), QLatin1StringView("base64"));
    QByteArray image = value.bytes();
    if (base64) {
        // A data URI under ENCODING=b, as some servers turn a 4.0 photo
        // into a 3.0 one: the reader keeps such a value as written.
        if (image.left(5).toLower() == "data:")
            image = dataUriBytes(image.mid(5));
    } else {
        const QByteArray text = image.trimmed();
        if (isUri(text)) {
            if (text.left(5).toLower() != "data:") {
                notes.add(value.property().line,
                          QCoreApplication::translate("VCardImport",
                                                      "the photo is a link (%1), not a picture, and was left out.")
                              .arg(QString::fromUtf8(text.left(80))));
                return;
            }
            image = dataUriBytes(text.mid(5));
        }
    }
    const picturecheck::Checked checked = picturecheck::check(image);
    switch (checked.verdict) {
    case picturecheck::Verdict::Keep:
    case picturecheck::Verdict::KeepAsPng: {
        // A later photo takes the place of an earlier one, which is named
        // unless it is the same picture.
        pim::Entity& photo = firstEntity(contact, pim::ENTITY_PHOTO);
        const auto earlier = photo.fields.constFind(QStringLiteral("data15"));
        if (earlier != photo.fields.cend() && earlier->toByteArray() != checked.picture)
            notes.add(notes.photoLine,
                      QCoreApplication::translate("VCardImport", "a contact keeps one photo; this PHOTO line was "
                                                                 "left out for the one on line %1.")
                          .arg(value.property().line));
        photo.fields.insert(QStringLiteral("data15"), checked.picture);
        notes.photoLine = value.property().line;
        return;
    }
    case picturecheck::Verdict::TooLarge:
        notes.add(value.property().line,
                  QCoreApplication::translate("VCardImport", "the photo is a picture of %1 by %2 pixels, more than "
                                                             "phones show, and was left out.")
                      .arg(checked.size.width())
                      .arg(checked.size.height()));
        return;
    case picturecheck::Verdict::Vector:
        notes.add(value.property().line,
                  QCoreApplication::translate("VCardImport", "the photo is a vector picture (SVG), which phones do "
                                                             "not show, and was left out."));
        return;
    case picturecheck::Verdict::Compressed:
        notes.add(value.property().line,
                  QCoreApplication::translate("VCardImport",
                                              "the photo is compressed data (gzip), not a picture, and was left out."));
        return;
    case picturecheck::Verdict::NotWhole:
        // Bytes no image reader opens are no photo: a JPEG cut short, a
        // path written as the value, base64 text without its ENCODING.
        notes.add(value.property().line,
                  QCoreApplication::translate("VCardImport",
                                              "the photo could not be read as a picture and was left out."));
        return;
    }
}

} // namespace vcardrules
