// SPDX-License-Identifier: GPL-3.0-or-later
// Published vectors for key wrapping and a salt holding NUL; the keybag's placement and unlock
// rules; the odd corners of the old file list; failures that leave no file
// behind; a byte-flip sweep and a seeded fuzz smoke run.
#include "backupfixture.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/qopensslevpaes.h"
#include "support/timebounds.h"

#include <openssl/evp.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace backupfixture;
Q_DECLARE_METATYPE(ManifestForm)

namespace {

const QString kBookId = QStringLiteral("31bb7ba8914766d4ba40d6dfb6113c8b614be442");

// An mbdb record of domain "D" with a size of 2^32 + 2.
QByteArray rec(const QByteArray& path, quint32 inodeHigh, quint32 inode, char count = 0, const QByteArray& tail = {})
{
    return mbdbString("D") + mbdbString(path) + QByteArray(6, '\xff') + "\x81\xa4" + be32(inodeHigh) + be32(inode)
        + QByteArray(20, '\0') + be32(1) + be32(2) + char(3) + count + tail;
}

} // namespace

class TestITunesBackup : public QObject {
    Q_OBJECT
private slots:
    void knownAnswers();
    void keybagKey_data();
    void keybagKey();
    void keybagPlacement_data();
    void keybagPlacement();
    void mbdbEdgeCases_data();
    void mbdbEdgeCases();
    void linkRecordNeverStandsForAFile_data();
    void linkRecordNeverStandsForAFile();
    void cancelStopsTheKeyDerivationAtOnce();
    void failuresLeaveNoFile_data();
    void failuresLeaveNoFile();
    void corruptionGivesOnlyCleanErrors();
};

// RFC 6070 with NUL bytes (salts come from the keybag as raw bytes: a NUL in
// one must count) and RFC 3394 4.1, whose unwrap refuses a cut or altered text.
void TestITunesBackup::knownAnswers()
{
    QCOMPARE(pbkdf2Sha1(QByteArray("pass\0word", 9), QByteArray("sa\0lt", 5), 4096, 16).toHex(),
        QByteArray("56fa6aa75548099dcc37d7f03425e0c3"));
    const QByteArray kek = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F");
    const QByteArray key = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
    QByteArray wrapped = QByteArray::fromHex("1fa68b0a8112b447aef34bd8fb5a7b829d3e862371d2cfe5");
    QCOMPARE(QOpenSSLEVPAES::aeswrap(kek, key, true), wrapped);
    QCOMPARE(QOpenSSLEVPAES::aeswrap(kek, wrapped, false), key);
    QVERIFY(QOpenSSLEVPAES::aeswrap(kek, wrapped.chopped(1), false).isEmpty());
    wrapped[5] = char(wrapped[5] ^ 1);
    QVERIFY(QOpenSSLEVPAES::aeswrap(kek, wrapped, false).isEmpty());
    // RFC 3394 4.6: a 256-bit key under a 256-bit key-encryption key, the
    // shape of every class key; a key of the wrong size unwraps nothing.
    const QByteArray kek256 = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");
    const QByteArray key256 = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F");
    const QByteArray wrapped256
        = QByteArray::fromHex("28c9f404c4b810f4cbccb35cfb87f8263f5786e2d80ed326cbc7f0e71a99f43bfb988b9b7a02dd21");
    QCOMPARE(QOpenSSLEVPAES::aeswrap(kek256, key256, true), wrapped256);
    QCOMPARE(QOpenSSLEVPAES::aeswrap(kek256, wrapped256, false), key256);
    QVERIFY(QOpenSSLEVPAES::aeswrap(QByteArray(20, 'k'), wrapped256, false).isEmpty());
    QVERIFY(QOpenSSLEVPAES::aeswrap(kek256, wrapped256.chopped(1), false).isEmpty());
}

void TestITunesBackup::keybagKey_data()
{
    QTest::addColumn<QByteArray>("keybag");
    QTest::addColumn<QByteArray>("hex"); // empty: cannot be unlocked
    // Expected values from an independent PBKDF2 (Python's hashlib).
    const QByteArray base = keybagRecord("SALT", "SALT") + keybagRecord("ITER", be32(2));
    QTest::newRow("two stages") << base + keybagRecord("DPIC", be32(4096)) + keybagRecord("DPSL", "salt")
                                << QByteArray("c656adea3487df2e98af9c304e0714ea272f861109343586eaeaca219baa5ef9");
    QTest::newRow("DPSL missing: one stage") << base + keybagRecord("DPIC", be32(4096))
                                             << QByteArray("cf96ed329d2aa4e4ddc27be8c85ab442af5d6df5821e182562ed6b16d82d8e2f");
    QTest::newRow("ITER negative") << keybagRecord("SALT", "S") + keybagRecord("ITER", be32(0x80000000)) << QByteArray();
    QTest::newRow("DPIC above the cap") << base + keybagRecord("DPIC", be32(100000001)) + keybagRecord("DPSL", "salt") << QByteArray();
    QTest::newRow("DPIC empty") << base + keybagRecord("DPIC", {}) + keybagRecord("DPSL", "salt") << QByteArray();
    QTest::newRow("no SALT") << keybagRecord("ITER", be32(2)) << QByteArray();
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

void TestITunesBackup::mbdbEdgeCases_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxInode");
    QTest::addColumn<QString>("records"); // path|inodeHigh|inode|size|properties, sorted; or an error part
    const QByteArray h("mbdb\x05\x00", 6);
    const QString p3 = QStringLiteral("p|0|3|4294967298|0");
    QTest::newRow("header only") << h << 0 << "";
    QTest::newRow("empty and absent domains") << h + "\0\0\xff\xff" + rec("p", 0, 3) + QByteArray(2, '\0') << 3 << p3;
    QTest::newRow("single byte left over") << h + rec("p", 0, 3) + '\0' << 0 << "error: record 2 (at byte 58) is cut off. The file ends at byte 59.";
    QTest::newRow("duplicate: later kept") << h + rec("p", 0, 9) + rec("p", 0, 3) << 9 << p3;
    QTest::newRow("cut inside the size") << h + rec("p", 0, 3).chopped(5) << 0 << "error: record 1 (at byte 6) is cut off";
    // A NUL in a path is refused (below); other bytes that are no UTF-8
    // read as replacement characters.
    QTest::newRow("non-UTF-8 in a path") << h + rec(QByteArray("a\xff", 2), 0, 3) << 3 << QString::fromUtf8("a\xef\xbf\xbd|0|3|4294967298|0");
    QTest::newRow("count 128 reads no pair") << h + rec("p", 0, 3, '\x80') + rec("q", 0, 4) << 4 << p3 + " q|0|4|4294967298|0";
    // The header is checked before any record: the real problem is named.
    QTest::newRow("version 4 file list") << QByteArray("mbdb\x04\x00", 6) + rec("p", 0, 3) << 0
                                        << "error: Manifest.mbdb: this file list is of version 4.0; only version 5.0";
    QTest::newRow("old index") << QByteArray("mbdx\x02\x00", 6) + rec("p", 0, 3) << 0
                              << "error: Manifest.mbdb: this is the index of a file list of a backup made before 2011";
    QTest::newRow("SQLite database under that name") << QByteArray("SQLite format 3\0", 16) + QByteArray(1000, '\0') << 0
                                                     << "error: Manifest.mbdb: this is a SQLite database";
    QTest::newRow("empty file") << QByteArray() << 0 << "error: the file is too short (0 bytes)";
    QTest::newRow("something else") << QByteArray("PK\x03\x04 zip") << 0 << "error: it does not begin with \"mbdb\"";
    // Cut at the NUL it would name the address book and take its place.
    QTest::newRow("path holding a NUL refused and counted")
        << h + rec("q", 0, 4) + rec(QByteArray("p\0../../etc/passwd", 19), 0, 9) << 9 << "q|0|4|4294967298|0 refused 1";
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
        if (map.refused > 0)
            seen << QStringLiteral("refused %1").arg(map.refused);
        QCOMPARE(seen.join(' '), records);
        QCOMPARE(map.maxInode, maxInode);
    } catch (const std::runtime_error& e) {
        QVERIFY2(records.startsWith("error: ") && QString::fromUtf8(e.what()).contains(records.mid(7)), e.what());
    }
}

void TestITunesBackup::linkRecordNeverStandsForAFile_data()
{
    QTest::addColumn<ManifestForm>("form");
    QTest::addColumn<bool>("withFile");
    QTest::newRow("old list: a link after the file of its path") << ManifestForm::Mbdb << true;
    QTest::newRow("old list: only a link") << ManifestForm::Mbdb << false;
    QTest::newRow("database: only a link") << ManifestForm::Db << false;
}

void TestITunesBackup::linkRecordNeverStandsForAFile()
{
    QFETCH(ManifestForm, form);
    QFETCH(bool, withFile);
    QTemporaryDir tmp;
    BackupSpec spec;
    spec.form = form;
    // A symbolic link (mode 0120755) under the address book's path.
    const FixtureFile link { kAddressBookDomain, kAddressBookPath, QByteArray(), 3, 0xA1ED, 9 };
    spec.files = withFile ? QList<FixtureFile> { spec.files.first(), link } : QList<FixtureFile> { link };
    const Backup backup = writeBackup(tmp.filePath("backup"), spec);
    BackupManifest m{ QDir(backup.folder) };
    m.setWorkFolder(tmp.path());
    m.parseInfo();
    const MBDBParser::_MBDBItem* book = m.findItem(kAddressBookDomain, kAddressBookPath);
    QCOMPARE(book != nullptr, withFile);
    if (book) {
        QVERIFY(!book->isLink());
        QCOMPARE(book->inodeNumber, 1);
    }
}

// Ten million rounds take seconds; a cancel is seen inside them.
void TestITunesBackup::cancelStopsTheKeyDerivationAtOnce()
{
    const QByteArray keybag = keybagRecord("SALT", "SALT") + keybagRecord("ITER", be32(10000000))
        + keybagRecord("DPIC", be32(10000000)) + keybagRecord("DPSL", "salt");
    QElapsedTimer clock;
    clock.start();
    qint64 cancelledAt = -1;
    int asked = 0;
    KeybagUnlock status;
    const QByteArray key = deriveKeybagKey("password", parseKeybag(keybag), [&] {
        ++asked;
        if (cancelledAt < 0 && clock.elapsed() >= 100)
            cancelledAt = clock.elapsed();
        return cancelledAt >= 0;
    }, &status);
    QVERIFY(key.isEmpty());
    QCOMPARE(status, KeybagUnlock::Cancelled);
    QVERIFY(asked > 1);
    QVERIFY2(clock.elapsed() - cancelledAt < timebound::kFreezeMs, qPrintable(QString::number(clock.elapsed() - cancelledAt)));
    // The sliced derivation gives what the one-call derivation gives.
    const QByteArray password("pass\0word", 9), salt("sa\0lt", 5);
    for (const int rounds : { 1, 4095, 4096, 4097, 10000 }) {
        QByteArray whole(40, '\0');
        QVERIFY(PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
                    reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()), rounds, EVP_sha1(), 40,
                    reinterpret_cast<unsigned char*>(whole.data()))
            == 1);
        QCOMPARE(pbkdf2Sha1(password, salt, rounds, 40), whole);
    }
}

void TestITunesBackup::failuresLeaveNoFile_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<ManifestForm>("form");
    QTest::addColumn<QString>("error");
    const QString pw = QString::fromUtf8("p\xc3\xa4ss");
    QTest::newRow("wrong password") << pw << ManifestForm::Db << "unlock 1";
    QTest::newRow("truncated keybag") << pw << ManifestForm::Db << "unlock 2";
    QTest::newRow("content bad padding") << pw << ManifestForm::Mbdb << "BackupManifest::decryptFile: decrypt failed.";
    QTest::newRow("content links out of the backup") << "" << ManifestForm::Db << "the backup holds no content file for HomeDomain/Library";
}

void TestITunesBackup::failuresLeaveNoFile()
{
    QFETCH(QString, password);
    QFETCH(ManifestForm, form);
    QFETCH(QString, error);
    const QString row = QTest::currentDataTag();
    QTemporaryDir tmp;
    Backup backup = writeBackup(tmp.filePath("backup"), BackupSpec{ password, form == ManifestForm::Db, form });
    if (row == "truncated keybag")
        backup.keybag.truncate(backup.keybag.indexOf("SALT") + 12);
    // Unlocked the way an opened backup is: keybag from Manifest.plist, then the password.
    BackupManifest m{ QDir(backup.folder) };
    m.setWorkFolder(tmp.path());
    m.setEncrypted(!password.isEmpty());
    m.setKeybag(parseKeybag(backup.keybag));
    const KeybagUnlock unlock = password.isEmpty() ? KeybagUnlock::Unlocked
                                                   : m.unlockNoUI(row == "wrong password" ? "pw2" : password, backup.manifestKey);
    if (error.startsWith("unlock")) {
        QCOMPARE(unlock, error == "unlock 1" ? KeybagUnlock::WrongPassword : KeybagUnlock::Unusable);
        QVERIFY(m.passcode().isEmpty() && m.manifestDbKey().isEmpty() && !m.keybag().classKeys[1].contains("KEY"));
        return;
    }
    QCOMPARE(unlock, KeybagUnlock::Unlocked);
    const QString bookPath = MBDBParser::getBKFilePath(QDir(backup.folder), kBookId, false);
    if (password.isEmpty()) {
        QVERIFY(QFile::remove(bookPath) && QFile::link(QFINDTESTDATA("tst_itunesbackup.cpp"), bookPath));
    } else {
        const char last = fileBytes(bookPath).back();
        QFile book(bookPath);
        QVERIFY(book.open(QIODevice::ReadWrite) && book.seek(book.size() - 1) && book.putChar(char(~last)));
    }
    try {
        m.copyItemThrow(MBDBParser::parse(m).value(kBookId), tmp.filePath("copy"), nullptr, nullptr);
        QFAIL("no error");
    } catch (const std::runtime_error& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(error), e.what());
    }
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList()); // neither copy nor temporary
}

// Single-byte flips across both file lists, then seeded random mutations of
// the mbdb and the keybag for a bounded time: only clean errors, no crash.
void TestITunesBackup::corruptionGivesOnlyCleanErrors()
{
    QTemporaryDir tmp;
    const Backup backup = writeBackup(tmp.filePath("b"), BackupSpec{ "pw", false, ManifestForm::Both });
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
