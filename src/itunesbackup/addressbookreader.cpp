// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/addressbookreader.h"

#include "itunesbackup/itunesbackuplog.h"
#include "model/pimlabels.h"
#include "platform/error.h"
#include "platform/sqlite/sqlite3db.h"

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QSet>

#include <cmath>

namespace {

// Property codes of ABMultiValue.
enum Property {
    kPhone = 3,
    kEmail = 4,
    kAddress = 5,
    kDate = 12,
    kMessaging = 13,
    kUrl = 22,
    kRelated = 23,
};

// A picture larger than this is not a contact photo but damage; it is left out.
constexpr int kMaxPhotoBytes = 16 * 1024 * 1024;

const QString kData1 = QStringLiteral("data1"), kData2 = QStringLiteral("data2"), kData3 = QStringLiteral("data3"),
              kData4 = QStringLiteral("data4"), kData5 = QStringLiteral("data5"), kData6 = QStringLiteral("data6"),
              kData7 = QStringLiteral("data7"), kData8 = QStringLiteral("data8"), kData9 = QStringLiteral("data9"),
              kData10 = QStringLiteral("data10"), kData11 = QStringLiteral("data11"), kData15 = QStringLiteral("data15");

// The person columns read, in the order of the query; a layout that lacks
// one reads it as empty.
const char* const kPersonColumns[] = { "First", "Last", "Middle", "Prefix", "Suffix", "FirstPhonetic", "LastPhonetic",
    "Nickname", "Organization", "JobTitle", "Department", "Note", "Birthday" };
enum PersonColumn { First = 1, Last, Middle, Prefix, Suffix, FirstPhonetic, LastPhonetic, Nickname, Organization,
    JobTitle, Department, Note, Birthday };

struct MultiValue {
    qint64 uid;
    int property;
    QString label;
    QString value;
};

QString letters(const QString& text)
{
    QString out = text.toLower();
    out.remove(QLatin1Char(' '));
    return out;
}

bool hasTable(Sqlite3DB& db, const char* name)
{
    Sqlite3Cursor c = db.queryThrow(
        Sqlite3Sql("select count(*) from sqlite_master where type='table' and name=?").addTextParam(QLatin1String(name)));
    return c.moveNext() && c.getInt64(0) > 0;
}

QSet<QString> columnsOf(Sqlite3DB& db, const char* table)
{
    QSet<QString> out;
    Sqlite3Cursor c = db.queryThrow(QStringLiteral("pragma table_info(%1)").arg(QLatin1String(table)));
    while (c.moveNext())
        out.insert(c.getText(QStringLiteral("name")).toLower());
    return out;
}

// Dates are kept as seconds since 2001-01-01 UTC, written as a decimal
// number; anything else is kept as written.
QString dateText(const QString& stored)
{
    bool ok = false;
    const double seconds = stored.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || std::fabs(seconds) > 1e11)
        return stored.trimmed();
    const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return epoch.addSecs(qint64(std::llround(seconds))).toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
}

// The phone's own labels come wrapped: "_$!<HomeFAX>!$_".
QString unwrapped(const QString& label, bool* builtIn)
{
    const QString text = label.trimmed();
    *builtIn = text.startsWith(QLatin1String("_$!<")) && text.endsWith(QLatin1String(">!$_"));
    return *builtIn ? text.mid(4, text.size() - 8) : text;
}

// A label that no table entry matches is kept as text beside code 0.
void setLabel(pim::Entity& e, const QMap<int, QString>& table, const QString& label, const QString& codeKey,
    const QString& textKey)
{
    const int code = addressBookLabelCode(table, label);
    e.fields.insert(codeKey, code < 0 ? 0 : code);
    bool builtIn = false;
    e.fields.insert(textKey, code < 0 ? unwrapped(label, &builtIn) : QString());
}

bool looksLikePicture(const QByteArray& b)
{
    return b.startsWith("\xFF\xD8\xFF") || b.startsWith("\x89PNG");
}

class Reader {
public:
    Reader(const QString& bookPath, const QString& imagesPath)
        : m_bookPath(QDir::toNativeSeparators(bookPath))
        , m_imagesPath(QDir::toNativeSeparators(imagesPath))
    {
        openThrow(m_book, bookPath);
        for (const char* table : { "ABPerson", "ABMultiValue", "ABMultiValueLabel" }) {
            if (!hasTable(m_book, table))
                throw Error(QStringLiteral("%1 is not an address book: it has no table %2.")
                                .arg(m_bookPath, QLatin1String(table)));
        }
        if (!imagesPath.isEmpty()) {
            openThrow(m_images, imagesPath);
            m_fullTable = hasTable(m_images, "ABFullSizeImage") ? "ABFullSizeImage"
                : hasTable(m_images, "ABPersonFullSizeImage")   ? "ABPersonFullSizeImage"
                                                                : nullptr;
            m_thumbTable = hasTable(m_images, "ABThumbnailImage") ? "ABThumbnailImage" : nullptr;
        }
    }

    AddressBookContents readAll(const std::function<bool(int, int)>& step)
    {
        AddressBookContents out;
        loadMultiValues();
        m_fullImages = imageRows(m_fullTable);
        m_thumbImages = imageRows(m_thumbTable);

        const QSet<QString> present = columnsOf(m_book, "ABPerson");
        QString sql = QStringLiteral("select ROWID");
        for (const char* column : kPersonColumns)
            sql += present.contains(QString::fromLatin1(column).toLower()) ? QStringLiteral(", ") + QLatin1String(column)
                                                                             : QStringLiteral(", NULL");
        Sqlite3Cursor persons = m_book.queryThrow(sql + QStringLiteral(" from ABPerson order by ROWID"));
        const int total = persons.count();
        int done = 0;
        while (persons.moveNext()) {
            pim::_Contact contact = person(persons);
            if (contact.fullName.isEmpty())
                ++out.nameless;
            else
                out.contacts.append(std::move(contact));
            if (step && !step(++done, total)) {
                out.complete = false;
                break;
            }
        }
        return out;
    }

private:
    void openThrow(Sqlite3DB& db, const QString& path)
    {
        try {
            db.openThrow(path, Sqlite3DB::OpenReadOnly);
        } catch (const std::exception& e) {
            throw Error(QStringLiteral("The address book file %1 cannot be read. %2")
                            .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what())));
        }
    }

    void loadMultiValues()
    {
        QHash<qint64, QString> labels;
        Sqlite3Cursor l = m_book.queryThrow("select ROWID, value from ABMultiValueLabel");
        while (l.moveNext())
            labels.insert(l.getInt64(0), l.getText(1));

        if (hasTable(m_book, "ABMultiValueEntry") && hasTable(m_book, "ABMultiValueEntryKey")) {
            Sqlite3Cursor e = m_book.queryThrow("select e.parent_id, k.value, e.value from ABMultiValueEntry e "
                                                "join ABMultiValueEntryKey k on k.ROWID = e.key");
            while (e.moveNext())
                m_entries[e.getInt64(0)].insert(e.getText(1).toLower(), e.getText(2));
        }

        Sqlite3Cursor v = m_book.queryThrow(
            "select UID, record_id, property, label, value from ABMultiValue order by record_id, UID");
        while (v.moveNext()) {
            const bool labelled = !v.isNull(QStringLiteral("label"));
            m_values[v.getInt64(1)].append(
                { v.getInt64(0), int(v.getInt64(2)), labelled ? labels.value(v.getInt64(3)) : QString(), v.getText(4) });
        }
    }

    // record_id -> ROWID of its first picture in `table`.
    QHash<qint64, qint64> imageRows(const char* table)
    {
        QHash<qint64, qint64> rows;
        if (!table)
            return rows;
        Sqlite3Cursor c = m_images.queryThrow(QStringLiteral("select ROWID, record_id from %1 order by ROWID desc")
                                                  .arg(QLatin1String(table)));
        while (c.moveNext())
            rows.insert(c.getInt64(1), c.getInt64(0));
        return rows;
    }

    QByteArray picture(qint64 person)
    {
        QByteArray bytes = imageData(m_fullTable, m_fullImages, person);
        if (bytes.isEmpty()) {
            // Thumbnails of some layouts are raw pixels; only a real picture is taken.
            bytes = imageData(m_thumbTable, m_thumbImages, person);
            if (!looksLikePicture(bytes))
                bytes.clear();
        }
        return bytes;
    }

    QByteArray imageData(const char* table, const QHash<qint64, qint64>& rows, qint64 person)
    {
        const auto it = rows.constFind(person);
        if (it == rows.constEnd())
            return {};
        Sqlite3Cursor c = m_images.queryThrow(
            Sqlite3Sql(QStringLiteral("select length(data), data from %1 where ROWID=?").arg(QLatin1String(table)))
                .addInt64Param(it.value()));
        if (!c.moveNext())
            return {};
        if (c.getInt64(0) > kMaxPhotoBytes) {
            qCWarning(lcBackup) << "picture of person" << person << "in" << m_imagesPath << "is" << c.getInt64(0)
                                << "bytes; left out";
            return {};
        }
        return c.getBlob(1);
    }

    pim::_Contact person(const Sqlite3Cursor& row)
    {
        const qint64 id = row.getInt64(0);
        auto text = [&](int column) { return row.getText(column).trimmed(); };
        pim::_Contact contact;

        pim::Entity name;
        const std::pair<int, const QString*> parts[] = { { First, &kData2 }, { Last, &kData3 }, { Middle, &kData4 },
            { Prefix, &kData5 }, { Suffix, &kData6 }, { FirstPhonetic, &kData7 }, { LastPhonetic, &kData8 } };
        // Every part is set, empty or not: a stored value reads back as empty
        // text, and an absent part would differ from it at the next import.
        bool named = false;
        for (const auto& [column, key] : parts) {
            name.fields.insert(*key, text(column));
            named = named || !text(column).isEmpty();
        }
        if (named) {
            name.fields.insert(kData1, name.fullName());
            contact.entities[pim::ENTITY_NAME].append(name);
        }
        if (!text(Nickname).isEmpty())
            add(contact, pim::ENTITY_NICKNAME, { { kData1, text(Nickname) }, { kData2, 1 } });
        if (!text(Organization).isEmpty() || !text(JobTitle).isEmpty() || !text(Department).isEmpty())
            add(contact, pim::ENTITY_ORG,
                { { kData1, text(Organization) }, { kData2, 1 }, { kData4, text(JobTitle) }, { kData5, text(Department) } });
        if (!row.getText(Note).isEmpty())
            add(contact, pim::ENTITY_NOTES, { { kData1, row.getText(Note) } });
        if (!text(Birthday).isEmpty())
            add(contact, pim::ENTITY_EVENT, { { kData1, dateText(text(Birthday)) }, { kData2, 3 } });

        for (const MultiValue& value : m_values.value(id))
            addMultiValue(contact, value);

        const QByteArray photo = m_images.isOpen() ? picture(id) : QByteArray();
        if (!photo.isEmpty())
            add(contact, pim::ENTITY_PHOTO, { { kData15, photo }, { kData4, pim::Entity::photoHash(photo) } });

        contact.fullName = name.fullName();
        for (const auto& [type, key] : { std::pair(pim::ENTITY_ORG, kData1), std::pair(pim::ENTITY_NICKNAME, kData1),
                 std::pair(pim::ENTITY_EMAIL, kData1), std::pair(pim::ENTITY_PHONE, kData1) }) {
            if (contact.fullName.isEmpty() && !contact.entities.value(type).isEmpty())
                contact.fullName = contact.entities.value(type).first().fields.value(key).toString();
        }
        return contact;
    }

    static void add(pim::_Contact& contact, int type, const QMap<QString, QVariant>& fields)
    {
        pim::Entity e;
        e.fields = fields;
        contact.entities[type].append(e);
    }

    void addMultiValue(pim::_Contact& contact, const MultiValue& value)
    {
        pim::Entity e;
        int type = 0;
        QMap<int, QString> table;
        switch (value.property) {
        case kPhone:
            type = pim::ENTITY_PHONE, table = pim::phoneTypeMap();
            break;
        case kEmail:
            type = pim::ENTITY_EMAIL, table = pim::emailTypeMap();
            break;
        case kUrl:
            type = pim::ENTITY_URL, table = pim::urlTypeMap();
            break;
        case kRelated:
            type = pim::ENTITY_REL, table = pim::relTypeMap();
            break;
        case kDate:
            type = pim::ENTITY_EVENT, table = pim::eventTypeMap();
            break;
        case kAddress:
            type = pim::ENTITY_ADDR, table = pim::addrTypeMap();
            break;
        case kMessaging:
            type = pim::ENTITY_IM, table = pim::imTypeMap();
            break;
        default:
            return; // social profiles and the like have no place here
        }
        if (type == pim::ENTITY_ADDR) {
            const QHash<QString, QString> parts = m_entries.value(value.uid);
            const std::pair<const char*, const QString*> keys[] = { { "street", &kData4 }, { "sublocality", &kData6 },
                { "city", &kData7 }, { "state", &kData8 }, { "zip", &kData9 }, { "country", &kData10 },
                { "countrycode", &kData11 } };
            bool any = false;
            for (const auto& [key, field] : keys) {
                const QString part = parts.value(QLatin1String(key)).trimmed();
                e.fields.insert(*field, part);
                any = any || !part.isEmpty();
            }
            if (!any)
                return;
            e.fields.insert(kData1, e.formattedAddr());
        } else if (type == pim::ENTITY_IM) {
            const QHash<QString, QString> parts = m_entries.value(value.uid);
            const QString user = parts.value(QStringLiteral("username")).trimmed();
            if (user.isEmpty())
                return;
            e.fields.insert(kData1, user);
            QString service = parts.value(QStringLiteral("service")).trimmed();
            if (service.endsWith(QLatin1String("Instant")))
                service.chop(7);
            // The service is the phone's own word, like a wrapped label.
            setLabel(e, pim::imProtocolMap(), service.isEmpty() ? service : QStringLiteral("_$!<%1>!$_").arg(service),
                kData5, kData6);
        } else {
            const QString v = type == pim::ENTITY_EVENT ? dateText(value.value) : value.value.trimmed();
            if (v.isEmpty())
                return;
            e.fields.insert(kData1, v);
        }
        setLabel(e, table, value.label, kData2, kData3);
        contact.entities[type].append(e);
    }

    QString m_bookPath, m_imagesPath;
    Sqlite3DB m_book, m_images;
    const char* m_fullTable = nullptr;
    const char* m_thumbTable = nullptr;
    QHash<qint64, QList<MultiValue>> m_values;          // by person
    QHash<qint64, QHash<QString, QString>> m_entries;   // by multi-value UID, key in lower case
    QHash<qint64, qint64> m_fullImages, m_thumbImages;  // person -> picture row
};

} // namespace

int addressBookLabelCode(const QMap<int, QString>& table, const QString& label)
{
    bool builtIn = false;
    const QString text = unwrapped(label, &builtIn);
    if (text.isEmpty())
        return 0;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (builtIn ? letters(it.value()) == letters(text) : it.value() == text)
            return it.key();
    }
    return -1;
}

AddressBookContents readAddressBookThrow(const QString& bookPath, const QString& imagesPath,
    const std::function<bool(int, int)>& step)
{
    Reader reader(bookPath, imagesPath);
    try {
        return reader.readAll(step);
    } catch (const std::exception& e) {
        throw Error(QStringLiteral("The address book %1 cannot be read. %2")
                        .arg(QDir::toNativeSeparators(bookPath), QString::fromUtf8(e.what())));
    }
}
