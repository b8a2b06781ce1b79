// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contactmention.h"

#include "model/pimlabels.h"

#include <QCoreApplication>

namespace pim {

namespace {

QString tr(const char* text, int n = -1)
{
    return QCoreApplication::translate("ContactMention", text, nullptr, n);
}

QString quoted(const QString& shownName)
{
    return QLatin1Char('"') + shownName + QLatin1Char('"');
}

} // namespace

QString standInName(const _Contact& contact)
{
    // An assistant's number reaches someone else: the people one assistant
    // serves are no one contact. It names only a contact that holds nothing
    // else, which would otherwise not be kept at all.
    QString assistants;
    for (const int type : { int(ENTITY_ORG), int(ENTITY_PHONE), int(ENTITY_EMAIL) }) {
        for (const Entity& entity : contact.entities.value(type)) {
            const QString text = fieldText(entity.fields.value(QStringLiteral("data1"))).trimmed();
            if (text.isEmpty())
                continue;
            if (type != ENTITY_PHONE || !isAssistantPhone(entity))
                return text;
            if (assistants.isEmpty())
                assistants = text;
        }
    }
    return assistants;
}

QString shownName(const _Contact& contact)
{
    const QString name = contact.fullName.trimmed();
    return name.isEmpty() ? standInName(contact) : name;
}

QString mention(const QString& shownName, Mention form)
{
    if (shownName.isEmpty()) {
        switch (form) {
        case Mention::Bare:
        case Mention::Contact: return tr("a contact without a name");
        case Mention::ContactAtStart: return tr("A contact without a name");
        case Mention::NewContact: return tr("a new contact without a name");
        case Mention::NewContactAtStart: return tr("A new contact without a name");
        }
    }
    switch (form) {
    case Mention::Bare: break;
    case Mention::Contact: return tr("the contact %1").arg(quoted(shownName));
    case Mention::ContactAtStart: return tr("The contact %1").arg(quoted(shownName));
    case Mention::NewContact: return tr("the new contact %1").arg(quoted(shownName));
    case Mention::NewContactAtStart: return tr("The new contact %1").arg(quoted(shownName));
    }
    return quoted(shownName);
}

QString mentionAll(const QStringList& shownNames, int most)
{
    QStringList named;
    for (const QString& name : shownNames)
        if (!name.isEmpty())
            named << quoted(name);
    const qsizetype nameless = shownNames.size() - named.size();
    if (named.size() > most || (named.size() == most && nameless > 0))
        return (named.mid(0, most) << QStringLiteral("...")).join(QLatin1String(", "));
    const QString list = named.join(QLatin1String(", "));
    if (nameless == 0)
        return list;
    const QString rest = nameless == 1 ? mention(QString()) : tr("%n contacts without a name", int(nameless));
    return list.isEmpty() ? rest : tr("%1 and %2").arg(list, rest);
}

} // namespace pim
