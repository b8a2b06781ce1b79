// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/export/vcardexport.h"

#include "fileformats/export/vcardencoders.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

using Property = VCardProperty;
using Params = VCardParams;

const QString kType = QStringLiteral("TYPE");

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
    const QVariant* value = e.fields.find(n);
    return pim::fieldText(value ? *value : QVariant());
}

int code(const pim::Entity& e, int n)
{
    const QVariant* value = e.fields.find(n);
    return value ? value->toInt() : 0;
}

// Every kind of the phone table has a TYPE the reader maps back to it. The
// words vCard 3.0 defines where it has one; for the others the word that
// names the kind ("main", "callback"), which other readers pass over and
// still read a phone. A code outside the table goes out bare.
QString phoneType(int subType)
{
    switch (subType) {
    case 0: return QStringLiteral("other");
    case 1: return QStringLiteral("home,voice");
    case 2: return QStringLiteral("cell");
    case 3: return QStringLiteral("work,voice");
    case 4: return QStringLiteral("work,fax");
    case 5: return QStringLiteral("home,fax");
    case 6: return QStringLiteral("pager");
    case 8: return QStringLiteral("callback");
    case 9: return QStringLiteral("car");
    case 10: return QStringLiteral("x-company-main");
    case 11: return QStringLiteral("isdn");
    case 12: return QStringLiteral("main");
    case 13: return QStringLiteral("fax");
    case 14: return QStringLiteral("radio");
    case 15: return QStringLiteral("telex");
    case 16: return QStringLiteral("textphone");
    case 17: return QStringLiteral("work,cell");
    case 18: return QStringLiteral("work,pager");
    case 19: return QStringLiteral("assistant");
    case 20: return QStringLiteral("mms");
    default: return QString();
    }
}

// The protocol word, then the kind ("skype,work"): the reader takes each
// from its own words.
QString imType(int protocol, int subType)
{
    // "netmetting" is the spelling the reader matches; files in the field carry it.
    static const char* const protocols[] = { nullptr, "aim", "msn", "yahoo", "skype", "qq",
                                             "googletalk", "icq", "jabber", "netmetting",
                                             "gadugadu", "facebook" };
    static const char* const kinds[] = { "other", "home", "work" };
    QStringList words;
    if (protocol >= 1 && protocol <= 11)
        words.append(QString::fromLatin1(protocols[protocol]));
    if (subType >= 0 && subType <= 2)
        words.append(QString::fromLatin1(kinds[subType]));
    return words.join(QLatin1Char(','));
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

// Only Work has a word: an organisation of no word reads as Other.
QString orgType(int subType)
{
    return subType == 1 ? QStringLiteral("work") : QString();
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

// A date stored without a time of day (a QDate, or midnight as the editor
// and the phones store a birthday) goes out as the date alone: it is a day,
// not a moment. Any other text goes out as stored.
QString dateValue(const QString& stored)
{
    static const QLatin1StringView midnight("T00:00:00");
    if (stored.size() == 19 && stored.at(4) == u'-' && stored.at(7) == u'-' && stored.endsWith(midnight))
        return stored.left(10);
    return stored;
}

bool isTextSpecial(char c)
{
    return c == '\\' || c == ',' || c == ';' || c == '\n' || c == '\r';
}

// vCard 3.0 text escaping, the same for every value and every component of
// a structured one: standard readers split an unescaped comma into list
// items and keep only the first, and a ";" would end a component. A line
// break, whatever its form, becomes "\n": 3.0 has no other way of carrying
// one (quoted-printable is a 2.1 encoding), so a CR LF comes back as a
// plain line feed.
void appendEscaped(QByteArray& out, const QString& value)
{
    const QByteArray raw = value.toUtf8();
    if (std::none_of(raw.cbegin(), raw.cend(), isTextSpecial)) {
        out += raw;
        return;
    }
    out.reserve(out.size() + raw.size() + 8);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < raw.size() && raw.at(i + 1) == '\n')
                ++i;
            out += "\\n";
            continue;
        }
        if (isTextSpecial(c))
            out += '\\';
        out += c;
    }
}

QByteArray escaped(const QString& value)
{
    QByteArray out;
    appendEscaped(out, value);
    return out;
}

// A structured value: each component escaped, joined by ";".
QByteArray components(std::initializer_list<QString> parts)
{
    QByteArray joined;
    bool first = true;
    for (const QString& part : parts) {
        if (!first)
            joined += ';';
        first = false;
        appendEscaped(joined, part);
    }
    return joined;
}

Params typeParam(const QString& type)
{
    Params params;
    if (!type.isEmpty())
        params.insert(kType, type);
    return params;
}

class CardBuilder {
public:
    void add(const QString& name, Params params, QByteArray value, const QString& group = QString())
    {
        Property p;
        p.name = name;
        p.group = group;
        p.params = std::move(params);
        p.value = std::move(value);
        m_card.append(std::move(p));
    }

    void addText(const QString& name, Params params, const QString& value)
    {
        add(name, std::move(params), escaped(value));
    }

    // A property of an entity that may carry a label of its own (the
    // user's "Oficina central" instead of Home or Work): such an entity
    // goes out as a grouped item ("item1.TEL" beside "item1.X-ABLabel"),
    // the form address books use for a label no TYPE word can say. The
    // TYPE still names the sub-type for readers that ignore labels. A
    // messaging service of the user's own naming joins the item the same
    // way, as its X-IM-PROTOCOL.
    void addLabelled(const QString& name, Params params, QByteArray value, const pim::Entity& e,
                     const QString& protocol = QString())
    {
        const QString label = text(e, 3);
        if (label.isEmpty() && protocol.isEmpty()) {
            add(name, std::move(params), std::move(value));
            return;
        }
        const QString group = nextItem();
        add(name, std::move(params), std::move(value), group);
        if (!label.isEmpty())
            add(QStringLiteral("X-ABLabel"), Params(), escaped(label), group);
        if (!protocol.isEmpty())
            add(QStringLiteral("X-IM-PROTOCOL"), Params(), escaped(protocol), group);
    }

    QString nextItem() { return QStringLiteral("item%1").arg(++m_items); }

    // Readers pair TITLE and ORG lines by their order, which cannot tell
    // which of several companies a title belongs to once one of them lacks
    // a title or a company: each organisation then goes out as an item of
    // its own, which the program's own reader pairs by its group.
    void placeOrgsOf(const QList<pim::Entity>& orgs)
    {
        const auto whole = [](const pim::Entity& e) {
            return !pim::isBlankText(text(e, 4)) && (!pim::isBlankText(text(e, 1)) || !pim::isBlankText(text(e, 5)));
        };
        m_orgsInItems = orgs.size() > 1 && !std::all_of(orgs.cbegin(), orgs.cend(), whole);
    }

    void addEntity(int type, const pim::Entity& e);

    // One CATEGORIES listing every group: readers keep the groups of the
    // last CATEGORIES only. A comma inside a name is escaped, so it stays
    // one group.
    void addCategories(const QList<pim::Entity>& groups)
    {
        QByteArray list;
        for (const pim::Entity& group : groups) {
            if (pim::isBlankEntry(pim::ENTITY_GROUP, group))
                continue;
            const QString name = text(group, 2);
            if (!list.isEmpty())
                list += ',';
            appendEscaped(list, name);
        }
        if (!list.isEmpty())
            add(QStringLiteral("CATEGORIES"), Params(), std::move(list));
    }

    QList<Property> take() { return std::move(m_card); }

private:
    QList<Property> m_card;
    int m_items = 0;
    bool m_orgsInItems = false;
};

void CardBuilder::addEntity(int type, const pim::Entity& e)
{
    // An entry that holds nothing would read back as no entry. N goes out
    // whatever it holds: a 3.0 card has one.
    if (type != pim::ENTITY_NAME && pim::isBlankEntry(type, e))
        return;
    switch (type) {
    case pim::ENTITY_NAME:
        // Family name first, as vCard 3.0 orders N.
        add(QStringLiteral("N"), Params(),
            components({ text(e, 3), text(e, 2), text(e, 4), text(e, 5), text(e, 6) }));
        // How the names are spoken, which phones keep: in the properties
        // desktop address books write, which other readers keep or pass over.
        for (const auto& [property, n] : { std::pair { "X-PHONETIC-FIRST-NAME", 7 }, { "X-PHONETIC-LAST-NAME", 8 } }) {
            const QString reading = text(e, n);
            if (!pim::isBlankText(reading))
                addText(QLatin1String(property), Params(), reading);
        }
        break;
    case pim::ENTITY_PHOTO: {
        const QByteArray image = e.fields.value(fieldKey(15)).toByteArray();
        Params params;
        params.insert(QStringLiteral("ENCODING"), QStringLiteral("B"));
        params.insert(kType, QStringLiteral("JPEG"));
        // One run of base64: foldLines() breaks it with the rest of the card,
        // so the first line, which also holds the property name, stays within
        // the limit too.
        add(QStringLiteral("PHOTO"), std::move(params), VCardEncoders::encodeBase64(image, 0));
        break;
    }
    case pim::ENTITY_PHONE:
        addLabelled(QStringLiteral("TEL"), typeParam(phoneType(code(e, 2))), escaped(text(e, 1)), e);
        break;
    case pim::ENTITY_EMAIL:
        addLabelled(QStringLiteral("EMAIL"), typeParam(emailType(code(e, 2))), escaped(text(e, 1)), e);
        break;
    case pim::ENTITY_NICKNAME:
        addText(QStringLiteral("NICKNAME"), Params(), text(e, 1));
        break;
    case pim::ENTITY_EVENT: {
        const int subType = code(e, 2);
        const QByteArray date = escaped(dateValue(text(e, 1)));
        if (subType == 3)
            addLabelled(QStringLiteral("BDAY"), Params(), date, e);
        else
            addLabelled(QStringLiteral("X-EVENT"),
                        typeParam(subType == 1 ? QStringLiteral("anniversary") : QStringLiteral("other")),
                        date, e);
        break;
    }
    case pim::ENTITY_GROUP:
        // All groups go out together in one CATEGORIES (ct2Bytes).
        break;
    case pim::ENTITY_IM:
        addLabelled(QStringLiteral("X-IM"), typeParam(imType(code(e, 5), code(e, 2))), escaped(text(e, 1)), e,
                    text(e, 6));
        break;
    case pim::ENTITY_NOTES:
        addText(QStringLiteral("NOTE"), Params(), text(e, 1));
        break;
    case pim::ENTITY_ORG: {
        const QString title = text(e, 4);
        const QString company = text(e, 1);
        const QString department = text(e, 5);
        const bool hasTitle = !pim::isBlankText(title);
        const bool hasOrg = !pim::isBlankText(company) || !pim::isBlankText(department);
        if (!hasTitle && !hasOrg)
            break;
        // The kind on ORG (a TYPE that 4.0 defines there and older readers
        // pass over), or on TITLE when there is no ORG. A label of the
        // user's own makes TITLE and ORG one grouped item with it.
        const QString kind = orgType(code(e, 2));
        const QString label = text(e, 3);
        const QString group = label.isEmpty() && !m_orgsInItems ? QString() : nextItem();
        if (hasTitle)
            add(QStringLiteral("TITLE"), typeParam(hasOrg ? QString() : kind), escaped(title), group);
        if (hasOrg)
            add(QStringLiteral("ORG"), typeParam(kind), components({ company, department, QString(), QString() }), group);
        if (!label.isEmpty())
            add(QStringLiteral("X-ABLabel"), Params(), escaped(label), group);
        break;
    }
    case pim::ENTITY_REL:
        addLabelled(QStringLiteral("X-REL"), typeParam(relationType(code(e, 2))), escaped(text(e, 1)), e);
        break;
    case pim::ENTITY_ADDR:
        // Post-office box and extended address stay empty.
        addLabelled(QStringLiteral("ADR"), typeParam(addressType(code(e, 2))),
                    components({ QString(), QString(), text(e, 4), text(e, 7), text(e, 8), text(e, 9),
                                 text(e, 10) }),
                    e);
        break;
    case pim::ENTITY_URL:
        addLabelled(QStringLiteral("URL"), typeParam(urlType(code(e, 2))), escaped(text(e, 1)), e);
        break;
    default:
        break;
    }
}

bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Whether the octet before c is a backslash that escapes the one at c.
bool splitsEscape(const char* data, qsizetype pos, qsizetype c)
{
    qsizetype run = 0;
    while (c - run > pos && data[c - run - 1] == '\\')
        ++run;
    return run % 2 == 1;
}

// Where to end a chunk of the line that starts at pos, given that at most
// cut - pos octets fit: never inside a UTF-8 sequence, which a reader that
// decodes each physical line would see as two broken characters, nor
// between a backslash and the character it escapes, which readers that
// unescape before they unfold take for a stray backslash.
qsizetype breakBefore(const char* data, qsizetype pos, qsizetype cut)
{
    for (qsizetype c = cut; c > cut - 8 && c > pos + 1; --c) {
        if (!isUtf8Continuation(data[c]) && !splitsEscape(data, pos, c))
            return c;
    }
    qsizetype c = cut;
    while (c > pos + 1 && isUtf8Continuation(data[c]))
        --c;
    return c;
}

// The FN to write: the display name the name keeps where it differs from
// the one its parts build (an FN read from a card: "Dr. Ann Ray", "Mum"),
// else the contact's. Our reader takes N given-name-first when FN matches
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
    const QString kept = text(standard, 1);
    const QString shown = kept.isEmpty() || kept == display ? contact.fullName : kept;
    if (shown != display && shown == swapped.fullName())
        return display;
    return shown;
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
    card.placeOrgsOf(contact.entities.value(pim::ENTITY_ORG));
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
