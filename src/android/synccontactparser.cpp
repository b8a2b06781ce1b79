// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/synccontactparser.h"

#include "android/synccontactbuilder.h"
#include "model/contact.h"
#include "model/phonedatarow.h"

#include <QDate>
#include <QRegularExpression>

namespace {

QVariant readField(const pim::RowColumn& f, const QString& text, int type)
{
    switch (f.kind) {
    case pim::RowColumnKind::Text:
        return SyncContactParser::fromStrBase64(text);
    case pim::RowColumnKind::Code:
        return SyncContactBuilder::entSubType(f.codeTable ? f.codeTable : type, text);
    case pim::RowColumnKind::Bytes:
        return QByteArray::fromBase64(text.toLatin1());
    case pim::RowColumnKind::Date: {
        const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("T00:00:00")
                              : QString();
    }
    }
    return QVariant();
}

bool isNonEmptyText(const pim::Entity& entity, const QString& key)
{
    return !entity.fields.value(key).toString().isEmpty();
}

} // namespace

void SyncContactParser::fillEntityInfo(const QStringList& fields, int type, pim::Entity& entity)
{
    const QList<pim::RowColumn>& layout = pim::rowColumnsOf(type);
    if (layout.isEmpty())
        return;
    const qsizetype present = qMin(layout.size(), fields.size() - 1);
    for (qsizetype k = 0; k < present; ++k)
        entity.fields.insert(layout[k].key, readField(layout[k], fields[k + 1], type));

    // A label names the sub-type itself, so it overrides the word. Decided on
    // the decoded label: a field that decodes to nothing is no label.
    const QString data3 = QStringLiteral("data3");
    if (pim::rowHasLabel(type) && present >= 2 && isNonEmptyText(entity, data3))
        entity.fields.insert(QStringLiteral("data2"), 0);
    if (type == pim::ENTITY_IM && present >= 4 && isNonEmptyText(entity, QStringLiteral("data6")))
        entity.fields.insert(QStringLiteral("data5"), 0);

    if (type == pim::ENTITY_NAME)
        entity.fields.insert(QStringLiteral("data1"), entity.fullName());
    else if (type == pim::ENTITY_ADDR)
        entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
}

QString SyncContactParser::fromStrBase64(const QString& text)
{
    QByteArray bytes = QByteArray::fromBase64(text.toLatin1());
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

QList<SyncContactParser::IdPair> SyncContactParser::batchReplyPairs(const QString& reply)
{
    // The pattern the phone's answer is read with; the sign of the old record
    // key is captured on its own to tell temporary ids apart.
    static const QRegularExpression pattern(
        QStringLiteral("-?[0-9]+/-?([0-9]+)/-?[0-9]+/(-?)([0-9]+)=>(-?[0-9]+/-?[0-9]+/-?[0-9]+/-?[0-9]+)"));
    QList<IdPair> pairs;
    for (auto it = pattern.globalMatch(reply); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        IdPair pair;
        pair.contactKey = m.capturedView(1).toULongLong();
        pair.recordKey = m.capturedView(3).toULongLong();
        pair.temporary = !m.capturedView(2).isEmpty();
        pair.newId = m.captured(4);
        pair.oldId = m.captured(0).section(QLatin1String("=>"), 0, 0);
        pairs.append(pair);
    }
    return pairs;
}
