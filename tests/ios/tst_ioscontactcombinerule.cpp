#include "common/contactbuilders.h"
#include "iossyncfixture.h"

#include <QTest>

namespace {
using Fields = QVariantMap;
using FieldsList = QList<QVariantMap>;
} // namespace

class tst_IOSContactCombineRule : public QObject {
    Q_OBJECT
private slots:
    // A stored contact, then the same name again with one more entity.
    void shouldMergeAsThePhoneHoldsIt_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<FieldsList>("stored");
        QTest::addColumn<Fields>("incoming");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("same day, other kind") << 6 << FieldsList{{{"data1", "1990-05-17"}, {"data2", 3}}}
                                              << Fields{{"data1", "1990-05-17"}, {"data2", 1}}
                                              << QStringList{"1990-05-17|3|", "1990-05-17|1|"};
        QTest::newRow("im differing in its own protocol") << 8 << FieldsList{{{"data1", "me"}, {"data5", 4}, {"data6", "A"}}}
                                                          << Fields{{"data1", "me"}, {"data2", ""}, {"data3", ""}, {"data5", 4}, {"data6", "B"}} << QStringList{"me||"};
        QTest::newRow("a second note replaces the first") << 9 << FieldsList{{{"data1", "old"}}} << Fields{{"data1", "new"}}
                                                          << QStringList{"new||"};
        QTest::newRow("phone gains a type") << 3 << FieldsList{{{"data1", "1"}}} << Fields{{"data1", "1"}, {"data2", 2}}
                                            << QStringList{"1|2|"};
        QTest::newRow("organisation of a job title only") << 10 << FieldsList{} << Fields{{"data4", "Boss"}} << QStringList{"||"};
        QTest::newRow("group membership") << 7 << FieldsList{} << Fields{{"data1", "1"}, {"data2", "Friends"}} << QStringList{};
    }

    void shouldMergeAsThePhoneHoldsIt()
    {
        QFETCH(int, type);
        QFETCH(FieldsList, stored);
        QFETCH(Fields, incoming);
        DeviceDb device;
        pim::_Contact target;
        bool existed = false;
        device.db->beginEdit();
        device.db->combineContact(testkit::contactOf("Kim", {{type, stored}}), target, existed);
        pim::_Contact merged;
        const auto added = device.db->combineContact(testkit::contactOf("Kim", {{type, {incoming}}}), merged, existed);
        device.db->endEdit(true);
        QVERIFY(existed);
        QStringList rows;
        for (const QString& row : device.rows(QString("d.type = %1").arg(type)))
            rows << row.section('|', 2, 4);
        QTEST(rows, "rows");
        // IM protocol names are not the phone's: such a difference writes nothing.
        QCOMPARE(added.value(type).size(), type == 8 || type == 7 ? 0 : 1);
    }

    // A value from a file that names no kind for it is the stored value of
    // the same text, whatever kind the phone gave that one: the merge shared
    // with the local databases leaves the kind and writes nothing.
    void shouldKeepTheKindOfAValueThatCameWithoutOne_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<Fields>("stored");
        QTest::addColumn<Fields>("incoming");
        QTest::addColumn<QStringList>("rows");
        const QString notGiven = pim::typeNotGivenKey();
        QTest::newRow("date of the same day") << 6 << Fields{{"data1", "1990-05-17"}, {"data2", 3}}
                                              << Fields{{"data1", "1990-05-17"}, {"data2", 0}, {notGiven, true}}
                                              << QStringList{"1990-05-17|3|"};
        QTest::newRow("labelled phone") << 3 << Fields{{"data1", "1"}, {"data2", 0}, {"data3", "Oficina central"}}
                                        << Fields{{"data1", "1"}, {"data2", 2}, {notGiven, true}}
                                        << QStringList{"1|0|Oficina central"};
    }
    void shouldKeepTheKindOfAValueThatCameWithoutOne()
    {
        QFETCH(int, type);
        QFETCH(Fields, stored);
        QFETCH(Fields, incoming);
        DeviceDb device;
        pim::_Contact target;
        bool existed = false;
        device.db->beginEdit();
        device.db->combineContact(testkit::contactOf("Kim", {{type, {stored}}}), target, existed);
        pim::_Contact merged;
        const auto added = device.db->combineContact(testkit::contactOf("Kim", {{type, {incoming}}}), merged, existed);
        device.db->endEdit(true);
        QStringList rows;
        for (const QString& row : device.rows(QString("d.type = %1").arg(type)))
            rows << row.section('|', 2, 4);
        QTEST(rows, "rows");
        QVERIFY(added.value(type).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_IOSContactCombineRule)
#include "tst_ioscontactcombinerule.moc"
