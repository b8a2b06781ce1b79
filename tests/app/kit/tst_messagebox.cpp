// SPDX-License-Identifier: GPL-3.0-or-later
#include "errorreport.h"
#include "messagebox.h"
#include "messageboxrecorder.h"
#include "modaldialoganswerer.h"
#include "productinfo.h"
#include "tips.h"

#include <QAbstractButton>
#include <QMap>
#include <QSet>
#include <QTest>

Q_DECLARE_METATYPE(QMessageBox::Icon)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)

using ButtonList = QList<QMessageBox::StandardButton>;
Q_DECLARE_METATYPE(ButtonList)

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void shouldBuildEachTipsBox_data();
    void shouldBuildEachTipsBox();
    void shouldAnswerQuestionOnlyWithYes_data();
    void shouldAnswerQuestionOnlyWithYes();
    void shouldHonourOnlySixButtons_data();
    void shouldHonourOnlySixButtons();
    void shouldReportErrorsAfterTheBox_data();
    void shouldReportErrorsAfterTheBox();
    void shouldReturnThePressedButtonFromARealBox_data();
    void shouldReturnThePressedButtonFromARealBox();
    void shouldLeaveABoxWithoutButtonsClosable();
};

void TestMessageBox::shouldBuildEachTipsBox_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<ButtonList>("buttons");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<Qt::TextFormat>("expectedFormat");

    const QString header = QStringLiteral("<nobr><b>Quorvantile Marrowlink for Mac v3.1.13</b></nobr><br/><br/>");
    QTest::newRow("info") << "info" << "Successfully deleted contact." << QMessageBox::Information
                          << ButtonList { QMessageBox::Ok } << "Successfully deleted contact."
        << Qt::PlainText;
    QTest::newRow("warning") << "warning" << "Invalid password." << QMessageBox::Warning
                             << ButtonList { QMessageBox::Ok } << "Invalid password."
        << Qt::PlainText;
    QTest::newRow("question") << "question" << "Discard the editing?" << QMessageBox::Question
                              << ButtonList { QMessageBox::Yes, QMessageBox::No } << "Discard the editing?"
        << Qt::PlainText;
    QTest::newRow("error with header and template")
        << "error" << "disk full" << QMessageBox::Critical << ButtonList { QMessageBox::Ok }
        << header
            + "An Error Occurred. <br/><br/>disk full<br/><br/> Or you can contact support@quorvantile.com for help."
        << Qt::RichText;
    QTest::newRow("error text keeps its own line breaks")
        << "error" << "Failed to connect.<br/>usb: 1-2" << QMessageBox::Critical << ButtonList { QMessageBox::Ok }
        << header
            + "An Error Occurred. <br/><br/>Failed to connect.<br/>usb: 1-2<br/><br/> Or you can contact "
              "support@quorvantile.com for help."
        << Qt::RichText;
    QTest::newRow("error text with a placeholder is not expanded")
        << "error" << "value %2 missing" << QMessageBox::Critical << ButtonList { QMessageBox::Ok }
        << header
            + "An Error Occurred. <br/><br/>value %2 missing<br/><br/> Or you can contact "
              "support@quorvantile.com for help."
        << Qt::RichText;
    QTest::newRow("plain text with angle brackets shown as written")
        << "warning" << "Invalid Local Database name(can't contain \\ / : * ? \" < > |)." << QMessageBox::Warning
        << ButtonList { QMessageBox::Ok } << "Invalid Local Database name(can't contain \\ / : * ? \" < > |)."
        << Qt::PlainText;
}

void TestMessageBox::shouldBuildEachTipsBox()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(ButtonList, buttons);
    QFETCH(QString, expectedText);
    QFETCH(Qt::TextFormat, expectedFormat);

    MessageBoxRecorder boxes;
    if (kind == QLatin1String("info"))
        Tips::info(text);
    else if (kind == QLatin1String("warning"))
        Tips::warning(text);
    else if (kind == QLatin1String("question"))
        Tips::question(text);
    else
        Tips::error(text);

    QCOMPARE(boxes.count(), 1);
    const MessageBoxRecorder::Box& box = boxes.boxes().first();
    QCOMPARE(box.icon, icon);
    QCOMPARE(QSet<QMessageBox::StandardButton>(box.buttons.cbegin(), box.buttons.cend()),
        QSet<QMessageBox::StandardButton>(buttons.cbegin(), buttons.cend()));
    QCOMPARE(box.text, expectedText);
    QCOMPARE(box.title, product::title());
    QCOMPARE(box.textFormat, expectedFormat);
    QVERIFY(box.styled);
    QVERIFY(box.flags.testFlag(Qt::FramelessWindowHint));
    QCOMPARE(box.flags & Qt::WindowType_Mask, Qt::Dialog);
}

void TestMessageBox::shouldAnswerQuestionOnlyWithYes_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("expected");
    QTest::newRow("Yes") << int(QMessageBox::Yes) << true;
    QTest::newRow("No") << int(QMessageBox::No) << false;
    QTest::newRow("closed some other way") << 0 << false;
    QTest::newRow("a button it never showed") << int(QMessageBox::Retry) << false;
}

void TestMessageBox::shouldAnswerQuestionOnlyWithYes()
{
    QFETCH(int, answer);
    QFETCH(bool, expected);
    MessageBoxHandler previous = setMessageBoxHandler([answer](QMessageBox&) { return answer; });
    const bool result = Tips::question(QStringLiteral("Confirm to delete the Group?"));
    setMessageBoxHandler(std::move(previous));
    QCOMPARE(result, expected);
}

void TestMessageBox::shouldHonourOnlySixButtons_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<ButtonList>("expected");
    QTest::addColumn<QStringList>("expectedTexts");

    QTest::newRow("all six")
        << int(QMessageBox::Retry | QMessageBox::Abort | QMessageBox::Cancel | QMessageBox::Ok | QMessageBox::No
               | QMessageBox::Yes)
        << ButtonList { QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Abort,
               QMessageBox::Retry }
        << QStringList { "Yes", "No", "OK", "Cancel", "Abort", "Retry" };
    QTest::newRow("Retry and Abort") << int(QMessageBox::Retry | QMessageBox::Abort)
                                     << ButtonList { QMessageBox::Abort, QMessageBox::Retry }
                                     << QStringList { "Abort", "Retry" };
    QTest::newRow("unhonoured buttons dropped") << int(QMessageBox::Save | QMessageBox::Help | QMessageBox::No)
                                                << ButtonList { QMessageBox::No } << QStringList { "No" };
    QTest::newRow("none honoured") << int(QMessageBox::Save | QMessageBox::Discard) << ButtonList {}
                                   << QStringList {};
}

void TestMessageBox::shouldHonourOnlySixButtons()
{
    QFETCH(int, buttons);
    QFETCH(ButtonList, expected);
    QFETCH(QStringList, expectedTexts);

    MessageBoxRecorder boxes;
    g_showMessageBox(QMessageBox::Warning, QStringLiteral("Can't connect to your Android Phone: x."), buttons, true);
    QCOMPARE(boxes.count(), 1);
    // The button box lays the buttons out by role, so compare them as pairs
    // of button and text, in a fixed order.
    const MessageBoxRecorder::Box& box = boxes.boxes().first();
    QMap<int, QString> shown;
    for (int i = 0; i < box.buttons.size(); ++i)
        shown.insert(box.buttons.at(i), box.buttonTexts.at(i));
    QMap<int, QString> want;
    for (int i = 0; i < expected.size(); ++i)
        want.insert(expected.at(i), expectedTexts.at(i));
    QCOMPARE(box.buttons.size(), expected.size());
    QCOMPARE(shown, want);
    QVERIFY(boxes.boxes().first().text.startsWith(QLatin1String("<nobr><b>")));
}

void TestMessageBox::shouldReportErrorsAfterTheBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain text") << "mobilesync_finish failed. return -5.";
    QTest::newRow("rich text kept unwrapped") << "line one<br/>line two";
    QTest::newRow("empty text") << "";
}

void TestMessageBox::shouldReportErrorsAfterTheBox()
{
    QFETCH(QString, text);
    MessageBoxRecorder boxes;
    QStringList reports;
    int boxesWhenReported = -1;
    ErrorReportHook previous = setErrorReportHook([&](const QString& err) {
        reports.append(err);
        boxesWhenReported = boxes.count();
    });
    Tips::error(text);
    Tips::warning(QStringLiteral("not reported"));
    setErrorReportHook(std::move(previous));

    QCOMPARE(reports, QStringList { text });
    QCOMPARE(boxesWhenReported, 1); // the box was closed before the report went out
}

void TestMessageBox::shouldReturnThePressedButtonFromARealBox_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("press");
    QTest::newRow("Retry") << QMessageBox::Retry;
    QTest::newRow("Abort") << QMessageBox::Abort;
}

void TestMessageBox::shouldReturnThePressedButtonFromARealBox()
{
    QFETCH(QMessageBox::StandardButton, press);
    ModalDialogAnswerer answerer([press](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        QVERIFY(box->button(press));
        box->button(press)->click();
    });
    const int result = g_showMessageBox(QMessageBox::Warning, QStringLiteral("x"),
        QMessageBox::Retry | QMessageBox::Abort, true);
    QVERIFY(answerer.answered());
    QCOMPARE(result, int(press));
}

void TestMessageBox::shouldLeaveABoxWithoutButtonsClosable()
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

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
