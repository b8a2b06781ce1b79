// SPDX-License-Identifier: GPL-3.0-or-later
// The backup file list in every form the fixture writes, content copies,
// clean failures, a byte-flip sweep and a seeded fuzz smoke run.
#include "backupfixture.h"
#include "itunesbackup/backupmanifest.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace backupfixture;
Q_DECLARE_METATYPE(ManifestForm)

namespace {

QByteArray str(const QByteArray& s)
{
    QByteArray b(2, '\0');
    qToBigEndian(quint16(s.size()), b.data());
    return b + s;
}

QByteArray rec(const QByteArray& path, quint32 inodeHigh, quint32 inode, char count = 0, const QByteArray& tail = {})
{
    return str("D") + str(path) + QByteArray(6, '\xff') + "\x81\xa4" + be32(inodeHigh) + be32(inode) + QByteArray(20, '\0')
        + be32(1) + be32(2) + char(3) + count + tail;
}

// Path, high and low inode, size and property count of the first record.
QString probe(const MBDBParser::MBDBItemMap& map)
{
    QList<MBDBParser::_MBDBItem> items = map.values();
    std::sort(items.begin(), items.end(), compareMBDBItemLess);
    if (items.isEmpty())
        return QString();
    const auto& i = items.first();
    return QStringLiteral("%1|%2|%3|%4|%5").arg(i.relativePath.toString()).arg(i.inodeHigh).arg(i.inodeNumber).arg(i.size).arg(i.properties.size());
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file of a folder with its SHA-1: the backup must come out unchanged.
QStringList snapshot(const QString& folder)
{
    QStringList out;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString p = it.next();
        out << p + QCryptographicHash::hash(fileBytes(p), QCryptographicHash::Sha1).toHex();
    }
    out.sort();
    return out;
}

void flipByte(const QString& path, qint64 pos)
{
    QByteArray b = fileBytes(path);
    b[pos < 0 ? b.size() + pos : pos] ^= char(0xFF);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(b) == b.size());
}

struct Opened {
    QTemporaryDir dir;
    Backup backup;
    BackupManifest manifest{ QDir() };
    KeybagUnlock unlock = KeybagUnlock::Unlocked;
};

void open(Opened& o, const BackupSpec& spec, const QString& password)
{
    o.backup = writeBackup(o.dir.filePath("backup"), spec);
    o.manifest = BackupManifest(QDir(o.backup.folder));
    o.manifest.setWorkFolder(o.dir.path());
    o.manifest.setEncrypted(!spec.password.isEmpty());
    o.manifest.setKeybag(parseKeybag(o.backup.keybag));
    if (!spec.password.isEmpty())
        o.unlock = o.manifest.unlockNoUI(password, o.backup.manifestKey);
}

} // namespace

class TestBackupFileList : public QObject {
    Q_OBJECT
private slots:
    void mbdbEdgeCases_data();
    void mbdbEdgeCases();
    void backupVariants_data();
    void backupVariants();
    void failuresAreClean_data();
    void failuresAreClean();
    void namesAndPaths();
    void byteFlipSweepGivesOnlyCleanErrors();
    void fuzzSmoke();
};

void TestBackupFileList::mbdbEdgeCases_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("maxInode");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("error");
    const QByteArray h("mbdb\x05\x00", 6);
    const QString p3 = QStringLiteral("p|0|3|4294967298|0");
    QTest::newRow("header only") << h << 0 << 0 << "" << "";
    QTest::newRow("shorter than a header") << QByteArray("mb") << 0 << 0 << "" << "";
    QTest::newRow("header not checked") << QByteArray("XXXXXX") + rec("p", 0, 3) << 1 << 3 << p3 << "";
    QTest::newRow("empty and absent domains") << h + "\0\0\xff\xff" + rec("p", 0, 3) + QByteArray(2, '\0') << 1 << 3 << p3 << "";
    QTest::newRow("single byte left over") << h + rec("p", 0, 3) + QByteArray(1, '\0') << 0 << 0 << "" << "record 2 (at byte";
    QTest::newRow("count 128 reads no pair") << h + rec("p", 0, 3, '\x80') + rec("q", 0, 4) << 2 << 4 << p3 << "";
    QTest::newRow("count 2 reads two pairs") << h + rec("p", 0, 3, 2, str("a") + str("1") + str("b") + "\xff\xff") << 1 << 3
                                             << "p|0|3|4294967298|2" << "";
    QTest::newRow("duplicate: later kept") << h + rec("p", 0, 9) + rec("p", 0, 3) << 1 << 9 << p3 << "";
    QTest::newRow("high inode half kept") << h + rec("p", 7, 3) << 1 << 3 << "p|7|3|4294967298|0" << "";
    QTest::newRow("cut inside the size") << h + rec("p", 0, 3).chopped(5) << 0 << 0 << "" << "record 1 (at byte 6) is cut off";
    QTest::newRow("string shorter than declared") << h + str("D") + "\x00\x10" "abc" << 0 << 0 << "" << "is cut off";
    QTest::newRow("non-UTF-8 and NUL in a path") << h + rec(QByteArray("a\xff\0b", 4), 0, 3) << 1 << 3
                                                 << QString::fromUtf8("a\xef\xbf\xbd|0|3|4294967298|0") << "";
}

void TestBackupFileList::mbdbEdgeCases()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, records);
    QFETCH(int, maxInode);
    QFETCH(QString, first);
    QFETCH(QString, error);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    try {
        const auto map = MBDBParser::readMbdb(in, "Manifest.mbdb");
        QVERIFY2(error.isEmpty(), "no error reported");
        QCOMPARE(map.size(), records);
        QCOMPARE(map.maxInode, maxInode);
        QCOMPARE(probe(map), first);
    } catch (const std::runtime_error& e) {
        QVERIFY2(!error.isEmpty() && QString::fromUtf8(e.what()).contains(error), e.what());
    }
}

void TestBackupFileList::backupVariants_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("twoStage");
    QTest::addColumn<ManifestForm>("form");
    QTest::newRow("plain Manifest.db") << "" << false << ManifestForm::Db;
    QTest::newRow("encrypted Manifest.db") << "pw" << true << ManifestForm::Db;
    QTest::newRow("single-stage keybag") << "pw" << false << ManifestForm::Db;
    QTest::newRow("salted Manifest.db") << QString::fromUtf8("p\xc3\xa4ss") << false << ManifestForm::SaltedDb;
    QTest::newRow("encrypted Manifest.mbdb") << "pw" << false << ManifestForm::Mbdb;
    QTest::newRow("plain Manifest.mbdb") << "" << false << ManifestForm::Mbdb;
    QTest::newRow("both manifests: mbdb wins") << "" << false << ManifestForm::Both;
}

void TestBackupFileList::backupVariants()
{
    QFETCH(QString, password);
    QFETCH(bool, twoStage);
    QFETCH(ManifestForm, form);
    BackupSpec spec;
    spec.password = password;
    spec.twoStage = twoStage;
    spec.form = form;
    Opened o;
    open(o, spec, password);
    QCOMPARE(o.unlock, KeybagUnlock::Unlocked);
    QCOMPARE(o.manifest.manifestDbKey().isEmpty(), !twoStage);
    const QStringList before = snapshot(o.backup.folder);

    const auto map = MBDBParser::parse(o.manifest);
    QCOMPARE(map.size(), 3);
    QCOMPARE(map.maxInode, 9);
    const auto book = map.value("31bb7ba8914766d4ba40d6dfb6113c8b614be442");
    const FixtureFile& f = spec.files[0];
    QCOMPARE(book.digest.bytes, QCryptographicHash::hash(f.content, QCryptographicHash::Sha1));
    QCOMPARE(book.encryptionKey.bytes.size(), password.isEmpty() ? 0 : 44);
    QCOMPARE(map.value(MBDBParser::getFileHashName(f.domain, spec.files[1].relativePath)).digest.bytes,
        QCryptographicHash::hash(spec.files[1].content, QCryptographicHash::Sha1));
    QVERIFY(map.value(MBDBParser::getFileHashName(f.domain, spec.files[2].relativePath)).isFolder());

    const QString dest = o.dir.filePath("copy.sqlitedb");
    qint64 seen[2] = { 0, -1 };
    o.manifest.copyItemThrow(book, dest, seen, [](long long done, long long total, void* c) {
        static_cast<qint64*>(c)[0] = done;
        static_cast<qint64*>(c)[1] = total;
    });
    QCOMPARE(fileBytes(dest), f.content);
    QCOMPARE(seen[0], seen[1]);
    QCOMPARE(QFileInfo(dest).lastModified().toSecsSinceEpoch(), qint64(f.lastModified));
    QCOMPARE(snapshot(o.backup.folder), before);
    QCOMPARE(QDir(o.dir.path()).entryList(QDir::Files), QStringList("copy.sqlitedb")); // no temporary left
}

void TestBackupFileList::failuresAreClean_data()
{
    QTest::addColumn<QString>("error");
    QTest::newRow("wrong password") << "";
    QTest::newRow("truncated keybag") << "";
    QTest::newRow("Manifest.db bad padding") << "BackupManifest::decryptFile: decrypt failed. QOpenSSLEVPAES::finalAll";
    QTest::newRow("content bad padding") << "BackupManifest::decryptFile: decrypt failed.";
    QTest::newRow("content links out of the backup") << "the backup holds no content file for HomeDomain/Library";
    QTest::newRow("no manifest") << "Manifest.mbdb";
    QTest::newRow("salted read without password") << "";
}

void TestBackupFileList::failuresAreClean()
{
    QFETCH(QString, error);
    const QString row = QTest::currentDataTag();
    BackupSpec spec;
    spec.password = row.contains("padding") || row.contains("password") || row.contains("keybag") ? "pw" : "";
    spec.form = row.startsWith("salted") ? ManifestForm::SaltedDb : ManifestForm::Db;
    Opened o;
    open(o, spec, spec.password);
    if (row == "wrong password" || row == "truncated keybag") {
        const QByteArray bag = row == "wrong password" ? o.backup.keybag : o.backup.keybag.left(o.backup.keybag.indexOf("SALT") + 12);
        BackupManifest fresh{ QDir(o.backup.folder) };
        fresh.setKeybag(parseKeybag(bag));
        QCOMPARE(fresh.unlockNoUI("pw2", o.backup.manifestKey),
            row == "wrong password" ? KeybagUnlock::WrongPassword : KeybagUnlock::Unusable);
        QVERIFY(fresh.passcode().isEmpty() && fresh.manifestDbKey().isEmpty());
        return;
    }
    if (row.startsWith("salted"))
        o.manifest = BackupManifest(QDir(o.backup.folder));
    const QString bookPath = MBDBParser::getBKFilePath(QDir(o.backup.folder), "31bb7ba8914766d4ba40d6dfb6113c8b614be442", false);
    if (row == "Manifest.db bad padding")
        flipByte(QDir(o.backup.folder).filePath("Manifest.db"), -1);
    if (row == "content bad padding")
        flipByte(bookPath, -1);
    if (row == "content links out of the backup") {
        QFile::remove(bookPath);
        QFile::link(QFINDTESTDATA("tst_backupfilelist.cpp"), bookPath);
    }
    if (row == "no manifest")
        QFile::remove(QDir(o.backup.folder).filePath("Manifest.db"));
    const QString dest = o.dir.filePath("copy");
    try {
        const auto map = MBDBParser::parse(o.manifest);
        const auto book = map.value("31bb7ba8914766d4ba40d6dfb6113c8b614be442");
        if (row.startsWith("salted")) {
            QVERIFY(book.domain.isValid() && book.relativePath.isValid() && !book.digest.isValid() && book.mode == 0);
            return;
        }
        o.manifest.copyItemThrow(book, dest, nullptr, nullptr);
        QFAIL("no error");
    } catch (const std::runtime_error& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(error), e.what());
    }
    QVERIFY(!QFile::exists(dest));
    QCOMPARE(QDir(o.dir.path()).entryList(QDir::Files), QStringList());
}

void TestBackupFileList::namesAndPaths()
{
    QCOMPARE(MBDBParser::getFileHashName(kAddressBookDomain, kAddressBookPath), "31bb7ba8914766d4ba40d6dfb6113c8b614be442");
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    QCOMPARE(MBDBParser::getBKFilePath(dir, "31bb7b", false), dir.absoluteFilePath("31bb7b"));
    QFile(dir.filePath("Manifest.db")).open(QIODevice::WriteOnly);
    QCOMPARE(MBDBParser::getBKFilePath(dir, "31bb7b", true), dir.absoluteFilePath("31/31bb7b"));
    QVERIFY(QFileInfo(dir.filePath("31")).isDir());
    MBDBParser::_MBDBItem item;
    for (quint16 mode : { 0x41ED, 0x81A4, 0xA1ED }) {
        item.mode = mode;
        QCOMPARE(item.isFolder(), mode == 0x41ED);
    }
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, MBDBParser::decryptFileDescThrow("data", QByteArray(20, 'k')));
    QVERIFY(MBDBParser::decryptFileDescThrow({}, QByteArray(20, 'k')).isEmpty());
    BackupManifest a(dir), b(QDir(tmp.path() + "/."));
    QCOMPARE(a.dirPathMd5(), b.dirPathMd5());
    QCOMPARE(a.dirPathMd5().size(), 32);
}

void TestBackupFileList::byteFlipSweepGivesOnlyCleanErrors()
{
    QTemporaryDir tmp;
    BackupSpec spec;
    spec.form = ManifestForm::Both;
    const Backup backup = writeBackup(tmp.filePath("b"), spec);
    const QByteArray db = fileBytes(QDir(backup.folder).filePath("Manifest.db"));
    QByteArray mbdb = fileBytes(QDir(backup.folder).filePath("Manifest.mbdb"));
    int errors = 0;
    for (qsizetype pos = 0; pos < mbdb.size(); ++pos) {
        QByteArray bytes = mbdb;
        bytes[pos] ^= char(0xFF);
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        try { MBDBParser::readMbdb(in, "m"); } catch (const std::runtime_error&) { ++errors; }
    }
    const QString path = tmp.filePath("sweep.db");
    for (qsizetype pos = 0; pos < db.size(); pos += 7) {
        QByteArray bytes = db;
        bytes[pos] ^= char(0xFF);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        try { MBDBParser::readManifestDb(path, {}); } catch (const std::runtime_error&) { ++errors; }
    }
    QVERIFY(errors > 0);
}

void TestBackupFileList::fuzzSmoke()
{
    QTemporaryDir tmp;
    BackupSpec spec;
    spec.password = "pw";
    spec.form = ManifestForm::Mbdb;
    const Backup backup = writeBackup(tmp.path(), spec);
    const QByteArray seeds[2] = { fileBytes(QDir(backup.folder).filePath("Manifest.mbdb")), backup.keybag };
    QRandomGenerator rng(20261207);
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < 20000 && timer.elapsed() < 3000; ++round) {
        QByteArray b = seeds[round % 2];
        for (int n = rng.bounded(1, 8); n > 0 && !b.isEmpty(); --n) {
            const int pos = rng.bounded(int(b.size()));
            switch (rng.bounded(4)) {
            case 0: b[pos] = char(rng.bounded(256)); break;
            case 1: b.truncate(pos); break;
            case 2: b.insert(pos, QByteArray(rng.bounded(1, 6), char(0xFF))); break;
            default: b.remove(pos, rng.bounded(1, 9)); break;
            }
        }
        if (round % 2 == 0) {
            QBuffer in(&b);
            in.open(QIODevice::ReadOnly);
            try { MBDBParser::readMbdb(in, "m"); } catch (const std::runtime_error&) {}
        } else {
            _KeybagInfo info = parseKeybag(b);
            unlockKeybag("pw", info, [] { return true; });
            for (int cls : info.classKeys.keys())
                unwrapKeyForClass(info, cls, QByteArray(40, 'w'));
        }
    }
}

QTEST_GUILESS_MAIN(TestBackupFileList)
#include "tst_backupfilelist.moc"
