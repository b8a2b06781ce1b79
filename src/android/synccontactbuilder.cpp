// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/synccontactbuilder.h"

#include "model/contact.h"
#include "model/phonedatarow.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

namespace {

struct WordEntry {
    int key;
    const char* word;
};

// The companion app's spelling, "parnet" included: the phone matches words
// exactly, so a corrected spelling would no longer be understood.
constexpr WordEntry kWords[] = {
    { 300, "other" },
    { 301, "home" },
    { 302, "mobile" },
    { 303, "work" },
    { 304, "work fax" },
    { 305, "home fax" },
    { 306, "pager" },
    { 308, "callback" },
    { 309, "car" },
    { 310, "company main" },
    { 311, "isdn" },
    { 312, "main" },
    { 313, "other fax" },
    { 314, "radio" },
    { 315, "telex" },
    { 316, "ttytdd" },
    { 317, "work mobile" },
    { 318, "work pager" },
    { 319, "assistant" },
    { 320, "mms" },
    { 400, "other" },
    { 401, "home" },
    { 402, "work" },
    { 404, "mobile" },
    { 501, "default" },
    { 502, "other" },
    { 504, "short" },
    { 505, "init" },
    { 600, "other" },
    { 601, "anniversary" },
    { 603, "birthday" },
    { 800, "other" },
    { 801, "home" },
    { 802, "work" },
    { 9901, "aim" },
    { 9902, "msn" },
    { 9903, "yahoo" },
    { 9904, "skype" },
    { 9905, "qq" },
    { 9906, "googletalk" },
    { 9907, "icq" },
    { 9908, "jabber" },
    { 9909, "netmeeting" },
    { 1000, "other" },
    { 1001, "work" },
    { 1101, "assistant" },
    { 1102, "brother" },
    { 1103, "child" },
    { 1104, "dom partner" },
    { 1105, "father" },
    { 1106, "friend" },
    { 1107, "manager" },
    { 1108, "mother" },
    { 1109, "parnet" },
    { 1110, "partner" },
    { 1111, "refby" },
    { 1112, "relative" },
    { 1113, "sister" },
    { 1114, "spouse" },
    { 1200, "other" },
    { 1201, "home" },
    { 1202, "work" },
    { 1300, "other" },
    { 1301, "homepage" },
    { 1302, "blog" },
    { 1303, "profile" },
    { 1304, "home" },
    { 1305, "work" },
    { 1306, "ftp" },
};

const QMap<int, QString>& wordTable()
{
    static const QMap<int, QString> table = [] {
        QMap<int, QString> t;
        for (const WordEntry& e : kWords)
            t.insert(e.key, QString::fromLatin1(e.word));
        return t;
    }();
    return table;
}

const QMap<QString, int>& codeTable()
{
    static const QMap<QString, int> table = [] {
        QMap<QString, int> t;
        for (auto it = wordTable().cbegin(); it != wordTable().cend(); ++it)
            t.insert(QStringLiteral("%1/%2").arg(it.key() / 100).arg(it.value()), it.key() % 100);
        return t;
    }();
    return table;
}

QString wordField(const QVariant& value, int wordType)
{
    bool ok = false;
    const int code = value.toInt(&ok);
    return SyncContactBuilder::entSubTypeStr(wordType, ok ? code : 0);
}

// Either ISO form, date or date-time, gives its calendar date as written.
QString dateField(const QVariant& value)
{
    const QString text = pim::fieldText(value).trimmed();
    QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid())
        date = QDateTime::fromString(text, Qt::ISODate).date();
    return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

} // namespace

QMap<int, QString> SyncContactBuilder::entSubTypeStrMap()
{
    return wordTable();
}

QString SyncContactBuilder::entSubTypeStr(int type, int code)
{
    return wordTable().value(type * 100 + code);
}

QMap<QString, int> SyncContactBuilder::entSubTypeMap()
{
    return codeTable();
}

int SyncContactBuilder::entSubType(int type, const QString& word)
{
    return codeTable().value(QStringLiteral("%1/%2").arg(type).arg(word), 0);
}

bool SyncContactBuilder::fetchIdInfo(
    const QString& id, int* type, qint64* contactKey, qint64* secondKey, qint64* recordKey)
{
    // Anchored as a whole: "$" alone would also accept a trailing line feed.
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("(-?[0-9]+)/(-?[0-9]+)/(-?[0-9]+)/(-?[0-9]+)")));
    const QRegularExpressionMatch m = pattern.match(id);
    if (!m.hasMatch())
        return false;
    if (type) {
        bool ok = false;
        *type = m.capturedView(1).toInt(&ok);
        if (!ok)
            *type = 0;
    }
    qint64* keys[] = { contactKey, secondKey, recordKey };
    for (int i = 0; i < 3; ++i) {
        if (!keys[i])
            continue;
        bool ok = false;
        *keys[i] = m.capturedView(i + 2).toLongLong(&ok);
        if (!ok)
            *keys[i] = 0;
    }
    return true;
}

QString SyncContactBuilder::makeAndroidSyncId(
    int type, qint64 contactKey, qint64 secondKey, const pim::Entity& entity)
{
    if (!entity.srcId.isEmpty())
        return entity.srcId;
    // Negated as text: an unsigned id has no signed negation for every value.
    const QString record
        = entity.id == 0 ? QStringLiteral("0") : QLatin1Char('-') + QString::number(entity.id);
    return QStringLiteral("%1/%2/%3/%4").arg(type).arg(contactKey).arg(secondKey).arg(record);
}

QString SyncContactBuilder::entitySyncCmd(
    int type, qint64 contactKey, qint64 secondKey, const pim::Entity& entity)
{
    QString record = makeAndroidSyncId(type, contactKey, secondKey, entity);
    for (const pim::RowColumn& f : pim::rowColumnsOf(type)) {
        record += QLatin1Char(',');
        const QVariant value = entity.fields.value(f.key);
        switch (f.kind) {
        case pim::RowColumnKind::Text:
            record += entStringPro(entity, f.key);
            break;
        case pim::RowColumnKind::Code:
            record += wordField(value, f.codeTable ? f.codeTable : type);
            break;
        case pim::RowColumnKind::Bytes:
            record += QString::fromLatin1(value.toByteArray().toBase64());
            break;
        case pim::RowColumnKind::Date:
            record += dateField(value);
            break;
        }
    }
    return record;
}

QString SyncContactBuilder::entStringPro(const pim::Entity& entity, const QString& key)
{
    const auto it = entity.fields.constFind(key);
    if (it == entity.fields.constEnd())
        return QString();
    return QString::fromLatin1(pim::fieldText(it.value()).toUtf8().toBase64());
}
