// SPDX-License-Identifier: GPL-3.0-or-later
// The derived texts of an entity. Every writer of names, addresses and
// photos stores these exact texts, so they must not vary between callers.
#include "model/contact.h"

#include <QCryptographicHash>

namespace pim {

namespace {

// Looked up by a QString the caller keeps: a Latin-1 key would be converted
// on every call, and the readers build these texts for every contact.
QString part(const Entity& e, const QString& key)
{
    const auto it = e.fields.constFind(key);
    return it == e.fields.constEnd() ? QString() : fieldText(it.value());
}

// Whether a name part is written in Chinese, Japanese or Korean letters
// only (punctuation such as the middle dot allowed).
bool isCjkName(const QString& text)
{
    // Every letter of these scripts lies above this point: the usual
    // Latin name is decided by its first character.
    if (text.isEmpty() || text.front().unicode() < 0x1100)
        return false;
    bool cjk = false;
    for (const char32_t c : text.toUcs4()) {
        if (isCjkLetter(c)) {
            cjk = true;
            continue;
        }
        const QChar::Script script = QChar::script(c);
        if (script != QChar::Script_Common && script != QChar::Script_Inherited)
            return false;
    }
    return cjk;
}

} // namespace

bool isCjkLetter(char32_t c)
{
    switch (QChar::script(c)) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
        return true;
    default:
        return false;
    }
}

QString Entity::fullName() const
{
    static const QString kData2 = QStringLiteral("data2"), kData3 = QStringLiteral("data3"),
                         kData4 = QStringLiteral("data4"), kData5 = QStringLiteral("data5"),
                         kData6 = QStringLiteral("data6");
    // A Chinese, Japanese or Korean name reads family name first, with no
    // blank: the way such a card's own formatted name is written, so the
    // same person from a card and from a table gets one name. Title and
    // suffix stay in their parts.
    const QString given = part(*this, kData2);
    const QString family = part(*this, kData3);
    if (isCjkName(given) && isCjkName(family)) {
        const QString middle = part(*this, kData4);
        return (family + (isCjkName(middle) ? middle : QString()) + given).trimmed();
    }
    // Appended piece by piece: "a" + b would build a temporary string for
    // every part.
    QString result = part(*this, kData5);
    for (const QString* key : { &kData2, &kData4, &kData3, &kData6 }) {
        const QString p = part(*this, *key);
        if (!p.isEmpty())
            result.append(QLatin1Char(' ')).append(p);
    }
    return result.trimmed();
}

bool Entity::namesSomeone() const
{
    // By column number, without a copy: asked of every row a table gives.
    for (const int number : { 2, 3, 4 }) {
        const QVariant* part = fields.find(number);
        if (part && (part->typeId() == QMetaType::QString ? !isBlankText(*static_cast<const QString*>(part->constData()))
                                                          : !isBlankText(fieldText(*part))))
            return true;
    }
    return false;
}

QString Entity::takeWholeName(const QString& whole)
{
    static const QString kData5 = QStringLiteral("data5"), kData6 = QStringLiteral("data6");
    fields.insert(QStringLiteral("data1"), whole);
    fields.insert(QStringLiteral("data2"), whole);
    // A whole name that shows the title ("Mr. Smith") or suffix holds it:
    // the parts would show it twice. One that does not is listed with it,
    // as the parts make the name, so the program's own exports read back
    // as they were written.
    const QString title = part(*this, kData5);
    if (!title.isEmpty() && whole.startsWith(title + u' '))
        fields.remove(kData5);
    const QString suffix = part(*this, kData6);
    if (!suffix.isEmpty() && whole.endsWith(u' ' + suffix))
        fields.remove(kData6);
    return part(*this, kData5).isEmpty() && part(*this, kData6).isEmpty() ? whole : fullName();
}

QString Entity::formattedAddr() const
{
    static const QString kData4 = QStringLiteral("data4"), kData7 = QStringLiteral("data7"),
                         kData8 = QStringLiteral("data8"), kData9 = QStringLiteral("data9"),
                         kData10 = QStringLiteral("data10");
    const QString country = part(*this, kData10);
    const QString state = part(*this, kData8);
    const QString city = part(*this, kData7);
    const QString postcode = part(*this, kData9);

    QString result = part(*this, kData4);
    // The text shows every part the address holds: a postcode without city
    // or state stands on its line alone rather than out of sight.
    if (state.isEmpty() && city.isEmpty()) {
        if (!postcode.isEmpty())
            result.append(QLatin1Char('\n')).append(postcode);
    } else {
        result += QLatin1Char('\n');
        if (!city.isEmpty()) {
            result += city;
            if (!state.isEmpty() || !postcode.isEmpty())
                result += QLatin1Char(',');
        }
        if (!state.isEmpty())
            result.append(QLatin1Char(' ')).append(state);
        if (!postcode.isEmpty())
            result.append(QLatin1Char(' ')).append(postcode);
    }
    if (!country.isEmpty())
        result.append(QLatin1Char('\n')).append(country);
    return result.trimmed();
}

QString Entity::photoHash(QByteArray bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toBase64());
}

QString Entity::photoHash() const
{
    return photoHash(fields.value(QStringLiteral("data15")).toByteArray());
}

} // namespace pim
