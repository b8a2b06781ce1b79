// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/contacteditor.h"

#include "contactui/addrentitieseditor.h"
#include "contactui/contactuilog.h"
#include "contactui/dateentitieseditor.h"
#include "contactui/genericentitieseditor.h"
#include "contactui/imentitieseditor.h"
#include "contactui/plaintextbox.h"
#include "kit/tips.h"
#include "model/pimlabels.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QResizeEvent>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

const QString kPhotoName = QStringLiteral("lbPhoto");
const int kThumbWidth = 64;
const int kPickedSide = 320;
// A picked picture is read whole into memory; anything larger is not a
// contact photo.
const qint64 kMaxPickedFileBytes = 32 * 1024 * 1024;

QString key(int n)
{
    return QStringLiteral("data%1").arg(n);
}

QImage decode(const QByteArray& bytes)
{
    QImage image = QImage::fromData(bytes, "JPEG");
    if (image.isNull())
        image = QImage::fromData(bytes, "PNG");
    return image;
}

void showThumbnail(QLabel* label, const QImage& image)
{
    label->setPixmap(QPixmap::fromImage(image.scaledToWidth(kThumbWidth, Qt::FastTransformation)));
}

} // namespace

// --- records ---------------------------------------------------------------

QVariantMap ContactEditor::_NameEdit::shown() const
{
    return {{key(5), prefix->text().trimmed()}, {key(2), first->text().trimmed()},
            {key(4), middle->text().trimmed()}, {key(3), last->text().trimmed()},
            {key(6), suffix->text().trimmed()}};
}

void ContactEditor::_NameEdit::fillEntity(const pim::Entity& entity)
{
    prefix->setText(entity.fields.value(key(5)).toString());
    first->setText(entity.fields.value(key(2)).toString());
    middle->setText(entity.fields.value(key(4)).toString());
    last->setText(entity.fields.value(key(3)).toString());
    suffix->setText(entity.fields.value(key(6)).toString());
    take(entity, shown());
}

pim::Entity ContactEditor::_NameEdit::toEntity() const
{
    bool changed = false;
    pim::Entity entity = merged(shown(),
                                                 {{key(5)}, {key(2)}, {key(4)}, {key(3)}, {key(6)}}, &changed);
    if (changed || !entity.fields.contains(key(1)))
        entity.fields.insert(key(1), entity.fullName());
    return entity;
}

void ContactEditor::_PhotoEdit::fillEntity(const pim::Entity& entity)
{
    setPhoto(entity.fields.value(key(15)).toByteArray());
    take(entity, {{key(15), bytes}});
}

pim::Entity ContactEditor::_PhotoEdit::toEntity() const
{
    bool changed = false;
    pim::Entity entity = merged({{key(15), bytes}}, {{key(15)}}, &changed);
    // Without its hash an unchanged photo would count as empty and be deleted.
    if (changed || !entity.fields.contains(key(4)))
        entity.fields.insert(key(4), entity.photoHash());
    return entity;
}

void ContactEditor::_PhotoEdit::setPhoto(QByteArray photo)
{
    bytes = std::move(photo);
    const QImage image = decode(bytes);
    if (!image.isNull())
        showThumbnail(label, image);
}

void ContactEditor::_PhotoEdit::reset()
{
    bytes.clear();
    showThumbnail(label, QImage(QStringLiteral(":res/empty_contact.png")));
}

QVariantMap ContactEditor::_NicknameEdit::shown() const
{
    return {{key(1), nickname->text().trimmed()}};
}

void ContactEditor::_NicknameEdit::fillEntity(const pim::Entity& entity)
{
    nickname->setText(entity.fields.value(key(1)).toString());
    take(entity, shown());
}

pim::Entity ContactEditor::_NicknameEdit::toEntity() const
{
    pim::Entity entity = merged(shown(), {{key(1)}});
    // A stored sub-type is kept; a new nickname is the default kind.
    if (!entity.fields.contains(key(2)))
        entity.fields.insert(key(2), 1);
    return entity;
}

QVariantMap ContactEditor::_OrgEdit::shown() const
{
    return {{key(4), title->text().trimmed()}, {key(5), department->text().trimmed()},
            {key(1), company->text().trimmed()}};
}

void ContactEditor::_OrgEdit::fillEntity(const pim::Entity& entity)
{
    title->setText(entity.fields.value(key(4)).toString());
    department->setText(entity.fields.value(key(5)).toString());
    company->setText(entity.fields.value(key(1)).toString());
    take(entity, shown());
}

pim::Entity ContactEditor::_OrgEdit::toEntity() const
{
    return merged(shown(), {{key(4)}, {key(5)}, {key(1)}});
}

QVariantMap ContactEditor::_NotesEdit::shown() const
{
    return {{key(1), notes->toPlainText().trimmed()}};
}

void ContactEditor::_NotesEdit::fillEntity(const pim::Entity& entity)
{
    plaintextbox::setText(notes, entity.fields.value(key(1)).toString());
    take(entity, shown());
}

pim::Entity ContactEditor::_NotesEdit::toEntity() const
{
    return merged(shown(), {{key(1)}});
}

// --- the editor ------------------------------------------------------------

QLineEdit* ContactEditor::newLineEdit(QWidget* parent, const char* placeholder, const char* objectName)
{
    auto* box = new QLineEdit(parent);
    box->setPlaceholderText(tr(placeholder));
    box->setObjectName(QString::fromLatin1(objectName));
    return box;
}

ContactEditor::ContactEditor(QWidget* parent)
    : QScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);

    m_content = new QWidget(this);
    QPalette transparent = palette();
    transparent.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(0, 255, 0, 0)));
    m_content->setPalette(transparent);
    setPalette(transparent);

    m_layout = new QVBoxLayout(m_content);
    m_layout->setSizeConstraint(QLayout::SetFixedSize);
    m_layout->setContentsMargins(20, 10, 20, 10);
    m_layout->setSpacing(3);

    m_header = new QWidget(m_content);
    auto* headerLayout = new QHBoxLayout(m_header);
    headerLayout->setContentsMargins(0, 0, 0, 0);

    auto* photoColumn = new QWidget(m_header);
    auto* photoLayout = new QVBoxLayout(photoColumn);
    photoLayout->setContentsMargins(0, 0, 0, 0);
    m_photo.label = new QLabel(photoColumn);
    m_photo.label->setObjectName(kPhotoName);
    m_photo.label->setAccessibleName(kPhotoName);
    m_photo.label->setFixedSize(kThumbWidth, kThumbWidth);
    m_photo.label->setCursor(Qt::PointingHandCursor);
    m_photo.label->installEventFilter(this);
    m_photo.reset();
    photoLayout->addWidget(m_photo.label, 0, Qt::AlignLeft | Qt::AlignTop);
    auto* deleteLink = new QLabel(QStringLiteral("<a href=\"#\">%1</a>").arg(tr("Delete Photo")), photoColumn);
    deleteLink->setObjectName(QStringLiteral("lbDeletePhoto"));
    deleteLink->setAlignment(Qt::AlignHCenter);
    connect(deleteLink, &QLabel::linkActivated, this, &ContactEditor::resetPhoto);
    photoLayout->addWidget(deleteLink);
    photoLayout->addStretch();
    headerLayout->addWidget(photoColumn, 0, Qt::AlignLeft | Qt::AlignTop);

    auto* nameColumn = new QWidget(m_header);
    auto* nameLayout = new QVBoxLayout(nameColumn);
    nameLayout->setContentsMargins(0, 0, 0, 0);
    m_name.prefix = newLineEdit(nameColumn, "Prefix", "txtPrefix");
    m_name.first = newLineEdit(nameColumn, "First Name", "txtFirstName");
    m_name.middle = newLineEdit(nameColumn, "Middle Name", "txtMiddleName");
    m_name.last = newLineEdit(nameColumn, "Last Name", "txtLastName");
    m_name.suffix = newLineEdit(nameColumn, "Suffix", "txtSuffix");
    m_nickname.nickname = newLineEdit(nameColumn, "Nickname", "txtNickname");
    m_org.title = newLineEdit(nameColumn, "Job Title", "txtJobTitle");
    m_org.department = newLineEdit(nameColumn, "Department", "txtDepartment");
    m_org.company = newLineEdit(nameColumn, "Company", "txtCompany");
    for (QLineEdit* box : {m_name.prefix, m_name.first, m_name.middle, m_name.last, m_name.suffix,
                           m_nickname.nickname, m_org.title, m_org.department, m_org.company})
        nameLayout->addWidget(box);
    headerLayout->addWidget(nameColumn);
    m_layout->addWidget(m_header);

    m_phones = new GenericEntitiesEditor(tr("Phone:"), tr("Phone Number"), pim::phoneTypeMap(), 2, m_content);
    m_emails = new GenericEntitiesEditor(tr("E-Mail:"), tr("E-Mail Address"), pim::emailTypeMap(), 1, m_content);
    m_dates = new DateEntitiesEditor(tr("Date (year-month-day):"), pim::eventTypeMap(), 3, m_content);
    m_ims = new IMEntitiesEditor(tr("IM:"), 1, 0, m_content);
    m_relations = new GenericEntitiesEditor(tr("Relationshp:"), tr("Name"), pim::relTypeMap(), 1, m_content);
    m_addresses = new AddrEntitiesEditor(tr("Address:"), 1, m_content);
    m_websites = new GenericEntitiesEditor(tr("Url:"), tr("Url"), pim::urlTypeMap(), 1, m_content);
    const std::pair<QWidget*, const char*> lists[] = {
        {m_phones, "phoneList"},       {m_emails, "emailList"},       {m_dates, "dateList"},
        {m_ims, "imList"},             {m_relations, "relationList"}, {m_addresses, "addressList"},
        {m_websites, "urlList"},
    };
    for (const auto& [list, name] : lists) {
        list->setObjectName(QString::fromLatin1(name));
        m_layout->addWidget(list, 0, Qt::AlignTop);
    }

    auto* notesRow = new QWidget(m_content);
    auto* notesLayout = new QHBoxLayout(notesRow);
    notesLayout->setContentsMargins(0, 6, 0, 0);
    notesLayout->setSizeConstraint(QLayout::SetMaximumSize);
    auto* notesLabel = new QLabel(tr("Notes:"), notesRow);
    notesLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    notesLayout->addWidget(notesLabel, 0, Qt::AlignTop);
    m_notes.notes = plaintextbox::create(notesRow);
    m_notes.notes->setObjectName(QStringLiteral("txtNotes"));
    m_notes.notes->setMaximumHeight(80);
    notesLayout->addWidget(m_notes.notes, 0, Qt::AlignTop);
    m_layout->addWidget(notesRow, 0, Qt::AlignTop);

    setWidget(m_content);
}

ContactEditor::~ContactEditor() = default;

void ContactEditor::fillContact(const pim::_Contact* contact)
{
    Q_ASSERT(contact);
    const auto first = [contact](int type) { return contact->entities.value(type).value(0); };
    const auto has = [contact](int type) { return !contact->entities.value(type).isEmpty(); };
    if (has(pim::ENTITY_PHOTO))
        m_photo.fillEntity(first(pim::ENTITY_PHOTO));
    if (has(pim::ENTITY_NAME))
        m_name.fillEntity(first(pim::ENTITY_NAME));
    if (has(pim::ENTITY_NICKNAME))
        m_nickname.fillEntity(first(pim::ENTITY_NICKNAME));
    if (has(pim::ENTITY_ORG))
        m_org.fillEntity(first(pim::ENTITY_ORG));

    const auto fillGeneric = [this, contact](GenericEntitiesEditor* list, int type) {
        for (const pim::Entity& e : shownPart(contact, type, list)) {
            list->addItem(e.id, e.srcId, entityrows::intField(e.fields, key(2)), e.fields.value(key(3)).toString(),
                          e.fields.value(key(1)).toString(), e.fields);
        }
    };
    fillGeneric(m_phones, pim::ENTITY_PHONE);
    fillGeneric(m_emails, pim::ENTITY_EMAIL);
    for (const pim::Entity& e : shownPart(contact, pim::ENTITY_EVENT, m_dates)) {
        m_dates->addItem(e.id, e.srcId, entityrows::intField(e.fields, key(2)), e.fields.value(key(3)).toString(),
                         QDateTime::fromString(pim::fieldText(e.fields.value(key(1))), Qt::ISODate), e.fields);
    }
    for (const pim::Entity& e : shownPart(contact, pim::ENTITY_IM, m_ims))
        m_ims->addItem(e);
    fillGeneric(m_relations, pim::ENTITY_REL);
    for (const pim::Entity& e : shownPart(contact, pim::ENTITY_ADDR, m_addresses))
        m_addresses->addItem(e);
    fillGeneric(m_websites, pim::ENTITY_URL);
    if (has(pim::ENTITY_NOTES))
        m_notes.fillEntity(first(pim::ENTITY_NOTES));
}

QList<pim::Entity> ContactEditor::shownPart(const pim::_Contact* contact, int type, QWidget* list)
{
    const QList<pim::Entity> all = contact->entities.value(type);
    if (all.size() <= kMaxRowsPerKind)
        return all;
    m_notShown.insert(type, all.mid(kMaxRowsPerKind));
    auto* more = new QLabel(tr("and %1 more, not shown here and kept as they are").arg(all.size() - kMaxRowsPerKind),
                            m_content);
    more->setObjectName(QStringLiteral("lbMoreRows"));
    m_layout->insertWidget(m_layout->indexOf(list) + 1, more, 0, Qt::AlignTop);
    return all.first(kMaxRowsPerKind);
}

pim::Entity ContactEditor::nameEntity() const
{
    return m_name.toEntity();
}

bool ContactEditor::hasFirstOrLastName() const
{
    return !m_name.first->text().trimmed().isEmpty() || !m_name.last->text().trimmed().isEmpty();
}

QList<pim::Entity> ContactEditor::editedEntities(int type) const
{
    return shownEntities(type) + m_notShown.value(type);
}

QList<pim::Entity> ContactEditor::shownEntities(int type) const
{
    const QString t = key(2), l = key(3), v = key(1);
    switch (type) {
    case pim::ENTITY_PHOTO:
        return m_photo.bytes.isEmpty() ? QList<pim::Entity>() : QList<pim::Entity>{m_photo.toEntity()};
    case pim::ENTITY_NICKNAME:
        return {m_nickname.toEntity()};
    case pim::ENTITY_ORG:
        return {m_org.toEntity()};
    case pim::ENTITY_NOTES:
        return {m_notes.toEntity()};
    case pim::ENTITY_PHONE:
        return m_phones->toEntityList(t, l, v);
    case pim::ENTITY_EMAIL:
        return m_emails->toEntityList(t, l, v);
    case pim::ENTITY_EVENT:
        return m_dates->toEntityList(t, l, v);
    case pim::ENTITY_IM:
        return m_ims->toEntityList();
    case pim::ENTITY_REL:
        return m_relations->toEntityList(t, l, v);
    case pim::ENTITY_ADDR:
        return m_addresses->toEntityList();
    case pim::ENTITY_URL:
        return m_websites->toEntityList(t, l, v);
    default:
        return {};
    }
}

void ContactEditor::setOpenFileAsker(std::function<QString()> asker)
{
    m_openFileAsker = std::move(asker);
}

QString ContactEditor::photoFileFilter()
{
    // Dialogs that match names case-sensitively would hide "IMG_0001.JPG".
    return tr("Images (*.png *.jpg *.jpeg *.PNG *.JPG *.JPEG)");
}

void ContactEditor::resetPhoto(QString)
{
    m_photo.reset();
}

bool ContactEditor::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->accessibleName() != kPhotoName || event->type() != QEvent::MouseButtonPress)
        return QScrollArea::eventFilter(watched, event);
    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        pickPhoto();
    return true;
}

void ContactEditor::pickPhoto()
{
    const QString path = m_openFileAsker
        ? m_openFileAsker()
        : QFileDialog::getOpenFileName(nullptr, QString(), QString(), photoFileFilter());
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcContactUi) << "cannot open picture" << path << file.errorString();
        return;
    }
    if (file.size() > kMaxPickedFileBytes) {
        Tips::warning(BoxText(tr("The picture %1 is larger than 32 MB and cannot be used as a contact photo."))
                          .arg(QDir::toNativeSeparators(path)));
        return;
    }
    const QImage image = decode(file.read(kMaxPickedFileBytes));
    if (image.isNull()) {
        qCInfo(lcContactUi) << "picked file is neither JPEG nor PNG:" << path;
        return;
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.scaled(kPickedSide, kPickedSide, Qt::KeepAspectRatio, Qt::FastTransformation).save(&buffer, "JPEG", -1);
    m_photo.setPhoto(jpeg);
}

void ContactEditor::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    m_header->setMinimumWidth(width() - 40);
}
