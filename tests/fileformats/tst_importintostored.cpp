// SPDX-License-Identifier: GPL-3.0-or-later
// Files imported through the real import thread into real database files
// that already hold contacts: which stored contact and value each incoming
// one is found to be.
#include "fileformats/importcontactstolocalthread.h"

#include "common/sqlprobe.h"
#include "fileformats/export/exporttofilethread.h"
#include "golden.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "scratchfiles.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <algorithm>
#include <memory>

class TestImportIntoStored : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString dbPath() const { return m_dir->filePath(QStringLiteral("local.db")); }
    // The ending of importing the file.
    QStringList import(const QByteArray& bytes, const QString& suffix)
    {
        LocalDb db(dbPath(), QSharedPointer<LocalDbCombineRule>::create());
        RecordingReporter reporter;
        ImportContactsToLocalThread thread(writeScratch(*m_dir, bytes, suffix),
            suffix == QLatin1String("csv") ? ImportContactsToLocalThread::TYPE_CSV : ImportContactsToLocalThread::TYPE_VCARD,
            &db, &reporter);
        thread.start();
        thread.wait();
        return reporter.successes() + reporter.errors();
    }
    QList<QVariantList> everyRow()
    {
        SqlProbe probe(dbPath());
        return probe.rows(QStringLiteral("select 'contact', * from contact"))
            + probe.rows(QStringLiteral("select 'data', * from data")) + probe.rows(QStringLiteral("select * from contact_group"));
    }
    // Each stored contact by name, with its rows in the order of their
    // types, each row's filled columns: what the merge kept.
    QByteArray storedContacts()
    {
        SqlProbe probe(dbPath());
        QStringList out;
        const QString columns = QStringLiteral("type, data1, data2, data3, data4, data5, data6, data7, data8, data9, "
                                               "data10, data11, data12, data13, data14");
        for (const QVariantList& contact : probe.rows(QStringLiteral("select _id, full_name from contact order by full_name, _id"))) {
            out << QStringLiteral("contact ") + golden::escape(contact.at(1).toString());
            const auto rows = probe.rows(
                QStringLiteral("select %1 from data where contact_id = %2 order by type, _id").arg(columns).arg(contact.at(0).toLongLong()));
            for (const QVariantList& row : rows) {
                QStringList filled;
                for (int column = 1; column < row.size(); ++column) {
                    if (!row.at(column).toString().isEmpty())
                        filled << QStringLiteral("data%1=%2").arg(column).arg(golden::escape(row.at(column).toString()));
                }
                out << QStringLiteral("  ") + golden::typeNames().value(row.at(0).toInt()) + u' ' + filled.join(QLatin1String("; "));
            }
        }
        return out.join(u'\n').toUtf8() + '\n';
    }
    // Each contact as plain SQL writes it: its name, then the given name,
    // family name, title and middle name of its name row, if any.
    void store(const QList<QStringList>& contacts)
    {
        SqlProbe probe(dbPath());
        for (QStringList c : contacts) {
            for (QString& text : c)
                text = QLatin1Char('\'') + text.replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
            probe.exec(QStringLiteral("insert into contact(src_id, full_name) values('', %1)").arg(c.at(0)));
            if (c.size() > 1)
                probe.exec(QStringLiteral("insert into data(type, contact_id, data1, data2, data3, data5, data4) values(1, "
                                          "(select max(_id) from contact), %1, %2, %3, %4, %5)")
                               .arg(c.at(0), c.at(1), c.at(2), c.value(3, QStringLiteral("''")), c.value(4, QStringLiteral("''"))));
        }
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        LocalDb(dbPath(), QSharedPointer<LocalDbCombineRule>::create()).create();
    }
    void cleanup() { m_dir.reset(); }

    // A database that earlier builds wrote, its rows as they wrote them (an
    // address's text and a name put together from parts with blanks at
    // their ends, "Springfield , 12345", "山田 太郎"; an address's text
    // without its postal code where no city or region stood beside it; an
    // e-mail's kind beside the label an earlier card gave it), merges the
    // same file again, and that build's own vCard and CSV exports of it,
    // without a second row and without changing one.
    void mergesWhatEarlierBuildsStored_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("file");
        const QDir dir(qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + QLatin1String("/tests/fileformats/data/earlier"));
        const QStringList cases = dir.entryList({ QStringLiteral("*.sql") }, QDir::Files, QDir::Name);
        QVERIFY(!cases.isEmpty());
        for (const QString& sql : cases) {
            const QString name = sql.chopped(4);
            const QString own = name + (dir.exists(name + QLatin1String(".csv")) ? QLatin1String(".csv") : QLatin1String(".vcf"));
            for (const QString& file : { own, name + QLatin1String(".export.vcf"), name + QLatin1String(".export.csv") })
                QTest::newRow(qPrintable(file)) << dir.filePath(sql) << dir.filePath(file);
        }
    }
    void mergesWhatEarlierBuildsStored()
    {
        QFETCH(QString, rows);
        QFETCH(QString, file);
        QFile sql(rows);
        QFile in(file);
        QVERIFY(sql.open(QIODevice::ReadOnly) && in.open(QIODevice::ReadOnly));
        SqlProbe(dbPath()).exec(QString::fromUtf8(sql.readAll()));
        const QList<QVariantList> before = everyRow();
        // A file of its own may hold several cards of one contact.
        const QByteArray bytes = in.readAll();
        const int records = file.endsWith(QLatin1String(".csv"))
            ? SqlProbe(dbPath()).value(QStringLiteral("select count(*) from contact")).toInt()
            : int(bytes.count("BEGIN:VCARD"));
        QCOMPARE(import(bytes, QFileInfo(file).suffix()),
            QStringList { QStringLiteral("IDS_SUC_IMPORT_0_CONTACTS_TO_DB_%1_MERGED").arg(records) });
        QCOMPARE(everyRow(), before);
    }

    // A note's indents, runs of blanks and tabs are its layout: notes of one
    // person that differ only in them are kept each, from one card or from
    // two files, and the same files again add none.
    void keepsNotesThatDifferOnlyInLayout_data()
    {
        QTest::addColumn<QList<QByteArray>>("notes");
        QTest::addColumn<bool>("twoFiles"); // the first of each pair in one
        const QList<QByteArray> all { "Menu:\\n    - soup\\n    - salad", "Menu:\\n- soup\\n- salad", "Mon    9-5",
            "Mon 9-5", "Code\t1234", "Code 1234" };
        QTest::newRow("indented lines and lines without") << all.mid(0, 2) << false;
        QTest::newRow("a run of blanks and one blank") << all.mid(2, 2) << false;
        QTest::newRow("a tab and a blank") << all.mid(4, 2) << false;
        QTest::newRow("all three pairs, in two files") << all << true;
    }
    void keepsNotesThatDifferOnlyInLayout()
    {
        QFETCH(QList<QByteArray>, notes);
        QFETCH(bool, twoFiles);
        QList<QByteArray> files(twoFiles ? 2 : 1, "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Ola;;;\r\n");
        QStringList written;
        for (int part = 0; part < files.size(); ++part) {
            for (qsizetype i = part; i < notes.size(); i += files.size()) {
                files[part] += "NOTE:" + notes.at(i) + "\r\n";
                written << QString::fromUtf8(QByteArray(notes.at(i)).replace("\\n", "\n"));
            }
            files[part] += "END:VCARD\r\n";
        }
        for (const QByteArray& file : files)
            QCOMPARE(import(file, QStringLiteral("vcf")).size(), 1);
        const QString notesSql = QStringLiteral("select data1 from data where type = 9 order by _id");
        QCOMPARE(SqlProbe(dbPath()).column(notesSql), written);
        for (const QByteArray& file : files)
            QCOMPARE(import(file, QStringLiteral("vcf")), QStringList { QStringLiteral("IDS_SUC_IMPORT_0_CONTACTS_TO_DB_1_MERGED") });
        QCOMPARE(SqlProbe(dbPath()).column(notesSql), written);
    }

    // The stored contact a card of this name merges into: the lowest id of
    // those whose name reads the same but for the case of A-Z, blanks and
    // tabs at its ends and the length of a run of them, or, a name of
    // Chinese or Japanese letters, whose parts stored with end blanks make
    // it; none of another name. An import small next to what is stored
    // looks names up, a large one reads them all: both find the same one,
    // and a contact the same import stored before.
    void findsTheStoredContactOfTheNameWhateverTheImportsSize_data()
    {
        QTest::addColumn<QList<QStringList>>("stored");
        QTest::addColumn<QByteArray>("name"); // the N of the card
        QTest::addColumn<int>("found");       // place in `stored`, -1 for a new contact
        const auto row = [](const char* what, QList<QStringList> stored, const char* name, int found) {
            QTest::newRow(what) << stored << QByteArray(name) << found;
        };
        row("a run of blanks", { { "Ida  Lindqvist" } }, "Lindqvist;Ida", 0);
        row("a tab, blanks at both ends and another case", { { "Kim Park" }, { " \tida\tLINDQVIST " } }, "Lindqvist;Ida", 1);
        row("the lowest id of two that read alike", { { "IDA LINDQVIST" }, { "Ida Lindqvist" } }, "Lindqvist;Ida", 0);
        row("a tab in the older, the exact name in the newer", { { "Ida\tLindqvist" }, { "Ida Lindqvist" } },
            "Lindqvist;Ida", 0);
        row("a run of blanks and a tab after the second word of three",
            { { "Karen H. Gutierrezz" }, { "karen H.  \tGutierrez" } }, "Gutierrez;Karen;H.", 1);
        row("a tab after the last word", { { "Karen H. Gutierrez\t" } }, "Gutierrez;Karen;H.", 0);
        row("a longer first word is another name", { { "Idan Lindqvist" }, { "Ida Lindqvistsson" } }, "Lindqvist;Ida", -1);
        row("the first word alone is another name", { { "Ida" } }, "Lindqvist;Ida", -1);
        row("a one-word name after blanks", { { "Ann" }, { "  Cher\t" } }, ";Cher", 1);
        row("an underscore is a letter", { { "Ida Lindqvist" } }, "Lindqvist;I_a", -1);
        row("a letter past Z keeps its case", { { "\xc3\x84sa Lind" } }, "Lind;\xc3\xa4sa", -1);
        row("a Japanese name of parts with a blank at their ends",
            { { "\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e", "\xe5\xa4\xaa\xe9\x83\x8e ", "\xe5\xb1\xb1\xe7\x94\xb0 " } },
            "\xe5\xb1\xb1\xe7\x94\xb0;\xe5\xa4\xaa\xe9\x83\x8e", 0);
        row("a Chinese name read in the Latin order, its given name after a blank",
            { { "Kim Park" }, { "\xe6\x98\x8e \xe6\x9d\x8e", " \xe6\x98\x8e", "\xe6\x9d\x8e" } }, "\xe6\x9d\x8e;\xe6\x98\x8e", 1);
        row("a Chinese name of that order whose family name came after a blank",
            { { "\xe6\x98\x8e  \xe7\x8e\x8b", "\xe6\x98\x8e", " \xe7\x8e\x8b" } }, "\xe7\x8e\x8b;\xe6\x98\x8e", 0);
        row("a Chinese name with a title, in the order of a Latin name",
            { { "Dr\t  \xe6\x98\x8e \xe6\x9d\x8e", " \xe6\x98\x8e", "\xe6\x9d\x8e", "Dr\t" } }, "\xe6\x9d\x8e;\xe6\x98\x8e;;Dr", 0);
        row("a Chinese name with another title",
            { { "Prof  \xe6\x98\x8e \xe6\x9d\x8e", " \xe6\x98\x8e", "\xe6\x9d\x8e", "Prof" } }, "\xe6\x9d\x8e;\xe6\x98\x8e;;Dr", -1);
        row("a Japanese name with a blank, parts without end blanks, is another",
            { { "\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e", "\xe5\xa4\xaa\xe9\x83\x8e", "\xe5\xb1\xb1\xe7\x94\xb0" } },
            "\xe5\xb1\xb1\xe7\x94\xb0;\xe5\xa4\xaa\xe9\x83\x8e", -1);
        row("a Chinese name of parts with end blanks beside others of its family name and next letter",
            { { "\xe7\x8e\x8b \xe5\xb0\x8f\xe7\xba\xa2" }, { "\xe7\x8e\x8b \xe5\xb0\x8f\xe6\x98\x8e", "\xe5\xb0\x8f\xe6\x98\x8e", "\xe7\x8e\x8b " },
              { "\xe7\x8e\x8b \xe5\xb0\x8f" } },
            "\xe7\x8e\x8b;\xe5\xb0\x8f\xe6\x98\x8e", 1);
        row("a Chinese name whose parts make another name",
            { { "\xe6\x98\x8e \xe6\x9d\x8e", " \xe6\x98\x8e", "\xe6\x9d\x8e" } }, "\xe7\x8e\x8b;\xe6\x98\x8e", -1);
        row("a Chinese name of parts with end blanks whose blank is before its last letter",
            { { "\xe7\x8e\x8b\xe5\xb0\x8f" }, { "\xe7\x8e\x8b \xe6\x98\x8e", "\xe6\x98\x8e", "\xe7\x8e\x8b " } },
            "\xe7\x8e\x8b;\xe6\x98\x8e", 1);
        row("a Chinese name written with a blank, a given name alone, is another",
            { { "\xe7\x8e\x8b \xe5\xb0\x8f\xe6\x98\x8e", "\xe7\x8e\x8b \xe5\xb0\x8f\xe6\x98\x8e", "" } },
            "\xe7\x8e\x8b;\xe5\xb0\x8f\xe6\x98\x8e", -1);
        row("a Chinese name of family, middle and given name with blanks at the ends of two is another",
            { { "\xe7\x8e\x8b \xe5\xa4\xa7 \xe5\xb0\x8f\xe6\x98\x8e", "\xe5\xb0\x8f\xe6\x98\x8e", "\xe7\x8e\x8b ", "",
                "\xe5\xa4\xa7 " } },
            "\xe7\x8e\x8b;\xe5\xb0\x8f\xe6\x98\x8e;\xe5\xa4\xa7", -1);
        {
            // Past the words whose ranges an import keeps.
            QStringList words;
            for (int i = 0; i < 40; ++i)
                words << QStringLiteral("wort%1").arg(i);
            const QString stored = words.mid(0, 20).join(u' ') + u'\t' + words.mid(20).join(u' ');
            QTest::newRow("a tab after the twentieth word of a long name")
                << QList<QStringList> { { QStringLiteral("Kim Park") }, { stored } } << (";" + words.join(u' ').toUtf8()) << 1;
        }
        // Led by a symbol at or above U+1100 that is no letter of those
        // scripts.
        const std::pair<const char*, const char*> leads[] = { { "\xf0\x9f\x8c\xb8", "an emoji" },
            { "\xe3\x83\xbb", "a katakana middle dot" }, { "\xe3\x83\xbc", "a prolonged sound mark" },
            { "\xef\xbc\x91", "a fullwidth digit" } };
        for (const auto& [lead, what] : leads) {
            const QString family = QString::fromUtf8(lead) + QString::fromUtf8("\xe5\xb1\xb1\xe7\x94\xb0");
            const QString given = QString::fromUtf8("\xe5\xa4\xaa\xe9\x83\x8e");
            const QByteArray n = (family + u';' + given).toUtf8();
            const QStringList earlier { family + u' ' + given, given, family + u' ' };
            QTest::newRow(qPrintable(QStringLiteral("a Japanese name of parts with end blanks led by %1").arg(QLatin1String(what))))
                << QList<QStringList> { earlier } << n << 0;
            QTest::newRow(qPrintable(QStringLiteral("the same led by %1, and the name its parts make stored after it")
                                         .arg(QLatin1String(what))))
                << QList<QStringList> { earlier, { family + given } } << n << 0;
        }
        row("a given name led by an emoji, in the order of a Latin name",
            { { "\xf0\x9f\x8c\xb8\xe6\x98\x8e \xe6\x9d\x8e", " \xf0\x9f\x8c\xb8\xe6\x98\x8e", "\xe6\x9d\x8e" } },
            "\xe6\x9d\x8e;\xf0\x9f\x8c\xb8\xe6\x98\x8e", 0);
    }
    void findsTheStoredContactOfTheNameWhateverTheImportsSize()
    {
        QFETCH(QList<QStringList>, stored);
        QFETCH(QByteArray, name);
        QFETCH(int, found);
        const auto card = [](const QByteArray& n, const QByteArray& tel) {
            return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + n + ";;;\r\nTEL;TYPE=CELL:" + tel + "\r\nEND:VCARD\r\n";
        };
        // Twelve other contacts stored: one card and its twin are small
        // next to them, with twelve more cards they are not. The twin goes
        // where the card went.
        QList<QStringList> others;
        QByteArray otherCards;
        for (int i = 0; i < 12; ++i) {
            others << QStringList { QStringLiteral("Stored%1 Person").arg(i) };
            otherCards += card("Other" + QByteArray::number(i) + ";Person", "555 01" + QByteArray::number(10 + i));
        }
        // The import says which way it finds names.
        QLoggingCategory::setFilterRules(QStringLiteral("app.db.debug=true"));
        const auto quiet = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
        for (const bool small : { true, false }) {
            cleanup();
            init();
            store(stored + others);
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(small ? QStringLiteral("^import of 2 contacts .* looks names up")
                                                                      : QStringLiteral("^import of 14 contacts .* reads the")));
            const QByteArray file = card(name, "555 0100") + (small ? QByteArray() : otherCards) + card(name, "555 0200");
            QCOMPARE(import(file, QStringLiteral("vcf")).size(), 1);
            SqlProbe probe(dbPath());
            const int into = probe.value(QStringLiteral("select contact_id from data where data1 = '555 0100'")).toInt();
            QCOMPARE(probe.value(QStringLiteral("select contact_id from data where data1 = '555 0200'")).toInt(), into);
            QCOMPARE(into, found >= 0 ? found + 1 : stored.size() + 13);
        }
    }

    // Names of thousands of words, as a damaged file gives them, looked up
    // among the stored ones take memory as they are long, not the square of
    // it, and the same file again finds each.
    void looksUpLongNamesInMemoryOfTheirLength()
    {
        QList<QStringList> others;
        for (int i = 0; i < 200; ++i)
            others << QStringList { QStringLiteral("Stored%1 Person").arg(i) };
        store(others);
        QByteArray file;
        for (int c = 0; c < 25; ++c) {
            QByteArray name;
            for (int w = 0; w < 2500; ++w)
                name += (w == 0 ? "" : " ") + QByteArray::number(c * 10000 + w, 36);
            file += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nTEL:555 01" + QByteArray::number(10 + c) + "\r\nEND:VCARD\r\n";
        }
        // The peak grows by no more than what the imports take at theirs.
        const auto peakMegabytes = [] {
            rusage usage {};
            getrusage(RUSAGE_SELF, &usage);
            return usage.ru_maxrss / 1024;
        };
        const long before = peakMegabytes();
        QCOMPARE(import(file, QStringLiteral("vcf")), QStringList { QStringLiteral("IDS_SUC_IMPORT_25_CONTACTS_TO_DB") });
        QCOMPARE(import(file, QStringLiteral("vcf")),
                 QStringList { QStringLiteral("IDS_SUC_IMPORT_0_CONTACTS_TO_DB_25_MERGED") });
        QVERIFY2(peakMegabytes() - before < 150, qPrintable(QStringLiteral("%1 MB more").arg(peakMegabytes() - before)));
    }

    // Files of several cards of the same people (data/merge), each of
    // them stored as the reference says, imported whole and card by card
    // in imports of their own; the same file imported three times more
    // changes no row. An address's parts are those of one card, whole, so
    // they make its text: the program's own vCard export of the contacts,
    // read back into the same database, changes no row, and read into an
    // empty one, stores the same rows.
    void storesCardsOfOnePersonAsTheReferenceSays_data() { golden::addRows("merge", QStringLiteral(".vcf")); }
    void storesCardsOfOnePersonAsTheReferenceSays()
    {
        QFETCH(QString, input);
        const QByteArray file = readScratch(input);
        QCOMPARE(import(file, QStringLiteral("vcf")).size(), 1);
        const QByteArray rows = storedContacts();
        golden::compareWithReference(rows, input);
        const QList<QVariantList> once = everyRow();
        for (int again = 2; again <= 4; ++again) {
            import(file, QStringLiteral("vcf"));
            QVERIFY2(everyRow() == once, qPrintable(QStringLiteral("import %1 changed the rows").arg(again)));
        }

        cleanup();
        init();
        const QByteArray end = "END:VCARD\r\n";
        for (qsizetype at = 0; at < file.size();) {
            const qsizetype next = file.indexOf(end, at) + end.size();
            QCOMPARE(import(file.mid(at, next - at), QStringLiteral("vcf")).size(), 1);
            at = next;
        }
        QCOMPARE(storedContacts(), rows);

        QList<pim::_Contact> contacts;
        {
            LocalDb db(dbPath(), QSharedPointer<LocalDbCombineRule>::create());
            for (const pim::_Contact& listed : db.contacts())
                contacts << db.contact(listed.id);
        }
        const QString exported = m_dir->filePath(QStringLiteral("exported.vcf"));
        RecordingReporter reporter;
        ExportToFileThread thread(contacts, ExportToFileThread::TYPE_VCARD, exported, &reporter);
        thread.start();
        QVERIFY(thread.wait(timebound::kWaitMs) && reporter.errors().isEmpty());
        const QByteArray own = readScratch(exported);
        const QList<QVariantList> before = everyRow();
        import(own, QStringLiteral("vcf"));
        QCOMPARE(everyRow(), before);
        cleanup();
        init();
        import(own, QStringLiteral("vcf"));
        QCOMPARE(storedContacts(), rows);
    }

    // Names of many scripts, stored as builds that kept the end blanks of
    // name parts stored them, and cards of the same people and of others:
    // an import small next to what is stored, which looks each name up in
    // the name index, and one that reads every stored name put every card
    // into the same contact; also in a file of this schema that another
    // tool made with its text in UTF-16, whose name index has another order.
    void findsTheSameContactWhicheverWayItLooks_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<QString>("encoding");
        for (const quint32 seed : { 7u, 1409u, 40961u })
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed << QStringLiteral("UTF-8");
        for (const quint32 seed : { 7u, 1409u })
            QTest::newRow(qPrintable(QStringLiteral("seed %1, UTF-16le").arg(seed))) << seed << QStringLiteral("UTF-16le");
        QTest::newRow("seed 40961, UTF-16be") << 40961u << QStringLiteral("UTF-16be");
    }
    void findsTheSameContactWhicheverWayItLooks()
    {
        QFETCH(quint32, seed);
        QFETCH(QString, encoding);
        if (encoding != QLatin1String("UTF-8")) {
            QFile schema(qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + QLatin1String("/resources/db_template.sql"));
            QVERIFY(QFile::remove(dbPath()) && QFile(dbPath()).open(QIODevice::WriteOnly) && schema.open(QIODevice::ReadOnly));
            SqlProbe(dbPath()).exec(QStringLiteral("PRAGMA encoding='%1';").arg(encoding) + QString::fromUtf8(schema.readAll()));
        }
        QCOMPARE(SqlProbe(dbPath()).value(QStringLiteral("PRAGMA encoding")).toString(), encoding);
        QRandomGenerator random(seed);
        const auto pick = [&random](const auto& list) { return list.at(random.bounded(int(std::size(list)))); };
        // Letters of those scripts, symbols at or above U+1100 that are
        // none (emoji, fullwidth digits and signs, kana marks, the middle
        // dot, the prolonged sound mark), and Latin names.
        const QStringList pieces = QString::fromUtf8(
            "\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e \xe6\x98\x8e \xe6\x9d\x8e \xe7\x8e\x8b \xe3\x81\x95\xe3\x81\x8f\xe3\x82\x89 "
            "\xe3\x82\xb5\xe3\x82\xaf\xe3\x83\xa9 \xea\xb9\x80 \xeb\xaf\xbc\xec\xa4\x80 \xec\x9d\xb4 \xf0\x9f\x8c\xb8 \xf0\x9f\x98\x80 "
            "\xe3\x83\xbb \xe3\x83\xbc \xe3\x80\x85 \xef\xbc\x91 \xef\xbc\xa1 \xe3\x82\x9b \xe3\x82\x9c \xe2\x80\xa2 "
            "Ann LEE de Van x \xc3\x85sa 7").split(u' ');
        const QStringList ends { QString(), QString(), QString(), QStringLiteral(" "), QStringLiteral("  "),
                                 QStringLiteral("\t"), QStringLiteral(" \t") };
        // A part of one to three pieces, some with a blank or tab between.
        const auto part = [&]() {
            QString text;
            for (int n = 1 + random.bounded(3); n > 0; --n) {
                if (!text.isEmpty() && random.bounded(4) == 0)
                    text += random.bounded(3) == 0 ? QStringLiteral("\t") : QStringLiteral(" ");
                text += pick(pieces);
            }
            return text;
        };
        // given, family, middle, title, suffix: the last three mostly empty.
        const auto parts = [&]() {
            QStringList p { part(), part(), QString(), QString(), QString() };
            for (int i = 2; i < 5; ++i) {
                if (random.bounded(5) == 0)
                    p[i] = part();
            }
            if (random.bounded(8) == 0)
                p[random.bounded(2)].clear();
            return p;
        };
        const QString columns[] = { QStringLiteral("data2"), QStringLiteral("data3"), QStringLiteral("data4"),
                                    QStringLiteral("data5"), QStringLiteral("data6") };
        const auto entityOf = [&columns](const QStringList& p) {
            pim::Entity e;
            for (int i = 0; i < 5; ++i)
                e.fields.insert(columns[i], p.at(i));
            return e;
        };
        const auto quoted = [](QString text) { return QLatin1Char('\'') + text.replace(u'\'', QLatin1String("''")) + u'\''; };

        // Stored: most of parts with end blanks, the name they make with
        // them; some of a name alone in another case or with odd blanks.
        constexpr int kStored = 1200;
        QList<QStringList> people;
        QString sql = QStringLiteral("begin;");
        for (int i = 0; i < kStored; ++i) {
            QStringList p = parts();
            people << p;
            if (random.bounded(6) == 0) {
                QString name = entityOf(p).fullName();
                name = pick(ends) + (random.bounded(2) ? name.toUpper() : name).replace(u' ', pick(ends) + u' ') + pick(ends);
                sql += QStringLiteral("insert into contact(src_id, full_name) values('', %1);").arg(quoted(name));
                continue;
            }
            for (QString& text : p) {
                if (!text.isEmpty())
                    text = pick(ends) + text + pick(ends);
            }
            const pim::Entity name = entityOf(p);
            sql += QStringLiteral("insert into contact(src_id, full_name) values('', %1);").arg(quoted(name.fullName()));
            QString values;
            for (const QString& text : p)
                values += u',' + quoted(text);
            sql += QStringLiteral("insert into data(type, contact_id, data1, data2, data3, data4, data5, data6) values(1, "
                                  "(select max(_id) from contact), %1%2);").arg(quoted(name.fullName()), values);
        }
        SqlProbe(dbPath()).exec(sql + QStringLiteral("commit;"));

        // Cards: most of stored people, as a file gives their parts, the
        // rest of new ones; each with a number of its own.
        constexpr int kCards = 250;
        QByteArray cards;
        for (int i = 0; i < kCards; ++i) {
            const QStringList p = random.bounded(4) == 0 ? parts() : pick(people);
            cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + QStringList { p.at(1), p.at(0), p.at(2), p.at(3), p.at(4) }.join(u';').toUtf8()
                + "\r\nTEL:555 1" + QByteArray::number(1000 + i) + "\r\nEND:VCARD\r\n";
        }
        // Cards of other names after them turn the same import into a large one.
        QByteArray others;
        for (int i = 0; i < kStored / 4 - kCards; ++i)
            others += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Other;Person" + QByteArray::number(i) + ";;;\r\nEND:VCARD\r\n";

        const QString stored = m_dir->filePath(QStringLiteral("stored.db"));
        QVERIFY(QFile::copy(dbPath(), stored));
        QLoggingCategory::setFilterRules(QStringLiteral("app.db.debug=true"));
        const auto quiet = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
        QMap<QString, QVariant> contactOf[2];
        for (const bool small : { true, false }) {
            QVERIFY(QFile::remove(dbPath()) && QFile::copy(stored, dbPath()));
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(small ? QStringLiteral("^import of \\d+ contacts .* looks names up")
                                                                      : QStringLiteral("^import of \\d+ contacts .* reads the")));
            QCOMPARE(import(small ? cards : cards + others, QStringLiteral("vcf")).size(), 1);
            for (const QVariantList& row : SqlProbe(dbPath()).rows(QStringLiteral("select data1, contact_id from data where type = 3")))
                contactOf[small].insert(row.at(0).toString(), row.at(1));
        }
        QCOMPARE(contactOf[true].size(), kCards);
        QCOMPARE(contactOf[true], contactOf[false]);
        // Most cards went into a stored contact.
        const auto intoStored = std::count_if(contactOf[true].cbegin(), contactOf[true].cend(),
                                              [](const QVariant& id) { return id.toInt() <= kStored; });
        QVERIFY2(intoStored > kCards / 2, qPrintable(QString::number(intoStored)));
    }
};

QTEST_GUILESS_MAIN(TestImportIntoStored)
#include "tst_importintostored.moc"
