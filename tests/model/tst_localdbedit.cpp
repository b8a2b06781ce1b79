// SPDX-License-Identifier: GPL-3.0-or-later
// The edit guard the worker threads share: whatever ends the scope, the
// connection is back at the level it was, and only a commit keeps rows.
#include "common/sqlprobe.h"
#include "model/localdb.h"
#include "model/localdbedit.h"

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>


Q_LOGGING_CATEGORY(lcTest, "test.localdbedit")

class TestLocalDbEdit : public QObject {
    Q_OBJECT

private slots:
    void endsTheEditOnEveryWayOut_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("kept");
        QTest::newRow("commit") << "commit" << true;
        QTest::newRow("scope left without commit") << "leave" << false;
    }
    void endsTheEditOnEveryWayOut()
    {
        QFETCH(QString, ending);
        QFETCH(bool, kept);
        QTemporaryDir dir;
        const QString path = dir.filePath("e.db");
        QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
        db->create();
        {
            LocalDbEdit edit(*db, lcTest(), "rollback of the test edit");
            db->getGroupIdOrAdd("Inside");
            if (ending == "commit")
                edit.commit();
        }
        // A level left open would swallow this commit into the outer edit,
        // and the probe's own connection would not see the row.
        db->beginEdit();
        db->getGroupIdOrAdd("After");
        db->endEdit(true);
        SqlProbe probe(path);
        QCOMPARE(probe.column("select name from contact_group order by name"),
                 kept ? QStringList({"After", "Inside"}) : QStringList({"After"}));
    }
};

QTEST_MAIN(TestLocalDbEdit)
#include "tst_localdbedit.moc"
