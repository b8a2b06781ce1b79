// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/messagebox.h"

#include "kit/productinfo.h"
#include "kit/stylesheet.h"
#include "kit/winmovable.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QEvent>

#include <utility>

namespace {

MessageBoxHandler& currentHandler()
{
    static MessageBoxHandler handler;
    return handler;
}

struct HonouredButton {
    QMessageBox::StandardButton button;
    const char* text;
};

// The order in which the buttons are added.
constexpr HonouredButton kButtons[] = {
    { QMessageBox::Yes, QT_TRANSLATE_NOOP("QObject", "Yes") },
    { QMessageBox::No, QT_TRANSLATE_NOOP("QObject", "No") },
    { QMessageBox::Ok, QT_TRANSLATE_NOOP("QObject", "OK") },
    { QMessageBox::Cancel, QT_TRANSLATE_NOOP("QObject", "Cancel") },
    { QMessageBox::Abort, QT_TRANSLATE_NOOP("QObject", "Abort") },
    { QMessageBox::Retry, QT_TRANSLATE_NOOP("QObject", "Retry") },
};

const char* iconResource(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Information:
        return ":/res/box-info.png";
    case QMessageBox::Warning:
        return ":/res/box-warning.png";
    case QMessageBox::Critical:
        return ":/res/box-error.png";
    case QMessageBox::Question:
        return ":/res/box-question.png";
    case QMessageBox::NoIcon:
        break;
    }
    return nullptr;
}

// Replaces the style's picture with the product's own, keeping icon() as it
// is. The label is found by the name the toolkit gives it; when it is not
// there the style's picture simply stays.
void useKitIcon(QMessageBox& box, QMessageBox::Icon icon)
{
    const char* resource = iconResource(icon);
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"));
    if (!resource || !label)
        return;
    const qreal ratio = box.devicePixelRatioF();
    QPixmap pixmap = QPixmap(QLatin1String(resource))
                         .scaled(QSize(32, 32) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (pixmap.isNull())
        return;
    pixmap.setDevicePixelRatio(ratio);
    label->setPixmap(pixmap);
}

// The toolkit puts the style's picture back on every style change (setting
// the style sheet is one), so the product's picture is put back after it.
class KitMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void changeEvent(QEvent* event) override
    {
        QMessageBox::changeEvent(event);
        if (event->type() == QEvent::StyleChange)
            useKitIcon(*this, icon());
    }
};

} // namespace

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler)
{
    return std::exchange(currentHandler(), std::move(handler));
}

namespace {

// Builds the styled box, lets `addButtons` fill it and runs it (or hands it
// to the test handler).
template <typename AddButtons>
int runBox(QMessageBox::Icon icon, const QString& text, Qt::TextFormat format, AddButtons addButtons)
{
    KitMessageBox box(icon, product::title(), text, QMessageBox::NoButton, nullptr);
    useKitIcon(box, icon);
    WinMovable movable(&box);
    box.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    box.setStyleSheet(getStyleSheet(QStringLiteral(":/res/style.css")));
    addButtons(box);
    box.setTextFormat(format);

    if (const MessageBoxHandler& handler = currentHandler())
        return handler(box);
    return box.exec();
}

} // namespace

int g_showMessageBox(QMessageBox::Icon icon, const BoxText& text, int buttons, bool withHeader)
{
    BoxText shown = text;
    if (withHeader) {
        shown = BoxText::markup(QStringLiteral("<nobr><b>%1 v%2</b></nobr><br/><br/>%3"))
                    .arg(product::title(), QLatin1String(product::kVersion))
                    .arg(text);
    }
    return runBox(icon, shown.html(), Qt::RichText, [buttons](QMessageBox& box) {
        for (const HonouredButton& b : kButtons) {
            if (buttons & b.button)
                box.addButton(b.button)->setText(QCoreApplication::translate("QObject", b.text));
        }
    });
}

int g_showMessageBox(QMessageBox::Icon icon, const QString& text, const QList<LabelledButton>& buttons)
{
    return runBox(icon, text, Qt::PlainText, [&buttons](QMessageBox& box) {
        for (const LabelledButton& b : buttons)
            box.addButton(b.button)->setText(b.label);
    });
}

QString g_showLinkedMessageBox(QMessageBox::Icon icon, const BoxText& text)
{
    QString chosen;
    runBox(icon, text.html(), Qt::RichText, [&chosen](QMessageBox& box) {
        box.addButton(QMessageBox::Ok)->setText(QCoreApplication::translate("QObject", "OK"));
        auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (!label)
            return;
        label->setOpenExternalLinks(false);
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        QObject::connect(label, &QLabel::linkActivated, &box, [&chosen, &box](const QString& link) {
            chosen = link;
            box.done(QMessageBox::Ok);
        });
    });
    return chosen;
}
