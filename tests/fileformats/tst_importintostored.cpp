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
};

QTEST_GUILESS_MAIN(TestImportIntoStored)
#include "tst_importintostored.moc"
