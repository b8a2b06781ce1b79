// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/print/cardpainter_p.h"

#include "model/pimlabels.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace {

QString text(const pim::Entity& entity, const char* key)
{
    return entity.fields.value(QLatin1String(key)).toString();
}

// "title department company", blanks only between present parts.
QString orgLine(const pim::Entity& org)
{
    QStringList parts;
    for (const char* key : { "data4", "data5", "data1" }) {
        const QString part = text(org, key).trimmed();
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts.join(QLatin1Char(' '));
}

// The date of the first birthday, in the system's short form; empty when
// there is none or it is no ISO 8601 text.
QString birthday(const pim::_Contact& contact)
{
    const QList<pim::Entity> dates = contact.entities.value(pim::ENTITY_EVENT);
    const auto first = std::find_if(dates.cbegin(), dates.cend(),
        [](const pim::Entity& e) { return e.fields.value(QStringLiteral("data2")).toInt() == 3; });
    if (first == dates.cend())
        return QString();
    const QDateTime when
        = QDateTime::fromString(pim::fieldText(first->fields.value(QStringLiteral("data1"))), Qt::ISODate);
    return when.isValid() ? QLocale::system().toString(when.date(), QLocale::ShortFormat) : QString();
}

} // namespace

CardPainter::CardPainter(QSize cardSize)
    : m_size(cardSize)
    , m_fontSize(std::max(1, cardSize.width() * 12 / 339))
    , m_lineSep(cardSize.width() / 113)
    , m_pattern(cardSize.width() * 10 / 399)
    , m_borderWidth(std::max(1, cardSize.width() * 2 / 399))
    , m_photoSide(cardSize.width() / 3)
    , m_textLeft(m_pattern + m_photoSide + m_pattern)
    , m_textWidth(std::max(0, cardSize.width() - m_textLeft - m_pattern))
    , m_textBottom(cardSize.height() - m_pattern)
    , m_font(QGuiApplication::font())
{
    const QImage empty(QStringLiteral(":res/empty_contact.png"));
    m_emptyPicture = empty.scaled(m_photoSide, m_photoSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// The contact's first photo when it decodes as JPEG or PNG, at most three
// times the size it is shown at (enough for print, and a PDF does not carry
// a camera's full picture per card); otherwise the empty-contact picture.
QImage CardPainter::photoOf(const pim::_Contact& contact) const
{
    const QList<pim::Entity> photos = contact.entities.value(pim::ENTITY_PHOTO);
    if (photos.isEmpty())
        return m_emptyPicture;
    const QByteArray bytes = photos.constFirst().fields.value(QStringLiteral("data15")).toByteArray();
    QImage photo = QImage::fromData(bytes, "JPG");
    if (photo.isNull())
        photo = QImage::fromData(bytes, "PNG");
    if (photo.isNull())
        return m_emptyPicture;
    const int detail = 3 * m_photoSide;
    if (photo.width() > detail || photo.height() > detail)
        photo = photo.scaled(detail, detail, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return photo;
}

void CardPainter::paint(QPainter& painter, QPoint topLeft, const pim::_Contact& contact)
{
    painter.save();
    painter.translate(topLeft);
    painter.setClipRect(QRect(QPoint(0, 0), m_size), Qt::IntersectClip);
    painter.fillRect(QRect(QPoint(0, 0), m_size), Qt::white);

    QPen border(QColor(185, 185, 187), m_borderWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    const qreal half = m_borderWidth / 2.0;
    painter.drawRect(QRectF(half, half, m_size.width() - m_borderWidth, m_size.height() - m_borderWidth));

    const QImage photo = photoOf(contact);
    const QSize shown = photo.size().scaled(m_photoSide, m_photoSide, Qt::KeepAspectRatio);
    painter.drawImage(QRect(QPoint(m_pattern, m_pattern), shown), photo);

    painter.setPen(Qt::black);
    struct Line {
        QString label;
        QString value;
        Wrap wrap;
    };
    QList<Line> lines;
    const QList<pim::Entity> orgs = contact.entities.value(pim::ENTITY_ORG);
    if (!orgs.isEmpty() && !orgLine(orgs.constFirst()).isEmpty())
        lines.append({ orgLine(orgs.constFirst()), QString(), Wrap::SingleLine });
    const QString born = birthday(contact);
    if (!born.isEmpty())
        lines.append({ QStringLiteral("Birthday:"), born, Wrap::SingleLine });
    QList<pim::Entity> phones = contact.entities.value(pim::ENTITY_PHONE);
    std::stable_sort(phones.begin(), phones.end(), pim::comparePhoneLess);
    const QMap<int, QString> phoneLabels = pim::phoneTypeMap();
    for (qsizetype i = 0; i < std::min<qsizetype>(phones.size(), 4); ++i) {
        const QString label = phoneLabels.value(phones.at(i).fields.value(QStringLiteral("data2")).toInt());
        lines.append({ label + QLatin1Char(':'), text(phones.at(i), "data1"), Wrap::SingleLine });
    }
    const QList<pim::Entity> emails = contact.entities.value(pim::ENTITY_EMAIL);
    if (!emails.isEmpty())
        lines.append({ QStringLiteral("E-Mail:"), text(emails.constFirst(), "data1"), Wrap::SingleLine });
    const QList<pim::Entity> addresses = contact.entities.value(pim::ENTITY_ADDR);
    if (!addresses.isEmpty())
        lines.append({ QStringLiteral("Address:"), addresses.constFirst().formattedAddr(), Wrap::WordWrap });

    // The name a little larger than the rest.
    m_font.setPixelSize(m_fontSize + m_fontSize / 7);
    int y = m_pattern;
    int used = drawLine(painter, y, contact.fullName, QString(), Wrap::SingleLine);
    m_font.setPixelSize(m_fontSize);
    for (const Line& line : std::as_const(lines)) {
        if (used < 0)
            break;
        y += used + m_lineSep;
        used = drawLine(painter, y, line.label, line.value, line.wrap);
    }
    painter.restore();
}

// Draws a bold italic label and, after it, the value in the text column
// from y down. Returns the height used, or -1 when not even the first line
// fits above the column's bottom (then nothing is drawn). A single-line
// text too wide for the column is elided; wrapped text shows the lines that
// fit.
int CardPainter::drawLine(QPainter& painter, int y, const QString& label, const QString& value, Wrap wrap)
{
    m_font.setWeight(QFont::Bold);
    m_font.setItalic(true);
    painter.setFont(m_font);
    const QFontMetrics labelMetrics = painter.fontMetrics();
    if (y + labelMetrics.height() > m_textBottom)
        return -1;
    const QString shownLabel = labelMetrics.elidedText(label, Qt::ElideRight, m_textWidth);
    painter.drawText(m_textLeft, y + labelMetrics.ascent(), shownLabel);
    int height = labelMetrics.height();
    if (value.isEmpty())
        return height;

    m_font.setWeight(QFont::Normal);
    m_font.setItalic(false);
    painter.setFont(m_font);
    const int valueLeft = m_textLeft + labelMetrics.horizontalAdvance(shownLabel) + m_lineSep;
    const int valueWidth = m_textLeft + m_textWidth - valueLeft;
    if (valueWidth <= 0)
        return height;
    const QFontMetrics valueMetrics = painter.fontMetrics();
    if (wrap == Wrap::SingleLine) {
        QString single = value;
        single.replace(QLatin1Char('\n'), QLatin1Char(' '));
        painter.drawText(valueLeft, y + valueMetrics.ascent(),
            valueMetrics.elidedText(single, Qt::ElideRight, valueWidth));
        return std::max(height, valueMetrics.height());
    }

    QString wrapped = value;
    wrapped.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(wrapped, m_font, painter.device());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal top = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(valueWidth);
        line.setPosition(QPointF(0, top));
        top += line.height();
    }
    layout.endLayout();
    qreal drawn = 0;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        // A line that does not fit is left out with all after it.
        if (y + line.y() + line.height() > m_textBottom)
            break;
        line.draw(&painter, QPointF(valueLeft, y));
        drawn = line.y() + line.height();
    }
    return std::max(height, int(drawn + 0.5));
}
