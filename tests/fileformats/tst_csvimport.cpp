// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csvhelper.h"
#include "fileformats/csvimport.h"
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/recordingreporter.h"
#include "scratchfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <stdexcept>

class TestCsvImport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void keepsEarlierLoadWhenFileIsUnreadable_data();
    void keepsEarlierLoadWhenFileIsUnreadable();
    void mergesDuplicatesInTheDatabase();
    void hostileShapesReadInLinearTime_data();
    void hostileShapesReadInLinearTime();

private:
    QString writeFile(const QByteArray& bytes) { return m_dir.write(bytes, QStringLiteral("csv")); }

    ScratchFiles m_dir;
};

void TestCsvImport::initTestCase() { QVERIFY(m_dir.isValid()); }

void TestCsvImport::keepsEarlierLoadWhenFileIsUnreadable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("folder instead of a file") << "folder";
    QTest::newRow("file beyond the size bound") << "huge";
}

void TestCsvImport::keepsEarlierLoadWhenFileIsUnreadable()
{
    QFETCH(QString, kind);
    QString bad = m_dir.filePath(QStringLiteral("bad-%1").arg(kind));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(bad));
    } else if (kind == QLatin1String("huge")) {
        // Sparse: costs no disk space, but its size is past the bound.
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(csvhelper::kMaxFileBytes + 1));
    }

    CSVImport reader;
    reader.initialize(writeFile("First Name\nA\nB\n"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, reader.initialize(bad));
    QCOMPARE(reader.total(), 2);
    QVERIFY(reader.hasNext());
    QCOMPARE(reader.nextContact().fullName, QStringLiteral("A"));
}

void TestCsvImport::mergesDuplicatesInTheDatabase()
{
    const QByteArray file = "Given Name,Family Name,Company,Home Phone,Home Phone 2,E-mail Address\r\n"
                            "Ann,Lee,,111,222,ann@a.example\r\n"
                            ",,,999,,\r\n"
                            ",,,,,nobody@x.example\r\n"
                            "Ann,Lee,,333,,ann@a.example\r\n"
                            ",,\"Smith, Jones\",444,,\r\n";
    LocalDb db(m_dir.newPath(QStringLiteral("db")),
               QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    db.create();
    RecordingReporter reporter;
    ImportContactsToLocalThread thread(writeFile(file), ImportContactsToLocalThread::TYPE_CSV, &db, &reporter);
    thread.start();
    QVERIFY(thread.wait(60000));
    QCOMPARE(reporter.errors(), QStringList());
    QCOMPARE(reporter.successes(), QStringList { "IDS_SUC_IMPORT_3_CONTACTS_TO_DB_1_MERGED<br/>"
                                                  "Left out or changed:<br/>"
                                                  "Row 4: no name and no phone number; the row was left out." });

    QStringList got;
    for (const pim::_Contact& listed : db.contacts()) {
        const pim::_Contact c = db.contact(listed.id);
        QStringList phones;
        for (const pim::Entity& e : c.entities.value(pim::ENTITY_PHONE))
            phones << pim::fieldText(e.fields.value(QStringLiteral("data1")));
        phones.sort();
        QStringList mails;
        for (const pim::Entity& e : c.entities.value(pim::ENTITY_EMAIL))
            mails << pim::fieldText(e.fields.value(QStringLiteral("data1")));
        got << c.fullName + QStringLiteral(": ") + phones.join(' ') + QStringLiteral("; ") + mails.join(' ');
    }
    got.sort();
    QCOMPARE(got, (QStringList { "999: 999; ", "Ann Lee: 111 222 333; ann@a.example", "Smith, Jones: 444; " }));
}


// Sizes at which reading in quadratic time takes minutes or never ends;
// linear reading takes seconds even in a sanitizer build.
void TestCsvImport::hostileShapesReadInLinearTime_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("noteSize");
    QTest::newRow("3 million short rows ending in CR only")
        << "First Name,Phone\r" + QByteArray("A,1\r").repeated(3000000) << 3000000 << 0;
    QTest::newRow("a header naming one column a million times")
        << "First Name" + QByteArray(",Notes").repeated(1000000) + "\nAnn" + QByteArray(",n").repeated(1000000) << 1
        << 2 * 1000000 - 1;
}

void TestCsvImport::hostileShapesReadInLinearTime()
{
    QFETCH(QByteArray, file);
    QFETCH(int, rows);
    QFETCH(int, noteSize);
    const QString path = writeFile(file);
    QElapsedTimer timer;
    timer.start();
    CSVImport reader;
    reader.initialize(path);
    QCOMPARE(reader.total(), rows);
    const QList<pim::Entity> notes = reader.nextContact().entities.value(pim::ENTITY_NOTES);
    QCOMPARE(notes.isEmpty() ? 0 : int(notes.first().fields.value(QStringLiteral("data1")).toString().size()), noteSize);
    QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestCsvImport)
#include "tst_csvimport.moc"
