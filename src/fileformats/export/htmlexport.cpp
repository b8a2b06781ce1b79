// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/export/htmlexport.h"

#include "kit/productinfo.h"

#include "contactui/contactformatters.h"
#include "platform/error.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <algorithm>

namespace {

struct Tr {
    Q_DECLARE_TR_FUNCTIONS(HtmlExport)
};

const QString kCrLf = QStringLiteral("\r\n");
const QString kEmptyPicture = QStringLiteral("contact.png");

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// The text without the characters XML 1.0 forbids (control codes, lone
// surrogates): one of them anywhere makes the whole page unreadable to an
// XML parser, and none of them shows anything in a browser.
QString xmlSafe(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (isXmlChar(c))
            out.append(QString::fromUcs4(&c, 1));
    }
    return out;
}

// Contact text as markup: escaped, each line break a "<br/>".
QString markup(const QString& text)
{
    QString escaped = xmlSafe(text).toHtmlEscaped();
    escaped.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    escaped.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return escaped.split(QLatin1Char('\n')).join(QLatin1String("<br/>"));
}

using Display = QString (*)(const pim::Entity&);

template <QString (*plain)(const pim::Entity&)> QString plainAsMarkup(const pim::Entity& entity)
{
    return markup(plain(entity));
}

// The address display escapes its parts itself and brings its own markup.
QString addressMarkup(const pim::Entity& entity)
{
    return xmlSafe(contactformatters::addrDisplay(entity));
}

// One titled list of entities, each rendered by display as markup.
QString entitiesHtml(const QString& title, const QList<pim::Entity>& entities, Display display)
{
    QString html = QStringLiteral("<div style=\"margin-bottom:20px;\">") + kCrLf
        + QStringLiteral("<h2 class=\"ent_group\">") + title + QStringLiteral("</h2>") + kCrLf
        + QStringLiteral("<ul class=\"ent_list\">") + kCrLf;
    for (const pim::Entity& entity : entities)
        html += QStringLiteral("<li>") + display(entity) + QStringLiteral("</li>") + kCrLf;
    return html + QStringLiteral("</ul>") + kCrLf + QStringLiteral("</div>") + kCrLf;
}

struct Section {
    const char* title;
    int type;
    Display display;
};

// The order of the page: notes come last although their code is lower.
const Section kSections[] = {
    { "Phone:", pim::ENTITY_PHONE, plainAsMarkup<contactformatters::phoneDisplay> },
    { "E-Mail:", pim::ENTITY_EMAIL, plainAsMarkup<contactformatters::emailDisplay> },
    { "Date:", pim::ENTITY_EVENT, plainAsMarkup<contactformatters::eventDisplay> },
    { "IM:", pim::ENTITY_IM, plainAsMarkup<contactformatters::imDisplay> },
    { "Organization:", pim::ENTITY_ORG, plainAsMarkup<contactformatters::orgDisplay> },
    { "Relationship:", pim::ENTITY_REL, plainAsMarkup<contactformatters::relDisplay> },
    { "Address:", pim::ENTITY_ADDR, addressMarkup },
    { "Website:", pim::ENTITY_URL, plainAsMarkup<contactformatters::urlDisplay> },
    { "Notes:", pim::ENTITY_NOTES, plainAsMarkup<contactformatters::notesDisplay> },
};

QString pictureLine(const QString& name)
{
    return QStringLiteral("<img class=\"photo\" src=\"photos/%1\" width=\"128\" alt=\"\" />").arg(name)
        + kCrLf;
}

// JPEG bytes of a decoded picture. JPEG has no transparency: transparent
// parts are laid on white, as the page background would show them, instead
// of turning black.
QByteArray jpegOf(const QImage& picture)
{
    QImage opaque = picture;
    if (picture.hasAlphaChannel()) {
        opaque = QImage(picture.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, picture);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    opaque.save(&buffer, "JPG");
    return bytes;
}

// Whether the bytes decode as a JPEG picture. Decoding at an eighth of the
// size reads the whole stream but skips most of the work.
bool isJpeg(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "JPG");
    const QSize size = reader.size();
    if (!size.isValid())
        return false;
    reader.setScaledSize(QSize(std::max(1, size.width() / 8), std::max(1, size.height() / 8)));
    return !reader.read().isNull();
}

} // namespace

HtmlExport::HtmlExport(const QDir& pageFolder)
    : m_photos(pageFolder.absoluteFilePath(QStringLiteral("photos")))
{
    // A folder that cannot be made shows when its first picture is written.
    m_photos.mkpath(m_photos.absolutePath());
}

HtmlExport::~HtmlExport() = default;

QByteArray HtmlExport::initialize(const QList<pim::_Contact>& contacts)
{
    Q_UNUSED(contacts);
    QFile picture(QStringLiteral(":res/empty_contact.png"));
    if (!picture.open(QIODevice::ReadOnly))
        throw Error(Tr::tr("The empty-contact picture is missing from this program."));
    writeFile(kEmptyPicture, picture.readAll());

    const QString title = product::title();
    const QStringList head = {
        QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                       "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"),
        QStringLiteral("<html xmlns=\"http://www.w3.org/1999/xhtml\">"),
        QStringLiteral("<head>"),
        QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"),
        QStringLiteral("<title>%1</title>").arg(markup(title)),
        QStringLiteral("<style type=\"text/css\">"),
        QStringLiteral(".photo{float:left;margin:5px;border:1px solid #A9A9A9;}"),
        QStringLiteral(".ct_name{font-size:24px;font-weight:bold;font-style:italic;margin-bottom:20px;}"),
        QStringLiteral(".ent_group{padding:0;margin:0;font-size:20px; font-weight:bold; font-style:italic}"),
        QStringLiteral(".ent_list{margin:0; padding:0; list-style:none; font-size:18px}"),
        QStringLiteral("</style></head>"),
        QStringLiteral("<body style=\"background-color:#F1F5FB\">"),
    };
    return (head.join(kCrLf) + kCrLf).toUtf8();
}

QByteArray HtmlExport::ct2Bytes(const pim::_Contact& contact)
{
    QString html = QStringLiteral("<div style=\"margin-bottom:50px;\">") + kCrLf;
    const QString photo = savePhoto(contact);
    html += pictureLine(photo.isEmpty() ? kEmptyPicture : photo);
    html += QStringLiteral("<div class=\"ct_name\">") + kCrLf + markup(contactformatters::headerText(contact))
        + kCrLf + QStringLiteral("</div><div style=\"clear:both\"></div>") + kCrLf;

    for (const Section& section : kSections) {
        QList<pim::Entity> shown = contact.entities.value(section.type);
        // The first organisation is part of the header.
        if (section.type == pim::ENTITY_ORG && !shown.isEmpty())
            shown.removeFirst();
        if (!shown.isEmpty())
            html += entitiesHtml(QLatin1String(section.title), shown, section.display);
    }
    html += QStringLiteral("</div>") + kCrLf;
    return html.toUtf8();
}

QByteArray HtmlExport::uninitialize()
{
    return QByteArrayLiteral("</body></html>");
}

// Writes the contact's first photo, if it decodes as JPEG or PNG, and
// returns its file name (empty when there is no usable photo). JPEG bytes
// are kept as they are: re-encoding would only lose quality.
QString HtmlExport::savePhoto(const pim::_Contact& contact)
{
    const QList<pim::Entity> photos = contact.entities.value(pim::ENTITY_PHOTO);
    if (photos.isEmpty())
        return QString();
    const QByteArray bytes = photos.constFirst().fields.value(QStringLiteral("data15")).toByteArray();
    QByteArray jpeg;
    if (isJpeg(bytes)) {
        jpeg = bytes;
    } else {
        const QImage png = QImage::fromData(bytes, "PNG");
        if (png.isNull())
            return QString();
        jpeg = jpegOf(png);
    }
    const QString name = freshPhotoName(contact.id);
    writeFile(name, jpeg);
    return name;
}

// "<id>.jpg", or "<id>-<n>.jpg" when an earlier contact of this page took
// that name.
QString HtmlExport::freshPhotoName(unsigned long long id)
{
    QString name = QStringLiteral("%1.jpg").arg(id);
    for (int n = 2; m_usedNames.contains(name); ++n)
        name = QStringLiteral("%1-%2.jpg").arg(id).arg(n);
    m_usedNames.insert(name);
    return name;
}

// A plain file rather than a save file: one flush to disk per picture
// would cost more than the whole page, and a picture left half-written by a
// failed export is replaced by the next one.
void HtmlExport::writeFile(const QString& name, const QByteArray& bytes) const
{
    QFile file(m_photos.absoluteFilePath(name));
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError)
        throw Error(Tr::tr("Cannot write the picture \"%1\": %2")
                        .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
}
