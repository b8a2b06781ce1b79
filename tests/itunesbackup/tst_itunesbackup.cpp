// SPDX-License-Identifier: GPL-3.0-or-later
// Published vectors for key wrapping and a salt holding NUL; the keybag's placement and unlock
// rules; the backup file list in every form the fixture writes, with content
// copies; clean failures; a byte-flip sweep and a seeded fuzz smoke run.
#include "backupfixture.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/qopensslevpaes.h"

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

const QString kBookId = QStringLiteral("31bb7ba8914766d4ba40d6dfb6113c8b614be442");

QByteArray str(const QByteArray& s)
{
    QByteArray b(2, '\0');
    qToBigEndian(quint16(s.size()), b.data());
    return b + s;
}

// An mbdb record of domain "D" with a size of 2^32 + 2.
QByteArray rec(const QByteArray& path, quint32 inodeHigh, quint32 inode, char count = 0, const QByteArray& tail = {})
{
    return str("D") + str(path) + QByteArray(6, '\xff') + "\x81\xa4" + be32(inodeHigh) + be32(inode)
        + QByteArray(20, '\0') + be32(1) + be32(2) + char(3) + count + tail;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void flipLastByte(const QString& path)
{
    QByteArray b = fileBytes(path);
    b[b.size() - 1] = char(b.back() ^ 0xFF);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(b) == b.size());
}

// The way the opened-backup code unlocks: keybag from Manifest.plist, then
// the password.
BackupManifest openBackup(const Backup& b, const QString& workFolder, const QString& password, KeybagUnlock* result)
{
    BackupManifest m{ QDir(b.folder) };
    m.setWorkFolder(workFolder);
    m.setEncrypted(!password.isEmpty());
    m.setKeybag(parseKeybag(b.keybag));
    *result = password.isEmpty() ? KeybagUnlock::Unlocked : m.unlockNoUI(password, b.manifestKey);
    return m;
}

} // namespace

class TestITunesBackup : public QObject {
    Q_OBJECT
private slots:
    void knownAnswers_data();
    void knownAnswers();
    void keybagKey_data();
    void keybagKey();
    void keybagPlacement_data();
    void keybagPlacement();
    void mbdbEdgeCases_data();
    void mbdbEdgeCases();
    void backupVariants_data();
    void backupVariants();
    void namesAndPaths();
    void corruptionGivesOnlyCleanErrors();
};

void TestITunesBackup::knownAnswers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("a"); // password or key-encryption key
    QTest::addColumn<QByteArray>("b"); // salt or plain key
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QByteArray>("hex");
    // Salts come from the keybag as raw bytes: a NUL in one must count.
    QTest::newRow("RFC 6070 NUL") << "sha1" << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096
                                  << QByteArray("56fa6aa75548099dcc37d7f03425e0c3");
    QTest::newRow("RFC 3394 4.1") << "wrap" << QByteArray::fromHex("000102030405060708090A0B0C0D0E0F")
                                  << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF") << 0
                                  << QByteArray("1fa68b0a8112b447aef34bd8fb5a7b829d3e862371d2cfe5");
    QTest::newRow("RFC 3394 4.6") << "wrap" << QByteArray::fromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F")
                                  << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F") << 0
                                  << QByteArray("28c9f404c4b810f4cbccb35cfb87f8263f5786e2d80ed326cbc7f0e71a99f43bfb988b9b7a02dd21");
}

void TestITunesBackup::knownAnswers()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(int, iterations);
    QFETCH(QByteArray, hex);
    if (kind != "wrap") {
        QCOMPARE(pbkdf2Sha1(a, b, iterations, int(hex.size() / 2)).toHex(), hex);
        return;
    }
    QCOMPARE(QOpenSSLEVPAES::aeswrap(a, b, true).toHex(), hex);
    QByteArray wrapped = QByteArray::fromHex(hex);
    QCOMPARE(QOpenSSLEVPAES::aeswrap(a, wrapped, false), b);
    QVERIFY(QOpenSSLEVPAES::aeswrap(QByteArray(20, 'k'), wrapped, false).isEmpty());
    QVERIFY(QOpenSSLEVPAES::aeswrap(a, wrapped.chopped(1), false).isEmpty());
    wrapped[5] = char(wrapped[5] ^ 1);
    QVERIFY(QOpenSSLEVPAES::aeswrap(a, wrapped, false).isEmpty());
}

void TestITunesBackup::keybagKey_data()
{
    QTest::addColumn<QByteArray>("keybag");
    QTest::addColumn<QByteArray>("hex"); // empty: cannot be unlocked
    // Expected values from an independent PBKDF2 (Python's hashlib).
    const QByteArray base = keybagRecord("SALT", "SALT") + keybagRecord("ITER", be32(2));
    const QByteArray one("cf96ed329d2aa4e4ddc27be8c85ab442af5d6df5821e182562ed6b16d82d8e2f");
    QTest::newRow("two stages") << base + keybagRecord("DPIC", be32(4096)) + keybagRecord("DPSL", "salt")
                                << QByteArray("c656adea3487df2e98af9c304e0714ea272f861109343586eaeaca219baa5ef9");
    QTest::newRow("DPSL missing: one stage") << base + keybagRecord("DPIC", be32(4096)) << one;
    QTest::newRow("DPIC empty") << base + keybagRecord("DPIC", {}) + keybagRecord("DPSL", "salt") << QByteArray();
    QTest::newRow("ITER negative") << keybagRecord("SALT", "S") + keybagRecord("ITER", be32(0x80000000)) << QByteArray();
    QTest::newRow("DPIC above the cap") << base + keybagRecord("DPIC", be32(100000001)) + keybagRecord("DPSL", "salt") << QByteArray();
    QTest::newRow("no SALT") << keybagRecord("ITER", be32(2)) << QByteArray();
}

void TestITunesBackup::keybagKey()
{
    QFETCH(QByteArray, keybag);
    QFETCH(QByteArray, hex);
    KeybagUnlock status;
    QCOMPARE(deriveKeybagKey("password", parseKeybag(keybag), {}, &status).toHex(), hex);
    QCOMPARE(status, hex.isEmpty() ? KeybagUnlock::Unusable : KeybagUnlock::Unlocked);
    _KeybagInfo info = parseKeybag(keybag);
    QCOMPARE(unlockKeybag("password", info, [] { return true; }), hex.isEmpty() ? KeybagUnlock::Unusable : KeybagUnlock::Cancelled);
}

void TestITunesBackup::keybagPlacement_data()
{
    QTest::addColumn<QByteArray>("keybag");
    QTest::addColumn<QString>("expected"); // attribute tags, then class{tags}first byte of its UUID
    const QByteArray head = keybagRecord("UUID", "k") + keybagRecord("WRAP", be32(1));
    const QByteArray c1 = keybagRecord("UUID", "a") + keybagRecord("CLAS", be32(1)) + keybagRecord("WPKY", "x");
    QTest::newRow("attributes and a class") << head + c1 << "UUID,WRAP 1{CLAS,UUID,WPKY}a";
    QTest::newRow("length past the end") << head + c1 + keybagRecord("SALT", "sss").left(10) << "UUID,WRAP 1{CLAS,UUID,WPKY}a";
    QTest::newRow("fragment under 8 bytes") << head + QByteArray("ITER\0\0", 6) << "UUID,WRAP";
    QTest::newRow("short CLAS reads as 0") << head + keybagRecord("CLAS", "\1") << "UUID,WRAP 0{CLAS}";
}

void TestITunesBackup::keybagPlacement()
{
    QFETCH(QByteArray, keybag);
    QFETCH(QString, expected);
    const _KeybagInfo info = parseKeybag(keybag);
    QStringList parts(info.attributes.keys().join(','));
    for (auto it = info.classKeys.cbegin(); it != info.classKeys.cend(); ++it)
        parts << QStringLiteral("%1{%2}%3").arg(it.key()).arg(it->keys().join(',')).arg(it->value("UUID").left(1).constData());
    QCOMPARE(parts.join(' '), expected);
}

void TestITunesBackup::mbdbEdgeCases_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxInode");
    QTest::addColumn<QString>("records"); // path|inodeHigh|inode|size|properties, sorted; or an error part
    const QByteArray h("mbdb\x05\x00", 6);
    const QString p3 = QStringLiteral("p|0|3|4294967298|0");
    QTest::newRow("header only") << h << 0 << "";
    QTest::newRow("empty and absent domains") << h + "\0\0\xff\xff" + rec("p", 0, 3) + QByteArray(2, '\0') << 3 << p3;
    QTest::newRow("single byte left over") << h + rec("p", 0, 3) + '\0' << 0 << "record 2 (at byte 58) is cut off. The file ends at byte 59.";
    QTest::newRow("count 128 reads no pair") << h + rec("p", 0, 3, '\x80') + rec("q", 0, 4) << 4 << p3 + " q|0|4|4294967298|0";
    QTest::newRow("duplicate: later kept") << h + rec("p", 0, 9) + rec("p", 0, 3) << 9 << p3;
    QTest::newRow("cut inside the size") << h + rec("p", 0, 3).chopped(5) << 0 << "record 1 (at byte 6) is cut off";
    QTest::newRow("non-UTF-8 and NUL in a path") << h + rec(QByteArray("a\xff\0b", 4), 0, 3) << 3 << QString::fromUtf8("a\xef\xbf\xbd|0|3|4294967298|0");
}

void TestITunesBackup::mbdbEdgeCases()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxInode);
    QFETCH(QString, records);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    try {
        const auto map = MBDBParser::readMbdb(in, "Manifest.mbdb");
        QList<MBDBParser::_MBDBItem> items = map.values();
        std::sort(items.begin(), items.end(), compareMBDBItemLess);
        QStringList seen;
        for (const auto& i : items)
            seen << QStringLiteral("%1|%2|%3|%4|%5").arg(i.relativePath.toString()).arg(i.inodeHigh).arg(i.inodeNumber).arg(i.size).arg(i.properties.size());
        QCOMPARE(seen.join(' '), records);
        QCOMPARE(map.maxInode, maxInode);
    } catch (const std::runtime_error& e) {
        QVERIFY2(records.contains("cut off") && QString::fromUtf8(e.what()).contains(records), e.what());
    }
}

void TestITunesBackup::backupVariants_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("twoStage");
    QTest::addColumn<ManifestForm>("form");
    QTest::addColumn<QString>("error"); // empty: everything reads and copies
    const QString pw = QString::fromUtf8("p\xc3\xa4ss");
    QTest::newRow("plain Manifest.db") << "" << false << ManifestForm::Db << "";
    QTest::newRow("encrypted Manifest.db") << pw << true << ManifestForm::Db << "";
    QTest::newRow("salted Manifest.db") << pw << false << ManifestForm::SaltedDb << "";
    QTest::newRow("encrypted Manifest.mbdb") << pw << false << ManifestForm::Mbdb << "";
    QTest::newRow("plain Manifest.mbdb") << "" << false << ManifestForm::Mbdb << "";
    QTest::newRow("both manifests: mbdb wins") << "" << false << ManifestForm::Both << "";
    QTest::newRow("wrong password") << pw << true << ManifestForm::Db << "unlock 1";
    QTest::newRow("truncated keybag") << pw << true << ManifestForm::Db << "unlock 2";
    QTest::newRow("salted read without password") << pw << false << ManifestForm::SaltedDb << "no descriptions";
    QTest::newRow("Manifest.db bad padding") << pw << true << ManifestForm::Db << "BackupManifest::decryptFile: decrypt failed. QOpenSSLEVPAES::finalAll";
    QTest::newRow("content bad padding") << pw << false << ManifestForm::Mbdb << "BackupManifest::decryptFile: decrypt failed.";
    QTest::newRow("content links out of the backup") << "" << false << ManifestForm::Db << "the backup holds no content file for HomeDomain/Library";
    QTest::newRow("no manifest") << "" << false << ManifestForm::Db << "Manifest.mbdb";
}

void TestITunesBackup::backupVariants()
{
    QFETCH(QString, password);
    QFETCH(bool, twoStage);
    QFETCH(ManifestForm, form);
    QFETCH(QString, error);
    const QString row = QTest::currentDataTag();
    QTemporaryDir tmp;
    BackupSpec spec{ password, twoStage, 3, 2, form };
    Backup backup = writeBackup(tmp.filePath("backup"), spec);
    const QDir folder(backup.folder);
    if (row == "truncated keybag")
        backup.keybag.truncate(backup.keybag.indexOf("SALT") + 12);
    KeybagUnlock unlock;
    const BackupManifest m = openBackup(backup, tmp.path(), row == "wrong password" ? "pw2" : row.contains("without") ? "" : password, &unlock);
    if (error.startsWith("unlock")) {
        QCOMPARE(unlock, error == "unlock 1" ? KeybagUnlock::WrongPassword : KeybagUnlock::Unusable);
        QVERIFY(m.passcode().isEmpty() && m.manifestDbKey().isEmpty() && !m.keybag().classKeys[1].contains("KEY"));
        return;
    }
    QCOMPARE(unlock, KeybagUnlock::Unlocked);
    QCOMPARE(m.manifestDbKey().isEmpty(), !twoStage);
    const QStringList before = snapshot(backup.folder);
    if (m.isEncrypted()) {
        const QByteArray wrapped = QOpenSSLEVPAES::aeswrap(backup.classKeys[3], QByteArray(32, 'f'), true);
        QCOMPARE(unwrapKeyForClass(m.keybag(), 3, wrapped), QByteArray(32, 'f'));
        QVERIFY(unwrapKeyForClass(m.keybag(), 3, wrapped.chopped(1)).isEmpty() && unwrapKeyForClass(m.keybag(), 3, wrapped + 'x').isEmpty());
        QVERIFY(!m.keybag().classKeys[11].contains("KEY")); // wrapped with the device's key
    }
    const QString bookPath = MBDBParser::getBKFilePath(folder, kBookId, false);
    if (row == "Manifest.db bad padding")
        flipLastByte(folder.filePath("Manifest.db"));
    if (row == "content bad padding")
        flipLastByte(bookPath);
    if (row.contains("links out"))
        QVERIFY(QFile::remove(bookPath) && QFile::link(QFINDTESTDATA("tst_itunesbackup.cpp"), bookPath));
    if (row == "no manifest")
        QFile::remove(folder.filePath("Manifest.db"));
    try {
        const auto map = MBDBParser::parse(m);
        QCOMPARE(map.size(), 3);
        QCOMPARE(map.maxInode, error == "no descriptions" ? 0 : 9);
        for (const FixtureFile& f : spec.files) {
            const auto item = map.value(MBDBParser::getFileHashName(f.domain, f.relativePath));
            QVERIFY(item.relativePath.isValid());
            if (error == "no descriptions") { // the Base64 texts are no property lists
                QVERIFY(!item.digest.isValid() && item.mode == 0);
                continue;
            }
            QCOMPARE(item.digest.bytes, f.content.isEmpty() ? QByteArray() : QCryptographicHash::hash(f.content, QCryptographicHash::Sha1));
            QCOMPARE(item.encryptionKey.bytes.size(), password.isEmpty() || f.content.isEmpty() ? 0 : 44);
            QCOMPARE(item.isFolder(), f.content.isEmpty());
            if (f.content.isEmpty())
                continue;
            qint64 seen[2] = { 0, -1 };
            m.copyItemThrow(item, tmp.filePath("copy"), seen, [](long long done, long long total, void* c) {
                static_cast<qint64*>(c)[0] = done;
                static_cast<qint64*>(c)[1] = total;
            });
            QCOMPARE(fileBytes(tmp.filePath("copy")), f.content);
            QCOMPARE(seen[0], seen[1]);
            QCOMPARE(QFileInfo(tmp.filePath("copy")).lastModified().toSecsSinceEpoch(), qint64(f.lastModified));
        }
        QCOMPARE(snapshot(backup.folder), before);
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), error.isEmpty() ? QStringList("copy") : QStringList()); // no temporary left
        QVERIFY2(error.isEmpty() || error == "no descriptions", "no error");
    } catch (const std::runtime_error& e) {
        QVERIFY2(!error.isEmpty() && QString::fromUtf8(e.what()).contains(error), e.what());
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList()); // neither copy nor temporary
    }
}

void TestITunesBackup::namesAndPaths()
{
    QCOMPARE(MBDBParser::getFileHashName(kAddressBookDomain, kAddressBookPath), kBookId);
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    QCOMPARE(MBDBParser::getBKFilePath(dir, kBookId, false), dir.absoluteFilePath(kBookId));
    QFile(dir.filePath("Manifest.db")).open(QIODevice::WriteOnly);
    QCOMPARE(MBDBParser::getBKFilePath(dir, kBookId, true), dir.absoluteFilePath("31/" + kBookId));
    QVERIFY(QFileInfo(dir.filePath("31")).isDir());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, MBDBParser::decryptFileDescThrow("data", QByteArray(20, 'k')));
    QVERIFY(MBDBParser::decryptFileDescThrow({}, QByteArray(20, 'k')).isEmpty());
    QCOMPARE(BackupManifest(dir).dirPathMd5(), BackupManifest(QDir(tmp.path() + "/.")).dirPathMd5());
}

// Single-byte flips across both file lists, then seeded random mutations of
// the mbdb and the keybag for a bounded time: only clean errors, no crash.
void TestITunesBackup::corruptionGivesOnlyCleanErrors()
{
    QTemporaryDir tmp;
    const Backup backup = writeBackup(tmp.filePath("b"), BackupSpec{ "pw", false, 3, 2, ManifestForm::Both });
    const QByteArray db = fileBytes(QDir(backup.folder).filePath("Manifest.db"));
    const QByteArray mbdb = fileBytes(QDir(backup.folder).filePath("Manifest.mbdb"));
    auto readMbdb = [](QByteArray bytes) {
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        try { MBDBParser::readMbdb(in, "m"); } catch (const std::runtime_error&) {}
    };
    for (qsizetype pos = 0; pos < mbdb.size(); ++pos)
        readMbdb(QByteArray(mbdb).replace(pos, 1, QByteArray(1, char(mbdb[pos] ^ 0xFF))));
    int errors = 0;
    for (qsizetype pos = 0; pos < db.size(); pos += 7) {
        QFile f(tmp.filePath("sweep.db"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(db).replace(pos, 1, QByteArray(1, char(db[pos] ^ 0xFF)))) == db.size());
        f.close();
        try { MBDBParser::readManifestDb(f.fileName(), "pw"); } catch (const std::runtime_error&) { ++errors; }
    }
    QVERIFY(errors > 0);
    QRandomGenerator rng(20261207);
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < 20000 && timer.elapsed() < 3000; ++round) {
        QByteArray b = round % 2 ? backup.keybag : mbdb;
        for (int n = rng.bounded(1, 8); n > 0 && !b.isEmpty(); --n) {
            const int pos = rng.bounded(int(b.size()));
            switch (rng.bounded(4)) {
            case 0: b[pos] = char(rng.bounded(256)); break;
            case 1: b.truncate(pos); break;
            case 2: b.insert(pos, rng.bounded(1, 6), '\xff'); break;
            default: b.remove(pos, rng.bounded(1, 9));
            }
        }
        if (round % 2 == 0) {
            readMbdb(b);
            continue;
        }
        _KeybagInfo info = parseKeybag(b);
        unlockKeybag("pw", info, [] { return true; });
        for (int cls : info.classKeys.keys())
            unwrapKeyForClass(info, cls, QByteArray(40, 'w'));
    }
}

QTEST_GUILESS_MAIN(TestITunesBackup)
#include "tst_itunesbackup.moc"
