// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardvalue.h"

#include "fileformats/qvcardparser.h"
#include "fileformats/vcardcharsets.h"

#include <QHash>

VCardValue::VCardValue(const VCardProperty& property, VCardCharsets& charsets, bool unescape)
    : m_property(property)
    , m_charsets(charsets)
    , m_unescape(unescape)
{
}

QString VCardValue::raw() const
{
    return m_property.toString(m_charsets);
}

QString VCardValue::text() const
{
    return m_unescape ? QVCardParser::unescapeText(raw()) : raw();
}

QStringList VCardValue::components() const
{
    // Only 3.0/4.0 give "\n" a meaning; older values keep the letter.
    return VCardProperty::splitComponents(raw(), m_unescape);
}

QString VCardValue::typeText() const
{
    return m_property.params.value(QStringLiteral("TYPE"));
}

QSet<QString> VCardValue::kinds() const
{
    if (m_hasLabelKinds)
        return m_labelKinds;
    QSet<QString> words;
    for (auto it = m_property.params.constBegin(); it != m_property.params.constEnd(); ++it) {
        if (it.key().compare(QLatin1String("TYPE"), Qt::CaseInsensitive) == 0) {
            QString list = it.value();
            list.remove(u'"');
            for (const QString& word : list.split(u',', Qt::SkipEmptyParts))
                words.insert(word.trimmed().toLower());
        } else if (it.value().isEmpty()) {
            words.insert(it.key().toLower());
        }
    }
    return words;
}

void VCardValue::setItemLabel(const QString& label)
{
    // The words of the standard labels that say more than one thing.
    static const QHash<QString, QStringList> compound {
        { QStringLiteral("mobile"), { QStringLiteral("cell") } },
        { QStringLiteral("iphone"), { QStringLiteral("cell") } },
        { QStringLiteral("homefax"), { QStringLiteral("home"), QStringLiteral("fax") } },
        { QStringLiteral("workfax"), { QStringLiteral("work"), QStringLiteral("fax") } },
        { QStringLiteral("otherfax"), { QStringLiteral("fax") } },
        { QStringLiteral("assistantphone"), { QStringLiteral("assistant") } },
    };
    static const QSet<QString> plain { QStringLiteral("home"), QStringLiteral("work"), QStringLiteral("main"),
                                       QStringLiteral("pager"), QStringLiteral("other"), QStringLiteral("homepage"),
                                       QStringLiteral("anniversary"), QStringLiteral("father"), QStringLiteral("mother"),
                                       QStringLiteral("parent"), QStringLiteral("brother"), QStringLiteral("sister"),
                                       QStringLiteral("child"), QStringLiteral("friend"), QStringLiteral("spouse"),
                                       QStringLiteral("partner"), QStringLiteral("assistant"), QStringLiteral("manager") };
    const QString text = label.trimmed();
    const bool standard = text.startsWith(QLatin1String("_$!<")) && text.endsWith(QLatin1String(">!$_"));
    if (!standard) {
        m_customLabel = text;
        return;
    }
    const QString word = text.mid(4, text.size() - 8);
    const QString key = word.toLower();
    if (compound.contains(key)) {
        const QStringList words = compound.value(key);
        m_labelKinds = QSet<QString>(words.cbegin(), words.cend());
        m_hasLabelKinds = true;
    } else if (plain.contains(key)) {
        m_labelKinds = { key };
        m_hasLabelKinds = true;
    } else {
        m_customLabel = word;
    }
}
