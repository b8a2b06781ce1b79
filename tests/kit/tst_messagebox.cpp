// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/errorreport.h"
#include "kit/messagebox.h"
#include "support/messageboxrecorder.h"
#include "support/modaldialoganswerer.h"
#include "kit/productinfo.h"
#include "kit/messagetext.h"
#include "kit/tips.h"

#include <QAbstractButton>
#include <QMap>
#include <QTest>
#include <QTextDocument>

Q_DECLARE_METATYPE(QMessageBox::Icon)

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void buildsEachTipsBox_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QMessageBox::Icon>("icon");

        QTest::newRow("info") << "Successfully deleted contact." << QMessageBox::Information;
        QTest::newRow("warning with angle brackets shown as written")
            << "Invalid Local Database name(can't contain \\ / : * ? \" < > |)." << QMessageBox::Warning;
        QTest::newRow("question") << "Discard the editing?" << QMessageBox::Question;
        QTest::newRow("error in the support template") << "disk full" << QMessageBox::Critical;
        QTest::newRow("error text with a placeholder is not expanded") << "value %2 missing" << QMessageBox::Critical;
    }

    // Plain text shown as written; only the error box wraps the text, once
    // and unexpanded, in its rich-text support template.
    void buildsEachTipsBox()
    {
        QFETCH(QString, text);
        QFETCH(QMessageBox::Icon, icon);

        MessageBoxRecorder boxes;
        switch (icon) {
        case QMessageBox::Information: Tips::info(text); break;
        case QMessageBox::Warning: Tips::warning(text); break;
        case QMessageBox::Question: Tips::question(text); break;
        default: Tips::error(text);
        }

        QCOMPARE(boxes.count(), 1);
        const MessageBoxRecorder::Box& box = boxes.boxes().first();
        QCOMPARE(box.icon, icon);
        QCOMPARE(box.buttons.size(), icon == QMessageBox::Question ? 2 : 1);
        QVERIFY(icon == QMessageBox::Question ? box.buttons.contains(QMessageBox::Yes) && box.buttons.contains(QMessageBox::No)
                                              : box.buttons.first() == QMessageBox::Ok);
        const bool error = icon == QMessageBox::Critical;
        QCOMPARE(box.textFormat, error ? Qt::RichText : Qt::PlainText);
        if (error)
            QCOMPARE(box.text.count(text), 1);
        else
            QCOMPARE(box.text, text);
        QCOMPARE(box.title, product::title());
        QVERIFY(box.styled);
        QVERIFY(box.flags.testFlag(Qt::FramelessWindowHint));
        QCOMPARE(box.flags & Qt::WindowType_Mask, Qt::Dialog);
    }

    // Escaped data must still make the box take rich text, or the escapes
    // would show.
    void showsEscapedDataAsWritten()
    {
        for (const QString data : { "<a href=\"file:///etc/passwd\">open</a>.db", "Tom & Jerry.db" }) {
            MessageBoxRecorder boxes;
            Tips::warning(g_messageText(data));
            QTextDocument shown;
            shown.setHtml(boxes.boxes().first().text);
            QVERIFY(boxes.boxes().first().textFormat == Qt::RichText && shown.toPlainText() == data);
        }
    }

    void answersQuestionOnlyWithYes_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("No") << int(QMessageBox::No) << false;
        QTest::newRow("a button it never showed") << int(QMessageBox::Retry) << false;
    }

    void answersQuestionOnlyWithYes()
    {
        QFETCH(int, answer);
        QFETCH(bool, expected);
        MessageBoxHandler previous = setMessageBoxHandler([answer](QMessageBox&) { return answer; });
        const bool result = Tips::question(QStringLiteral("Confirm to delete the Group?"));
        setMessageBoxHandler(std::move(previous));
        QCOMPARE(result, expected);
    }

    void honoursOnlySixButtons_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QStringList>("expected"); // shown button texts, in the order of their codes

        QTest::newRow("all six") << int(QMessageBox::Retry | QMessageBox::Abort | QMessageBox::Cancel | QMessageBox::Ok
                                        | QMessageBox::No | QMessageBox::Yes)
                                 << QStringList { "OK", "Yes", "No", "Abort", "Retry", "Cancel" };
        QTest::newRow("unhonoured buttons dropped") << int(QMessageBox::Save | QMessageBox::Help | QMessageBox::No)
                                                    << QStringList { "No" };
        QTest::newRow("none honoured") << int(QMessageBox::Save | QMessageBox::Discard) << QStringList {};
    }

    void honoursOnlySixButtons()
    {
        QFETCH(int, buttons);
        QFETCH(QStringList, expected);

        MessageBoxRecorder boxes;
        g_showMessageBox(QMessageBox::Warning, QStringLiteral("Can't connect to your Android Phone: x."), buttons, true);
        QCOMPARE(boxes.count(), 1);
        // The button box lays the buttons out by role: compare them by code.
        const MessageBoxRecorder::Box& box = boxes.boxes().first();
        QMap<int, QString> shown;
        for (int i = 0; i < box.buttons.size(); ++i)
            shown.insert(box.buttons.at(i), box.buttonTexts.at(i));
        QCOMPARE(shown.values(), expected);
        QVERIFY(box.text.startsWith(QLatin1String("<nobr><b>")));
    }

    void reportsErrorsAfterTheBox()
    {
        MessageBoxRecorder boxes;
        QStringList reports;
        int boxesWhenReported = -1;
        ErrorReportHook previous = setErrorReportHook([&](const QString& err) {
            reports.append(err);
            boxesWhenReported = boxes.count();
        });
        Tips::error(QStringLiteral("line one<br/>line two"));
        Tips::warning(QStringLiteral("not reported"));
        setErrorReportHook(std::move(previous));

        QCOMPARE(reports, QStringList { "line one<br/>line two" });
        QCOMPARE(boxesWhenReported, 1); // the box was closed before the report went out
    }

    void returnsThePressedButtonFromARealBox()
    {
        ModalDialogAnswerer answerer([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box && box->button(QMessageBox::Abort));
            box->button(QMessageBox::Abort)->click();
        });
        const int result
            = g_showMessageBox(QMessageBox::Warning, QStringLiteral("x"), QMessageBox::Retry | QMessageBox::Abort, true);
        QVERIFY(answerer.answered());
        QCOMPARE(result, int(QMessageBox::Abort));
    }

    void leavesABoxWithoutButtonsClosable()
    {
        // A frameless box the user cannot close would hang the program: the
        // toolkit's own OK must still appear when none of the six was asked for.
        int shownButtons = -1;
        MessageBoxHandler previous = setMessageBoxHandler([&](QMessageBox& box) {
            box.show();
            shownButtons = int(box.buttons().size());
            box.hide();
            return 0;
        });
        g_showMessageBox(QMessageBox::Information, QStringLiteral("x"), QMessageBox::Save, false);
        setMessageBoxHandler(std::move(previous));
        QCOMPARE(shownButtons, 1);
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
