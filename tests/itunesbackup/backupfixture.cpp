// SPDX-License-Identifier: GPL-3.0-or-later
#include "backupfixture.h"

#include "itunesbackup/keybag.h"
#include "itunesbackup/mbdbparser.h"
#include "itunesbackup/qopensslevpaes.h"
#include "platform/sqlite/sqlite3db.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <plist/plist.h>

#include <stdexcept>

namespace backupfixture {
namespace {

QByteArray randomBytes(int n)
{
    QByteArray b(n, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(b.data()), n);
    return b;
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

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

QByteArray plistBytes(plist_t node, bool xml)
{
    char* out = nullptr;
    uint32_t len = 0;
    xml ? plist_to_xml(node, &out, &len) : plist_to_bin(node, &out, &len);
    QByteArray b(out, int(len));
    free(out);
    plist_free(node);
    return b;
}

plist_t dataNode(const QByteArray& b) { return plist_new_data(b.constData(), uint64_t(b.size())); }

QByteArray mbdbString(const QByteArray& s, bool absent = false)
{
    QByteArray b(2, '\0');
    qToBigEndian(quint16(absent ? 0xFFFF : s.size()), b.data());
    return b + s;
}

} // namespace

QList<FixtureFile> BackupSpec::defaultFiles()
{
    FixtureFile book{ kAddressBookDomain, kAddressBookPath, "address book stand-in \x01\x02", 3, 0x81A4, 7 };
    FixtureFile images{ kAddressBookDomain, "Library/AddressBook/AddressBookImages.sqlitedb", QByteArray(20000, 'i'),
        4, 0x81A4, 9, 1600000500, true, true };
    FixtureFile folder{ kAddressBookDomain, "Library/AddressBook", QByteArray(), 0, 0x41ED, 5 };
    return { book, images, folder };
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

QByteArray keyedArchive(const FixtureFile& f, const QByteArray& encryptionKey)
{
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    plist_t file = plist_new_dict();
    plist_array_append_item(objects, file);
    auto addObject = [&](plist_t node) {
        plist_array_append_item(objects, node);
        return plist_new_uid(plist_array_get_size(objects) - 1);
    };
    auto dataValue = [&](const QByteArray& b) {
        if (!f.digestAsObject)
            return dataNode(b);
        plist_t d = plist_new_dict();
        plist_dict_set_item(d, "NS.data", dataNode(b));
        return addObject(d);
    };
    plist_dict_set_item(file, "RelativePath", addObject(plist_new_string(f.relativePath.toUtf8().constData())));
    if (!f.content.isEmpty())
        plist_dict_set_item(file, "Digest", dataValue(QCryptographicHash::hash(f.content, QCryptographicHash::Sha1)));
    if (!encryptionKey.isEmpty())
        plist_dict_set_item(file, "EncryptionKey", dataValue(encryptionKey));
    const QList<QPair<const char*, qint64>> numbers = { { "Mode", f.mode }, { "InodeNumber", f.inode },
        { "UserID", 501 }, { "GroupID", 501 }, { "LastModified", f.lastModified }, { "Birth", 1500000000 },
        { "Size", f.content.size() }, { "ProtectionClass", f.protectionClass } };
    for (const auto& n : numbers)
        plist_dict_set_item(file, n.first, plist_new_uint(uint64_t(n.second)));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(1));
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_dict_set_item(root, "$top", top);
    plist_dict_set_item(root, "$objects", objects);
    return plistBytes(root, f.xml);
}

QByteArray mbdbRecord(const FixtureFile& f, const QByteArray& encryptionKey)
{
    QByteArray r = mbdbString(f.domain.toUtf8()) + mbdbString(f.relativePath.toUtf8()) + mbdbString({}, true)
        + mbdbString(f.content.isEmpty() ? QByteArray() : QCryptographicHash::hash(f.content, QCryptographicHash::Sha1),
            f.content.isEmpty())
        + mbdbString(encryptionKey, encryptionKey.isEmpty());
    QByteArray n(2, '\0');
    qToBigEndian(f.mode, n.data());
    r += n + be32(0) + be32(quint32(f.inode)) + be32(501) + be32(501) + be32(quint32(f.lastModified)) + be32(0)
        + be32(0) + be32(0) + be32(quint32(f.content.size())) + char(f.protectionClass) + char(1);
    return r + mbdbString("com.example.extra") + mbdbString("1");
}

Backup writeBackup(const QString& folderPath, const BackupSpec& spec)
{
    const QDir folder(folderPath);
    QDir().mkpath(folderPath);
    const bool encrypted = !spec.password.isEmpty();
    Backup out{ folder.absolutePath(), {}, {}, {} };

    QByteArray salt = randomBytes(20), dpsl = randomBytes(20);
    QByteArray bag = keybagRecord("VERS", be32(3)) + keybagRecord("TYPE", be32(1)) + keybagRecord("UUID", randomBytes(16))
        + keybagRecord("WRAP", be32(1)) + keybagRecord("SALT", salt) + keybagRecord("ITER", be32(quint32(spec.iter)));
    QByteArray pwKey = pbkdf2Sha1(spec.password.toUtf8(), salt, spec.iter, 32);
    if (spec.twoStage) {
        bag += keybagRecord("DPWT", be32(1)) + keybagRecord("DPIC", be32(quint32(spec.dpic))) + keybagRecord("DPSL", dpsl);
        pwKey = pbkdf2Sha1(pbkdf2Sha256(spec.password.toUtf8(), dpsl, spec.dpic, 32), salt, spec.iter, 32);
    }
    for (int cls : { 1, 2, 3, 4, 11 }) {
        // Class 11 stands for a key wrapped with the device's own key.
        const bool deviceOnly = cls == 11;
        out.classKeys.insert(cls, randomBytes(32));
        const QByteArray wpky = deviceOnly ? randomBytes(40) : QOpenSSLEVPAES::aeswrap(pwKey, out.classKeys[cls], true);
        bag += keybagRecord("UUID", randomBytes(16)) + keybagRecord("CLAS", be32(quint32(cls)))
            + keybagRecord("WRAP", be32(deviceOnly ? 1 : 3)) + keybagRecord("KTYP", be32(0)) + keybagRecord("WPKY", wpky);
    }
    out.keybag = bag;

    // Content files and the encryption key of each record.
    const bool flat = spec.form == ManifestForm::Mbdb || spec.form == ManifestForm::Both;
    QList<QByteArray> fileKeys;
    for (const FixtureFile& f : spec.files) {
        QByteArray stored;
        const QString id = MBDBParser::getFileHashName(f.domain, f.relativePath);
        const QString path = folder.absoluteFilePath(flat ? id : id.left(2) + QLatin1Char('/') + id);
        if (encrypted && !f.content.isEmpty()) {
            const QByteArray fileKey = randomBytes(32);
            stored = le32(quint32(f.protectionClass))
                + QOpenSSLEVPAES::aeswrap(out.classKeys.value(f.protectionClass), fileKey, true);
            writeFile(path, cbc(fileKey, f.content));
        } else if (!f.content.isEmpty()) {
            writeFile(path, f.content);
        }
        fileKeys.append(stored);
    }

    if (spec.form != ManifestForm::Db && spec.form != ManifestForm::SaltedDb) {
        QByteArray mbdb("mbdb\x05\x00", 6);
        for (int i = 0; i < spec.files.size(); ++i)
            mbdb += mbdbRecord(spec.files[i], fileKeys[i]);
        writeFile(folder.absoluteFilePath(QStringLiteral("Manifest.mbdb")), mbdb);
    }
    if (spec.form != ManifestForm::Mbdb) {
        const QString dbPath = folder.absoluteFilePath(QStringLiteral("Manifest.db"));
        QFile::remove(dbPath);
        {
            Sqlite3DB db;
            db.openThrow(dbPath, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
            db.executeThrow("create table Files (fileID text primary key, domain text, relativePath text, flags int, file blob)");
            QByteArray descKey;
            if (spec.form == ManifestForm::SaltedDb) {
                const QByteArray dbSalt = randomBytes(16);
                db.executeThrow("create table Properties (key text primary key, value blob)");
                db.executeThrow(Sqlite3Sql("insert into Properties values ('salt', ?)").addBlobParam(dbSalt));
                descKey = MBDBParser::fileDescKey(spec.password.toUtf8(), dbSalt);
            }
            for (int i = 0; i < spec.files.size(); ++i) {
                const FixtureFile& f = spec.files[i];
                QByteArray blob = keyedArchive(f, fileKeys[i]);
                if (!descKey.isEmpty())
                    blob = MBDBParser::encryptFileDescThrow(blob, descKey).toBase64();
                db.executeThrow(Sqlite3Sql("insert into Files values (?, ?, ?, ?, ?)")
                                    .addTextParam(MBDBParser::getFileHashName(f.domain, f.relativePath))
                                    .addTextParam(f.domain)
                                    .addTextParam(f.relativePath)
                                    .addIntParam((f.mode & 0x4000) ? 2 : 1)
                                    .addBlobParam(blob));
            }
        }
        if (encrypted && spec.twoStage) {
            QFile plain(dbPath);
            plain.open(QIODevice::ReadOnly);
            const QByteArray dbKey = randomBytes(32);
            const QByteArray cipher = cbc(dbKey, plain.readAll());
            plain.close();
            writeFile(dbPath, cipher);
            out.manifestKey = le32(4) + QOpenSSLEVPAES::aeswrap(out.classKeys[4], dbKey, true);
        }
    }

    plist_t manifest = plist_new_dict();
    plist_dict_set_item(manifest, "IsEncrypted", plist_new_bool(encrypted));
    if (encrypted) {
        plist_dict_set_item(manifest, "BackupKeyBag", dataNode(out.keybag));
        if (!out.manifestKey.isEmpty())
            plist_dict_set_item(manifest, "ManifestKey", dataNode(out.manifestKey));
    }
    plist_t lockdown = plist_new_dict();
    plist_dict_set_item(lockdown, "DeviceName", plist_new_string("Test iPhone"));
    plist_dict_set_item(manifest, "Lockdown", lockdown);
    writeFile(folder.absoluteFilePath(QStringLiteral("Manifest.plist")), plistBytes(manifest, false));
    plist_t status = plist_new_dict();
    plist_dict_set_item(status, "Date", plist_new_date(600000000, 0));
    plist_dict_set_item(status, "IsFullBackup", plist_new_bool(0));
    writeFile(folder.absoluteFilePath(QStringLiteral("Status.plist")), plistBytes(status, true));
    return out;
}

} // namespace backupfixture
