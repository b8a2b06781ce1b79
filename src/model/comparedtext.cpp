// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/comparedtext.h"

namespace comparedtext {

namespace {

const QString kData1 = QStringLiteral("data1");
const QString kData4 = QStringLiteral("data4");
const QString kData5 = QStringLiteral("data5");
const QString kPostcode = QStringLiteral("data9");
// The parts an address's formatted text is made of (Entity::formattedAddr).
const QString kAddressParts[] = { kData4, QStringLiteral("data7"), QStringLiteral("data8"), kPostcode,
                                  QStringLiteral("data10") };
const QString kUnitSeparator = QStringLiteral("; ");

// The value under key, nullptr when there is none.
const QVariant* valueOf(const pim::Entity& entity, const QString& key)
{
    if (const int number = pim::EntityFields::keyNumber(key))
        return entity.fields.find(number);
    const auto it = entity.fields.constFind(key);
    return it == entity.fields.cend() ? nullptr : &*it;
}

// A value's text (pim::fieldText), in place when it is text already.
const QString& textOf(const QVariant* value, QString& own)
{
    if (value && value->typeId() == QMetaType::QString)
        return *static_cast<const QString*>(value->constData());
    if (value)
        own = pim::fieldText(*value);
    return own;
}

bool isBlankOrTab(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Whether ofValue() changes the text: white space at an end, a CR, a tab,
// or a blank beside another blank or a line end. One look at each
// character, most of which are above the blank.
bool foldsBlanks(QStringView text)
{
    const qsizetype n = text.size();
    if (n == 0)
        return false;
    if (text.front().isSpace() || text.back().isSpace())
        return true;
    const char16_t* c = text.utf16();
    for (qsizetype i = 1; i + 1 < n; ++i) {
        if (c[i] > u' ')
            continue;
        if (c[i] == u'\t' || c[i] == u'\r')
            return true;
        if (c[i] == u' ' && (c[i + 1] == u' ' || c[i + 1] == u'\n' || c[i - 1] == u'\n'))
            return true;
    }
    return false;
}

// Whether a note's text changes as written is compared: white space at an
// end or a CR.
bool foldsLineEnds(QStringView text)
{
    return !text.isEmpty() && (text.front().isSpace() || text.back().isSpace() || text.contains(u'\r'));
}

QString withLfLineEnds(QString text)
{
    if (text.contains(u'\r'))
        text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    return text;
}

// The text without blanks and tabs at the ends of its lines, a run of them
// inside a line one blank.
QString withSingleBlanks(const QString& text)
{
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (const QChar c : text) {
        if (isBlankOrTab(c)) {
            blank = !out.isEmpty() && out.back() != u'\n';
            continue;
        }
        if (blank && c != u'\n')
            out.append(u' ');
        blank = false;
        out.append(c);
    }
    return out;
}

QString comparedOf(QString text, bool asWritten)
{
    if (asWritten)
        return foldsLineEnds(text) ? withLfLineEnds(std::move(text)).trimmed() : text;
    if (!foldsBlanks(text))
        return text;
    return withSingleBlanks(withLfLineEnds(std::move(text))).trimmed();
}

// Whether a part holds blanks or tabs at its ends, or (a street of several
// lines) at the ends of a line.
bool hasLineEndBlanks(QStringView text)
{
    const auto isLineEnd = [](QChar c) { return c == u'\n' || c == u'\r'; };
    const qsizetype last = text.size() - 1;
    for (qsizetype i = 0; i <= last; ++i) {
        if (isBlankOrTab(text.at(i))
            && (i == 0 || i == last || isLineEnd(text.at(i - 1)) || isLineEnd(text.at(i + 1))))
            return true;
    }
    return false;
}

// A street as the readers store its lines (the street, an extended
// address, a post-office box), each without its end blanks.
QString streetWithoutEndBlanks(const QString& street)
{
    QStringList lines = withLfLineEnds(street).split(u'\n');
    for (QString& line : lines)
        pim::dropEndBlanks(line);
    return lines.join(u'\n');
}

// Whether the entity holds text under the column; asked of every address
// a merge compares, so looked at in place.
bool holds(const pim::Entity& entity, int number)
{
    const QVariant* value = entity.fields.find(number);
    if (!value)
        return false;
    if (value->typeId() == QMetaType::QString)
        return !static_cast<const QString*>(value->constData())->isEmpty();
    return !pim::fieldText(*value).isEmpty();
}

// Whether the address holds a postal code without a city or region beside
// it, which earlier builds left out of the address's text.
bool hasLonePostcode(const pim::Entity& entity)
{
    return holds(entity, 9) && !holds(entity, 7) && !holds(entity, 8);
}

// The address's text without a postal code that stands alone: what two
// addresses are told apart by. An address given with and without its
// postal code is one, and so is the text an earlier build stored of it.
QString locatedText(pim::Entity entity)
{
    if (hasLonePostcode(entity))
        entity.fields.remove(kPostcode);
    return entity.formattedAddr();
}

// Whether the text is the one the address's parts make, now or as earlier
// builds made it.
bool isTextOfParts(const pim::Entity& entity, const QString& text)
{
    return text == entity.formattedAddr() || (hasLonePostcode(entity) && text == locatedText(entity));
}

// Whether an address is one the model made from parts with blanks or tabs
// at their ends: a part holds such blanks and its formatted text is the
// one its parts make. A text that a phone or a user gave, or that does not
// follow from the parts stored beside it, is none.
bool isBuiltWithEndBlanks(const pim::Entity& entity)
{
    for (const QString& key : kAddressParts) {
        const auto part = entity.fields.constFind(key);
        if (part != entity.fields.cend() && hasLineEndBlanks(pim::fieldText(*part)))
            return isTextOfParts(entity, pim::fieldText(entity.fields.value(kData1)));
    }
    return false;
}

// The address as the readers store the same parts: each without its end
// blanks, a street line of nothing but blanks left out.
pim::Entity withoutPartEndBlanks(const pim::Entity& entity)
{
    pim::Entity trimmed;
    for (const QString& key : kAddressParts) {
        const auto part = entity.fields.constFind(key);
        if (part == entity.fields.cend())
            continue;
        const QString value = pim::fieldText(*part);
        trimmed.fields.insert(key, key == kData4 ? streetWithoutEndBlanks(value) : pim::withoutEndBlanks(value));
    }
    trimmed.fields.insert(kData1, trimmed.formattedAddr());
    return trimmed;
}

// Whether a department may hold units as the readers join them.
bool hasUnits(const QString& text)
{
    return text.contains(kUnitSeparator) || text.endsWith(u';');
}

// A department as the readers join the units of an organisation, each
// without its end blanks, a blank one left out. A last unit of blanks,
// its blanks gone with the text's own, leaves its separator at the end.
QString departmentText(QString text)
{
    if (!hasUnits(text))
        return text;
    pim::dropEndBlanks(text);
    if (text.endsWith(u';'))
        text.chop(1);
    QString out;
    for (QString unit : text.split(kUnitSeparator)) {
        if (pim::isBlankText(unit))
            continue;
        pim::dropEndBlanks(unit);
        if (!out.isEmpty())
            out += kUnitSeparator;
        out += unit;
    }
    return out;
}

// An address's text or street without its empty lines: a line of blanks,
// a part that held only them, says nothing of where the address is.
QString withoutEmptyLines(QString text)
{
    while (text.contains(QLatin1String("\n\n")))
        text.replace(QLatin1String("\n\n"), QLatin1String("\n"));
    return text;
}

bool isAddressText(int type, const QString& key)
{
    return type == pim::ENTITY_ADDR && (key == kData1 || key == kData4);
}

// A value's text by the rule of its type and key.
QString comparedOf(int type, const QString& key, QString text)
{
    if (type == pim::ENTITY_ORG && key == kData5)
        text = departmentText(std::move(text));
    text = comparedOf(std::move(text), type == pim::ENTITY_NOTES);
    return isAddressText(type, key) ? withoutEmptyLines(std::move(text)) : text;
}

// Whether comparedOf() may read the text as another.
bool mayChange(int type, const QString& key, const QString& text)
{
    if (type == pim::ENTITY_NOTES)
        return foldsLineEnds(text);
    if (type == pim::ENTITY_ORG && key == kData5 && hasUnits(text))
        return true;
    return foldsBlanks(text) || (isAddressText(type, key) && text.contains(QLatin1String("\n\n")));
}

} // namespace

QString ofValue(const QVariant& value, bool asWritten)
{
    return comparedOf(pim::fieldText(value), asWritten);
}

QString ofField(int type, const pim::Entity& entity, const QString& key)
{
    if (type == pim::ENTITY_ADDR && key == kData1) {
        if (isBuiltWithEndBlanks(entity))
            return comparedOf(type, key, locatedText(withoutPartEndBlanks(entity)));
        QString text = pim::fieldText(entity.fields.value(key));
        if (!hasLonePostcode(entity))
            return comparedOf(type, key, std::move(text));
        // A merge once took a file's text and code beside a stored part in
        // another form of the same words ("1 Main St\n12345" of the street
        // "1 Main  St"): that text is its parts' too.
        if (isTextOfParts(entity, text)
            || comparedOf(type, key, text) == comparedOf(type, key, entity.formattedAddr()))
            text = locatedText(entity);
        return comparedOf(type, key, std::move(text));
    }
    return comparedOf(type, key, pim::fieldText(entity.fields.value(key)));
}

bool holdsPartOutsideText(int type, const pim::Entity& entity)
{
    return type == pim::ENTITY_ADDR && hasLonePostcode(entity);
}

bool saysNoMoreThan(int type, const pim::Entity& dropped, const pim::Entity& kept)
{
    return !holdsPartOutsideText(type, dropped) || isSameField(type, kPostcode, kept, dropped);
}

bool isSameField(int type, const QString& key, const pim::Entity& stored, const pim::Entity& incoming)
{
    // Asked of every value of every contact an import merges: the values
    // are looked at in place, and texts that are the same or that neither
    // rule would change are told apart without building another.
    const QVariant* storedValue = valueOf(stored, key);
    const QVariant* incomingValue = valueOf(incoming, key);
    const auto isBytes = [](const QVariant* v) { return v && v->typeId() == QMetaType::QByteArray; };
    if (isBytes(storedValue) || isBytes(incomingValue)) {
        const auto bytes = [](const QVariant* v) { return v ? v->toByteArray() : QByteArray(); };
        return bytes(storedValue) == bytes(incomingValue);
    }
    // The same text beside other parts may read otherwise.
    if (type == pim::ENTITY_ADDR && key == kData1)
        return ofField(type, stored, key) == ofField(type, incoming, key);
    QString storedOwn;
    QString incomingOwn;
    const QString& storedText = textOf(storedValue, storedOwn);
    const QString& incomingText = textOf(incomingValue, incomingOwn);
    if (storedText == incomingText)
        return true;
    if (!mayChange(type, key, storedText) && !mayChange(type, key, incomingText))
        return false;
    return comparedOf(type, key, storedText) == comparedOf(type, key, incomingText);
}

} // namespace comparedtext
