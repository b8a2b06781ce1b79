// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardexport.h"

#include "fileformats/vcardencoders.h"

#include <QMap>
#include <QString>

#include <algorithm>
#include <cstring>

namespace {

using Property = VCardProperty;
using Params = QMap<QString, QString>;

const QString kCharset = QStringLiteral("CHARSET");
const QString kEncoding = QStringLiteral("ENCODING");
const QString kType = QStringLiteral("TYPE");
const QString kUtf8 = QStringLiteral("UTF-8");
const QString kQuotedPrintable = QStringLiteral("QUOTED-PRINTABLE");

constexpr qsizetype kMaxLineOctets = 75;

const QString& fieldKey(int n)
{
    static const QString keys[] = {
        QString(),
        QStringLiteral("data1"), QStringLiteral("data2"), QStringLiteral("data3"),
        QStringLiteral("data4"), QStringLiteral("data5"), QStringLiteral("data6"),
        QStringLiteral("data7"), QStringLiteral("data8"), QStringLiteral("data9"),
        QStringLiteral("data10"), QStringLiteral("data11"), QStringLiteral("data12"),
        QStringLiteral("data13"), QStringLiteral("data14"), QStringLiteral("data15"),
    };
    return keys[n];
}

QString text(const pim::Entity& e, int n)
{
    return pim::fieldText(e.fields.value(fieldKey(n)));
}

int code(const pim::Entity& e, int n)
{
    return e.fields.value(fieldKey(n)).toInt();
}

QString phoneType(int subType)
{
    switch (subType) {
    case 1: return QStringLiteral("home,voice");
    case 2: return QStringLiteral("cell");
    case 3: return QStringLiteral("work,voice");
    case 4: return QStringLiteral("work,fax");
    case 5: return QStringLiteral("home,fax");
    case 6: return QStringLiteral("pager");
    case 9: return QStringLiteral("car");
    case 11: return QStringLiteral("isdn");
    case 13: return QStringLiteral("fax");
    default: return QString();
    }
}

QString imProtocolType(int protocol)
{
    // "netmetting" is the spelling the reader matches; files in the field carry it.
    static const char* const names[] = { nullptr, "aim", "msn", "yahoo", "skype", "qq",
                                         "googletalk", "icq", "jabber", "netmetting",
                                         "gadugadu", "facebook" };
    if (protocol < 1 || protocol > 11)
        return QString();
    return QString::fromLatin1(names[protocol]);
}

QString relationType(int subType)
{
    static const char* const names[] = { nullptr, "assistant", "brother", "child", "dompartner",
                                         "father", "friend", "manager", "mother", "parent",
                                         "partner", "ref", "relative", "sister", "spouse" };
    if (subType < 1 || subType > 14)
        return QString();
    return QString::fromLatin1(names[subType]);
}

QString urlType(int subType)
{
    static const char* const names[] = { "other", "homepage", "blog", "profile",
                                         "home", "work", "ftp" };
    if (subType < 1 || subType > 6)
        subType = 0;
    return QString::fromLatin1(names[subType]);
}

QString addressType(int subType)
{
    if (subType == 1)
        return QStringLiteral("home");
    if (subType == 2)
        return QStringLiteral("work");
    // Not "intl": that names an address abroad, not one of no kind.
    return QStringLiteral("other");
}

// "internet" says what kind of address it is; the second word keeps the
// sub-type, which the reader takes from it.
QString emailType(int subType)
{
    switch (subType) {
    case 1: return QStringLiteral("internet,home");
    case 2: return QStringLiteral("internet,work");
    case 4: return QStringLiteral("internet,cell");
    default: return QStringLiteral("internet,other");
    }
}

// A reader ends the line at CR or LF and drops blanks in front of a value,
// so such a value only survives quoted-printable.
bool needsQuotedPrintable(const QByteArray& value)
{
    if (value.isEmpty())
        return false;
    if (value.front() == ' ' || value.front() == '\t')
        return true;
    return value.contains('\n') || value.contains('\r');
}

// vCard 3.0 text escaping, for values that are not quoted-printable. A
// backslash and a comma are escaped everywhere: readers unescape every 3.0
// value, and standard ones split an unescaped comma into list items and keep
// only the first. Components of a structured value also escape the ";" that
// separates them. Line breaks never reach this: such values go out
// quoted-printable.
QByteArray escaped(const QByteArray& raw, bool component)
{
    auto special = [component](char c) { return c == '\\' || c == ',' || (component && c == ';'); };
    if (std::none_of(raw.cbegin(), raw.cend(), special))
        return raw;
    QByteArray out;
    out.reserve(raw.size() + 8);
    for (const char c : raw) {
        if (special(c))
            out += '\\';
        out += c;
    }
    return out;
}

class CardBuilder {
public:
    void add(const QString& name, Params params, QByteArray value)
    {
        Property p;
        p.name = name;
        p.params = std::move(params);
        p.value = std::move(value);
        m_card.append(std::move(p));
    }

    // A text value in UTF-8 with CHARSET, escaped; quoted-printable and
    // unescaped when it cannot stand on one line as it is.
    void addText(const QString& name, Params params, const QString& value)
    {
        const QByteArray raw = value.toUtf8();
        params.insert(kCharset, kUtf8);
        if (needsQuotedPrintable(raw)) {
            params.insert(kEncoding, kQuotedPrintable);
            add(name, std::move(params), VCardEncoders::encodeQuoted(raw, 0));
        } else {
            add(name, std::move(params), escaped(raw, false));
        }
    }

    // A number, address, date or link: in the local 8-bit encoding without
    // CHARSET, escaped like any text, unless it has to go out
    // quoted-printable (then in UTF-8, which the CHARSET names).
    void addPlain(const QString& name, Params params, const QString& value)
    {
        const QByteArray raw = value.toLocal8Bit();
        if (needsQuotedPrintable(raw)) {
            params.insert(kCharset, kUtf8);
            params.insert(kEncoding, kQuotedPrintable);
            add(name, std::move(params), VCardEncoders::encodeQuoted(value.toUtf8(), 0));
        } else {
            add(name, std::move(params), escaped(raw, false));
        }
    }

    // A structured value whose components are already escaped and joined.
    void addStructured(const QString& name, Params params, const QByteArray& joined,
                       bool alwaysQuoted)
    {
        params.insert(kCharset, kUtf8);
        if (alwaysQuoted || needsQuotedPrintable(joined)) {
            params.insert(kEncoding, kQuotedPrintable);
            add(name, std::move(params), VCardEncoders::encodeQuoted(joined, 0));
        } else {
            add(name, std::move(params), joined);
        }
    }

    void addEntity(int type, const pim::Entity& e);

    // One CATEGORIES listing every group: readers keep the groups of the
    // last CATEGORIES only. A comma inside a name is escaped, so it stays
    // one group.
    void addCategories(const QList<pim::Entity>& groups)
    {
        QByteArray list;
        for (const pim::Entity& group : groups) {
            const QString name = text(group, 2);
            if (name.isEmpty())
                continue;
            if (!list.isEmpty())
                list += ',';
            list += escaped(name.toUtf8(), false);
        }
        if (list.isEmpty())
            return;
        Params params;
        params.insert(kCharset, kUtf8);
        if (needsQuotedPrintable(list)) {
            params.insert(kEncoding, kQuotedPrintable);
            add(QStringLiteral("CATEGORIES"), std::move(params), VCardEncoders::encodeQuoted(list, 0));
        } else {
            add(QStringLiteral("CATEGORIES"), std::move(params), list);
        }
    }

    QList<Property> take() { return std::move(m_card); }

private:
    QList<Property> m_card;
};

Params typeParam(const QString& type)
{
    Params params;
    if (!type.isEmpty())
        params.insert(kType, type);
    return params;
}

QByteArray components(std::initializer_list<QString> parts)
{
    QByteArray joined;
    bool first = true;
    for (const QString& part : parts) {
        if (!first)
            joined += ';';
        first = false;
        joined += escaped(part.toUtf8(), true);
    }
    return joined;
}

void CardBuilder::addEntity(int type, const pim::Entity& e)
{
    switch (type) {
    case pim::ENTITY_NAME:
        // Family name first, as vCard 3.0 orders N.
        addStructured(QStringLiteral("N"), Params(),
                      components({ text(e, 3), text(e, 2), text(e, 4), text(e, 5), text(e, 6) }),
                      false);
        break;
    case pim::ENTITY_PHOTO: {
        const QByteArray image = e.fields.value(fieldKey(15)).toByteArray();
        Params params;
        params.insert(kEncoding, QStringLiteral("B"));
        params.insert(kType, QStringLiteral("JPEG"));
        // One run of base64: foldLines() breaks it with the rest of the card,
        // so the first line, which also holds the property name, stays within
        // the limit too.
        add(QStringLiteral("PHOTO"), std::move(params), VCardEncoders::encodeBase64(image, 0));
        break;
    }
    case pim::ENTITY_PHONE:
        addPlain(QStringLiteral("TEL"), typeParam(phoneType(code(e, 2))), text(e, 1));
        break;
    case pim::ENTITY_EMAIL:
        addPlain(QStringLiteral("EMAIL"), typeParam(emailType(code(e, 2))), text(e, 1));
        break;
    case pim::ENTITY_NICKNAME:
        addText(QStringLiteral("NICKNAME"), Params(), text(e, 1));
        break;
    case pim::ENTITY_EVENT: {
        const int subType = code(e, 2);
        if (subType == 3)
            addPlain(QStringLiteral("BDAY"), Params(), text(e, 1));
        else
            addPlain(QStringLiteral("X-EVENT"),
                     typeParam(subType == 1 ? QStringLiteral("anniversary")
                                            : QStringLiteral("other")),
                     text(e, 1));
        break;
    }
    case pim::ENTITY_GROUP:
        // All groups go out together in one CATEGORIES (ct2Bytes).
        break;
    case pim::ENTITY_IM:
        addText(QStringLiteral("X-IM"), typeParam(imProtocolType(code(e, 5))), text(e, 1));
        break;
    case pim::ENTITY_NOTES: {
        Params params;
        params.insert(kCharset, kUtf8);
        params.insert(kEncoding, kQuotedPrintable);
        add(QStringLiteral("NOTE"), std::move(params),
            VCardEncoders::encodeQuoted(text(e, 1).toUtf8(), 0));
        break;
    }
    case pim::ENTITY_ORG: {
        // A line with nothing in it would read back as an empty value.
        const QString title = text(e, 4);
        if (!title.isEmpty())
            addText(QStringLiteral("TITLE"), Params(), title);
        const QString company = text(e, 1);
        const QString department = text(e, 5);
        if (!company.isEmpty() || !department.isEmpty())
            addStructured(QStringLiteral("ORG"), Params(),
                          components({ company, department, QString(), QString() }), false);
        break;
    }
    case pim::ENTITY_REL:
        addText(QStringLiteral("X-REL"), typeParam(relationType(code(e, 2))), text(e, 1));
        break;
    case pim::ENTITY_ADDR:
        // Post-office box and extended address stay empty.
        addStructured(QStringLiteral("ADR"), typeParam(addressType(code(e, 2))),
                      components({ QString(), QString(), text(e, 4), text(e, 7), text(e, 8),
                                   text(e, 9), text(e, 10) }),
                      true);
        break;
    case pim::ENTITY_URL:
        addPlain(QStringLiteral("URL"), typeParam(urlType(code(e, 2))), text(e, 1));
        break;
    default:
        break;
    }
}

bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Where to end a chunk of the line that starts at pos, given that at most
// cut - pos octets fit. A break inside "=XX" would leave a line ending in
// "=", which quoted-printable readers take for a soft line break.
qsizetype breakBefore(const char* data, qsizetype pos, qsizetype cut)
{
    for (qsizetype c = cut; c > cut - 4 && c >= pos + 2; --c) {
        if (!isUtf8Continuation(data[c]) && data[c - 1] != '=' && data[c - 2] != '=')
            return c;
    }
    qsizetype c = cut;
    while (c > pos + 1 && isUtf8Continuation(data[c]))
        --c;
    return c;
}

// The FN to write. Our reader takes N given-name-first when FN matches
// only that reading (cards from older builds), so a display name that reads
// family first over the same parts ("Smith John" for John / Smith) would
// swap the parts on re-import. The reader builds the display name from N
// anyway, so writing that one instead loses nothing and keeps the parts.
QString formattedName(const pim::_Contact& contact)
{
    const QList<pim::Entity> names = contact.entities.value(pim::ENTITY_NAME);
    if (names.isEmpty())
        return contact.fullName;
    // Every N carries all five components, so the last one is what is read.
    const pim::Entity& standard = names.constLast();
    pim::Entity swapped = standard;
    swapped.fields.insert(fieldKey(2), standard.fields.value(fieldKey(3)));
    swapped.fields.insert(fieldKey(3), standard.fields.value(fieldKey(2)));
    const QString display = standard.fullName();
    if (contact.fullName != display && contact.fullName == swapped.fullName())
        return display;
    return contact.fullName;
}

} // namespace

QByteArray VCardExport::initialize(const QList<pim::_Contact>&)
{
    return QByteArray();
}

QByteArray VCardExport::ct2Bytes(const pim::_Contact& contact)
{
    CardBuilder card;
    card.add(QStringLiteral("VERSION"), Params(), QByteArrayLiteral("3.0"));
    card.addText(QStringLiteral("FN"), Params(), formattedName(contact));
    for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it) {
        for (const pim::Entity& e : it.value())
            card.addEntity(it.key(), e);
        if (it.key() == pim::ENTITY_GROUP)
            card.addCategories(it.value());
    }
    return foldLines(VCardEncoders::vcard2Bytes(card.take()));
}

QByteArray VCardExport::uninitialize()
{
    return QByteArray();
}

QByteArray VCardExport::foldLines(const QByteArray& card)
{
    const char* const data = card.constData();
    const qsizetype size = card.size();

    auto lineEndAt = [&](qsizetype start) {
        const void* nl = std::memchr(data + start, '\n', size_t(size - start));
        return nl ? static_cast<const char*>(nl) - data : size;
    };
    auto contentEnd = [&](qsizetype start, qsizetype end) {
        return (end > start && data[end - 1] == '\r') ? end - 1 : end;
    };

    bool anyLong = false;
    for (qsizetype start = 0; start < size && !anyLong;) {
        const qsizetype end = lineEndAt(start);
        anyLong = contentEnd(start, end) - start > kMaxLineOctets;
        start = end + 1;
    }
    if (!anyLong)
        return card;

    QByteArray out;
    out.reserve(size + size / 32 + 8);
    for (qsizetype start = 0; start < size;) {
        const qsizetype end = lineEndAt(start);
        const qsizetype stop = contentEnd(start, end);
        qsizetype pos = start;
        qsizetype room = kMaxLineOctets;
        while (stop - pos > room) {
            const qsizetype cut = breakBefore(data, pos, pos + room);
            out.append(data + pos, cut - pos);
            out.append("\r\n ", 3);
            pos = cut;
            room = kMaxLineOctets - 1; // the leading blank counts
        }
        const qsizetype next = end < size ? end + 1 : size;
        out.append(data + pos, next - pos);
        start = next;
    }
    return out;
}
