// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/pimlabels.h"

#include <QHash>

namespace pim {

// Function-local statics: built once, also when the first calls come from
// the GUI thread and a file worker at the same time.

QMap<int, QString> phoneTypeMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("Home") },
        { 2, QStringLiteral("Mobile") },
        { 3, QStringLiteral("Work") },
        { 4, QStringLiteral("Work Fax") },
        { 5, QStringLiteral("Home Fax") },
        { 6, QStringLiteral("Pager") },
        { 8, QStringLiteral("Callback") },
        { 9, QStringLiteral("Car") },
        { 10, QStringLiteral("Company Main") },
        { 11, QStringLiteral("ISDN") },
        { 12, QStringLiteral("Main") },
        { 13, QStringLiteral("Other Fax") },
        { 14, QStringLiteral("Radio") },
        { 15, QStringLiteral("Telex") },
        { 16, QStringLiteral("TTY TDD") },
        { 17, QStringLiteral("Work Mobile") },
        { 18, QStringLiteral("Work Pager") },
        { 19, QStringLiteral("Assistant") },
        { 20, QStringLiteral("MMS") },
    };
    return table;
}

QMap<int, QString> emailTypeMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("Home") },
        { 2, QStringLiteral("Work") },
        { 4, QStringLiteral("Mobile") },
    };
    return table;
}

QMap<int, QString> eventTypeMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("Anniversary") },
        { 3, QStringLiteral("Birthday") },
    };
    return table;
}

QMap<int, QString> imProtocolMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("AIM") },
        { 2, QStringLiteral("MSN") },
        { 3, QStringLiteral("Yahoo") },
        { 4, QStringLiteral("Skype") },
        { 5, QStringLiteral("QQ") },
        { 6, QStringLiteral("Google Talk") },
        { 7, QStringLiteral("ICQ") },
        { 8, QStringLiteral("Jabber") },
        { 9, QStringLiteral("Net Meeting") },
        { 10, QStringLiteral("Gadu Gadu") },
        { 11, QStringLiteral("Facebook") },
    };
    return table;
}

QString labelKey(QStringView name)
{
    QString key;
    key.reserve(name.size());
    for (const QChar c : name) {
        if (c.isLetterOrNumber())
            key.append(c.toLower());
    }
    return key;
}

bool namesLabel(QStringView name, QStringView label)
{
    const auto next = [](QStringView s, qsizetype& at) {
        while (at < s.size() && !s.at(at).isLetterOrNumber())
            ++at;
        return at < s.size() ? s.at(at++).toLower() : QChar();
    };
    qsizetype n = 0;
    qsizetype l = 0;
    for (;;) {
        const QChar a = next(name, n);
        if (a != next(label, l))
            return false;
        if (a.isNull())
            return true;
    }
}

std::optional<int> codeNamed(QStringView name, const QMap<int, QString>& labels)
{
    for (auto it = labels.cbegin(); it != labels.cend(); ++it) {
        if (namesLabel(name, it.value()))
            return it.key();
    }
    return std::nullopt;
}

std::optional<int> imProtocolNamed(QStringView name)
{
    static const QHash<QString, int> words = [] {
        QHash<QString, int> table {
            { QStringLiteral("msnim"), 2 }, { QStringLiteral("ymsgr"), 3 },      { QStringLiteral("gtalk"), 6 },
            { QStringLiteral("xmpp"), 8 },  { QStringLiteral("netmetting"), 9 }, { QStringLiteral("gg"), 10 },
            { QStringLiteral("gadu"), 10 },
        };
        const QMap<int, QString> labels = imProtocolMap();
        for (auto it = labels.cbegin(); it != labels.cend(); ++it)
            table.insert(labelKey(it.value()), it.key());
        return table;
    }();
    const auto it = words.constFind(labelKey(name));
    if (it == words.constEnd())
        return std::nullopt;
    return *it;
}

QMap<int, QString> imTypeMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("Home") },
        { 2, QStringLiteral("Work") },
    };
    return table;
}

QMap<int, QString> nicknameTypeMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("Default") },
        { 2, QStringLiteral("Other") },
        { 3, QStringLiteral("Maiden") },
        { 4, QStringLiteral("Short") },
        { 5, QStringLiteral("Initials") },
    };
    return table;
}

QMap<int, QString> orgTypeMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("Work") },
    };
    return table;
}

QMap<int, QString> relTypeMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("Assistant") },
        { 2, QStringLiteral("Brother") },
        { 3, QStringLiteral("Child") },
        { 4, QStringLiteral("Domestic Partner") },
        { 5, QStringLiteral("Father") },
        { 6, QStringLiteral("Friend") },
        { 7, QStringLiteral("Manager") },
        { 8, QStringLiteral("Mother") },
        { 9, QStringLiteral("Parent") },
        { 10, QStringLiteral("Partner") },
        { 11, QStringLiteral("Referred by") },
        { 12, QStringLiteral("Relative") },
        { 13, QStringLiteral("Sister") },
        { 14, QStringLiteral("Spouse") },
    };
    return table;
}

QMap<int, QString> addrTypeMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("Home") },
        { 2, QStringLiteral("Work") },
    };
    return table;
}

QMap<int, QString> urlTypeMap()
{
    static const QMap<int, QString> table {
        { 0, QStringLiteral("Other") },
        { 1, QStringLiteral("Home page") },
        { 2, QStringLiteral("Blog") },
        { 3, QStringLiteral("Profile") },
        { 4, QStringLiteral("Home") },
        { 5, QStringLiteral("Work") },
        { 6, QStringLiteral("FTP") },
    };
    return table;
}

namespace {

// The rank of a phone by its sub-type code; a smaller rank lists first.
int phonePriority(const Entity& e)
{
    const QVariant v = e.fields.value(QStringLiteral("data2"));
    bool ok = false;
    const int code = v.typeId() == QMetaType::QString ? v.toString().toInt(&ok, 10) : v.toInt(&ok);
    if (!ok)
        return 100;
    switch (code) {
    case 2:
        return 10; // Mobile
    case 12:
        return 20; // Main
    case 1:
        return 30; // Home
    case 3:
        return 40; // Work
    default:
        return 100;
    }
}

} // namespace

bool isAssistantPhone(const Entity& phone)
{
    const QVariant* kind = phone.fields.find(2);
    return kind && kind->toInt() == kAssistantPhone;
}

bool comparePhoneLess(const Entity& a, const Entity& b)
{
    return phonePriority(a) < phonePriority(b);
}

} // namespace pim
