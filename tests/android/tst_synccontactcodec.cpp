// SPDX-License-Identifier: GPL-3.0-or-later
// Entity sync records against the golden tables in data/: every type on the
// wire and back, the phone's sub-type words; ids and batch answers.
#include "android/synccontactbuilder.h"
#include "android/synccontactparser.h"
#include "model/contact.h"

#include <QFile>
#include <QtTest>

using B = SyncContactBuilder;
using P = SyncContactParser;

namespace {

// The non-comment lines of a golden table.
QStringList rowsOf(const QString& name)
{
    QFile file(qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + "/tests/android/data/" + name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    QStringList rows = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    rows.removeIf([](const QString& row) { return row.startsWith('#'); });
    return rows;
}

QVariantMap fieldsOf(const QString& text)
{
    QVariantMap fields;
    for (const QString& item : text.split(';', Qt::SkipEmptyParts)) {
        const QByteArray v = QByteArray::fromPercentEncoding(item.section('=', 1).toUtf8());
        fields.insert(item.section('=', 0, 0), v.startsWith('#') ? QVariant(v.mid(1).toInt())
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
        for (const QString& row : rowsOf("records.txt")) {
            const QStringList col = row.split('|');
            QTest::newRow(qPrintable(col[0].trimmed())) << col[1].trimmed() << col[2].trimmed() << col[3].trimmed()
                                                         << col.value(4).trimmed();
        }
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
        for (const QString& row : rowsOf("subtypewords.txt")) {
            const int type = row.section(' ', 0, 0).toInt(), code = row.section(' ', 1, 1).toInt();
            expected.insert(type * 100 + code, row.section(' ', 2));
            QCOMPARE(B::entSubType(type, row.section(' ', 2)), code);
        }
        QCOMPARE(B::entSubTypeStrMap(), expected);
        QCOMPARE(B::entSubType(3, "Mobile"), 0);
    }

    void shouldParseSyncIds_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QList<qint64>>("fields"); // empty: rejected
        QTest::newRow("all negative") << "-1/-2/-3/-4" << QList<qint64>{ -1, -2, -3, -4 };
        QTest::newRow("64-bit limits") << "3/9223372036854775807/0/-9223372036854775808"
                                       << QList<qint64>{ 3, INT64_MAX, 0, INT64_MIN };
        QTest::newRow("type beyond 32 bits reads 0") << "2147483648/1/2/3" << QList<qint64>{ 0, 1, 2, 3 };
        QTest::newRow("keys beyond 64 bits read 0") << "1/9223372036854775808/2/-99999999999999999999"
                                                    << QList<qint64>{ 1, 0, 2, 0 };
        for (const char* bad : { "1/2/3", "1/2/3/4/5", "+1/2/3/4", "1 /2/3/4", "1/2/3/4\n", "\u0661/2/3/4" })
            QTest::newRow(bad) << bad << QList<qint64>{};
    }
    void shouldParseSyncIds()
    {
        QFETCH(QString, id);
        QFETCH(QList<qint64>, fields);
        int type = 77;
        qint64 keys[3] = { 77, 77, 77 };
        QCOMPARE(B::fetchIdInfo(id, &type, &keys[0], &keys[1], &keys[2]), !fields.isEmpty());
        if (fields.isEmpty())
            fields = { 77, 77, 77, 77 }; // nothing written
        QCOMPARE((QList<qint64>{ type, keys[0], keys[1], keys[2] }), fields);
    }

    void shouldSendKnownRecordsUnderThePhonesId()
    {
        pim::Entity known(88, "3/880/881/4402");
        QCOMPARE(B::entitySyncCmd(3, 12, 34, known), QString("3/880/881/4402,other,,"));
        QCOMPARE(B::makeAndroidSyncId(3, 12, 34, pim::Entity(0, QString())), QString("3/12/34/0"));
    }

    void shouldFindEveryPairOfTheBatchAnswer()
    {
        const auto pairs = P::batchReplyPairs("$batch:1/57/57/-301=>1/12/34/56;x 3/1/2/88=>3/1/2/99,1/2/3/-4=>b");
        QCOMPARE(pairs.size(), 2);
        QVERIFY(pairs[0].contactKey == 57 && pairs[0].recordKey == 301 && pairs[0].temporary);
        QCOMPARE(pairs[0].newId, QString("1/12/34/56"));
        QVERIFY(!pairs[1].temporary && pairs[1].newId == "3/1/2/99");
    }
};

QTEST_GUILESS_MAIN(TestSyncContactCodec)
#include "tst_synccontactcodec.moc"
