// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/messagebox.h"
#include "support/messageboxrecorder.h"
#include "kit/messagetext.h"
#include "kit/makerconfig.h"
#include "kit/productinfo.h"
#include "kit/tips.h"

#include "kit/winmovable.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QMimeData>
#include <QProxyStyle>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include <QTextOption>

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

    // Whatever the box shows stays inside it: a long path wraps, even
    // where it has no place to break, and nothing of it is lost.
    void wrapsLongTextInsideTheBox_data()
    {
        QTest::addColumn<QString>("data");
        QString component;
        while (component.size() < 250)
            component += QStringLiteral("VeryLongFolderNameWithoutAnyBreaks_");
        QTest::newRow("path of 300 characters")
            << QStringLiteral("/Users/someone/Library/Application Support/%1.vcf").arg(component.left(246));
        QTest::newRow("name of references and accents")
            << QString(QStringLiteral("T&o<m>\u00e9")).repeated(40);
        QTest::newRow("letters outside the basic plane") << QString::fromUtf8("\xF0\x9D\x90\x80").repeated(150);
    }
    void wrapsLongTextInsideTheBox()
    {
        QFETCH(QString, data);
        QRect area;
        QRect geometry;
        int labelWidth = 0;
        qreal textWidth = 0;
        MessageBoxRecorder boxes;
        boxes.setWhileOpen([&](QMessageBox& box) {
            box.show();
            area = box.screen()->availableGeometry();
            geometry = box.frameGeometry();
            const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            labelWidth = label->contentsRect().width();
            // Laid out as the label lays it out: wrapped at its width.
            QTextDocument document;
            document.setDefaultFont(label->font());
            QTextOption option = document.defaultTextOption();
            option.setWrapMode(QTextOption::WordWrap);
            document.setDefaultTextOption(option);
            document.setHtml(box.text());
            document.setTextWidth(labelWidth);
            textWidth = document.idealWidth();
            box.hide();
        });
        Tips::error(BoxText("load %1 error. %2").arg(data, QStringLiteral("The file cannot be read.")));
        QVERIFY2(area.contains(geometry), qPrintable(QStringLiteral("box %1 wide").arg(geometry.width())));
        QVERIFY2(textWidth <= labelWidth, qPrintable(QStringLiteral("%1 > %2").arg(textWidth).arg(labelWidth)));
        QVERIFY(boxes.shownTexts().constFirst().contains(data));
    }

    // Where the style lets the user select a box's text (as the macOS style
    // and the common Linux desktop styles do), what is copied is the text
    // as written, without the places to break put into long words: a
    // copied path must work when pasted.
    void copiesTheTextAsWritten_data()
    {
        QTest::addColumn<bool>("plain"); // the box of buttons with labels of their own
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("length"); // -1: select all
        QTest::addColumn<QString>("name"); // of the file, before the long folder
        QTest::newRow("all of a rich-text box") << false << 0 << -1 << "x.vcf";
        QTest::newRow("a part of a rich-text box") << false << 30 << 100 << "x.vcf";
        QTest::newRow("all of a plain-text box") << true << 0 << -1 << "x.vcf";
        // Not broken up then: no copy may lose a zero-width space of its own.
        QTest::newRow("a name holding a zero-width space of its own")
            << false << 0 << -1 << QString("x%1y.vcf").arg(QChar(0x200B));
    }
    void copiesTheTextAsWritten()
    {
        QFETCH(bool, plain);
        QFETCH(int, from);
        QFETCH(int, length);
        QFETCH(QString, name);
        // As the macOS style: the text selectable by mouse, links followed.
        class SelectableTextStyle : public QProxyStyle {
        public:
            int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* data) const override
            {
                if (hint == SH_MessageBox_TextInteractionFlags)
                    return Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse;
                return QProxyStyle::styleHint(hint, option, widget, data);
            }
        };
        QStyle* previousStyle = QApplication::style();
        const QString previousName = previousStyle->name();
        QApplication::setStyle(new SelectableTextStyle);
        const QString path = QStringLiteral("/Users/someone/Library/Application Support/")
            + QStringLiteral("VeryLongFolderNameWithoutAnyBreaks_").repeated(6) + QLatin1Char('/') + name;
        QGuiApplication::clipboard()->clear();
        QString shown;
        QString copied;
        MessageBoxRecorder boxes;
        boxes.setWhileOpen([&](QMessageBox& box) {
            box.show();
            auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            QVERIFY(label);
            QVERIFY(label->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
            if (length < 0)
                QTest::keyClick(label, Qt::Key_A, Qt::ControlModifier);
            else
                label->setSelection(from, length);
            QVERIFY(label->hasSelectedText());
            shown = label->selectedText();
            QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
            copied = QGuiApplication::clipboard()->text();
            // Pasted into a rich-text editor, too.
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            QVERIFY(data);
            if (data->hasHtml())
                QCOMPARE(data->html().count(QChar(0x200B)), copied.count(QChar(0x200B)));
            box.hide();
        });
        if (plain)
            g_showMessageBox(QMessageBox::Question, QStringLiteral("Replace %1?").arg(path),
                             { { QMessageBox::Yes, QStringLiteral("Replace") } });
        else
            Tips::warning(BoxText("load %1 error.").arg(path));
        QApplication::setStyle(previousName);
        // The box breaks the path where it shows it.
        QVERIFY2(shown.contains(QChar(0x200B)), qPrintable(shown));
        QVERIFY(!copied.isEmpty());
        QCOMPARE(copied.count(QChar(0x200B)), name.count(QChar(0x200B)));
        const QString written = plain ? QStringLiteral("Replace %1?").arg(path) : QStringLiteral("load %1 error.").arg(path);
        if (length < 0)
            QCOMPARE(copied, written);
        else
            QVERIFY2(written.contains(copied), qPrintable(copied));
    }

    // A box comes up over the middle of the window the user works in, and
    // stays on the screen where that window hangs off it; without such a
    // window it stands in the middle of the screen.
    void centresTheBoxOnItsWindow_data()
    {
        QTest::addColumn<QRect>("window"); // empty: no window
        QTest::newRow("window in the middle") << QRect(150, 120, 520, 380);
        QTest::newRow("small window in a corner") << QRect(0, 0, 160, 120);
        QTest::newRow("window hanging off the right") << QRect(600, 300, 400, 200);
        QTest::newRow("no window") << QRect();
    }
    void centresTheBoxOnItsWindow()
    {
        QFETCH(QRect, window);
        QWidget owner;
        owner.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        if (!window.isEmpty()) {
            owner.setGeometry(window);
            owner.show();
            owner.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&owner));
        }
        QRect placed;
        QRect area;
        MessageBoxRecorder boxes;
        boxes.setWhileOpen([&](QMessageBox& box) {
            box.show();
            placed = box.frameGeometry();
            area = box.screen()->availableGeometry();
            box.hide();
        });
        Tips::warning(QStringLiteral("The database cannot be opened."));
        QVERIFY(area.contains(placed));
        // Centred on the window, then moved the least that keeps it on the screen.
        const QPoint centre = window.isEmpty() ? area.center() : owner.frameGeometry().center();
        const QPoint expected(qBound(area.left(), centre.x() - placed.width() / 2, area.right() + 1 - placed.width()),
                              qBound(area.top(), centre.y() - placed.height() / 2, area.bottom() + 1 - placed.height()));
        const QPoint off = placed.topLeft() - expected;
        QVERIFY2(qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1,
                 qPrintable(QStringLiteral("%1,%2 away").arg(off.x()).arg(off.y())));
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
