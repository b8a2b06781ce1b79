// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/contactformatters.h"

#include <QDateTime>
#include <QLocale>

#include "model/pimlabels.h"

namespace contactformatters {

namespace {

QString text(const pim::Entity& entity, const char* key)
{
    return entity.fields.value(QLatin1String(key)).toString();
}

QString labelled(const QString& label, const QString& value)
{
    return QStringLiteral("%1:%2").arg(label, value);
}

const QList<pim::Entity>* entitiesOf(const pim::_Contact& contact, int type)
{
    const auto it = contact.entities.constFind(type);
    if (it == contact.entities.constEnd() || it->isEmpty())
        return nullptr;
    return &it.value();
}

} // namespace

QString typedLabel(const pim::Entity& entity, const QMap<int, QString>& labels)
{
    const QString custom = text(entity, "data3");
    if (!custom.isEmpty())
        return custom;
    return labels.value(entity.fields.value(QStringLiteral("data2")).toInt());
}

QString phoneDisplay(const pim::Entity& entity)
{
    return labelled(typedLabel(entity, pim::phoneTypeMap()), text(entity, "data1"));
}

QString emailDisplay(const pim::Entity& entity)
{
    return labelled(typedLabel(entity, pim::emailTypeMap()), text(entity, "data1"));
}

QString eventDisplay(const pim::Entity& entity)
{
    const QDateTime when = QDateTime::fromString(text(entity, "data1"), Qt::ISODate);
    const QString date = when.isValid() ? QLocale::system().toString(when.date(), QLocale::ShortFormat)
                                        : QString();
    return labelled(typedLabel(entity, pim::eventTypeMap()), date);
}

QString imDisplay(const pim::Entity& entity)
{
    QString protocol = text(entity, "data6");
    if (protocol.isEmpty())
        protocol = pim::imProtocolMap().value(entity.fields.value(QStringLiteral("data5")).toInt());
    return QStringLiteral("%1:%2(%3)").arg(typedLabel(entity, pim::imTypeMap()), text(entity, "data1"), protocol);
}

QString orgDisplay(const pim::Entity& entity)
{
    QString value = text(entity, "data4");
    const QString department = text(entity, "data5");
    const QString company = text(entity, "data1");
    if (!department.isEmpty())
        value += QLatin1Char(' ') + department;
    if (!company.isEmpty())
        value += QLatin1Char(' ') + company;
    return labelled(typedLabel(entity, pim::orgTypeMap()), value.trimmed());
}

QString relDisplay(const pim::Entity& entity)
{
    return labelled(typedLabel(entity, pim::relTypeMap()), text(entity, "data1"));
}

QString addrDisplay(const pim::Entity& entity)
{
    const QStringList lines = entity.formattedAddr().split(QLatin1Char('\n'));
    QStringList escaped;
    escaped.reserve(lines.size());
    for (const QString& line : lines)
        escaped.append(line.toHtmlEscaped());
    return QStringLiteral("<b>%1</b><br/>%2")
        .arg(typedLabel(entity, pim::addrTypeMap()).toHtmlEscaped(), escaped.join(QStringLiteral("<br/>")));
}

QString urlDisplay(const pim::Entity& entity)
{
    return labelled(typedLabel(entity, pim::urlTypeMap()), text(entity, "data1"));
}

QString notesDisplay(const pim::Entity& entity)
{
    return text(entity, "data1");
}

QString headerText(const pim::_Contact& contact)
{
    QString header = contact.fullName;
    if (const QList<pim::Entity>* nicknames = entitiesOf(contact, pim::ENTITY_NICKNAME)) {
        const QString nickname = text(nicknames->constFirst(), "data1");
        if (!nickname.isEmpty())
            header += QStringLiteral("\n\"%1\"").arg(nickname);
    }
    if (const QList<pim::Entity>* orgs = entitiesOf(contact, pim::ENTITY_ORG)) {
        const pim::Entity& org = orgs->constFirst();
        const QString title = text(org, "data4");
        const QString department = text(org, "data5");
        const QString company = text(org, "data1");
        if (!title.isEmpty())
            header += QLatin1Char('\n') + title;
        if (!department.isEmpty())
            header += QStringLiteral(" - ") + department;
        if (!company.isEmpty())
            header += QLatin1Char('\n') + company;
    }
    return header;
}

} // namespace contactformatters
