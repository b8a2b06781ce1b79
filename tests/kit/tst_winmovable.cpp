// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/winmovable.h"

#include <QMouseEvent>
#include <QTest>
#include <QWidget>

namespace {

// Counts the presses that reach the window, to show the filter lets them by.
class CountingWindow : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        ++presses;
        QWidget::mousePressEvent(e);
    }
};

// Plays a script of mouse events: "PL10,10" press left, "RR3,4" release
// right, "M15,12" move; positions in window coordinates.
void play(QWidget& window, const QString& script)
{
    Qt::MouseButtons held;
    for (const QString& item : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const bool move = item.startsWith(QLatin1Char('M'));
        const Qt::MouseButton button = move ? Qt::NoButton : item.at(1) == QLatin1Char('L') ? Qt::LeftButton
                                                                                             : Qt::RightButton;
        const QStringList xy = item.mid(move ? 1 : 2).split(QLatin1Char(','));
        const QPoint pos(xy.at(0).toInt(), xy.at(1).toInt());
        QEvent::Type type = QEvent::MouseMove;
        if (item.startsWith(QLatin1Char('P'))) {
            type = QEvent::MouseButtonPress;
            held |= button;
        } else if (item.startsWith(QLatin1Char('R'))) {
            type = QEvent::MouseButtonRelease;
            held &= ~button;
        }
        QMouseEvent event(type, QPointF(pos), QPointF(window.mapToGlobal(pos)), button, held, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    }
}

} // namespace

class TestWinMovable : public QObject {
    Q_OBJECT
private slots:
    void dragsOnlyWithTheLeftButton_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QPoint>("expectedShift");
        QTest::addColumn<int>("expectedPresses");

        QTest::newRow("moves add up, backwards too") << "PL10,10 M15,10 M12,4" << QPoint(7, -6) << 1;
        QTest::newRow("move before any press") << "M30,30" << QPoint(0, 0) << 0;
        QTest::newRow("right button records but does not drag") << "PR10,10 M20,20" << QPoint(0, 0) << 1;
        QTest::newRow("release ends the drag") << "PL10,10 RL10,10 M25,25" << QPoint(0, 0) << 1;
        QTest::newRow("a new left press drags again") << "PL10,10 RL10,10 PL20,20 M23,24" << QPoint(3, 4) << 2;
        QTest::newRow("press on the very corner does not drag") << "PL0,0 M5,5" << QPoint(0, 0) << 1;
        QTest::newRow("right press after left stops the drag") << "PL10,10 PR12,12 M20,20" << QPoint(0, 0) << 2;
    }

    void dragsOnlyWithTheLeftButton()
    {
        QFETCH(QString, script);
        QFETCH(QPoint, expectedShift);
        QFETCH(int, expectedPresses);

        CountingWindow window;
        window.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
        window.setGeometry(100, 100, 200, 100);
        WinMovable movable(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint start = window.pos();

        play(window, script);
        QCOMPARE(window.pos() - start, expectedShift);
        QCOMPARE(window.presses, expectedPresses);
    }
};

QTEST_MAIN(TestWinMovable)
#include "tst_winmovable.moc"
