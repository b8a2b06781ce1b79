// SPDX-License-Identifier: GPL-3.0-or-later
// A database holding every kind of entry the CSV columns can carry (every
// sub-type of each label table and a label of the user's own, a display
// name the name parts do not build, phonetic names, two organisations with
// a title each, and among the rest the relations, dates, messaging
// addresses of every kind and departments a desktop address book's cards
// give) is exported to CSV through the export thread and imported through
// the import thread into a new database; the rows of both are read back
// over a connection of their own and compared.
#include "common/contactbuilders.h"
#include "common/sqlprobe.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "model/pimlabels.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

#include <QTemporaryDir>
#include <QtTest>

using Fields = QVariantMap;

namespace {

const QString kFullName = QStringLiteral("Dr. Ann B. Every Jr.");
// The name the contact is shown under, which its parts do not build.
const QString kDisplayName = QStringLiteral("Annie Every (chess club)");

// Which of an entity's fields hold a code of a label table, and which its
// own label for it.
struct Coded {
    const char* code;
    const char* label;
};

QList<Coded> codedFields(int type)
{
    switch (type) {
    case pim::ENTITY_NAME:
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_GROUP:
    case pim::ENTITY_NOTES:
    case pim::ENTITY_ORG: return {};
    // The kind and the service of a messaging address.
    case pim::ENTITY_IM: return { { "data2", "data3" }, { "data5", "data6" } };
    default: return { { "data2", "data3" } };
    }
}

// One entity per code of the table and one with a label of the user's own
// (code 0), each with a value of its own.
QList<QVariantMap> everyKind(const QMap<int, QString>& labels, const QString& value)
{
    QList<QVariantMap> list;
    for (const int code : labels.keys())
        list << Fields { { "data1", value.arg(code) }, { "data2", code } };
    list << Fields { { "data1", value.arg(QStringLiteral("own")) }, { "data2", 0 }, { "data3", "Label of my own" } };
    return list;
}

pim::_Contact everyKindOfEntry()
{
    QList<QVariantMap> addresses;
    const QMap<int, QString> addressKinds = pim::addrTypeMap();
    for (const int code : addressKinds.keys()) {
        addresses << testkit::addressOf({ { "data2", code }, { "data4", QStringLiteral("%1 Road\nFlat 2").arg(code) },
                               { "data7", "Town" }, { "data8", "State" }, { "data9", QStringLiteral("1234%1").arg(code) },
                               { "data10", "Land" } });
    }
    addresses << testkit::addressOf({ { "data2", 0 }, { "data3", "Studio" }, { "data4", "9 Own Road" }, { "data7", "Ville" } });
    QList<QVariantMap> dates;
    for (const int code : pim::eventTypeMap().keys())
        dates << Fields { { "data1", QStringLiteral("19%1-02-03T00:00:00").arg(70 + code) }, { "data2", code } };
    dates << Fields { { "data1", "2015-06-20T00:00:00" }, { "data2", 0 }, { "data3", "Wedding" } };
    QList<QVariantMap> messaging;
    for (const int protocol : pim::imProtocolMap().keys())
        messaging << Fields { { "data1", QStringLiteral("im%1").arg(protocol) }, { "data2", 1 }, { "data5", protocol } };
    messaging << Fields { { "data1", "im.service" }, { "data2", 1 }, { "data5", 0 }, { "data6", "Signal" } };
    messaging << Fields { { "data1", "im.kind" }, { "data2", 0 }, { "data3", "Club" }, { "data5", 4 } };
    // Every kind of a chat address, and a kind and a protocol without a label.
    for (const int kind : { 0, 2, 7 }) {
        for (const int protocol : { 8, 0, 12 })
            messaging << Fields { { "data1", QStringLiteral("chat%1.%2").arg(kind).arg(protocol) }, { "data2", kind },
                                  { "data5", protocol } };
    }
    return testkit::contactOf(kFullName,
        { { pim::ENTITY_NAME, { Fields { { "data1", kDisplayName }, { "data2", "Ann" }, { "data3", "Every" },
                                  { "data4", "B." }, { "data5", "Dr." }, { "data6", "Jr." }, { "data7", "アン" },
                                  { "data8", "エヴリ" } } } },
          { pim::ENTITY_PHONE, everyKind(pim::phoneTypeMap(), QStringLiteral("+1 555 01 %1")) },
          { pim::ENTITY_EMAIL, everyKind(pim::emailTypeMap(), QStringLiteral("ann.%1@every.example")) },
          { pim::ENTITY_NICKNAME, { Fields { { "data1", "Annie" } } } },
          { pim::ENTITY_EVENT, dates },
          { pim::ENTITY_GROUP, { Fields { { "data2", "Chess, club" } } } },
          { pim::ENTITY_IM, messaging },
          { pim::ENTITY_NOTES, { Fields { { "data1", "two\nlines, \"quoted\"" } } } },
          { pim::ENTITY_ORG, { Fields { { "data1", "Acme" }, { "data4", "Boss" }, { "data5", "Sales" } },
                                 Fields { { "data1", "Coding Club" }, { "data4", "Mentor" } } } },
          { pim::ENTITY_REL, everyKind(pim::relTypeMap(), QStringLiteral("Relative %1")) },
          { pim::ENTITY_ADDR, addresses },
          { pim::ENTITY_URL, everyKind(pim::urlTypeMap(), QStringLiteral("https://every.example/%1")) } });
}

// One stored row: its type and its non-empty fields, codes as numbers (an
// absent code is 0), without the group id that each database gives anew.
struct Row {
    int type = 0;
    QMap<QString, QString> fields;

    QString text() const
    {
        QStringList out { QString::number(type) };
        for (auto it = fields.cbegin(); it != fields.cend(); ++it)
            out << it.key() + QLatin1Char('=') + it.value();
        return out.join(QLatin1Char(' '));
    }
};

QList<Row> storedRows(const QString& db)
{
    SqlProbe probe(db);
    const QString id = probe.value(QStringLiteral("SELECT _id FROM contact WHERE full_name = '%1'").arg(kFullName))
                           .toString();
    QList<Row> out;
    const auto rows = probe.rows(
        QStringLiteral("SELECT type, data1, data2, data3, data4, data5, data6, data7, data8, data9, data10 "
                       "FROM data WHERE contact_id = '%1'")
            .arg(id));
    for (const QVariantList& stored : rows) {
        Row row;
        row.type = stored.at(0).toInt();
        for (int n = 1; n <= 10; ++n) {
            const QString key = QStringLiteral("data%1").arg(n);
            QString value = stored.at(n).toString();
            if (row.type == pim::ENTITY_GROUP && n == 1)
                continue;
            for (const Coded& coded : codedFields(row.type)) {
                if (key == QLatin1String(coded.code))
                    value = QString::number(value.toInt());
            }
            if (!value.isEmpty())
                row.fields.insert(key, value);
        }
        out << row;
    }
    return out;
}

QStringList texts(const QList<Row>& rows)
{
    QStringList out;
    for (const Row& row : rows)
        out << row.text();
    out.sort();
    return out;
}

// What a CSV file gives back of a stored row: the columns are named after
// the label tables, so a label of the user's own reads back as the table's
// Other.
Row asReadBack(Row row)
{
    for (const Coded& coded : codedFields(row.type)) {
        if (row.fields.remove(QLatin1String(coded.label)) > 0)
            row.fields.insert(QLatin1String(coded.code), QStringLiteral("0"));
    }
    return row;
}

} // namespace

class TestCsvRoundTrip : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString newDb(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        LocalDb db(path, QSharedPointer<LocalDbCombineRule>::create());
        db.create();
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void givesBackEveryValueAndSubType()
    {
        const QString source = newDb(QStringLiteral("source.db"));
        QList<pim::_Contact> stored;
        {
            LocalDb db(source, QSharedPointer<LocalDbCombineRule>::create());
            db.open_check();
            db.beginEdit();
            pim::_Contact contact;
            bool existed = false;
            db.combineContact(everyKindOfEntry(), contact, existed);
            db.endEdit(true);
            stored << db.contact(db.contacts().first().id);
            db.close();
        }
        const QList<Row> before = storedRows(source);
        int entries = 0;
        for (const QList<pim::Entity>& list : everyKindOfEntry().entities)
            entries += int(list.size());
        QCOMPARE(before.size(), entries);

        const QString file = m_dir.filePath(QStringLiteral("every.csv"));
        RecordingReporter exportReport;
        ExportToFileThread writer(stored, ExportToFileThread::TYPE_CSV, file, &exportReport);
        writer.start();
        QVERIFY(writer.wait(timebound::kWaitMs));
        QCOMPARE(exportReport.errors(), QStringList());

        const QString back = newDb(QStringLiteral("back.db"));
        {
            LocalDb db(back, QSharedPointer<LocalDbCombineRule>::create());
            db.open_check();
            RecordingReporter importReport;
            ImportContactsToLocalThread reader(file, ImportContactsToLocalThread::TYPE_CSV, &db, &importReport);
            reader.start();
            QVERIFY(reader.wait(timebound::kWaitMs));
            db.close();
            // Every column read: nothing left out or changed.
            QCOMPARE(importReport.errors(), QStringList());
            QCOMPARE(importReport.successes(), QStringList { QStringLiteral("IDS_SUC_IMPORT_1_CONTACTS_TO_DB") });
        }

        QList<Row> readBack;
        for (const Row& row : before)
            readBack << asReadBack(row);
        const QStringList want = texts(readBack);
        const QStringList got = texts(storedRows(back));
        for (const QString& row : want)
            QVERIFY2(got.contains(row), qPrintable(QStringLiteral("missing: ") + row));
        QCOMPARE(got, want);
    }
};

QTEST_GUILESS_MAIN(TestCsvRoundTrip)
#include "tst_csvroundtrip.moc"
