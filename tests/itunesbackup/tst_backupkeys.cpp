// SPDX-License-Identifier: GPL-3.0-or-later
// Key derivation, key wrap and the stream cipher against published vectors,
// and the keybag's placement and unlock rules.
#include "backupfixture.h"
#include "itunesbackup/keybag.h"
#include "itunesbackup/qopensslevpaes.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <openssl/evp.h>

using namespace backupfixture;

class TestBackupKeys : public QObject {
    Q_OBJECT
private slots:
    void pbkdf2MatchesPublishedVectors_data();
    void pbkdf2MatchesPublishedVectors();
    void aesWrapMatchesRfc3394_data();
    void aesWrapMatchesRfc3394();
    void keybagKeyTakesOneOrTwoStages_data();
    void keybagKeyTakesOneOrTwoStages();
    void keybagRecordsLandWhereTheyBelong_data();
    void keybagRecordsLandWhereTheyBelong();
    void unlockUnwrapsOnlyPasswordWrappedClasses();
    void streamCipherChecksPadding_data();
    void streamCipherChecksPadding();
};

void TestBackupKeys::pbkdf2MatchesPublishedVectors_data()
{
    QTest::addColumn<bool>("sha256");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QByteArray>("hex");
    QTest::newRow("rfc6070 1") << false << QByteArray("password") << QByteArray("salt") << 1
                               << QByteArray("0c60c80f961f0e71f3a9b524af6012062fe037a6");
    QTest::newRow("rfc6070 4096") << false << QByteArray("password") << QByteArray("salt") << 4096
                                  << QByteArray("4b007901b765489abead49d926f721d065a429c1");
    QTest::newRow("rfc6070 long") << false << QByteArray("passwordPASSWORDpassword")
                                  << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096
                                  << QByteArray("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
    QTest::newRow("rfc6070 embedded NUL") << false << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096
                                          << QByteArray("56fa6aa75548099dcc37d7f03425e0c3");
    QTest::newRow("sha256 1") << true << QByteArray("password") << QByteArray("salt") << 1
                              << QByteArray("120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    QTest::newRow("sha256 4096") << true << QByteArray("password") << QByteArray("salt") << 4096
                                 << QByteArray("c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
}

void TestBackupKeys::pbkdf2MatchesPublishedVectors()
{
    QFETCH(bool, sha256);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(QByteArray, hex);
    const int len = int(hex.size() / 2);
    const QByteArray key = sha256 ? pbkdf2Sha256(password, salt, iterations, len) : pbkdf2Sha1(password, salt, iterations, len);
    QCOMPARE(key.toHex(), hex);
    QVERIFY(pbkdf2Sha1(password, salt, 0, len).isEmpty());
}

void TestBackupKeys::aesWrapMatchesRfc3394_data()
{
    QTest::addColumn<QByteArray>("kek");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("wrapped");
    QTest::newRow("4.1 128-bit KEK") << QByteArray::fromHex("000102030405060708090A0B0C0D0E0F")
                                     << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF")
                                     << QByteArray::fromHex("1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5");
    QTest::newRow("4.6 256-bit KEK") << QByteArray::fromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F")
                                     << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F")
                                     << QByteArray::fromHex("28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21");
}

void TestBackupKeys::aesWrapMatchesRfc3394()
{
    QFETCH(QByteArray, kek);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, wrapped);
    QCOMPARE(QOpenSSLEVPAES::aeswrap(kek, plain, true), wrapped);
    QCOMPARE(QOpenSSLEVPAES::aeswrap(kek, wrapped, false), plain);
    QByteArray tampered = wrapped;
    tampered[5] = char(tampered[5] ^ 1);
    QVERIFY(QOpenSSLEVPAES::aeswrap(kek, tampered, false).isEmpty());
    QVERIFY(QOpenSSLEVPAES::aeswrap(QByteArray(20, 'k'), wrapped, false).isEmpty());
    QVERIFY(QOpenSSLEVPAES::aeswrap(kek, wrapped.left(wrapped.size() - 1), false).isEmpty());
}

void TestBackupKeys::keybagKeyTakesOneOrTwoStages_data()
{
    QTest::addColumn<QByteArray>("keybag");
    QTest::addColumn<QByteArray>("hex"); // empty: cannot be unlocked
    const QByteArray base = keybagRecord("SALT", "SALT") + keybagRecord("ITER", be32(2));
    const QByteArray one("cf96ed329d2aa4e4ddc27be8c85ab442af5d6df5821e182562ed6b16d82d8e2f");
    QTest::newRow("two stages") << base + keybagRecord("DPIC", be32(4096)) + keybagRecord("DPSL", "salt")
                                << QByteArray("c656adea3487df2e98af9c304e0714ea272f861109343586eaeaca219baa5ef9");
    QTest::newRow("DPSL missing") << base + keybagRecord("DPIC", be32(4096)) << one;
    QTest::newRow("DPIC missing") << base + keybagRecord("DPSL", "salt") << one;
    QTest::newRow("DPIC empty") << base + keybagRecord("DPIC", {}) + keybagRecord("DPSL", "salt") << QByteArray();
    QTest::newRow("ITER 0") << keybagRecord("SALT", "SALT") + keybagRecord("ITER", be32(0)) << QByteArray();
    QTest::newRow("ITER negative") << keybagRecord("SALT", "SALT") + keybagRecord("ITER", be32(0x80000000)) << QByteArray();
    QTest::newRow("ITER short") << keybagRecord("SALT", "SALT") + keybagRecord("ITER", "\0\0\2") << QByteArray();
    QTest::newRow("no SALT") << keybagRecord("ITER", be32(2)) << QByteArray();
}

void TestBackupKeys::keybagKeyTakesOneOrTwoStages()
{
    QFETCH(QByteArray, keybag);
    QFETCH(QByteArray, hex);
    KeybagUnlock status;
    QCOMPARE(deriveKeybagKey("password", parseKeybag(keybag), {}, &status).toHex(), hex);
    QCOMPARE(status, hex.isEmpty() ? KeybagUnlock::Unusable : KeybagUnlock::Unlocked);
    _KeybagInfo info = parseKeybag(keybag);
    QCOMPARE(unlockKeybag("password", info, [] { return true; }),
        hex.isEmpty() ? KeybagUnlock::Unusable : KeybagUnlock::Cancelled);
}

// A parsed keybag as text: attribute tags, then per class its tags with the
// first byte of "UUID" where it has one.
static QString describe(const _KeybagInfo& info)
{
    QStringList parts(info.attributes.keys().join(QLatin1Char(',')));
    for (auto it = info.classKeys.cbegin(); it != info.classKeys.cend(); ++it)
        parts << QStringLiteral("%1{%2}%3").arg(it.key()).arg(it->keys().join(QLatin1Char(','))).arg(it->value("UUID").left(1).constData());
    return parts.join(QLatin1Char(' '));
}

void TestBackupKeys::keybagRecordsLandWhereTheyBelong_data()
{
    QTest::addColumn<QByteArray>("keybag");
    QTest::addColumn<QString>("expected");
    const QByteArray head = keybagRecord("UUID", "k") + keybagRecord("WRAP", be32(1));
    const QByteArray class1 = keybagRecord("UUID", "a") + keybagRecord("CLAS", be32(1)) + keybagRecord("WPKY", "x");
    QTest::newRow("attributes and a class") << head + class1 << "UUID,WRAP 1{CLAS,UUID,WPKY}a";
    QTest::newRow("second WRAP before any UUID") << head + keybagRecord("WRAP", be32(2)) + keybagRecord("CLAS", be32(5))
                                                 << "UUID,WRAP 5{CLAS,WRAP}";
    QTest::newRow("same class twice: later kept") << head + class1 + keybagRecord("UUID", "b") + keybagRecord("CLAS", be32(1))
                                                  << "UUID,WRAP 1{CLAS,UUID}b";
    QTest::newRow("unknown tag among classes") << head + class1 + keybagRecord("TYPE", "t") << "TYPE,UUID,WRAP 1{CLAS,UUID,WPKY}a";
    QTest::newRow("record without CLAS dropped") << head + keybagRecord("UUID", "c") + keybagRecord("WPKY", "x") << "UUID,WRAP";
    QTest::newRow("length past the end") << head + class1 + keybagRecord("SALT", "sss").left(10) << "UUID,WRAP 1{CLAS,UUID,WPKY}a";
    QTest::newRow("fragment under 8 bytes") << head + QByteArray("ITER\0\0", 6) << "UUID,WRAP";
    QTest::newRow("short CLAS reads as 0") << head + keybagRecord("CLAS", "\1") << "UUID,WRAP 0{CLAS}";
    QTest::newRow("lower-case tag is no class tag") << keybagRecord("clas", be32(1)) << "clas";
}

void TestBackupKeys::keybagRecordsLandWhereTheyBelong()
{
    QFETCH(QByteArray, keybag);
    QFETCH(QString, expected);
    QCOMPARE(describe(parseKeybag(keybag)), expected);
}

void TestBackupKeys::unlockUnwrapsOnlyPasswordWrappedClasses()
{
    QTemporaryDir tmp;
    BackupSpec spec;
    spec.password = QStringLiteral("pässword");
    const Backup backup = writeBackup(tmp.path(), spec);
    _KeybagInfo info = parseKeybag(backup.keybag);
    QCOMPARE(unlockKeybag("wrong", info), KeybagUnlock::WrongPassword);
    QVERIFY(!info.classKeys[1].contains("KEY")); // a failed attempt leaves no key behind
    QVERIFY(unlockWithPasscode(spec.password.toUtf8(), info));
    for (int cls : { 1, 2, 3, 4 })
        QCOMPARE(info.classKeys[cls].value("KEY"), backup.classKeys[cls]);
    QVERIFY(!info.classKeys[11].contains("KEY"));
    const QByteArray wrapped = QOpenSSLEVPAES::aeswrap(backup.classKeys[3], QByteArray(32, 'f'), true);
    QCOMPARE(unwrapKeyForClass(info, 3, wrapped), QByteArray(32, 'f'));
    QVERIFY(unwrapKeyForClass(info, 3, wrapped.left(39)).isEmpty());
    QVERIFY(unwrapKeyForClass(info, 3, wrapped + 'x').isEmpty());
    QVERIFY(unwrapKeyForClass(info, 11, wrapped).isEmpty());
    QVERIFY(unwrapKeyForClass(info, 4, wrapped).isEmpty());
    // Without any password-wrapped class key every password fits.
    _KeybagInfo deviceOnly = parseKeybag(keybagRecord("SALT", "s") + keybagRecord("ITER", be32(1)) + keybagRecord("UUID", "u")
        + keybagRecord("CLAS", be32(2)) + keybagRecord("WRAP", be32(1)) + keybagRecord("WPKY", QByteArray(40, 'w')));
    QVERIFY(unlockWithPasscode("anything", deviceOnly));
    QVERIFY(!deviceOnly.classKeys[2].contains("KEY"));
}

void TestBackupKeys::streamCipherChecksPadding_data()
{
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("finalResult");
    QTest::addColumn<int>("outputSize");
    QOpenSSLEVPAES enc;
    enc.init(EVP_aes_256_cbc(), QByteArray(32, 'k'), QByteArray(16, '\0'), true);
    QByteArray cipher = enc.update(QByteArray(20001, 'p'));
    cipher += enc.final();
    QTest::newRow("round trip across steps") << false << cipher << 1 << 20001;
    QTest::newRow("bad padding") << false << cipher.left(cipher.size() - 16) << -1 << 19984;
    QTest::newRow("empty input decrypt") << false << QByteArray() << -1 << 0;
    QTest::newRow("empty input encrypt") << true << QByteArray() << 16 << 16;
}

void TestBackupKeys::streamCipherChecksPadding()
{
    QFETCH(bool, encrypt);
    QFETCH(QByteArray, input);
    QFETCH(int, finalResult);
    QFETCH(int, outputSize);
    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    QByteArray output;
    QBuffer out(&output);
    out.open(QIODevice::WriteOnly);
    QOpenSSLEVPAES aes;
    QVERIFY(aes.init(EVP_aes_256_cbc(), QByteArray(32, 'k'), QByteArray(16, '\0'), encrypt));
    QVERIFY(aes.updateAll(&in, &out, 8192) >= 0);
    QCOMPARE(int(aes.finalAll(&out, 8192)), finalResult);
    QCOMPARE(int(output.size()), outputSize);
    if (finalResult < 0)
        QCOMPARE(aes.errorString(), QStringLiteral("QOpenSSLEVPAES::finalAll, EVP_CipherFinal return false."));
    else if (!encrypt)
        QCOMPARE(output, QByteArray(20001, 'p'));
    QVERIFY(!aes.init(EVP_aes_256_cbc(), QByteArray(16, 'k'), QByteArray(16, '\0'), encrypt));
}

QTEST_GUILESS_MAIN(TestBackupKeys)
#include "tst_backupkeys.moc"
