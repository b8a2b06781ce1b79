// SPDX-License-Identifier: GPL-3.0-or-later
// Files imported through the real import thread into real database files
// that already hold contacts: which stored contact and value each incoming
// one is found to be.
#include "fileformats/importcontactstolocalthread.h"

#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/recordingreporter.h"
#include "scratchfiles.h"
#include "common/sqlprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <memory>

namespace {

QString earlierDir()
{
    return qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + QLatin1String("/tests/fileformats/data/earlier");
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A stored contact as plain SQL writes it, with a name row of its given
// and family name when they are given.
struct Stored {
    Stored() = default;
    Stored(QString name, QString givenName = QString(), QString familyName = QString(), QString titleName = QString())
        : fullName(std::move(name))
        , given(std::move(givenName))
        , family(std::move(familyName))
        , title(std::move(titleName))
    {
    }
    QString fullName;
    QString given;
    QString family;
    QString title;
};

} // namespace

Q_DECLARE_METATYPE(Stored)

namespace {

QString quoted(QString text)
{
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
}

} // namespace

class TestImportIntoStored : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalDb> m_db;

    QString dbPath() const { return m_dir->filePath(QStringLiteral("local.db")); }
    // The ending of importing the file.
    QStringList import(const QByteArray& bytes, const QString& suffix)
    {
        const QString path = writeScratch(*m_dir, bytes, suffix);
        RecordingReporter reporter;
        ImportContactsToLocalThread thread(path,
                                           suffix == QLatin1String("csv") ? ImportContactsToLocalThread::TYPE_CSV
                                                                          : ImportContactsToLocalThread::TYPE_VCARD,
                                           m_db.get(), &reporter);
        thread.start();
        if (!thread.wait(60000))
            return { QStringLiteral("the import did not end") };
        m_db->close();
        return reporter.successes() + reporter.errors();
    }
    QList<QVariantList> everyRow()
    {
        SqlProbe probe(dbPath());
        return probe.rows(QStringLiteral("select 'contact', * from contact order by _id"))
            + probe.rows(QStringLiteral("select 'data', * from data order by _id"))
            + probe.rows(QStringLiteral("select 'group', * from contact_group order by _id"));
    }
    void store(const QList<Stored>& contacts)
    {
        SqlProbe probe(dbPath());
        for (const Stored& c : contacts) {
            probe.exec(QStringLiteral("insert into contact(src_id, full_name) values('', %1)").arg(quoted(c.fullName)));
            if (!c.given.isNull() || !c.family.isNull())
                probe.exec(QStringLiteral("insert into data(type, contact_id, data1, data2, data3, data5) values(1, "
                                          "(select max(_id) from contact), %1, %2, %3, %4)")
                               .arg(quoted(c.fullName), quoted(c.given), quoted(c.family), quoted(c.title)));
        }
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_db = std::make_unique<LocalDb>(dbPath(), QSharedPointer<LocalDbCombineRule>::create());
        m_db->create();
        m_db->close();
    }
    void cleanup()
    {
        m_db.reset();
        m_dir.reset();
    }

    // A database that builds before the readers dropped the blanks at the
    // ends of values filled from a file, its rows as they wrote them (an
    // address's text and a name put together from parts with such blanks:
    // "Springfield , 12345", "山田 太郎"), merges the same file again, and
    // that build's own vCard and CSV exports of it, without a second row
    // and without changing one.
    void mergesWhatEarlierBuildsStoredOfPartsWithEndBlanks_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("file");
        const QDir dir(earlierDir());
        const QStringList cases = dir.entryList({ QStringLiteral("*.sql") }, QDir::Files, QDir::Name);
        QVERIFY(!cases.isEmpty());
        for (const QString& sql : cases) {
            const QString name = sql.chopped(4);
            const QString own = dir.exists(name + QLatin1String(".csv")) ? name + QLatin1String(".csv")
                                                                         : name + QLatin1String(".vcf");
            for (const QString& file : { own, name + QLatin1String(".export.vcf"), name + QLatin1String(".export.csv") })
                QTest::newRow(qPrintable(file)) << dir.filePath(sql) << dir.filePath(file);
        }
    }
    void mergesWhatEarlierBuildsStoredOfPartsWithEndBlanks()
    {
        QFETCH(QString, rows);
        QFETCH(QString, file);
        SqlProbe(dbPath()).exec(QString::fromUtf8(readAll(rows)));
        const QList<QVariantList> before = everyRow();
        const int contacts = SqlProbe(dbPath()).value(QStringLiteral("select count(*) from contact")).toInt();
        QVERIFY(contacts > 0);
        const QStringList ending = import(readAll(file), QFileInfo(file).suffix());
        QCOMPARE(ending, QStringList { QStringLiteral("IDS_SUC_IMPORT_0_CONTACTS_TO_DB_%1_MERGED").arg(contacts) });
        const QList<QVariantList> after = everyRow();
        for (const QVariantList& row : after)
            QVERIFY2(before.contains(row), qPrintable(QStringLiteral("new or changed: ") + row.value(0).toString() + QLatin1Char(' ')
                                                      + row.value(1).toString()));
        QCOMPARE(after, before);
    }

    // A note's indents, runs of blanks and tabs are its layout: notes of one
    // person that differ only in them are kept each, from one card or from
    // two files, and the same file again adds none.
    void keepsNotesThatDifferOnlyInLayout_data()
    {
        QTest::addColumn<QList<QByteArray>>("notes");
        QTest::addColumn<bool>("twoFiles");
        const QList<QByteArray> menu { "Menu:\\n    - soup\\n    - salad", "Menu:\\n- soup\\n- salad" };
        const QList<QByteArray> hours { "Mon    9-5", "Mon 9-5" };
        const QList<QByteArray> code { "Code\t1234", "Code 1234" };
        for (const bool two : { false, true }) {
            const char* where = two ? ", in two files" : ", in one card";
            QTest::newRow(qPrintable(QStringLiteral("indented lines and lines without") + QLatin1String(where)))
                << menu << two;
            QTest::newRow(qPrintable(QStringLiteral("a run of blanks and one blank") + QLatin1String(where))) << hours << two;
            QTest::newRow(qPrintable(QStringLiteral("a tab and a blank") + QLatin1String(where))) << code << two;
            QTest::newRow(qPrintable(QStringLiteral("all three pairs") + QLatin1String(where)))
                << QList<QByteArray> { menu.at(0), menu.at(1), hours.at(0), hours.at(1), code.at(0), code.at(1) }
                << two;
        }
    }
    void keepsNotesThatDifferOnlyInLayout()
    {
        QFETCH(QList<QByteArray>, notes);
        QFETCH(bool, twoFiles);
        const auto card = [](const QList<QByteArray>& lines) {
            QByteArray text = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Ola;;;\r\nFN:Ola Berg\r\n";
            for (const QByteArray& line : lines)
                text += "NOTE:" + line + "\r\n";
            return text + "END:VCARD\r\n";
        };
        // Two files: the first of each pair in one, the second in the other.
        QList<QList<QByteArray>> parts { notes };
        if (twoFiles) {
            parts = { {}, {} };
            for (qsizetype i = 0; i < notes.size(); ++i)
                parts[i % 2].append(notes.at(i));
        }
        QList<QByteArray> files;
        QStringList written;
        for (const QList<QByteArray>& part : std::as_const(parts)) {
            files << card(part);
            for (const QByteArray& note : part)
                written << QString::fromUtf8(QByteArray(note).replace("\\n", "\n"));
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
        QTest::addColumn<QList<Stored>>("stored");
        QTest::addColumn<QByteArray>("name"); // the N of the card
        QTest::addColumn<int>("found");       // place in `stored`, -1 for a new contact
        const auto row = [](const char* what, QList<Stored> stored, const char* name, int found) {
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
            { { "Kim Park" }, { "\xe6\x98\x8e \xe6\x9d\x8e", " \xe6\x98\x8e", "\xe6\x9d\x8e" } },
            "\xe6\x9d\x8e;\xe6\x98\x8e", 1);
        row("a Chinese name of that order whose family name came after a blank",
            { { "\xe6\x98\x8e  \xe7\x8e\x8b", "\xe6\x98\x8e", " \xe7\x8e\x8b" } }, "\xe7\x8e\x8b;\xe6\x98\x8e", 0);
        row("a Chinese name with a title, in the order of a Latin name",
            { { "Dr\t  \xe6\x98\x8e \xe6\x9d\x8e", " \xe6\x98\x8e", "\xe6\x9d\x8e", "Dr\t" } }, "\xe6\x9d\x8e;\xe6\x98\x8e;;Dr", 0);
        row("a Chinese name with another title",
            { { "Prof  \xe6\x98\x8e \xe6\x9d\x8e", " \xe6\x98\x8e", "\xe6\x9d\x8e", "Prof" } }, "\xe6\x9d\x8e;\xe6\x98\x8e;;Dr", -1);
        row("a Japanese name with a blank, parts without end blanks, is another",
            { { "\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e", "\xe5\xa4\xaa\xe9\x83\x8e", "\xe5\xb1\xb1\xe7\x94\xb0" } },
            "\xe5\xb1\xb1\xe7\x94\xb0;\xe5\xa4\xaa\xe9\x83\x8e", -1);
        row("a Chinese name whose parts make another name",
            { { "\xe6\x98\x8e \xe6\x9d\x8e", " \xe6\x98\x8e", "\xe6\x9d\x8e" } }, "\xe7\x8e\x8b;\xe6\x98\x8e", -1);
    }
    void findsTheStoredContactOfTheNameWhateverTheImportsSize()
    {
        QFETCH(QList<Stored>, stored);
        QFETCH(QByteArray, name);
        QFETCH(int, found);
        const auto card = [](const QByteArray& n, const QByteArray& tel) {
            return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + n + ";;;\r\nTEL;TYPE=CELL:" + tel + "\r\nEND:VCARD\r\n";
        };
        QByteArray others;
        for (int i = 0; i < 12; ++i)
            others += card("Other" + QByteArray::number(i) + ";Person", "555 01" + QByteArray::number(10 + i));
        // Twelve other contacts stored: one card is small next to them,
        // thirteen are not. The card's own twin, later in the file, goes
        // where the card went.
        const QByteArray twin = card(name, "555 0200");
        // The import says which way it finds names.
        QLoggingCategory::setFilterRules(QStringLiteral("app.db.debug=true"));
        const auto quiet = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
        for (const bool small : { true, false }) {
            cleanup();
            init();
            store(stored);
            for (int i = 0; i < 12; ++i)
                store({ { QStringLiteral("Stored%1 Person").arg(i) } });
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(small ? QStringLiteral("^import of 2 contacts .* looks names up")
                                                                      : QStringLiteral("^import of 14 contacts .* reads the")));
            const QByteArray file = card(name, "555 0100") + (small ? QByteArray() : others) + twin;
            QCOMPARE(import(file, QStringLiteral("vcf")).size(), 1);
            SqlProbe probe(dbPath());
            const QVariant into = probe.value(QStringLiteral("select contact_id from data where data1 = '555 0100'"));
            QCOMPARE(probe.value(QStringLiteral("select contact_id from data where data1 = '555 0200'")), into);
            if (found >= 0)
                QCOMPARE(into.toInt(), found + 1);
            else
                QVERIFY(into.toInt() > stored.size() + 12);
        }
    }
};

QTEST_GUILESS_MAIN(TestImportIntoStored)
#include "tst_importintostored.moc"
