// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/messagebox.h"
#include "support/messageboxrecorder.h"
#include "kit/messagetext.h"
#include "kit/makerconfig.h"
#include "kit/productinfo.h"
#include "kit/tips.h"

#include "kit/winmovable.h"

#include <QDialog>
#include <QScreen>
#include <QTest>
#include <QTextDocument>

Q_DECLARE_METATYPE(QMessageBox::Icon)

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void keepsAMovableWindowOnItsScreen_data();
    void keepsAMovableWindowOnItsScreen();
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
        if (icon == QMessageBox::Critical)
            QCOMPARE(box.shown.count(text), 1);
        else
            QCOMPARE(box.shown, text);
        QCOMPARE(box.title, product::title());
        QVERIFY(box.styled);
        QVERIFY(box.flags.testFlag(Qt::FramelessWindowHint));
        QCOMPARE(box.flags & Qt::WindowType_Mask, Qt::Dialog);
    }

    void namesASupportAddressOnlyWhenOneIsConfigured_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("ending");
        QTest::newRow("none configured") << "" << "disk full";
        QTest::newRow("blank counts as none") << "  " << "disk full";
        QTest::newRow("configured") << "help@example.org" << "disk full<br/><br/> Or you can contact help@example.org for help.";
        QTest::newRow("escaped") << "a&b@example.org" << "contact a&amp;b@example.org for help.";
    }

    void namesASupportAddressOnlyWhenOneIsConfigured()
    {
        QFETCH(QString, address);
        QFETCH(QString, ending);
        qputenv(maker::kSupportEmailName, address.toUtf8());
        MessageBoxRecorder boxes;
        Tips::error(QStringLiteral("disk full"));
        qunsetenv(maker::kSupportEmailName);
        QCOMPARE(boxes.count(), 1);
        const QString text = boxes.boxes().first().text;
        QVERIFY2(text.endsWith(ending), qPrintable(text));
        QCOMPARE(text.contains(QLatin1String("contact")), !address.trimmed().isEmpty());
    }

    // Data joins the program's own markup only escaped: it reads as written
    // and never becomes a link, while the own markup stays markup.
    void showsDataAsWritten_data()
    {
        QTest::addColumn<QString>("data");
        QTest::newRow("link") << "<a href=\"file:///etc/passwd\">open</a>.db";
        QTest::newRow("entity and ampersand") << "Tom &amp; Jerry & Co.db";
        QTest::newRow("placeholders") << "%2 and %1.db";
        QTest::newRow("image") << "<img src=\":res/trust-android.png\">";
    }
    void showsDataAsWritten()
    {
        QFETCH(QString, data);
        MessageBoxRecorder boxes;
        Tips::warning(data);
        Tips::error(BoxText::markup("<a href=\"https://example.com/help\">Help</a>: %1, %2").arg(data, "second"));
        Tips::info(BoxText("%1 < %2").arg(data).arg(7));
        g_showMessageBox(QMessageBox::Warning, BoxText::markup("<b>%1</b>").arg(BoxText(data)), QMessageBox::Ok, true);

        QCOMPARE(boxes.count(), 4);
        QCOMPARE(boxes.boxes().at(0).shown, data);
        QVERIFY(boxes.boxes().at(1).shown.contains("Help: " + data + ", second"));
        QCOMPARE(boxes.boxes().at(1).links, QStringList { "https://example.com/help" });
        QCOMPARE(boxes.boxes().at(2).shown, data + " < 7");
        QVERIFY(boxes.boxes().at(3).shown.endsWith("\n\n" + data) || boxes.boxes().at(3).shown.endsWith(data));
        for (const MessageBoxRecorder::Box& box : boxes.boxes()) {
            QCOMPARE(box.textFormat, Qt::RichText);
            QVERIFY2(!box.links.contains("file:///etc/passwd") && !box.text.contains("<img"), qPrintable(box.text));
        }
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

// A movable frameless window larger than its screen's free area is shrunk
// and moved into it when shown, a fixed size included; one that fits keeps
// its place and size.
void TestMessageBox::keepsAMovableWindowOnItsScreen_data()
{
    QTest::addColumn<QRect>("placed");
    QTest::addColumn<bool>("fixed");
    QTest::newRow("taller and wider than the screen, fixed") << QRect(50, 40, 2000, 1500) << true;
    QTest::newRow("hanging off the bottom right") << QRect(700, 700, 300, 200) << false;
    QTest::newRow("fits: left alone") << QRect(10, 20, 300, 200) << false;
}

void TestMessageBox::keepsAMovableWindowOnItsScreen()
{
    QFETCH(QRect, placed);
    QFETCH(bool, fixed);
    QDialog window;
    window.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    WinMovable movable(&window);
    if (fixed)
        window.setFixedSize(placed.size());
    window.setGeometry(placed);
    window.show();
    const QRect area = window.screen()->availableGeometry();
    QVERIFY2(area.contains(window.geometry()), qPrintable(QString("%1,%2 %3x%4").arg(window.x()).arg(window.y())
                                                              .arg(window.width()).arg(window.height())));
    if (area.contains(placed))
        QCOMPARE(window.geometry(), placed);
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
