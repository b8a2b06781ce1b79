// SPDX-License-Identifier: GPL-3.0-or-later
#include "backupfixture.h"

#include "itunesbackup/keybag.h"
#include "itunesbackup/mbdbparser.h"
#include "itunesbackup/qopensslevpaes.h"
#include "platform/sqlite/sqlite3db.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <plist/plist.h>

#include <stdexcept>

namespace backupfixture {

QByteArray mbdbString(const QByteArray& s, bool absent)
{
    QByteArray b(2, '\0');
    qToBigEndian(quint16(absent ? 0xFFFF : s.size()), b.data());
    return absent ? b : b + s;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray be32(quint32 value)
{
    QByteArray b(4, '\0');
    qToBigEndian(value, b.data());
    return b;
}

QByteArray keybagRecord(const char* tag, const QByteArray& value)
{
    return QByteArray(tag, 4) + be32(quint32(value.size())) + value;
}

namespace {

QByteArray randomBytes(int n)
{
    QByteArray b(n, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(b.data()), n);
    return b;
}

// AES-256-CBC, zero IV, as the backup keeps its files.
QByteArray cbc(const QByteArray& key, const QByteArray& data)
{
    QOpenSSLEVPAES aes;
    aes.init(EVP_aes_256_cbc(), key, QByteArray(16, '\0'), true);
    QByteArray out = aes.update(data);
    return out + aes.final();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
        throw std::runtime_error("fixture: cannot write " + path.toStdString());
}

plist_t dict(std::initializer_list<std::pair<const char*, plist_t>> items)
{
    plist_t d = plist_new_dict();
    for (const auto& [key, value] : items)
        plist_dict_set_item(d, key, value);
    return d;
}

plist_t data(const QByteArray& b) { return plist_new_data(b.constData(), uint64_t(b.size())); }

QByteArray plistBytes(plist_t node, bool xml)
{
    char* out = nullptr;
    uint32_t len = 0;
    xml ? plist_to_xml(node, &out, &len) : plist_to_bin(node, &out, &len);
    const QByteArray b(out, int(len));
    free(out);
    plist_free(node);
    return b;
}

QByteArray digestOf(const FixtureFile& f) { return QCryptographicHash::hash(f.content, QCryptographicHash::Sha1); }

QByteArray keyedArchive(const FixtureFile& f, const QByteArray& encryptionKey)
{
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    plist_t file = dict({ { "Mode", plist_new_uint(f.mode) }, { "InodeNumber", plist_new_uint(uint64_t(f.inode)) },
        { "UserID", plist_new_uint(501) }, { "LastModified", plist_new_uint(uint64_t(f.lastModified)) },
        { "Size", plist_new_uint(uint64_t(f.content.size())) },
        { "ProtectionClass", plist_new_uint(uint64_t(f.protectionClass)) } });
    plist_array_append_item(objects, file);
    auto reference = [&](plist_t node) {
        plist_array_append_item(objects, node);
        return plist_new_uid(plist_array_get_size(objects) - 1);
    };
    auto dataValue = [&](const QByteArray& b) { return f.digestAsObject ? reference(dict({ { "NS.data", data(b) } })) : data(b); };
    plist_dict_set_item(file, "RelativePath", reference(plist_new_string(f.relativePath.toUtf8().constData())));
    if (!f.content.isEmpty())
        plist_dict_set_item(file, "Digest", dataValue(digestOf(f)));
    if (!encryptionKey.isEmpty())
        plist_dict_set_item(file, "EncryptionKey", dataValue(encryptionKey));
    return plistBytes(dict({ { "$archiver", plist_new_string("NSKeyedArchiver") },
                          { "$top", dict({ { "root", plist_new_uid(1) } }) }, { "$objects", objects } }),
        f.xml);
}

QByteArray mbdbRecord(const FixtureFile& f, const QByteArray& encryptionKey)
{
    QByteArray mode(2, '\0');
    qToBigEndian(f.mode, mode.data());
    return mbdbString(f.domain.toUtf8()) + mbdbString(f.relativePath.toUtf8()) + mbdbString({}, true)
        + mbdbString(digestOf(f), f.content.isEmpty()) + mbdbString(encryptionKey, encryptionKey.isEmpty()) + mode
        + be32(0) + be32(quint32(f.inode)) + be32(501) + be32(501) + be32(quint32(f.lastModified)) + be32(0) + be32(0)
        + be32(0) + be32(quint32(f.content.size())) + char(f.protectionClass) + char(1) + mbdbString("com.example.extra")
        + mbdbString("1");
}

} // namespace

Backup writeBackup(const QString& folderPath, const BackupSpec& spec)
{
    const QDir folder(folderPath);
    QDir().mkpath(folderPath);
    const bool encrypted = !spec.password.isEmpty();
    Backup out{ folder.absolutePath(), {}, {}, {} };

    const QByteArray salt = randomBytes(20), dpsl = randomBytes(20), pw = spec.password.toUtf8();
    QByteArray bag = keybagRecord("VERS", be32(3)) + keybagRecord("UUID", randomBytes(16)) + keybagRecord("WRAP", be32(1))
        + keybagRecord("SALT", salt) + keybagRecord("ITER", be32(3));
    if (spec.twoStage)
        bag += keybagRecord("DPIC", be32(2)) + keybagRecord("DPSL", dpsl);
    const QByteArray pwKey = pbkdf2Sha1(spec.twoStage ? pbkdf2Sha256(pw, dpsl, 2, 32) : pw, salt, 3, 32);
    for (int cls : { 1, 2, 3, 4, 11 }) {
        // Class 11 stands for a key wrapped with the device's own key.
        out.classKeys.insert(cls, randomBytes(32));
        bag += keybagRecord("UUID", randomBytes(16)) + keybagRecord("CLAS", be32(quint32(cls)))
            + keybagRecord("WRAP", be32(cls == 11 ? 1 : 3)) + keybagRecord("KTYP", be32(0))
            + keybagRecord("WPKY", cls == 11 ? randomBytes(40) : QOpenSSLEVPAES::aeswrap(pwKey, out.classKeys[cls], true));
    }
    out.keybag = bag;
    auto withClass = [](int cls, const QByteArray& wrapped) {
        QByteArray b(4, '\0');
        qToLittleEndian(quint32(cls), b.data());
        return b + wrapped;
    };

    const bool flat = spec.form == ManifestForm::Mbdb || spec.form == ManifestForm::Both;
    QList<QByteArray> fileKeys;
    QByteArray mbdb("mbdb\x05\x00", 6);
    for (const FixtureFile& f : spec.files) {
        QByteArray stored, content = f.content;
        if (encrypted && !content.isEmpty()) {
            const QByteArray fileKey = randomBytes(32);
            stored = withClass(f.protectionClass, QOpenSSLEVPAES::aeswrap(out.classKeys.value(f.protectionClass), fileKey, true));
            content = cbc(fileKey, content);
        }
        const QString id = MBDBParser::getFileHashName(f.domain, f.relativePath);
        if (!content.isEmpty())
            writeFile(folder.absoluteFilePath(flat ? id : id.left(2) + QLatin1Char('/') + id), content);
        fileKeys.append(stored);
        mbdb += mbdbRecord(f, stored);
    }
    if (flat)
        writeFile(folder.absoluteFilePath(QStringLiteral("Manifest.mbdb")), mbdb);
    if (spec.form != ManifestForm::Mbdb) {
        const QString dbPath = folder.absoluteFilePath(QStringLiteral("Manifest.db"));
        QFile::remove(dbPath);
        QByteArray descKey;
        {
            Sqlite3DB db;
            db.openThrow(dbPath, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
            db.executeThrow("create table Files (fileID text primary key, domain text, relativePath text, flags int, file blob)");
            if (spec.form == ManifestForm::SaltedDb) {
                const QByteArray dbSalt = randomBytes(16);
                db.executeThrow("create table Properties (key text primary key, value blob)");
                db.executeThrow(Sqlite3Sql("insert into Properties values ('salt', ?)").addBlobParam(dbSalt));
                descKey = MBDBParser::fileDescKey(pw, dbSalt);
            }
            for (int i = 0; i < spec.files.size(); ++i) {
                const FixtureFile& f = spec.files[i];
                const QByteArray blob = keyedArchive(f, fileKeys[i]);
                db.executeThrow(Sqlite3Sql("insert into Files values (?, ?, ?, ?, ?)")
                                    .addTextParam(MBDBParser::getFileHashName(f.domain, f.relativePath))
                                    .addTextParam(f.domain)
                                    .addTextParam(f.relativePath)
                                    .addIntParam((f.mode & 0x4000) ? 2 : 1)
                                    .addBlobParam(descKey.isEmpty() ? blob : MBDBParser::encryptFileDescThrow(blob, descKey).toBase64()));
            }
        }
        if (encrypted && spec.twoStage) {
            const QByteArray dbKey = randomBytes(32);
            writeFile(dbPath, cbc(dbKey, fileBytes(dbPath)));
            out.manifestKey = withClass(4, QOpenSSLEVPAES::aeswrap(out.classKeys[4], dbKey, true));
        }
    }

    plist_t manifest = dict({ { "IsEncrypted", plist_new_bool(encrypted) },
        { "Lockdown", dict({ { "DeviceName", plist_new_string(spec.deviceName.toUtf8().constData()) } }) } });
    if (encrypted)
        plist_dict_set_item(manifest, "BackupKeyBag", data(out.keybag));
    if (!out.manifestKey.isEmpty())
        plist_dict_set_item(manifest, "ManifestKey", data(out.manifestKey));
    writeFile(folder.absoluteFilePath(QStringLiteral("Manifest.plist")), plistBytes(manifest, false));
    return out;
}

QStringList snapshot(const QString& folder)
{
    QStringList out;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        out << it.next() + QCryptographicHash::hash(fileBytes(it.filePath()), QCryptographicHash::Sha1).toHex();
    out.sort();
    return out;
}

QByteArray addressBookPhoto()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

namespace {

// The tables as the phone lays them out, trimmed to the columns read, and
// the persons: labels of the phone's own ("_$!<...>!$_") and the user's
// ("iPhone", "Home", "home", "Buddy"), a value without label, addresses and
// messaging as entries, a social profile (not imported); an organisation; a
// person known only by a phone number; an empty person.
const char kBook[] = R"(
create table ABPerson (ROWID integer primary key autoincrement, First text, Last text, Middle text,
  FirstPhonetic text, MiddlePhonetic text, LastPhonetic text, Organization text, Department text, Note text,
  Kind integer, Birthday text, JobTitle text, Nickname text, Prefix text, Suffix text);
create table ABMultiValue (UID integer primary key, record_id integer, property integer, identifier integer,
  label integer, value text);
create table ABMultiValueLabel (value text, unique(value));
create table ABMultiValueEntry (parent_id integer, key integer, value text, unique(parent_id, key));
create table ABMultiValueEntryKey (value text, unique(value));
insert into ABPerson (First, Middle, Last, Prefix, Suffix, FirstPhonetic, LastPhonetic, Nickname, Organization,
  JobTitle, Department, Note, Birthday) values ('Anna', 'Maria', 'Berg', 'Dr.', 'Jr.', 'ana', 'berk', 'Annie',
  'Nordlicht GmbH', 'Engineer', 'R&D', 'First line' || char(10) || 'second line', '-662644800');
insert into ABPerson (Organization, Kind) values ('Nordlicht GmbH', 1);
insert into ABPerson (Note) values ('');
insert into ABPerson (Note) values ('');
insert into ABMultiValueLabel (ROWID, value) values (1, '_$!<Mobile>!$_'), (2, '_$!<HomeFAX>!$_'), (3, 'iPhone'),
  (4, '_$!<Work>!$_'), (5, 'Home'), (6, 'home'), (7, '_$!<Home>!$_'), (8, '_$!<HomePage>!$_'),
  (9, '_$!<Anniversary>!$_'), (10, '_$!<Father>!$_'), (11, 'Buddy'), (12, '_$!<Other>!$_'), (13, '_$!<Main>!$_');
insert into ABMultiValue (record_id, property, identifier, label, value) values (1, 3, 0, 1, '+49 30 1234567'),
  (1, 3, 1, 2, '030 555'), (1, 3, 2, 3, '0170 999'), (1, 3, 3, NULL, '110'), (1, 4, 0, 4, 'anna@work.example'),
  (1, 4, 1, 5, 'anna@home.example'), (1, 4, 2, 6, 'anna@other.example'), (1, 5, 0, 7, NULL),
  (1, 22, 0, 8, 'https://anna.example'), (1, 12, 0, 9, '300000000'), (1, 23, 0, 10, 'Karl Berg'),
  (1, 23, 1, 11, 'Bo'), (1, 13, 0, 4, NULL), (1, 13, 1, NULL, NULL), (1, 46, 0, 12, NULL),
  (2, 3, 0, 13, '+49 30 100'), (3, 3, 0, 1, '+1 555 0100');
insert into ABMultiValueEntryKey (ROWID, value) values (1, 'Street'), (2, 'City'), (3, 'State'), (4, 'ZIP'),
  (5, 'Country'), (6, 'CountryCode'), (7, 'service'), (8, 'username');
insert into ABMultiValueEntry values (8, 1, 'Hauptstr. 1'), (8, 2, 'Berlin'), (8, 3, 'BE'), (8, 4, '10115'),
  (8, 5, 'Germany'), (8, 6, 'de'), (13, 7, 'JabberInstant'), (13, 8, 'anna@jabber.example'),
  (14, 7, 'MatrixInstant'), (14, 8, '@anna:m.example'), (15, 7, 'twitter'), (15, 8, 'anna');
)";

} // namespace

QList<FixtureFile> addressBookFiles(const QString& scratch, bool walPerson)
{
    const QString bookPath = QDir(scratch).absoluteFilePath(QStringLiteral("AddressBook.sqlitedb"));
    const QString imagesPath = QDir(scratch).absoluteFilePath(QStringLiteral("AddressBookImages.sqlitedb"));
    for (const QString& p : { bookPath, bookPath + "-wal", imagesPath })
        QFile::remove(p);
    QDir().mkpath(scratch);
    QList<FixtureFile> files;
    {
        Sqlite3DB db;
        db.openThrow(bookPath, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        db.executeThrow("pragma journal_mode=wal");
        db.executeThrow("pragma wal_autocheckpoint=0");
        db.executeThrow(kBook);
        db.executeThrow("pragma wal_checkpoint(truncate)");
        if (walPerson)
            db.executeThrow("insert into ABPerson (First, Last) values ('Wally', 'Walters')");
        // Read while the connection is open: closing folds the log into the file.
        files.append({ kAddressBookDomain, kAddressBookPath, fileBytes(bookPath), 3, 0x81A4, 7 });
        const QByteArray log = fileBytes(bookPath + "-wal");
        if (!log.isEmpty())
            files.append({ kAddressBookDomain, QString(kAddressBookPath) + "-wal", log, 3, 0x81A4, 8 });
    }
    {
        Sqlite3DB db;
        db.openThrow(imagesPath, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        db.executeThrow("create table ABFullSizeImage (ROWID integer primary key, record_id integer, data blob);"
                        "create table ABThumbnailImage (ROWID integer primary key, record_id integer, format integer, data blob)");
        db.executeThrow(Sqlite3Sql("insert into ABFullSizeImage (record_id, data) values (1, ?)").addBlobParam(addressBookPhoto()));
        // Raw pixels, as some layouts keep thumbnails: no picture.
        db.executeThrow(Sqlite3Sql("insert into ABThumbnailImage (record_id, format, data) values (2, 0, ?)")
                            .addBlobParam(QByteArray(64, '\x7f')));
    }
    // Its description in the other encodings a backup may use.
    files.append({ kAddressBookDomain, "Library/AddressBook/AddressBookImages.sqlitedb", fileBytes(imagesPath), 4, 0x81A4, 9,
        1600000500, true, true });
    files.append({ kAddressBookDomain, "Library/AddressBook", QByteArray(), 0, 0x41ED, 5 });
    return files;
}

} // namespace backupfixture
