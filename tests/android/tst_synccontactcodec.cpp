// SPDX-License-Identifier: GPL-3.0-or-later
// Entity sync records: every type written, compared with the expected wire
// text and read back; ids; the phone's answer to a batch.
#include "android/synccontactbuilder.h"
#include "android/synccontactparser.h"
#include "model/contact.h"

#include <QFile>
#include <QtTest>

using B = SyncContactBuilder;
using P = SyncContactParser;

namespace {

QVariantMap plus(QVariantMap map, const QVariantMap& more)
{
    map.insert(more);
    return map;
}

} // namespace

class TestSyncContactCodec : public QObject {
    Q_OBJECT
private slots:
    void shouldWriteAndReadBackEveryType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("written");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QVariantMap>("readBack");
        const QVariantMap name{ { "data5", "Dr." }, { "data2", "Ann" }, { "data4", "B" }, { "data3", "Lee" }, { "data6", "Jr" } };
        QTest::newRow("name: prefix, first, middle, last, suffix") << 1 << name << "1/12/34/-57,RHIu,QW5u,Qg==,TGVl,SnI="
                                                                   << plus(name, { { "data1", "Dr. Ann B Lee Jr" } });
        const QVariantMap photo{ { "data15", QByteArray("\0\1\xffPNG", 6) } };
        QTest::newRow("photo bytes") << 2 << photo << "2/12/34/-57,AAH/UE5H" << photo;
        QTest::newRow("phone without label: two commas after the word")
            << 3 << QVariantMap{ { "data2", 2 }, { "data1", "+1 555" } } << "3/12/34/-57,mobile,,KzEgNTU1"
            << QVariantMap{ { "data2", 2 }, { "data3", "" }, { "data1", "+1 555" } };
        QTest::newRow("e-mail label forces the code to 0")
            << 4 << QVariantMap{ { "data2", 1 }, { "data3", "Uni" }, { "data1", "a@b.c" } } << "4/12/34/-57,home,VW5p,YUBiLmM="
            << QVariantMap{ { "data2", 0 }, { "data3", "Uni" }, { "data1", "a@b.c" } };
        QTest::newRow("nickname keeps its word") << 5 << QVariantMap{ { "data2", 4 }, { "data1", "Bo" } } << "5/12/34/-57,short,,Qm8="
                                                 << QVariantMap{ { "data2", 4 }, { "data3", "" }, { "data1", "Bo" } };
        QTest::newRow("date-time goes as its date, comes back at midnight")
            << 6 << QVariantMap{ { "data2", 3 }, { "data1", "2001-02-03T10:20:30" } } << "6/12/34/-57,birthday,,2001-02-03"
            << QVariantMap{ { "data2", 3 }, { "data3", "" }, { "data1", "2001-02-03T00:00:00" } };
        QTest::newRow("plain date") << 6 << QVariantMap{ { "data2", 1 }, { "data1", "2001-02-03" } }
                                    << "6/12/34/-57,anniversary,,2001-02-03"
                                    << QVariantMap{ { "data2", 1 }, { "data3", "" }, { "data1", "2001-02-03T00:00:00" } };
        QTest::newRow("unreadable date") << 6 << QVariantMap{ { "data2", 0 }, { "data1", "--02-03" } } << "6/12/34/-57,other,,"
                                         << QVariantMap{ { "data2", 0 }, { "data3", "" }, { "data1", "" } };
        QTest::newRow("group: only the name travels") << 7 << QVariantMap{ { "data1", 5ULL }, { "data2", "Friends, old" } }
                                                     << "7/12/34/-57,RnJpZW5kcywgb2xk" << QVariantMap{ { "data2", "Friends, old" } };
        const QVariantMap im{ { "data2", 2 }, { "data3", "" }, { "data5", 4 }, { "data6", "" }, { "data1", "ann" } };
        QTest::newRow("IM protocol word under the pseudo type") << 8 << im << "8/12/34/-57,work,,skype,,YW5u" << im;
        QTest::newRow("IM protocol without a word comes back 0")
            << 8 << plus(im, { { "data5", 10 } }) << "8/12/34/-57,work,,,,YW5u" << plus(im, { { "data5", 0 } });
        QTest::newRow("custom IM protocol forces the protocol to 0")
            << 8 << plus(im, { { "data5", 3 }, { "data6", "MyChat" } }) << "8/12/34/-57,work,,yahoo,TXlDaGF0,YW5u"
            << plus(im, { { "data5", 0 }, { "data6", "MyChat" } });
        QTest::newRow("notes with comma and line feed") << 9 << QVariantMap{ { "data1", "a,b\nc" } } << "9/12/34/-57,YSxiCmM="
                                                        << QVariantMap{ { "data1", "a,b\nc" } };
        const QVariantMap org{ { "data2", 1 }, { "data3", "" }, { "data1", "ACME" }, { "data5", "R&D" }, { "data4", "Boss" } };
        QTest::newRow("organisation: company, department, title")
            << 10 << org << "10/12/34/-57,work,,QUNNRQ==,UiZE,Qm9zcw==" << org;
        const QVariantMap rel{ { "data2", 9 }, { "data3", "" }, { "data1", "Sis" } };
        QTest::newRow("relation 9 is spelled parnet") << 11 << rel << "11/12/34/-57,parnet,,U2lz" << rel;
        QTest::newRow("relation 0 has no word") << 11 << plus(rel, { { "data2", 0 } }) << "11/12/34/-57,,,U2lz"
                                                << plus(rel, { { "data2", 0 } });
        const QVariantMap addr{ { "data2", 2 }, { "data3", "" }, { "data10", "DE" }, { "data8", "BY" },
                                { "data7", "Munich" }, { "data4", "Main St 1" }, { "data9", "80331" } };
        QTest::newRow("address: country, region, city, street, postcode")
            << 12 << addr << "12/12/34/-57,work,,REU=,Qlk=,TXVuaWNo,TWFpbiBTdCAx,ODAzMzE="
            << plus(addr, { { "data1", "Main St 1\nMunich, BY 80331\nDE" } });
        QTest::newRow("website") << 13 << QVariantMap{ { "data2", 1 }, { "data1", "http://x" } } << "13/12/34/-57,homepage,,aHR0cDovL3g="
                                 << QVariantMap{ { "data2", 1 }, { "data3", "" }, { "data1", "http://x" } };
        QTest::newRow("unknown type is the id alone") << 14 << QVariantMap{ { "data1", "x" } } << "14/12/34/-57" << QVariantMap{};
    }
    void shouldWriteAndReadBackEveryType()
    {
        QFETCH(int, type);
        QFETCH(QVariantMap, written);
        QFETCH(QString, record);
        QFETCH(QVariantMap, readBack);
        pim::Entity entity(57, QString());
        entity.fields = written;
        QCOMPARE(B::entitySyncCmd(type, 12, 34, entity), record);
        const QStringList fields = record.split(QLatin1Char(','));
        int parsedType = 0;
        QVERIFY(B::fetchIdInfo(fields[0], &parsedType, nullptr, nullptr, nullptr));
        pim::Entity back(0, fields[0]);
        P::fillEntityInfo(fields, parsedType, back);
        QCOMPARE(back.fields, readBack);
        QCOMPARE(back.srcId, fields[0]);
    }

    void shouldReadShortAndOddRecords_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QVariantMap>("before");
        QTest::addColumn<QVariantMap>("after");
        const QVariantMap ann{ { "data2", "Ann" }, { "data3", "Lee" } };
        QTest::newRow("name of the id alone derives the name") << "1/1/1/1" << ann << plus(ann, { { "data1", "Ann Lee" } });
        QTest::newRow("record cut after the word") << "3/1/1/1,mobile" << QVariantMap{ { "data1", "+1" } }
                                                   << QVariantMap{ { "data2", 2 }, { "data1", "+1" } };
        QTest::newRow("word not in the table") << "3/1/1/1,Mobile,,MQ==" << QVariantMap{}
                                               << QVariantMap{ { "data2", 0 }, { "data3", "" }, { "data1", "1" } };
        QTest::newRow("label that decodes to nothing") << "3/1/1/1,mobile,AA==,MQ==" << QVariantMap{}
                                                       << QVariantMap{ { "data2", 2 }, { "data3", "" }, { "data1", "1" } };
        QTest::newRow("nickname label forces the code to 0") << "5/1/1/1,short,TGFi,Qm8=" << QVariantMap{}
                                                             << QVariantMap{ { "data2", 0 }, { "data3", "Lab" }, { "data1", "Bo" } };
        QTest::newRow("impossible date") << "6/1/1/1,birthday,,2001-02-30" << QVariantMap{}
                                         << QVariantMap{ { "data2", 3 }, { "data3", "" }, { "data1", "" } };
        QTest::newRow("address of the id alone") << "12/1/1/1" << QVariantMap{ { "data7", "Munich" } }
                                                 << QVariantMap{ { "data7", "Munich" }, { "data1", "Munich" } };
        QTest::newRow("unknown type changes nothing") << "14/1/1/1,eA==" << ann << ann;
    }
    void shouldReadShortAndOddRecords()
    {
        QFETCH(QString, record);
        QFETCH(QVariantMap, before);
        QFETCH(QVariantMap, after);
        const QStringList fields = record.split(QLatin1Char(','));
        pim::Entity entity(0, fields[0]);
        entity.fields = before;
        P::fillEntityInfo(fields, fields[0].section(QLatin1Char('/'), 0, 0).toInt(), entity);
        QCOMPARE(entity.fields, after);
    }

    void shouldSpellEverySubTypeAsThePhone()
    {
        QFile golden(qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + "/tests/android/data/subtypewords.txt");
        QVERIFY(golden.open(QIODevice::ReadOnly | QIODevice::Text));
        QMap<int, QString> expected;
        while (!golden.atEnd()) {
            const QStringList parts = QString::fromUtf8(golden.readLine()).trimmed().split(' ');
            const int type = parts[0].toInt(), code = parts[1].toInt();
            const QString word = parts.mid(2).join(' ');
            expected.insert(type * 100 + code, word);
            QCOMPARE(B::entSubType(type, word), code);
        }
        QCOMPARE(B::entSubTypeStrMap(), expected);
        QCOMPARE(B::entSubType(3, "Mobile"), 0);
        QCOMPARE(B::entSubTypeStr(5, 3), QString());
    }

    void shouldParseSyncIds_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<qint64>>("fields");
        const QList<qint64> untouched{ 77, 77, 77, 77 };
        QTest::newRow("all negative") << "-1/-2/-3/-4" << true << QList<qint64>{ -1, -2, -3, -4 };
        QTest::newRow("64-bit limits") << "3/9223372036854775807/0/-9223372036854775808" << true
                                       << QList<qint64>{ 3, std::numeric_limits<qint64>::max(), 0, std::numeric_limits<qint64>::min() };
        QTest::newRow("type beyond 32 bits reads 0") << "2147483648/1/2/3" << true << QList<qint64>{ 0, 1, 2, 3 };
        QTest::newRow("key beyond 64 bits reads 0") << "1/9223372036854775808/2/-99999999999999999999" << true
                                                    << QList<qint64>{ 1, 0, 2, 0 };
        QTest::newRow("three fields") << "1/2/3" << false << untouched;
        QTest::newRow("five fields") << "1/2/3/4/5" << false << untouched;
        QTest::newRow("plus sign") << "+1/2/3/4" << false << untouched;
        QTest::newRow("space") << "1 /2/3/4" << false << untouched;
        QTest::newRow("trailing line feed") << "1/2/3/4\n" << false << untouched;
        QTest::newRow("non-ASCII digit") << "\u0661/2/3/4" << false << untouched;
    }
    void shouldParseSyncIds()
    {
        QFETCH(QString, id);
        QFETCH(bool, ok);
        QFETCH(QList<qint64>, fields);
        int type = 77;
        qint64 keys[3] = { 77, 77, 77 };
        QCOMPARE(B::fetchIdInfo(id, &type, &keys[0], &keys[1], &keys[2]), ok);
        QCOMPARE((QList<qint64>{ type, keys[0], keys[1], keys[2] }), fields);
    }

    void shouldSendKnownRecordsUnderThePhonesId()
    {
        pim::Entity known(88, "3/880/881/4402");
        known.fields.insert("data1", "1");
        QCOMPARE(B::entitySyncCmd(3, 12, 34, known), QString("3/880/881/4402,other,,MQ=="));
        QCOMPARE(B::makeAndroidSyncId(3, 12, 34, pim::Entity(0, QString())), QString("3/12/34/0"));
    }

    void shouldFindEveryPairOfTheBatchAnswer()
    {
        const auto pairs = P::batchReplyPairs("$batch:1/57/57/-301=>1/12/34/56;x 3/12/34/88=>3/12/34/99,1/2/3/-4=>bad");
        QCOMPARE(pairs.size(), 2);
        QCOMPARE(pairs[0].contactKey, 57u);
        QCOMPARE(pairs[0].recordKey, 301u);
        QVERIFY(pairs[0].temporary);
        QCOMPARE(pairs[0].newId, QString("1/12/34/56"));
        QVERIFY(!pairs[1].temporary);
        QCOMPARE(pairs[1].newId, QString("3/12/34/99"));
    }
};

QTEST_GUILESS_MAIN(TestSyncContactCodec)
#include "tst_synccontactcodec.moc"
