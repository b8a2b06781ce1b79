// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/contactdisplayer.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>

#include "contactui/boundedtext.h"
#include "contactui/cardtextlabel.h"
#include "contactui/contactformatters.h"
#include "contactui/contactuilog.h"
#include "kit/tips.h"
#include "platform/files/safefilewriter.h"

namespace {

const QString kPhotoName = QStringLiteral("imgPhoto");
const int kPhotoSize = 128;
// Narrower than this beside the photo, the header text goes below it: a
// name broken every few letters is harder to read than one more line.
const int kHeaderTextMinWidth = 220;

struct Section {
    int type;
    const char* title;
    QString (*formatter)(const pim::Entity&);
};

// Display order of the sections; name, photo, nickname and group
// membership have none (the header and the picture show the first two).
const Section kSections[] = {
    {pim::ENTITY_PHONE, "Phone:", &ContactDisplayer::g_phoneDisplay},
    {pim::ENTITY_EMAIL, "E-Mail:", &ContactDisplayer::g_emailDisplay},
    {pim::ENTITY_EVENT, "Date:", &ContactDisplayer::g_eventDisplay},
    {pim::ENTITY_IM, "IM:", &ContactDisplayer::g_imDisplay},
    {pim::ENTITY_ORG, "Organization:", &ContactDisplayer::g_orgDisplay},
    {pim::ENTITY_REL, "Relationship:", &ContactDisplayer::g_relDisplay},
    {pim::ENTITY_ADDR, "Address:", &ContactDisplayer::g_addrDisplay},
    {pim::ENTITY_URL, "Website:", &ContactDisplayer::g_urlDisplay},
    {pim::ENTITY_NOTES, "Notes:", &ContactDisplayer::g_notesDisplay},
};

QList<pim::Entity> entitiesOf(const pim::_Contact& contact, int type)
{
    return contact.entities.value(type);
}

// How much of one value the card lays out: a page of a note, a few lines
// of anything else. The rest is a click away in the editor.
constexpr qsizetype kNoteChars = 3000;
constexpr qsizetype kNoteLines = 60;
constexpr qsizetype kValueChars = 300;
constexpr qsizetype kValueLines = 5;

// Bounds every text of the fields in place; true when one was cut.
bool boundTexts(QVariantMap& fields, qsizetype maxChars, qsizetype maxLines)
{
    bool cut = false;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        if (it->metaType().id() != QMetaType::QString)
            continue;
        const QString text = it->toString();
        QString shown = boundedtext::forCard(text, maxChars, maxLines);
        if (shown != text) {
            *it = std::move(shown);
            cut = true;
        }
    }
    return cut;
}

// The contact with every text the card shows bounded. Only the rows a
// section lists are looked at; lists and fields stay shared with the
// original unless one of their texts is cut.
pim::_Contact boundedForCard(const pim::_Contact& contact)
{
    pim::_Contact shown = contact;
    shown.fullName = boundedtext::forCard(contact.fullName, kValueChars, kValueLines);
    for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it) {
        if (it.key() == pim::ENTITY_PHOTO)
            continue;
        const bool note = it.key() == pim::ENTITY_NOTES;
        const QList<pim::Entity>& rows = it.value();
        // The first organisation is in the header and the next ones in
        // the section.
        const qsizetype looked = qMin<qsizetype>(rows.size(), ContactDisplayer::kMaxRowsPerKind + 1);
        for (qsizetype i = 0; i < looked; ++i) {
            QVariantMap fields = rows.at(i).fields;
            if (boundTexts(fields, note ? kNoteChars : kValueChars, note ? kNoteLines : kValueLines))
                shown.entities[it.key()][i].fields = std::move(fields);
        }
    }
    return shown;
}

} // namespace

ContactDisplayer::ContactDisplayer(QWidget* parent)
    : QScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The scroll area sizes the content: the view's width, and the height
    // the wrapped texts need at that width.
    setWidgetResizable(true);
    replaceContentWidget();
}

ContactDisplayer::~ContactDisplayer() = default;

void ContactDisplayer::replaceContentWidget()
{
    if (QWidget* old = takeWidget())
        old->deleteLater();
    m_content = new QWidget(this);
    setWidget(m_content);
}

void ContactDisplayer::clear()
{
    replaceContentWidget();
    m_contentLayout = nullptr;
    m_headerLayout = nullptr;
    m_hasContact = false;
    m_contact = pim::_Contact();
}

const pim::_Contact* ContactDisplayer::shownContact() const
{
    return m_hasContact ? &m_contact : nullptr;
}

QImage ContactDisplayer::decodePhoto(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QImage();
    QImage image = QImage::fromData(bytes, "JPEG");
    if (image.isNull())
        image = QImage::fromData(bytes, "PNG");
    return image;
}

void ContactDisplayer::showContact(const pim::_Contact* contact)
{
    if (!contact) {
        clear();
        return;
    }
    if (QWidget* old = takeWidget())
        old->deleteLater();
    m_headerLayout = nullptr;
    // A copy, not the pointer: the list model and the new-contact road drop
    // their contact long before the user may click the photo.
    m_contact = *contact;
    m_hasContact = true;
    // Laying text out costs time that grows with its length (with its
    // square for a run without a blank): the card shows a bounded part of
    // each value, so any contact shows at once.
    const pim::_Contact shown = boundedForCard(m_contact);

    m_content = new QWidget(this);
    m_contentLayout = new QVBoxLayout(m_content);
    m_contentLayout->setContentsMargins(15, 0, 15, 15);

    auto* header = new QWidget(m_content);
    m_headerLayout = new QBoxLayout(QBoxLayout::LeftToRight, header);
    auto* photo = new QLabel(header);
    photo->setAccessibleName(kPhotoName);
    photo->setFixedSize(kPhotoSize, kPhotoSize);
    photo->setStyleSheet(QStringLiteral("border:1px solid #A9A9A9;"));

    const QList<pim::Entity> photos = entitiesOf(m_contact, pim::ENTITY_PHOTO);
    const QImage image = photos.isEmpty()
        ? QImage()
        : decodePhoto(photos.constFirst().fields.value(QStringLiteral("data15")).toByteArray());
    if (!image.isNull()) {
        photo->setPixmap(QPixmap::fromImage(image.scaledToWidth(kPhotoSize, Qt::FastTransformation)));
        photo->installEventFilter(this);
        photo->setCursor(Qt::PointingHandCursor);
    } else {
        photo->setPixmap(QPixmap(QStringLiteral(":res/empty_contact.png")));
    }
    m_headerLayout->addWidget(photo, 0, Qt::AlignTop | Qt::AlignLeft);

    auto* headerLabel = new CardTextLabel(header);
    headerLabel->setTextFormat(Qt::PlainText);
    headerLabel->setText(contactformatters::headerText(shown));
    headerLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    headerLabel->setStyleSheet(QStringLiteral("font-size:21px;font-weight:bold;font-style:italic"));
    m_headerLayout->addWidget(headerLabel, 1);
    m_contentLayout->addWidget(header);
    updateHeaderDirection();

    for (const Section& section : kSections) {
        QList<pim::Entity> entities = entitiesOf(shown, section.type);
        // The first organisation is in the header already.
        if (section.type == pim::ENTITY_ORG && !entities.isEmpty())
            entities.removeFirst();
        if (!entities.isEmpty())
            showEntities(QString::fromLatin1(section.title), entities, section.formatter);
    }
    // Sections stay together at the top when the view is taller. A stretch,
    // not the layout's alignment: an aligned layout sizes its texts at its
    // own preferred width, and once the scroll bar narrows the view a text
    // wrapped into one more line lost it below its label.
    m_contentLayout->addStretch(1);

    setWidget(m_content);
}

void ContactDisplayer::updateHeaderDirection()
{
    if (!m_headerLayout)
        return;
    const int besidePhoto = viewport()->width() - 30 - kPhotoSize - m_headerLayout->spacing();
    m_headerLayout->setDirection(besidePhoto < kHeaderTextMinWidth ? QBoxLayout::TopToBottom
                                                                   : QBoxLayout::LeftToRight);
}

void ContactDisplayer::showEntities(const QString& title, const QList<pim::Entity>& entities,
                                    QString (*formatter)(const pim::Entity&))
{
    auto* section = new QWidget(m_content);
    section->setStyleSheet(QStringLiteral("font-size:16px;"));
    auto* layout = new QVBoxLayout(section);

    auto* titleLabel = new QLabel(section);
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setText(title);
    titleLabel->setStyleSheet(QStringLiteral("font-size:18px;font-style:italic;font-weight:bold;"));
    layout->addWidget(titleLabel);

    // Only the address formatter builds markup (and escapes its values);
    // every other row is shown exactly as stored, whatever it looks like.
    const Qt::TextFormat format = formatter == &ContactDisplayer::g_addrDisplay ? Qt::RichText : Qt::PlainText;
    const qsizetype shown = qMin<qsizetype>(entities.size(), kMaxRowsPerKind);
    for (qsizetype i = 0; i < shown; ++i) {
        auto* row = new CardTextLabel(section);
        row->setTextFormat(format);
        row->setText(formatter(entities.at(i)));
        row->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(row);
    }
    if (entities.size() > shown) {
        auto* more = new QLabel(tr("and %1 more").arg(entities.size() - shown), section);
        more->setObjectName(QStringLiteral("lbMoreRows"));
        more->setStyleSheet(QStringLiteral("font-style:italic;"));
        layout->addWidget(more);
    }
    m_contentLayout->addWidget(section);
}

bool ContactDisplayer::eventFilter(QObject* watched, QEvent* event)
{
    auto* label = qobject_cast<QLabel*>(watched);
    if (!label || label->accessibleName() != kPhotoName || event->type() != QEvent::MouseButtonPress)
        return QScrollArea::eventFilter(watched, event);
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton || !m_hasContact)
        return true;

    const QString proposed = QDir::home().absoluteFilePath(m_contact.fullName + QStringLiteral(".jpg"));
    const QString path = askSaveFileName(proposed);
    if (!path.isEmpty())
        savePhoto(path);
    return true;
}

QString ContactDisplayer::askSaveFileName(const QString& proposed)
{
    if (m_saveFileAsker)
        return m_saveFileAsker(proposed);
    return QFileDialog::getSaveFileName(nullptr, QString(), proposed, QString());
}

void ContactDisplayer::setSaveFileAsker(std::function<QString(const QString&)> asker)
{
    m_saveFileAsker = std::move(asker);
}

bool ContactDisplayer::savePhoto(const QString& path)
{
    const QList<pim::Entity> photos = entitiesOf(m_contact, pim::ENTITY_PHOTO);
    if (!m_hasContact || photos.isEmpty())
        return false;
    const QByteArray bytes = photos.constFirst().fields.value(QStringLiteral("data15")).toByteArray();

    // Written to a temporary file and renamed at the end, so a full disk
    // reports an error instead of leaving a truncated picture behind.
    SafeFileWriter file(path);
    if (!file.open() || !file.write(bytes) || !file.commit()) {
        qCWarning(lcContactUi) << "cannot save the photo" << file.errorString();
        Tips::warning(file.errorString());
        return false;
    }
    return true;
}

void ContactDisplayer::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    updateHeaderDirection();
}

QString ContactDisplayer::g_phoneDisplay(const pim::Entity& e) { return contactformatters::phoneDisplay(e); }
QString ContactDisplayer::g_emailDisplay(const pim::Entity& e) { return contactformatters::emailDisplay(e); }
QString ContactDisplayer::g_eventDisplay(const pim::Entity& e) { return contactformatters::eventDisplay(e); }
QString ContactDisplayer::g_imDisplay(const pim::Entity& e) { return contactformatters::imDisplay(e); }
QString ContactDisplayer::g_orgDisplay(const pim::Entity& e) { return contactformatters::orgDisplay(e); }
QString ContactDisplayer::g_relDisplay(const pim::Entity& e) { return contactformatters::relDisplay(e); }
QString ContactDisplayer::g_addrDisplay(const pim::Entity& e) { return contactformatters::addrDisplay(e); }
QString ContactDisplayer::g_urlDisplay(const pim::Entity& e) { return contactformatters::urlDisplay(e); }
QString ContactDisplayer::g_notesDisplay(const pim::Entity& e) { return contactformatters::notesDisplay(e); }
