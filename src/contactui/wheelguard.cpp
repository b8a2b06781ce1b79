// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/wheelguard.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QWheelEvent>
#include <QWidget>

namespace {

// Lives as the box's child, so it goes with the box.
class WheelGuard : public QObject {
public:
    explicit WheelGuard(QWidget* box)
        : QObject(box)
        , m_box(box)
    {
        box->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_box || event->type() != QEvent::Wheel || hasFocus())
            return QObject::eventFilter(watched, event);
        auto* wheel = static_cast<QWheelEvent*>(event);
        QWidget* page = pageOf(m_box);
        if (!page) {
            // Ignored: the application offers it to the parents.
            event->ignore();
            return true;
        }
        // Handed to the page here rather than left to the application's
        // passing on, which it does for events from the window system only.
        const QPointF at = m_box->mapTo(page, wheel->position());
        QWheelEvent forwarded(at, wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(),
            wheel->buttons(), wheel->modifiers(), wheel->phase(), wheel->inverted(), wheel->source(),
            wheel->pointingDevice());
        QCoreApplication::sendEvent(page, &forwarded);
        // Accepted, so that the event is not passed on a second time.
        event->setAccepted(true);
        return true;
    }

private:
    // The viewport of the nearest scrolling area around `widget`, or null.
    static QWidget* pageOf(QWidget* widget)
    {
        for (QWidget* w = widget; w && !w->isWindow(); w = w->parentWidget()) {
            auto* area = qobject_cast<QAbstractScrollArea*>(w->parentWidget());
            if (area && area->viewport() == w)
                return w;
        }
        return nullptr;
    }

    bool hasFocus() const
    {
        const QWidget* focus = QApplication::focusWidget();
        return m_box->hasFocus() || (focus && m_box->isAncestorOf(focus));
    }

    QWidget* m_box;
};

} // namespace

bool g_takesWheelAsValue(const QWidget* widget)
{
    return qobject_cast<const QComboBox*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget);
}

void g_wheelOnlyWhenFocused(QWidget* box)
{
    // The toolkit's default for these boxes (Qt::WheelFocus) would let the
    // first turn of the wheel give the box the focus, and the next ones
    // its value.
    box->setFocusPolicy(Qt::StrongFocus);
    new WheelGuard(box);
}
