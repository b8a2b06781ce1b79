// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardrules.h"

#include "model/pimlabels.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace vcardrules {

namespace {

bool has(const QStringList& kinds, const char* word)
{
    return VCardValue::has(kinds, QLatin1StringView(word));
}

// The phone sub-type of a set of kind words. What this program's own
// writer puts out ("home,voice", "cell", "work,fax", ...) reads back as it
// always has. None when the words name no kind ("voice", "pref", none).
// Inlined where it is asked of every phone, as it always was.
Q_ALWAYS_INLINE std::optional<int> phoneType(const QStringList& kinds)
{
    const bool home = has(kinds, "home");
    const bool work = has(kinds, "work");
    if (has(kinds, "fax"))
        return home ? 5 : work ? 4 : 13;
    if (has(kinds, "pager") || has(kinds, "beeper"))
        return work ? 18 : 6;
    if (has(kinds, "cell") || has(kinds, "mobile") || has(kinds, "iphone"))
        return work ? 17 : 2;
    static const struct {
        const char* word;
        int code;
    } single[] = {
        { "car", 9 },        { "isdn", 11 },      { "main", 12 },      { "callback", 8 },
        { "x-company-main", 10 },
        { "radio", 14 },     { "telex", 15 },     { "textphone", 16 }, { "tty", 16 },
        { "assistant", 19 }, { "mms", 20 },
    };
    for (const auto& s : single) {
        if (has(kinds, s.word))
            return s.code;
    }
    if (home)
        return 1;
    if (work)
        return 3;
    if (has(kinds, "other"))
        return 0;
    return std::nullopt;
}

// The kinds an e-mail and a messaging address share; work before other
// before home when a value names several.
std::optional<int> workOtherOrHome(const QStringList& kinds)
{
    if (has(kinds, "work"))
        return 2;
    if (has(kinds, "other"))
        return 0;
    if (has(kinds, "home"))
        return 1;
    return std::nullopt;
}

// "internet" and "pref" say nothing of the kind.
std::optional<int> emailType(const QStringList& kinds)
{
    if (has(kinds, "cell") || has(kinds, "mobile"))
        return 4;
    return workOtherOrHome(kinds);
}

// Messaging kinds: the protocol words are not among them.
std::optional<int> imType(const QStringList& kinds)
{
    return workOtherOrHome(kinds);
}

// The protocol the first kind word that names one names ("skype",
// "google-talk"); 0 (Other) when none does.
int imProtocol(const QStringList& kinds)
{
    for (const QString& kind : kinds) {
        const int protocol = pim::imProtocolNamed(kind).value_or(0);
        if (protocol != 0)
            return protocol;
    }
    return 0;
}

// IMPP's own kinds (RFC 4770) beside home and work.
std::optional<int> imppType(const QStringList& kinds)
{
    if (const std::optional<int> type = imType(kinds))
        return type;
    if (has(kinds, "business"))
        return 2;
    if (has(kinds, "personal"))
        return 1;
    return std::nullopt;
}

// The length of the URI scheme that the text starts with ("xmpp" of
// "xmpp:ann@example.org"); 0 when it starts with none.
qsizetype schemeLength(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).unicode() < 0x80
           && (text.at(i).isLetterOrNumber() || text.at(i) == u'+' || text.at(i) == u'-' || text.at(i) == u'.'))
        ++i;
    return i > 1 && i < text.size() && text.at(i) == u':' && text.at(0).isLetter() ? i : 0;
}

// An IM entity of the address, of the protocol, with the service's own
// name when one is given.
void appendIm(const VCardValue& value, pim::_Contact& contact, const QString& address, std::optional<int> type,
              int protocol, const QString& protocolName)
{
    pim::Entity entity;
    setNamedSubType(entity, value, type, &pim::imTypeMap, 1);
    entity.fields.insert(QStringLiteral("data1"), address);
    // Stored also when 0 (Other): an address without a protocol is the same
    // as one of protocol Other, and the merge compares the two.
    entity.fields.insert(QStringLiteral("data5"), protocol);
    if (!protocolName.isEmpty())
        entity.fields.insert(QStringLiteral("data6"), protocolName);
    appendEntity(contact, pim::ENTITY_IM, entity);
}

const QHash<QString, int>& urlWords()
{
    static const QHash<QString, int> table {
        { QStringLiteral("homepage"), 1 }, { QStringLiteral("blog"), 2 },
        { QStringLiteral("profile"), 3 },  { QStringLiteral("home"), 4 },
        { QStringLiteral("work"), 5 },     { QStringLiteral("ftp"), 6 },
    };
    return table;
}

std::optional<int> urlType(const QStringList& kinds)
{
    for (const char* word : { "homepage", "blog", "profile", "ftp", "work", "home" }) {
        if (has(kinds, word))
            return urlWords().value(QLatin1String(word));
    }
    if (has(kinds, "other"))
        return 0;
    return std::nullopt;
}

// Whether a word of a TYPE list, in lower case, says how the value is
// used, preferred or written rather than what the user calls it: the
// standards' words ("pref", "voice", "internet", "intl", "x400") and those
// of preference ("default", "primary"), 4.0's
// kinds of a related person, the words address books add ("iphone",
// "custom"), and every word a kind table reads ("home", "cell", "blog").
bool isStandardWord(const QString& word)
{
    static const QSet<QString> words = [] {
        QSet<QString> set;
        for (const char* w :
             { "pref", "preferred", "primary", "default", "voice", "msg", "bbs", "modem", "video", "pcs", "text",
               "textphone", "cellular", "internet", "x400", "aol", "applelink", "attmail", "cis", "eworld", "ibmmail",
               "mcimail", "powershare", "prodigy", "tlx", "dom", "intl", "postal", "parcel", "personal", "business",
               "uri", "url", "web", "website", "custom", "contact", "acquaintance", "friend", "met", "co-worker",
               "colleague", "co-resident", "neighbor", "kin", "muse", "crush", "date", "sweetheart", "me", "agent",
               "emergency", "sibling", "quoted-printable", "base64", "b", "8bit", "7bit", "utf-8" })
            set.insert(QLatin1String(w));
        return set;
    }();
    const QStringList alone { word };
    return words.contains(word) || phoneType(alone) || emailType(alone) || urlType(alone);
}

// Whether a word names a kind of a phone, an e-mail, an address or a web
// site by the rule a CSV type cell names one ("Home Page", "work-fax").
bool namesAKind(QStringView word)
{
    for (const auto labels : { &pim::phoneTypeMap, &pim::emailTypeMap, &pim::addrTypeMap, &pim::urlTypeMap }) {
        if (pim::codeNamed(word, labels()))
            return true;
    }
    return false;
}

bool holdsLetter(QStringView word)
{
    return std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetter(); });
}

// Whether a phone's parameter is a bare word "X-...": a handset's way to
// write the kind or the label a user gave the number ("TEL;X-Work:",
// "TEL;X-Intercom:", "TEL;X-WhatsApp:"). Its own label's form,
// "X-CUSTOM(...)", is read apart (VCardProperty::ownLabel()).
bool isHandsetWord(const QString& key, const QString& value)
{
    // Asked of every phone's parameters: the first letter tells nearly all.
    return key.size() > 2 && (key.at(0) == u'X' || key.at(0) == u'x') && key.at(1) == u'-' && value.isEmpty()
        && !key.contains(u'(');
}

bool holdsHandsetWord(const VCardParams& params)
{
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        if (isHandsetWord(it.key(), it.value()))
            return true;
    }
    return false;
}

// The sub-type of a phone with a handset's own words. One that names a
// kind gives it: a word the phone kinds read ("X-Home", "X-Other",
// "X-Cellular" as "cell") joins the number's kinds, another of the table's
// labels ("X-Work-Mobile") is the code where those name none. One of a
// maker ("X-NOKIA-PTT": "X-", the maker, "-", its word), a standard word
// ("X-Pref") or one without a letter says nothing. Any other is the user's
// own label ("X-Intercom" is "Intercom"), as the handset's X-CUSTOM(...)
// form is, several joined by ", "; an item's label beside it is the label.
Q_NEVER_INLINE void readHandsetKind(const VCardValue& value, pim::Entity& entity)
{
    QStringList kinds = value.kinds();
    std::optional<int> code;
    QStringList labels;
    const VCardParams& params = value.property().params;
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        if (!isHandsetWord(it.key(), it.value()))
            continue;
        const QString written = it.key().mid(2);
        QString word = written.toLower();
        if (word == QLatin1String("cellular"))
            word = QStringLiteral("cell");
        if (phoneType({ word })) {
            kinds.append(word);
        } else if (const std::optional<int> named = pim::codeNamed(written, pim::phoneTypeMap())) {
            if (!code)
                code = named;
        } else if (!isStandardWord(word) && !word.contains(u'-') && holdsLetter(word)) {
            labels.append(pim::withoutEndBlanks(value.storedText(written)));
        }
    }
    if (const std::optional<int> named = phoneType(kinds))
        code = named;
    const QString label = value.customLabel().isEmpty() ? labels.join(QLatin1String(", ")) : value.customLabel();
    setNamedSubType(entity, label, code, &pim::phoneTypeMap, 2);
}

// The label the words of a web site's TYPE give where they name no kind of
// ours ("URL;type=Facebook:", as a phone and a web service write it), as
// written, several joined by ", ". A standard word, a vendor's ("x-..."),
// one that names a kind, one without a letter is none: see isStandardWord().
QString labelOfTypeWords(const VCardValue& value)
{
    QStringList labels;
    for (const QString& written : value.writtenTypeWords()) {
        QString word = written.toLower();
        word.remove(u' ');
        if (word.startsWith(QLatin1String("x-")) || !holdsLetter(word) || isStandardWord(word) || namesAKind(written))
            continue;
        labels.append(value.storedText(written));
    }
    return labels.join(QLatin1String(", "));
}

// "INTERNET" only says that an e-mail address is one: as an item's label
// ("INTERNET", "_$!<Internet>!$_") it is no label of the user's. This
// program's own export puts a label of the user's beside the kind Other,
// so a user's own label "Internet" stays theirs.
bool saysNothingOfAnEmail(const QString& label, std::optional<int> type)
{
    return type != 0 && label.compare(QLatin1String("internet"), Qt::CaseInsensitive) == 0;
}

// "tel:+1-555-0100;ext=5555" (4.0) is the number "+1-555-0100;ext=5555".
QString phoneNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        return pim::withoutEndBlanks(trimmed.mid(4));
    return text;
}

} // namespace

void setSubType(pim::Entity& entity, const VCardValue& value, std::optional<int> code, int fallback)
{
    setSubType(entity, value.customLabel(), code, fallback);
}

void setSubType(pim::Entity& entity, const QString& custom, std::optional<int> code, int fallback)
{
    if (!custom.isEmpty()) {
        entity.fields.insert(QStringLiteral("data2"), 0);
        entity.fields.insert(QStringLiteral("data3"), custom);
        return;
    }
    entity.fields.insert(QStringLiteral("data2"), code.value_or(fallback));
    if (!code)
        pim::setTypeNotGiven(entity);
}

void setNamedSubType(pim::Entity& entity, const VCardValue& value, std::optional<int> code,
                     QMap<int, QString> (*labels)(), int fallback)
{
    setNamedSubType(entity, value.customLabel(), code, labels, fallback);
}

void setNamedSubType(pim::Entity& entity, const QString& label, std::optional<int> code,
                     QMap<int, QString> (*labels)(), int fallback)
{
    const std::optional<int> labelled = label.isEmpty() ? std::nullopt : pim::codeNamed(label, labels());
    if (labelled && !code) {
        entity.fields.insert(QStringLiteral("data2"), *labelled);
        return;
    }
    if (labelled && code == labelled) {
        // The kind and a label that only names it again, as a value that a
        // file named both ways holds them and this program's own export
        // writes them back: the kind stays, and so does the label.
        entity.fields.insert(QStringLiteral("data2"), *code);
        entity.fields.insert(QStringLiteral("data3"), label);
        return;
    }
    setSubType(entity, label, code, fallback);
}

pim::Entity& firstEntity(pim::_Contact& contact, int type)
{
    QList<pim::Entity>& list = contact.entities[type];
    if (list.isEmpty())
        list.append(pim::Entity());
    return list.first();
}

void appendEntity(pim::_Contact& contact, int type, const pim::Entity& entity)
{
    if (!pim::isBlankEntry(type, entity))
        contact.entities[type].append(entity);
}

void readTel(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), phoneNumber(value.text()));
    if (holdsHandsetWord(value.property().params)) [[unlikely]] {
        readHandsetKind(value, entity);
    } else {
        // A phone that names no kind is a mobile, as phones' exports mean it.
        setNamedSubType(entity, value, phoneType(value.kinds()), &pim::phoneTypeMap, 2);
    }
    appendEntity(contact, pim::ENTITY_PHONE, entity);
}

void readNamedTel(const VCardValue& value, pim::_Contact& contact)
{
    // The one such name read: the assistant's (19).
    constexpr int kAssistant = 19;
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), phoneNumber(value.text()));
    setNamedSubType(entity, value, kAssistant, &pim::phoneTypeMap, kAssistant);
    appendEntity(contact, pim::ENTITY_PHONE, entity);
}

void readEmail(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    const QString label = value.customLabel();
    const std::optional<int> type = emailType(value.kinds());
    setNamedSubType(entity, saysNothingOfAnEmail(label, type) ? QString() : label, type, &pim::emailTypeMap, 1);
    appendEntity(contact, pim::ENTITY_EMAIL, entity);
}

void readIm(const VCardValue& value, pim::_Contact& contact)
{
    const QStringList kinds = value.kinds();
    // The item's X-IM-PROTOCOL is the name the user gave the service, which
    // this program's own export writes beside the protocol: kept as it is,
    // even where it reads like a protocol of the table.
    appendIm(value, contact, value.text(), imType(kinds), imProtocol(kinds), value.itemProtocol());
}

void readImpp(const VCardValue& value, pim::_Contact& contact)
{
    const QString text = value.text();
    const QString trimmed = text.trimmed();
    const qsizetype scheme = schemeLength(trimmed);
    // Address books write "xmpp:" for Google Talk and Facebook too, and
    // name the service beside it.
    QString service
        = value.storedText(value.property().paramIgnoringCase(QLatin1StringView("X-SERVICE-TYPE"))).trimmed();
    if (service.isEmpty())
        service = trimmed.left(scheme);
    // A service the protocol table lacks keeps its name, as a custom one.
    const std::optional<int> protocol = pim::imProtocolNamed(service);
    appendIm(value, contact, scheme > 0 ? pim::withoutEndBlanks(trimmed.mid(scheme + 1)) : text,
        imppType(value.kinds()), protocol.value_or(0), protocol ? QString() : service);
}

void readNamedIm(const VCardValue& value, pim::_Contact& contact)
{
    // A protocol of the table, or the name of one it lacks, which is also
    // the scheme its addresses may be written with ("sip:ann@voip.example").
    struct Protocol {
        int code;
        QLatin1StringView ownName;
    };
    static const QHash<QString, Protocol> protocols {
        { QStringLiteral("X-AIM"), { 1, {} } },
        { QStringLiteral("X-MSN"), { 2, {} } },
        { QStringLiteral("X-YAHOO"), { 3, {} } },
        { QStringLiteral("X-SKYPE"), { 4, {} } },
        { QStringLiteral("X-SKYPE-USERNAME"), { 4, {} } },
        { QStringLiteral("X-QQ"), { 5, {} } },
        { QStringLiteral("X-GTALK"), { 6, {} } },
        { QStringLiteral("X-GOOGLE-TALK"), { 6, {} } },
        { QStringLiteral("X-ICQ"), { 7, {} } },
        { QStringLiteral("X-JABBER"), { 8, {} } },
        { QStringLiteral("X-GADUGADU"), { 10, {} } },
        { QStringLiteral("X-GROUPWISE"), { 0, QLatin1StringView("groupwise") } },
        { QStringLiteral("X-SIP"), { 0, QLatin1StringView("sip") } },
        { QStringLiteral("X-WV-ID"), { 0, QLatin1StringView("wv") } },
    };
    const Protocol protocol = protocols.value(value.property().name, Protocol { 0, {} });
    QString address = value.text();
    if (!protocol.ownName.isEmpty()) {
        const QString trimmed = address.trimmed();
        const qsizetype scheme = schemeLength(trimmed);
        if (scheme > 0 && QStringView(trimmed).left(scheme).compare(protocol.ownName, Qt::CaseInsensitive) == 0)
            address = pim::withoutEndBlanks(trimmed.mid(scheme + 1));
    }
    appendIm(value, contact, address, imType(value.kinds()), protocol.code, protocol.ownName);
}

namespace {

const QLatin1StringView kMessagingStart("X-MESSAGING/");
const QLatin1StringView kMessagingEnd("-ALL");

} // namespace

bool isMessagingName(const QString& name)
{
    return name.size() > kMessagingStart.size() + kMessagingEnd.size() && name.startsWith(kMessagingStart)
        && name.endsWith(kMessagingEnd);
}

void readMessaging(const VCardValue& value, pim::_Contact& contact)
{
    const QString& name = value.property().name;
    // The name is read in upper case; the address book writes the
    // protocol's word in lower case ("X-messaging/irc-All").
    const QString word
        = name.mid(kMessagingStart.size(), name.size() - kMessagingStart.size() - kMessagingEnd.size()).toLower();
    const std::optional<int> protocol = pim::imProtocolNamed(word);
    const std::optional<int> type = imType(value.kinds());
    // Several addresses of one protocol share the line, each after a
    // U+E000, each stored without the blanks around it.
    for (const QStringView address : QStringView(value.text()).tokenize(QChar(0xE000), Qt::SkipEmptyParts))
        appendIm(value, contact, pim::withoutEndBlanks(address.toString()), type, protocol.value_or(0),
            protocol ? QString() : word);
}

void readUrl(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    QString label = value.customLabel();
    if (label.isEmpty() && !value.property().params.isEmpty())
        label = labelOfTypeWords(value);
    setNamedSubType(entity, label, urlType(value.kinds()), &pim::urlTypeMap, 0);
    appendEntity(contact, pim::ENTITY_URL, entity);
}

void readNamedUrl(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    const bool blog = value.property().name == QLatin1String("X-EVOLUTION-BLOG-URL");
    setSubType(entity, value, blog ? urlWords().value(QStringLiteral("blog")) : 0, 0);
    appendEntity(contact, pim::ENTITY_URL, entity);
}

} // namespace vcardrules
