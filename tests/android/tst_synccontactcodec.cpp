// SPDX-License-Identifier: GPL-3.0-or-later
// Entity sync records against the golden tables in data/: every type on the
// wire and back, the phone's sub-type words; ids and batch answers.
#include "android/synccontactbuilder.h"
#include "android/synccontactparser.h"
#include "companionsim.h"
#include "model/contact.h"

#include <QtTest>

using B = SyncContactBuilder;
using P = SyncContactParser;

namespace {

QVariantMap fieldsOf(const QString& text)
{
    QVariantMap fields;
    for (const QString& item : text.split(';', Qt::SkipEmptyParts)) {
        const QByteArray v = QByteArray::fromPercentEncoding(item.section('=', 1).toUtf8());
        fields.insert(item.section('=', 0, 0),
            v.startsWith('#')       ? QVariant(v.mid(1).toInt())
                : v.startsWith('@') ? QVariant(v.mid(1))
                                    : QVariant(QString::fromUtf8(v)));
    }
    return fields;
}

} // namespace

class TestSyncContactCodec : public QObject {
    Q_OBJECT
private slots:
    void shouldMatchTheRecordTable_data()
    {
        for (const char* c : { "fields", "direction", "record", "after" })
            QTest::addColumn<QString>(c);
        for (const QStringList& col : goldenTable("records.txt"))
            QTest::newRow(qPrintable(col[0])) << col[1] << col[2] << col[3] << col.value(4);
    }
    void shouldMatchTheRecordTable()
    {
        QFETCH(QString, fields);
        QFETCH(QString, direction);
        QFETCH(QString, record);
        QFETCH(QString, after);
        const QStringList parts = record.split(',');
        int type = 0;
        QVERIFY(B::fetchIdInfo(parts[0], &type, nullptr, nullptr, nullptr));
        pim::Entity entity(57, QString());
        entity.fields = fieldsOf(fields);
        if (direction == "=>") {
            QCOMPARE(B::entitySyncCmd(type, 12, 34, entity), record);
            entity.fields.clear();
        }
        P::fillEntityInfo(parts, type, entity);
        QCOMPARE(entity.fields, fieldsOf(after));
    }

    void shouldSpellEverySubTypeAsThePhone()
    {
        QMap<int, QString> expected;
        for (const QStringList& row : goldenTable("subtypewords.txt")) {
            const int type = row[0].section(' ', 0, 0).toInt(), code = row[0].section(' ', 1, 1).toInt();
            expected.insert(type * 100 + code, row[0].section(' ', 2));
            QCOMPARE(B::entSubType(type, row[0].section(' ', 2)), code);
        }
        QCOMPARE(B::entSubTypeStrMap(), expected);
        QCOMPARE(B::entSubType(3, "Mobile"), 0);
    }

    void shouldParseSyncIds()
    {
        for (const QStringList& row : goldenTable("syncids.txt")) {
            const QString id = QString::fromUtf8(QByteArray::fromPercentEncoding(row[0].toUtf8()));
            int type = 77;
            qint64 keys[3] = { 77, 77, 77 };
            const bool ok = B::fetchIdInfo(id, &type, &keys[0], &keys[1], &keys[2]);
            const QString got = QStringList { QString::number(type), QString::number(keys[0]),
                QString::number(keys[1]), QString::number(keys[2]) }
                                    .join(' ');
            QCOMPARE(ok ? got : "rejected", row[1]);
            QVERIFY(ok || got == "77 77 77 77");
        }
    }

    // Pairs stand anywhere in the answer; a pair whose new id is no id, and
    // the text between pairs, are passed over.
    void shouldFindEveryPairOfTheBatchAnswer()
    {
        const auto pairs
            = P::batchReplyPairs("$batch:1/57/57/-301=>1/12/34/56;x 3/1/2/88=>3/1/2/99,1/2/3/-4=>b");
        QCOMPARE(pairs.size(), 2);
        QVERIFY(pairs[0].contactKey == 57 && pairs[0].recordKey == 301 && pairs[0].temporary);
        QCOMPARE(pairs[0].newId, QString("1/12/34/56"));
        QVERIFY(!pairs[1].temporary && pairs[1].newId == "3/1/2/99");
    }
};

QTEST_GUILESS_MAIN(TestSyncContactCodec)
#include "tst_synccontactcodec.moc"
