// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/messagebox.h"

#include "kit/productinfo.h"
#include "kit/screenfit.h"
#include "kit/stylesheet.h"
#include "kit/winmovable.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <optional>
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

// A zero-width space: a place where a line may break that shows nothing.
constexpr char16_t kBreak = 0x200B;
// Longer runs of characters without a place to break are broken up into
// pieces of kBreakEvery; shorter ones fit on a line of the narrowest box.
constexpr int kLongestRun = 40;
constexpr int kBreakEvery = 16;

// One piece of a box's text: a tag, or what shows as one character (with
// its marks, a surrogate pair, a character reference).
struct TextUnit {
    QString text;
    bool markup = false;
    // A line may break after it: the toolkit breaks after blanks, slashes
    // and hyphens.
    bool breakAfter = false;
};

QList<TextUnit> unitsOf(const QString& text, bool rich)
{
    QList<TextUnit> units;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        qsizetype length = 1;
        bool markup = false;
        if (rich && c == u'<') {
            // Up to the closing '>' outside quotes.
            QChar quote;
            for (length = 1; i + length < text.size(); ++length) {
                const QChar t = text.at(i + length);
                if (!quote.isNull())
                    quote = t == quote ? QChar() : quote;
                else if (t == u'"' || t == u'\'')
                    quote = t;
                else if (t == u'>')
                    break;
            }
            length = qMin(length + 1, text.size() - i);
            markup = true;
        } else if (rich && c == u'&') {
            const qsizetype semicolon = text.indexOf(u';', i);
            if (semicolon > i + 1 && semicolon - i <= 10)
                length = semicolon + 1 - i;
        } else if (c.isHighSurrogate() && i + 1 < text.size()) {
            length = 2;
        }
        const QString piece = text.mid(i, length);
        i += length;
        if (!markup && c.isMark() && !units.isEmpty() && !units.constLast().markup) {
            units.last().text += piece;
            continue;
        }
        units.append({ piece, markup, !markup && (c.isSpace() || c == u'/' || c == u'-') });
    }
    return units;
}

// The text with a zero-width space put into every run of characters too
// long for one line of the box, every kBreakEvery characters. The
// toolkit's label wraps only where a line may break, so a long path or
// name would otherwise run off the box's right edge and be cut there. A
// text that holds such a space of its own stays as it is: what the user
// copies from the box loses every one (CleanCopies), so none may be the
// text's own.
QString withLineBreaks(const QString& text, bool rich)
{
    if (text.contains(QChar(kBreak)))
        return text;
    const QList<TextUnit> units = unitsOf(text, rich);
    QString out;
    out.reserve(text.size() + text.size() / kBreakEvery);
    qsizetype start = 0;
    while (start < units.size()) {
        if (units.at(start).markup) {
            out += units.at(start++).text;
            continue;
        }
        // The run: characters up to markup or a place to break.
        qsizetype end = start;
        while (end < units.size() && !units.at(end).markup && !units.at(end).breakAfter)
            ++end;
        if (end < units.size() && !units.at(end).markup)
            ++end;
        const bool tooLong = end - start > kLongestRun;
        for (qsizetype i = start; i < end; ++i) {
            if (tooLong && i > start && (i - start) % kBreakEvery == 0)
                out += QChar(kBreak);
            out += units.at(i).text;
        }
        start = end;
    }
    return out;
}

QString withoutBreaks(QString text)
{
    return text.remove(QChar(kBreak));
}

// While a box is up, what the user copies of its text (the copy key or
// menu, or a selection made on a desktop that keeps one) comes without the
// places to break that withLineBreaks() put in, so a copied path works
// when pasted. The styles of macOS and of the common Linux desktops let
// the user select a box's text; the toolkit's label copies what it shows.
class CleanCopies : public QObject {
public:
    explicit CleanCopies(QMessageBox& box)
        : m_label(box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
    {
        connect(QGuiApplication::clipboard(), &QClipboard::changed, this, &CleanCopies::clean);
    }

private:
    void clean(QClipboard::Mode mode)
    {
        // Only a copy from this box: its label holds the selection.
        if (!m_label || !m_label->hasSelectedText())
            return;
        QClipboard* clipboard = QGuiApplication::clipboard();
        const QMimeData* copied = clipboard->mimeData(mode);
        if (!copied || !copied->text().contains(QChar(kBreak)))
            return;
        auto* clean = new QMimeData;
        clean->setText(withoutBreaks(copied->text()));
        if (copied->hasHtml())
            clean->setHtml(withoutBreaks(copied->html()));
        // Changes the clipboard again, now without a place to break.
        clipboard->setMimeData(clean, mode);
    }

    QPointer<QLabel> m_label;
};

// The window a box belongs to: the one the user works in when it comes up.
QWidget* ownerWindow()
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return QApplication::activeModalWidget();
}

// The toolkit puts the style's picture back on every style change (setting
// the style sheet is one), so the product's picture is put back after it.
// When shown, the box is centred on the window it belongs to (on the
// screen when there is none) and kept on the screen. The toolkit's own
// placement leaves room for a frame the box does not have.
class KitMessageBox : public QMessageBox {
public:
    KitMessageBox(Icon icon, const QString& title, const QString& text)
        : QMessageBox(icon, title, text, QMessageBox::NoButton, nullptr)
        , m_owner(ownerWindow())
    {
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QMessageBox::changeEvent(event);
        if (event->type() == QEvent::StyleChange)
            useKitIcon(*this, icon());
    }

    void showEvent(QShowEvent* event) override
    {
        // Sizes the box, then places it as the toolkit would.
        QMessageBox::showEvent(event);
        if (event->spontaneous())
            return;
        QRect placed = frameGeometry();
        if (m_owner && m_owner->isVisible())
            placed.moveCenter(m_owner->frameGeometry().center());
        else if (const QScreen* screen = this->screen())
            placed.moveCenter(screen->availableGeometry().center());
        move(placed.topLeft());
        // As the toolkit's own placement: not a position the user chose.
        setAttribute(Qt::WA_Moved, false);
        g_keepOnScreen(this);
    }

private:
    QPointer<QWidget> m_owner;
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
    const QString shown = withLineBreaks(text, format == Qt::RichText);
    KitMessageBox box(icon, product::title(), shown);
    std::optional<CleanCopies> cleanCopies;
    if (shown.size() != text.size())
        cleanCopies.emplace(box);
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
