// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardcardmapper.h"

#include "fileformats/absimport.h"
#include "fileformats/vcard/mapping/vcardorgpairing_p.h"
#include "fileformats/vcard/mapping/vcardrules.h"
#include "fileformats/vcard/mapping/vcardvalue.h"

#include <QCoreApplication>
#include <QHash>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

enum Rule {
    RULE_NONE,
    // Says something of the card rather than of the person, or only serves
    // another property of the card (the label, the country format and the
    // messaging service of a grouped item, read with their item): leaving
    // it out loses nothing.
    RULE_NOTHING_TO_KEEP,
    RULE_N,
    RULE_FN,
    RULE_PHONETIC_FIRST,
    RULE_PHONETIC_LAST,
    RULE_NAME_READING,
    RULE_PHOTO,
    RULE_TEL,
    RULE_EMAIL,
    RULE_NICKNAME,
    RULE_BDAY,
    RULE_EVENT,
    RULE_CATEGORIES,
    RULE_IM,
    RULE_NOTE,
    RULE_ORG,
    RULE_TITLE,
    RULE_REL,
    RULE_ADR,
    RULE_URL,
    RULE_ITEM_DATE,
    RULE_IMPP,
    RULE_NAMED_IM,
    RULE_ITEM_REL,
    RULE_RELATED,
    RULE_NAMED_REL,
    RULE_ANNIVERSARY,
    RULE_DEPARTMENT,
    RULE_MESSAGING,
    RULE_NAMED_URL,
    RULE_PHONE_DATA_ROW,
    RULE_NAMED_TEL,
    // Read as TITLE, or as an address, where the card has none (standInRule()).
    RULE_ROLE,
    RULE_LABEL,
};

const QHash<QString, Rule>& ruleTable()
{
    static const QHash<QString, Rule> table {
        { QStringLiteral("N"), RULE_N },
        { QStringLiteral("FN"), RULE_FN },
        { QStringLiteral("X-PHONETIC-FIRST-NAME"), RULE_PHONETIC_FIRST },
        { QStringLiteral("X-PHONETIC-LAST-NAME"), RULE_PHONETIC_LAST },
        // Only the phone's reading of the name (isNameReading); a recording
        // is a kind no field keeps.
        { QStringLiteral("SOUND"), RULE_NAME_READING },
        { QStringLiteral("PHOTO"), RULE_PHOTO },
        { QStringLiteral("TEL"), RULE_TEL },
        { QStringLiteral("EMAIL"), RULE_EMAIL },
        { QStringLiteral("NICKNAME"), RULE_NICKNAME },
        { QStringLiteral("X-NICKNAME"), RULE_NICKNAME },
        { QStringLiteral("BDAY"), RULE_BDAY },
        { QStringLiteral("X-EVENT"), RULE_EVENT },
        { QStringLiteral("CATEGORIES"), RULE_CATEGORIES },
        { QStringLiteral("CATEGORY"), RULE_CATEGORIES },
        { QStringLiteral("X-IM"), RULE_IM },
        { QStringLiteral("NOTE"), RULE_NOTE },
        { QStringLiteral("ORG"), RULE_ORG },
        { QStringLiteral("TITLE"), RULE_TITLE },
        { QStringLiteral("ROLE"), RULE_ROLE },
        { QStringLiteral("LABEL"), RULE_LABEL },
        { QStringLiteral("X-REL"), RULE_REL },
        { QStringLiteral("ADR"), RULE_ADR },
        { QStringLiteral("URL"), RULE_URL },
        { QStringLiteral("X-ABDATE"), RULE_ITEM_DATE },
        { QStringLiteral("IMPP"), RULE_IMPP },
        { QStringLiteral("X-AIM"), RULE_NAMED_IM },
        { QStringLiteral("X-ICQ"), RULE_NAMED_IM },
        { QStringLiteral("X-JABBER"), RULE_NAMED_IM },
        { QStringLiteral("X-GTALK"), RULE_NAMED_IM },
        { QStringLiteral("X-GOOGLE-TALK"), RULE_NAMED_IM },
        { QStringLiteral("X-MSN"), RULE_NAMED_IM },
        { QStringLiteral("X-YAHOO"), RULE_NAMED_IM },
        { QStringLiteral("X-SKYPE"), RULE_NAMED_IM },
        { QStringLiteral("X-SKYPE-USERNAME"), RULE_NAMED_IM },
        { QStringLiteral("X-QQ"), RULE_NAMED_IM },
        { QStringLiteral("X-GADUGADU"), RULE_NAMED_IM },
        { QStringLiteral("X-GROUPWISE"), RULE_NAMED_IM },
        { QStringLiteral("X-SIP"), RULE_NAMED_IM },
        { QStringLiteral("X-WV-ID"), RULE_NAMED_IM },
        { QStringLiteral("X-MS-IMADDRESS"), RULE_NAMED_IM },
        { QStringLiteral("X-OUTLOOK-IM-ADDRESS"), RULE_NAMED_IM },
        { QStringLiteral("X-ABRELATEDNAMES"), RULE_ITEM_REL },
        { QStringLiteral("RELATED"), RULE_RELATED },
        { QStringLiteral("X-EVOLUTION-SPOUSE"), RULE_NAMED_REL },
        { QStringLiteral("X-EVOLUTION-MANAGER"), RULE_NAMED_REL },
        { QStringLiteral("X-EVOLUTION-ASSISTANT"), RULE_NAMED_REL },
        { QStringLiteral("X-MS-SPOUSE"), RULE_NAMED_REL },
        { QStringLiteral("X-MS-MANAGER"), RULE_NAMED_REL },
        { QStringLiteral("X-MS-ASSISTANT"), RULE_NAMED_REL },
        { QStringLiteral("X-SPOUSE"), RULE_NAMED_REL },
        { QStringLiteral("X-MANAGER"), RULE_NAMED_REL },
        { QStringLiteral("X-ASSISTANT"), RULE_NAMED_REL },
        { QStringLiteral("X-CHILDREN"), RULE_NAMED_REL },
        { QStringLiteral("X-ASSISTANT-TEL"), RULE_NAMED_TEL },
        { QStringLiteral("X-WAB-SPOUSE_NAME"), RULE_NAMED_REL },
        { QStringLiteral("X-OUTLOOK-SPOUSE-NAME"), RULE_NAMED_REL },
        { QStringLiteral("X-OUTLOOK-MANAGER-NAME"), RULE_NAMED_REL },
        // An older mail program's own spellings.
        { QStringLiteral("SPOUSNAME"), RULE_NAMED_REL },
        { QStringLiteral("MANNAME"), RULE_NAMED_REL },
        { QStringLiteral("ASSNAME"), RULE_NAMED_REL },
        { QStringLiteral("ANNIVERSARY"), RULE_ANNIVERSARY },
        { QStringLiteral("X-ANNIVERSARY"), RULE_ANNIVERSARY },
        { QStringLiteral("X-EVOLUTION-ANNIVERSARY"), RULE_ANNIVERSARY },
        { QStringLiteral("X-MS-ANNIVERSARY"), RULE_ANNIVERSARY },
        { QStringLiteral("X-WAB-WEDDING_ANNIVERSARY"), RULE_ANNIVERSARY },
        { QStringLiteral("X-OUTLOOK-WEDDING-ANNIVERSARY"), RULE_ANNIVERSARY },
        { QStringLiteral("X-EVOLUTION-BLOG-URL"), RULE_NAMED_URL },
        { QStringLiteral("X-ANDROID-CUSTOM"), RULE_PHONE_DATA_ROW },
        { QStringLiteral("X-EVOLUTION-VIDEO-URL"), RULE_NAMED_URL },
        // The desktop address book's own fields.
        { QStringLiteral("X-KADDRESSBOOK-X-ANNIVERSARY"), RULE_ANNIVERSARY },
        { QStringLiteral("X-KADDRESSBOOK-X-SPOUSESNAME"), RULE_NAMED_REL },
        { QStringLiteral("X-KADDRESSBOOK-X-MANAGERSNAME"), RULE_NAMED_REL },
        { QStringLiteral("X-KADDRESSBOOK-X-ASSISTANTSNAME"), RULE_NAMED_REL },
        { QStringLiteral("X-KADDRESSBOOK-X-IMADDRESS"), RULE_NAMED_IM },
        { QStringLiteral("X-KADDRESSBOOK-X-DEPARTMENT"), RULE_DEPARTMENT },
        { QStringLiteral("VERSION"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("PRODID"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("REV"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("UID"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("X-ABUID"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("CLIENTPIDMAP"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("X-IRMC-LUID"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("X-ABSHOWAS"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("SORT-STRING"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("KIND"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("CLASS"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("PROFILE"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("NAME"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("SOURCE"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("X-ABLABEL"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("X-ABADR"), RULE_NOTHING_TO_KEEP },
        { QStringLiteral("X-IM-PROTOCOL"), RULE_NOTHING_TO_KEEP },
    };
    return table;
}

Rule ruleFor(const QString& name)
{
    const Rule rule = ruleTable().value(name, RULE_NONE);
    // Names of a form rather than of the table are looked at only when the
    // table has none.
    if (rule == RULE_NONE && vcardrules::isMessagingName(name))
        return RULE_MESSAGING;
    return rule;
}

// ruleFor() through the memo.
Rule memoizedRuleFor(VCardCardMapper::RuleMemo& memo, const QString& name)
{
    return Rule(memo.value(name, 0, [](const QString& text) { return int(ruleFor(text)); }));
}

// A name no rule reads, of blanks where a known name has hyphens ("X-GOOGLE
// TALK", as a web CRM writes it), is that name: its rule, and `named` the
// property under it, held in `hyphenated`.
[[gnu::noinline, gnu::cold]] Rule ruleOfHyphenatedName(const VCardProperty& written,
    std::optional<VCardProperty>& hyphenated, const VCardProperty*& named)
{
    const QString name = written.nameWithHyphens();
    const Rule rule = ruleFor(name);
    if (rule != RULE_NONE) {
        hyphenated = written;
        hyphenated->name = name;
        hyphenated->nameDamaged = false;
        named = &*hyphenated;
    }
    return rule;
}

// Whether the card has a TITLE: a line of that name whose value holds more
// than blanks and separators; an ADR: a line of that name, whatever it
// holds. Each is looked up once a card asks, which only a card of a ROLE
// or a LABEL does.
struct CardHolds {
    std::optional<bool> title;
    std::optional<bool> address;
};

bool holdsLineNamed(const QList<VCardProperty>& card, QLatin1StringView name, bool empty)
{
    return std::any_of(card.cbegin(), card.cend(), [name, empty](const VCardProperty& property) {
        return property.name == name
            && (empty || std::any_of(property.value.cbegin(), property.value.cend(),
                                     [](char c) { return c != ' ' && c != '\t' && c != ';'; }));
    });
}

// The rule a ROLE or a LABEL is read by: a ROLE is the job title of a card
// without a TITLE, a LABEL (a printed address) the address of a card
// without an ADR. Beside a TITLE a ROLE says what no field keeps, and a
// LABEL beside an ADR is the printed form of that ADR, empty or not (a
// handset writes "ADR;WORK:;;;;;;" beside the label of its empty form):
// both are left out, named as a kind not kept (RULE_NONE).
[[gnu::noinline, gnu::cold]] Rule standInRule(Rule rule, const QList<VCardProperty>& card, CardHolds& holds)
{
    const bool role = rule == RULE_ROLE;
    std::optional<bool>& known = role ? holds.title : holds.address;
    if (!known)
        known = holdsLineNamed(card, QLatin1StringView(role ? "TITLE" : "ADR"), !role);
    if (*known)
        return RULE_NONE;
    return role ? RULE_TITLE : RULE_LABEL;
}

bool isQuotedPrintable(const VCardProperty& property)
{
    return property.isEncodedAs({ QLatin1StringView("QUOTED-PRINTABLE") });
}

// Whether a SOUND is a phone's reading of the name, "SOUND;X-IRMC-N:", its
// marker bare or a TYPE word, rather than a recording.
bool isNameReading(const VCardProperty& property)
{
    static const QLatin1StringView marker("X-IRMC-N");
    for (auto it = property.params.constBegin(); it != property.params.constEnd(); ++it) {
        if (it.value().isEmpty() ? VCardParams::isWord(it.key(), marker)
                                 : VCardParams::isWord(it.key(), QLatin1StringView("TYPE"))
                    && VCardParams::withoutBlanks(it.value()).contains(marker, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// The blanks the tokenizer skips before a quoted-printable value.
bool isLeadingBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

// How many blanks a value as written starts with, right after the colon;
// 0 for a quoted-printable or base64 value, whose decoded bytes start with
// what the writer encoded.
qsizetype blanksAfterColon(const VCardProperty& property, bool quoted)
{
    if (quoted || property.isEncodedAs({ QLatin1StringView("BASE64"), QLatin1StringView("B") }))
        return 0;
    qsizetype n = 0;
    while (n < property.value.size() && isLeadingBlank(uchar(property.value.at(n))))
        ++n;
    return n;
}

// Whether the blanks at the ends of a value stay part of it, those right
// after the colon among them: only in a note (pim::keepsEndBlanks), which
// the program's own export writes as the user has it, indents and all. The
// separator blank of a writer of "NOTE: text" harms nothing there (and
// isWrittenWithBlankAfterColon() sees most such writers). Around a name,
// number, address or company such blanks only break dialling, mailing or
// matching it, and make one person two contacts.
bool keepsEndBlanks(Rule rule)
{
    return rule == RULE_NOTE;
}

// What the rule's values hold: words, which a writer may have put in
// quoted-printable codes without saying so, or data (VCardCardText::text()).
VCardCardText::Holds holdsOf(Rule rule)
{
    switch (rule) {
    case RULE_N:
    case RULE_FN:
    case RULE_PHONETIC_FIRST:
    case RULE_PHONETIC_LAST:
    case RULE_NAME_READING:
    case RULE_NICKNAME:
    case RULE_CATEGORIES:
    case RULE_NOTE:
    case RULE_ORG:
    case RULE_TITLE:
    case RULE_REL:
    case RULE_ADR:
    case RULE_LABEL:
    case RULE_ITEM_REL:
    case RULE_NAMED_REL:
    case RULE_DEPARTMENT:
    case RULE_PHONE_DATA_ROW:
        return VCardCardText::Holds::Words;
    default:
        return VCardCardText::Holds::Data;
    }
}

const VCardProperty* versionOf(const QList<VCardProperty>& card)
{
    for (const VCardProperty& property : card) {
        if (property.name == QLatin1String("VERSION"))
            return &property;
    }
    return nullptr;
}

bool isVersion3Or4(const VCardProperty* version)
{
    const QByteArray text = version ? version->value.trimmed() : QByteArray();
    return text.startsWith('3') || text.startsWith('4');
}

// Whether the card is written "NAME: value", as its VERSION shows: a
// writer that puts a blank after that colon puts one after every colon,
// as a separator. This program's own export never does.
bool isWrittenWithBlankAfterColon(const VCardProperty* version)
{
    return version && blanksAfterColon(*version, false) > 0;
}

// The N components as they stand after every N of the card: a later N
// replaces only the positions it has.
struct NameParts {
    QString part[5];
    bool present[5] = { false, false, false, false, false };
    // The line of the N they were read from, once one names someone.
    qint64 line = 0;
};

// Reads the components of an N line into the parts. A card holds one name:
// a later N takes the place of an earlier one whole, as a later FN or PHOTO
// does, and the earlier line is named. An N that names no one takes no
// one's place. Kept out of the card's loop over its properties, which runs
// for every line of a file.
Q_NEVER_INLINE void readNameParts(
    NameParts& name, const QStringList& parts, qint64 line, vcardrules::Notes& notes)
{
    const bool names = std::any_of(parts.cbegin(), parts.cend(), [](const QString& part) { return !pim::isBlankText(part); });
    if (name.line > 0 && !names)
        return;
    if (name.line > 0)
        notes.add(name.line, QCoreApplication::translate("VCardImport", "a contact keeps one name; this N line was left "
                                                                        "out for the one on line %1.")
                                 .arg(line));
    if (names)
        name.line = line;
    for (int i = 0; i < 5; ++i) {
        name.present[i] = i < parts.size();
        name.part[i] = name.present[i] ? parts.at(i) : QString();
    }
}

// The FN read so far, and its line once one holds anything.
struct FormattedName {
    QString text;
    qint64 line = 0;
    const VCardProperty* property = nullptr;
};

// Whether an FN reads as an N's parts, a ";" not escaped in its value
// ("FN:Harbor Bistro;;;", a name typed into the wrong line).
bool readsAsNameParts(const VCardProperty& fn)
{
    const QByteArray& bytes = fn.value;
    for (qsizetype i = bytes.indexOf(';'); i >= 0; i = bytes.indexOf(';', i + 1)) {
        if (i == 0 || bytes.at(i - 1) != '\\')
            return true;
    }
    return false;
}

// Reads a second FN of a card. A card holds one formatted name: a later FN
// takes the place of an earlier one, which is named as an N left out is; an
// FN that holds nothing, or says the same, takes no one's place, nor one
// that reads as an N's parts that of one that does not. Kept out of the
// card's loop, as only a card of two FN lines comes here.
Q_NEVER_INLINE void readAnotherFormattedName(
    FormattedName& name, const VCardValue& value, const VCardProperty& written, vcardrules::Notes& notes)
{
    QString text = value.text().trimmed();
    if (text.isEmpty() || text == name.text)
        return;
    const QString sentence = QCoreApplication::translate(
        "VCardImport", "a contact keeps one name; this FN line was left out for the one on line %1.");
    if (readsAsNameParts(written) && !readsAsNameParts(*name.property)) {
        notes.add(written.line, sentence.arg(name.line));
        return;
    }
    notes.add(name.line, sentence.arg(written.line));
    name = FormattedName { std::move(text), written.line, &written };
}

// Whether the N read names a person: a family, given or middle name. A
// title or suffix alone names no one.
bool namesSomeone(const NameParts& name)
{
    // Nearly every part that holds anything starts with a letter: the blank
    // test is asked only of one that starts with a blank.
    return name.line > 0 && std::any_of(name.part, name.part + 3, [](const QString& part) {
        return !part.isEmpty() && (!part.front().isSpace() || !pim::isBlankText(part));
    });
}

void putPart(pim::Entity& entity, const QString& key, const NameParts& parts, int index)
{
    if (parts.present[index])
        entity.fields.insert(key, parts.part[index]);
}

// The name N gives, read standard (family;given;...) or swapped
// (given;family;...), as older builds of this program wrote it.
pim::Entity nameEntity(const pim::Entity& base, const NameParts& parts, bool swapped)
{
    static const QString given = QStringLiteral("data2");
    static const QString family = QStringLiteral("data3");
    static const QString middle = QStringLiteral("data4");
    static const QString prefix = QStringLiteral("data5");
    static const QString suffix = QStringLiteral("data6");
    pim::Entity entity = base;
    putPart(entity, swapped ? given : family, parts, 0);
    putPart(entity, swapped ? family : given, parts, 1);
    putPart(entity, middle, parts, 2);
    putPart(entity, prefix, parts, 3);
    putPart(entity, suffix, parts, 4);
    return entity;
}

// Whether the text is, as read, the number of one of the contact's phones
// or one of its e-mail addresses, or with `company` its company.
bool isOwnNumberOrAddress(const pim::_Contact& contact, const QString& text, bool company = false)
{
    for (const int type : { int(pim::ENTITY_PHONE), int(pim::ENTITY_EMAIL), company ? int(pim::ENTITY_ORG) : 0 }) {
        for (const pim::Entity& entity : contact.entities.value(type)) {
            if (pim::fieldText(entity.fields.value(QStringLiteral("data1"))) == text)
                return true;
        }
    }
    return false;
}

} // namespace

QStringList VCardCardMapper::ruleNames()
{
    return ruleTable().keys();
}

pim::_Contact VCardCardMapper::toContact(const QList<VCardProperty>& card, vcardrules::Notes* notesOut)
{
    using namespace vcardrules;
    pim::_Contact contact;
    const VCardProperty* version = versionOf(card);
    const bool modern = isVersion3Or4(version);
    const bool blankAfterColon = isWrittenWithBlankAfterColon(version);
    NameParts nameParts;
    bool hasN = false;
    FormattedName fn;
    vcardrules::OrgPairing orgs;
    std::optional<Notes> ownNotes;
    Notes& notes = notesOut ? *notesOut : ownNotes.emplace();
    m_cardText.startCard(&card);
    const auto checkCharset = [&](const VCardProperty& property) {
        const QString charset = property.paramIgnoringCase(QLatin1StringView("CHARSET"));
        if (charset.isEmpty() || m_cardText.isKnown(charset))
            return;
        notes.add(property.line, QCoreApplication::translate("VCardImport",
                                                             "unknown character set \"%1\"; the value was read as UTF-8.")
                                     .arg(charset));
    };

    // Grouped items ("item1.TEL" with "item1.X-ABLabel") take their kind
    // from the label; a messaging address its service's name from the
    // item's X-IM-PROTOCOL.
    QHash<QString, QString> labels;
    QHash<QString, QString> protocols;
    for (const VCardProperty& property : card) {
        if (property.group.isEmpty())
            continue;
        const bool label = property.name == QLatin1String("X-ABLABEL");
        if (label || property.name == QLatin1String("X-IM-PROTOCOL")) {
            checkCharset(property);
            const auto holds = label ? VCardCardText::Holds::Words : VCardCardText::Holds::Data;
            (label ? labels : protocols)
                .insert(property.group.toLower(),
                    VCardValue(property, m_cardText, !(modern && isQuotedPrintable(property)), holds).text());
        }
    }

    std::optional<VCardProperty> hyphenated;
    CardHolds cardHolds;
    for (const VCardProperty& written : card) {
        Rule rule = memoizedRuleFor(m_ruleMemo, written.name);
        const VCardProperty* named = &written;
        if (rule == RULE_NONE && written.nameGaps != 0) [[unlikely]]
            rule = ruleOfHyphenatedName(written, hyphenated, named);
        const VCardProperty& property = *named;
        if (rule == RULE_NAME_READING && !isNameReading(property))
            rule = RULE_NONE;
        if (rule == RULE_ROLE || rule == RULE_LABEL) [[unlikely]]
            rule = standInRule(rule, card, cardHolds);
        if (rule == RULE_NONE) {
            if (property.value.isEmpty())
                continue;
            if (property.nameDamaged)
                notes.unreadLines.append(property.line);
            else
                notes.leftOut.append({ property.line, property.name });
            continue;
        }
        if (rule == RULE_NOTHING_TO_KEEP)
            continue;
        checkCharset(property);
        const bool quoted = isQuotedPrintable(property);
        const qsizetype blanks = blanksAfterColon(property, quoted);
        VCardProperty unblanked;
        const VCardProperty* read = &property;
        if (blanks > 0 && (blankAfterColon || !keepsEndBlanks(rule))) {
            unblanked = property;
            unblanked.value.remove(0, blanks);
            read = &unblanked;
        }
        VCardValue value(*read, m_cardText, !(modern && quoted), holdsOf(rule), keepsEndBlanks(rule));
        if (!property.group.isEmpty()) {
            const QString group = property.group.toLower();
            const auto label = labels.constFind(group);
            if (label != labels.constEnd())
                value.setItemLabel(label.value());
            if (rule == RULE_IM)
                value.setItemProtocol(protocols.value(group));
        }
        switch (rule) {
        case RULE_NONE:
        case RULE_NOTHING_TO_KEEP:
        case RULE_ROLE:
            break;
        case RULE_N: {
            if (!hasN) {
                firstEntity(contact, pim::ENTITY_NAME);
                hasN = true;
            }
            // In 3.0 and 4.0 each part is a list ("Maria,Elin" for two
            // middle names); older cards know no lists.
            readNameParts(nameParts, value.components(modern), property.line, notes);
            break;
        }
        case RULE_FN:
            if (fn.line == 0) {
                fn.text = value.text().trimmed();
                if (!fn.text.isEmpty()) [[likely]] {
                    fn.line = property.line;
                    fn.property = &written;
                }
            } else {
                readAnotherFormattedName(fn, value, written, notes);
            }
            break;
        case RULE_PHONETIC_FIRST:
            readPhoneticFirstName(value, contact);
            break;
        case RULE_PHONETIC_LAST:
            readPhoneticLastName(value, contact);
            break;
        case RULE_NAME_READING:
            readNameReading(value, contact);
            break;
        case RULE_PHOTO:
            readPhoto(value, contact, notes);
            break;
        case RULE_TEL:
            // A handset's own label of the number, where no item's label is.
            if (const std::optional<VCardProperty::OwnLabel> own = property.ownLabel();
                own && value.customLabel().isEmpty())
                value.setOwnLabel(m_cardText.storedText(property, own->bytes, own->charset));
            readTel(value, contact);
            break;
        case RULE_EMAIL:
            readEmail(value, contact);
            break;
        case RULE_NICKNAME:
            readNickname(value, contact);
            break;
        case RULE_BDAY:
            readBirthday(value, contact);
            break;
        case RULE_EVENT:
            readEvent(value, contact, notes);
            break;
        case RULE_CATEGORIES:
            readCategories(value, contact, notes);
            break;
        case RULE_IM:
            readIm(value, contact);
            break;
        case RULE_NOTE:
            readNote(value, contact);
            break;
        case RULE_ORG: {
            pim::Entity part;
            readOrg(value, part);
            orgs.add(vcardrules::OrgPairing::COMPANY, std::move(part), property.group);
            break;
        }
        case RULE_TITLE: {
            pim::Entity part;
            readTitle(value, part);
            orgs.add(vcardrules::OrgPairing::TITLE, std::move(part), property.group);
            break;
        }
        case RULE_DEPARTMENT:
            orgs.addDepartment(value.text());
            break;
        case RULE_REL:
            readRelation(value, contact);
            break;
        case RULE_ADR:
            readAddress(value, contact);
            break;
        case RULE_LABEL:
            readPrintedAddress(value, contact);
            break;
        case RULE_URL:
            readUrl(value, contact);
            break;
        case RULE_ITEM_DATE:
            readItemDate(value, contact, notes);
            break;
        case RULE_IMPP:
            readImpp(value, contact);
            break;
        case RULE_NAMED_IM:
            readNamedIm(value, contact);
            break;
        case RULE_ITEM_REL:
            readItemRelation(value, contact);
            break;
        case RULE_RELATED:
            readRelated(value, contact);
            break;
        case RULE_NAMED_REL:
            readNamedRelation(value, contact);
            break;
        case RULE_ANNIVERSARY:
            readAnniversary(value, contact);
            break;
        case RULE_MESSAGING:
            readMessaging(value, contact);
            break;
        case RULE_NAMED_URL:
            readNamedUrl(value, contact);
            break;
        case RULE_PHONE_DATA_ROW:
            readPhoneDataRow(value, contact, notes);
            break;
        case RULE_NAMED_TEL:
            readNamedTel(value, contact);
            break;
        }
    }
    orgs.settle(contact);
    if (!notes.birthdaysOfLabels.isEmpty())
        keepOneBirthday(contact, notes);
    if (!m_cardText.guessedLines().isEmpty()) {
        QList<VCardCardText::GuessedLine>& lines = notes.guessedLines;
        lines = m_cardText.guessedLines();
        std::stable_sort(
            lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.line < b.line; });
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    }
    const auto ascendingOnce = [](QList<qint64> lines) {
        std::sort(lines.begin(), lines.end());
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        return lines;
    };
    if (!m_cardText.controlLines().isEmpty())
        notes.controlLines = ascendingOnce(m_cardText.controlLines());
    if (!m_cardText.twiceEncodedLines().isEmpty())
        notes.twiceEncodedLines = ascendingOnce(m_cardText.twiceEncodedLines());
    if (!m_cardText.strayEqualsLines().isEmpty())
        notes.strayEqualsLines = ascendingOnce(m_cardText.strayEqualsLines());
    m_cardText.startCard(nullptr);
    QString formattedName = std::move(fn.text);

    // An FN that is one of the card's own numbers or e-mail addresses, where
    // no N names anyone, is no name: it is what a contact without one is
    // known by, which this program's own export writes as FN, and a phone's
    // card of a number alone as well; beside an N of a title alone, so is
    // its company. The contact is known by it, but stores no name of it.
    QString knownBy;
    const bool namesAnyone = namesSomeone(nameParts);
    if (!namesAnyone && !formattedName.isEmpty()
        && isOwnNumberOrAddress(contact, formattedName, nameParts.line > 0))
        knownBy = std::exchange(formattedName, QString());

    if (hasN) {
        // The reading whose display name is the card's FN, else the
        // standard one: FN names the person as the writer shows them.
        pim::Entity& name = firstEntity(contact, pim::ENTITY_NAME);
        pim::Entity chosen = nameEntity(name, nameParts, false);
        QString display = chosen.fullName();
        if (!formattedName.isEmpty() && display != formattedName) {
            pim::Entity swapped = nameEntity(name, nameParts, true);
            QString swappedDisplay = swapped.fullName();
            if (swappedDisplay == formattedName) {
                chosen = std::move(swapped);
                display = std::move(swappedDisplay);
            }
        }
        name = chosen;
        // A title or suffix alone ("N:;;;Dr.;") names no one, nor an FN that
        // only repeats it: the contact is known as one without a name is,
        // and keeps the title.
        if (namesAnyone)
            contact.fullName = display;
        else if (formattedName == display)
            formattedName.clear();
        // The list and the card show the name the parts build, as a merge
        // matches it; an FN that says otherwise ("Dr. Ann Ray", "Mum") is
        // the display name the name keeps, and the export writes it back.
        name.fields.insert(QStringLiteral("data1"), formattedName.isEmpty() ? display : formattedName);
    }
    if (contact.fullName.isEmpty() && !formattedName.isEmpty()) {
        // No usable N: the card's formatted name stands in, as the given
        // name too, so an edit that rebuilds the name from its parts keeps it.
        contact.fullName = firstEntity(contact, pim::ENTITY_NAME).takeWholeName(formattedName);
    }
    if (contact.fullName.isEmpty()) {
        // A phone's export holds many cards of a number alone ("N:;;;;"):
        // named after what they hold, as the same contact in a table is,
        // and without a name entry that says nothing. One that says how
        // the name is spoken, or holds a title or suffix, stays.
        const auto name = contact.entities.constFind(pim::ENTITY_NAME);
        if (name != contact.entities.cend()
            && (name->isEmpty() || (!holdsReading(name->constFirst()) && nameParts.line == 0)))
            contact.entities.remove(pim::ENTITY_NAME);
        contact.fullName = knownBy.isEmpty() ? standInName(contact) : knownBy;
    }
    return contact;
}
