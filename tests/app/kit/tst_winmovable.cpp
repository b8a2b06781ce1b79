// SPDX-License-Identifier: GPL-3.0-or-later
#include "winmovable.h"

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

// One mouse event as a script step: "P" press, "M" move, "R" release;
// button "L" or "R"; position in window coordinates.
struct Step {
    QString kind;
    QString button;
    QPoint pos;
};

QList<Step> parse(const QString& script)
{
    QList<Step> steps;
    for (const QString& item : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        // e.g. "PL10,10", "M15,12", "RL15,12"
        Step s;
        s.kind = item.left(1);
        int at = 1;
        if (s.kind != QLatin1String("M")) {
            s.button = item.mid(1, 1);
            at = 2;
        }
        const QStringList xy = item.mid(at).split(QLatin1Char(','));
        s.pos = QPoint(xy.at(0).toInt(), xy.at(1).toInt());
        steps.append(s);
    }
    return steps;
}

void send(QWidget& window, const Step& s, Qt::MouseButtons& held)
{
    const Qt::MouseButton button = s.button == QLatin1String("L") ? Qt::LeftButton
        : s.button == QLatin1String("R")                          ? Qt::RightButton
                                                                  : Qt::NoButton;
    QEvent::Type type = QEvent::MouseMove;
    if (s.kind == QLatin1String("P")) {
        type = QEvent::MouseButtonPress;
        held |= button;
    } else if (s.kind == QLatin1String("R")) {
        type = QEvent::MouseButtonRelease;
        held &= ~button;
    }
    QMouseEvent event(type, QPointF(s.pos), QPointF(window.mapToGlobal(s.pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
}

} // namespace

class TestWinMovable : public QObject {
    Q_OBJECT
private slots:
    void shouldDragOnlyWithTheLeftButton_data();
    void shouldDragOnlyWithTheLeftButton();
};

void TestWinMovable::shouldDragOnlyWithTheLeftButton_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QPoint>("expectedShift");
    QTest::addColumn<int>("expectedPresses");

    QTest::newRow("left drag moves by the cursor's offset") << "PL10,10 M15,12" << QPoint(5, 2) << 1;
    QTest::newRow("moves add up, backwards too") << "PL10,10 M15,10 M12,4" << QPoint(7, -6) << 1;
    QTest::newRow("move before any press") << "M30,30" << QPoint(0, 0) << 0;
    QTest::newRow("right button records but does not drag") << "PR10,10 M20,20" << QPoint(0, 0) << 1;
    QTest::newRow("release ends the drag") << "PL10,10 RL10,10 M25,25" << QPoint(0, 0) << 1;
    QTest::newRow("a new left press drags again") << "PL10,10 RL10,10 PL20,20 M23,24" << QPoint(3, 4) << 2;
    QTest::newRow("press on the very corner does not drag") << "PL0,0 M5,5" << QPoint(0, 0) << 1;
    QTest::newRow("right press after left stops the drag") << "PL10,10 PR12,12 M20,20" << QPoint(0, 0) << 2;
}

void TestWinMovable::shouldDragOnlyWithTheLeftButton()
{
    QFETCH(QString, script);
    QFETCH(QPoint, expectedShift);
    QFETCH(int, expectedPresses);

    CountingWindow window;
    window.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    window.resize(200, 100);
    window.move(100, 100);
    WinMovable movable(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();

    Qt::MouseButtons held;
    for (const Step& s : parse(script))
        send(window, s, held);

    QCOMPARE(window.pos() - start, expectedShift);
    QCOMPARE(window.presses, expectedPresses);
}

QTEST_MAIN(TestWinMovable)
#include "tst_winmovable.moc"
