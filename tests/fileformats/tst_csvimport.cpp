// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csvhelper.h"
#include "fileformats/csvimport.h"
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/recordingreporter.h"
#include "scratchfiles.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <stdexcept>

using Contacts = QList<QStringList>;

class TestCsvImport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void importFile_data();
    void importFile();
    void unreadableFileKeepsEarlierLoad_data();
    void unreadableFileKeepsEarlierLoad();
    void mergesDuplicatesInTheDatabase();

private:
    QString writeFile(const QByteArray& bytes) { return m_dir.write(bytes, QStringLiteral("csv")); }

    ScratchFiles m_dir;
};

namespace {

// One line for the full name, then one per entity: the type code and its
// fields in key order; numbers are marked with "#" so a code stored as text
// shows up.
QStringList dump(const pim::_Contact& contact)
{
    QStringList out { QStringLiteral("name=") + contact.fullName };
    for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it) {
        for (const pim::Entity& e : it.value()) {
            QStringList parts { QString::number(it.key()) };
            for (auto f = e.fields.cbegin(); f != e.fields.cend(); ++f) {
                const bool number = f.value().typeId() == QMetaType::Int;
                parts << f.key() + QLatin1Char('=') + (number ? QStringLiteral("#") : QString())
                        + pim::fieldText(f.value()).replace(QLatin1Char('\n'), QLatin1String("\\n"));
            }
            out << parts.join(QLatin1String("; "));
        }
    }
    return out;
}

} // namespace

void TestCsvImport::initTestCase() { QVERIFY(m_dir.isValid()); }

void TestCsvImport::importFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Contacts>("expected");
    QTest::newRow("own columns as the writer names them")
        << QByteArray("First Name,Last Name,Tel:Mobile,Tel:Home,Email:Work,Addr:Home:City,Addr:Home:Street,"
                      "IM:Skype,Date:Birthday,Notes\n"
                      "Jane,Doe,555-1,555-2,j@w.org,Springfield,1 Main St,jane.s,1980-02-29,\"Line 1\nLine 2\"\n")
        << Contacts { {
               "name=Jane Doe",
               "1; data1=Jane Doe; data2=Jane; data3=Doe",
               "3; data1=555-2; data2=#1",
               "3; data1=555-1; data2=#2",
               "4; data1=j@w.org; data2=#2",
               "6; data1=1980-02-29; data2=#3",
               "8; data1=jane.s; data2=#1; data5=#4",
               "9; data1=Line 1\\nLine 2",
               "12; data1=1 Main St\\nSpringfield; data2=#1; data4=1 Main St; data7=Springfield",
           } };
    QTest::newRow("desktop address book export, three street lines and Home Phone 2")
        << QByteArray("Title,First Name,Middle Name,Last Name,Suffix,Company,Department,Job Title,"
                      "Business Street,Business Street 2,Business Street 3,Business City,Business State,"
                      "Business Postal Code,Business Country,Home Phone,Home Phone 2,Mobile Phone,"
                      "E-mail Address,E-mail 2 Address,Birthday,Categories,Notes\r\n"
                      "Dr.,John,Q,Public,Jr.,\"Smith, Jones & Co\",R&D,Engineer,"
                      "\"Building 4\nFloor 2\",Room 12,,Springfield,IL,62701,USA,"
                      "555-0100,555-0101,555-0199,john@home.example,john@work.example,3/14/1970,"
                      "Friends,\"He said \"\"hi\"\", twice\"\r\n")
        << Contacts { {
               "name=Dr. John Q Public Jr.",
               "1; data1=Dr. John Q Public Jr.; data2=John; data3=Public; data4=Q; data5=Dr.; data6=Jr.",
               "3; data1=555-0100; data2=#1",
               "3; data1=555-0101; data2=#1",
               "3; data1=555-0199; data2=#2",
               "4; data1=john@home.example; data2=#1",
               "4; data1=john@work.example; data2=#2",
               "6; data1=3/14/1970; data2=#3",
               "7; data2=Friends",
               "9; data1=He said \"hi\", twice",
               "10; data1=Smith, Jones & Co; data4=Engineer; data5=R&D",
               "12; data1=Building 4\\nFloor 2 Room 12\\nSpringfield, IL 62701\\nUSA; data10=USA; data2=#2; "
               "data4=Building 4\\nFloor 2 Room 12; data7=Springfield; data8=IL; data9=62701",
           } };
    QTest::newRow("web mail export with numbered e-mail value")
        << QByteArray("Name,Given Name,Additional Name,Family Name,Name Prefix,Name Suffix,Nickname,Birthday,"
                      "E-mail 1 - Value,E-mail Address\n"
                      "Ann Lee,Ann,,Lee,,,Annie,2001-05-06,ann@a.example,ann@b.example\n")
        << Contacts { {
               "name=Ann Lee",
               "1; data1=Ann Lee; data2=Ann; data3=Lee",
               "4; data1=ann@a.example; data2=#1",
               "4; data1=ann@b.example; data2=#1",
               "5; data1=Annie",
               "6; data1=2001-05-06; data2=#3",
           } };
    QTest::newRow("byte-order mark before the first column name")
        << QByteArray("\xEF\xBB\xBF" "First Name\nAl\n") << Contacts { { "name=Al", "1; data1=Al; data2=Al" } };
    QTest::newRow("unknown columns, short and long rows")
        << QByteArray("Foo,First Name,Last Name\nx,A\ny,B,C,extra\n")
        << Contacts { { "name=A", "1; data1=A; data2=A" }, { "name=B C", "1; data1=B C; data2=B; data3=C" } };
    QTest::newRow("street lines join, an empty one adds nothing")
        << QByteArray("First Name,Home Street,Home Street 2,Home Street 3\nA,1 Road,Flat 2,\n")
        << Contacts { { "name=A", "1; data1=A; data2=A", "12; data1=1 Road Flat 2; data2=#1; data4=1 Road Flat 2" } };
    QTest::newRow("same phone column twice gives two phones")
        << QByteArray("First Name,Tel:Home,Tel:Home\nA,111,222\nB,,333\n")
        << Contacts { { "name=A", "1; data1=A; data2=A", "3; data1=111; data2=#1", "3; data1=222; data2=#1" },
                      { "name=B", "1; data1=B; data2=B", "3; data1=333; data2=#1" } };
    QTest::newRow("web page columns give two sites, categories one group")
        << QByteArray("First Name,Url:Home page,Web Page,Category,Categories\nA,a.example,b.example,Work,Golf\n")
        << Contacts { { "name=A", "1; data1=A; data2=A", "7; data2=Work Golf", "13; data1=a.example; data2=#1",
                        "13; data1=b.example; data2=#1" } };
    QTest::newRow("company alone becomes the full name")
        << QByteArray("First Name,Company,Business Phone\n,  Acme Ltd ,555\n")
        << Contacts { { "name=Acme Ltd", "3; data1=555; data2=#3", "10; data1=  Acme Ltd " } };
    QTest::newRow("sub-type 0 stores no sub-type, nickname no sub-type")
        << QByteArray("First Name,Other Phone,Nickname,Rel:Other,Addr:Other:Country\nA,9,Nick,Bob,NL\n")
        << Contacts { { "name=A", "1; data1=A; data2=A", "3; data1=9", "5; data1=Nick", "11; data1=Bob",
                        "12; data1=NL; data10=NL" } };
    QTest::newRow("two address labels give two addresses")
        << QByteArray("First Name,Addr:Home:Street,Addr:Home:City,Addr:Work:City,Addr:Work:Postcode\n"
                      "A,S,T,U,P\n")
        << Contacts { { "name=A", "1; data1=A; data2=A", "12; data1=S\\nT; data2=#1; data4=S; data7=T",
                        "12; data1=U, P; data2=#2; data7=U; data9=P" } };
    QTest::newRow("messaging is always sub-type Home")
        << QByteArray("First Name,IM:Other,IM:QQ\nA,h1,h2\n")
        << Contacts { { "name=A", "1; data1=A; data2=A", "8; data1=h1; data2=#1", "8; data1=h2; data2=#1; data5=#5" } };
    QTest::newRow("blank values are values, not trimmed")
        << QByteArray("First Name,Last Name\n , x \n")
        << Contacts { { "name=x", "1; data1=x; data2= ; data3= x " } };
    QTest::newRow("lone CR line ends, last row without line end")
        << QByteArray("First Name\rA\rB") << Contacts { { "name=A", "1; data1=A; data2=A" }, { "name=B", "1; data1=B; data2=B" } };
    QTest::newRow("blank lines hold no contact")
        << QByteArray("First Name\n\nA\r\n\r\n")
        << Contacts { { "name=A", "1; data1=A; data2=A" } };
    QTest::newRow("windows-1252 file")
        << QByteArray("First Name,Last Name\nRen\xE9\x65,M\xFCller\n")
        << Contacts { { "name=Renée Müller", "1; data1=Renée Müller; data2=Renée; data3=Müller" } };
    QTest::newRow("UTF-16 file with byte-order mark")
        << QByteArray("\xFF\xFE" "F\0i\0r\0s\0t\0 \0N\0a\0m\0e\0\n\0\x8b\x73\n\0", 28)
        << Contacts { { "name=王", "1; data1=王; data2=王" } };
    QTest::newRow("guarded formula reads back as written before")
        << QByteArray("First Name,Notes\nA,'=1+2\nB,'plain\n")
        << Contacts { { "name=A", "1; data1=A; data2=A", "9; data1==1+2" },
                      { "name=B", "1; data1=B; data2=B", "9; data1='plain" } };
    QTest::newRow("row with only unknown columns filled")
        << QByteArray("Foo,First Name\nx,\n") << Contacts { { "name=" } };
    QTest::newRow("header only") << QByteArray("First Name,Last Name\n") << Contacts {};
    QTest::newRow("empty file") << QByteArray() << Contacts {};
}

void TestCsvImport::importFile()
{
    QFETCH(QByteArray, file);
    QFETCH(Contacts, expected);

    CSVImport reader;
    reader.initialize(writeFile(file));
    QCOMPARE(reader.total(), int(expected.size()));
    Contacts got;
    while (reader.hasNext())
        got << dump(reader.nextContact());
    reader.uninitialize();
    QCOMPARE(got, expected);
}

void TestCsvImport::unreadableFileKeepsEarlierLoad_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("folder instead of a file") << "folder";
    QTest::newRow("file beyond the size bound") << "huge";
}

void TestCsvImport::unreadableFileKeepsEarlierLoad()
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
    QCOMPARE(reporter.successes(), QStringList { "IDS_SUC_IMPORT_2_CONTACTS_TO_DB_1_MERGED\n"
                                                  "0 unreadable lines and 1 contacts without a name were left out." });

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
    QCOMPARE(got, (QStringList { "Ann Lee: 111 222 333; ann@a.example", "Smith, Jones: 444; " }));
}

QTEST_GUILESS_MAIN(TestCsvImport)
#include "tst_csvimport.moc"
