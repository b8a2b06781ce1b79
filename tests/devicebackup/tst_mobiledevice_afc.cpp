// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/mobiledevice_afc.h"

#include <QtTest>

#include <utility>
#include <vector>

namespace {

// A file service in memory behind the call table: lists handed out are kept
// until freed, so the sanitizer sees any read past a list or a missed free.
struct FakeService {
    QMap<QByteArray, QList<QByteArray>> lists; // "info:" / "dir:" + path -> strings
    QMap<QByteArray, QByteArray> files;
    QList<uint32_t> readAsks;
    QList<int> writeSizes;
    int overRead = 0;      // extra bytes a read claims beyond what was asked
    int shortWriteBy = 0;  // bytes a write leaves unsent, once
    int openMode = 0;
    int closes = 0;
    int outstanding = 0;
    QByteArray openPath;
    std::vector<std::vector<char*>> handedOut;
} fake;

char** handOut(const QList<QByteArray>* strings)
{
    if (!strings)
        return nullptr;
    std::vector<char*> list;
    for (const QByteArray& s : *strings)
        list.push_back(qstrdup(s.constData()));
    list.push_back(nullptr);
    fake.handedOut.push_back(list);
    ++fake.outstanding;
    return fake.handedOut.back().data();
}

afc_error_t answer(const QByteArray& key, char*** out)
{
    *out = handOut(fake.lists.contains(key) ? &fake.lists[key] : nullptr);
    return *out ? AFC_E_SUCCESS : AFC_E_OBJECT_NOT_FOUND;
}

const AfcCalls kFake = {
    [](afc_client_t, const char* p, char*** out) { return answer("info:" + QByteArray(p), out); },
    [](afc_client_t, const char* p, char*** out) { return answer("dir:" + QByteArray(p), out); },
    [](char** list) {
        for (char** s = list; *s; ++s)
            delete[] *s;
        --fake.outstanding;
        return AFC_E_SUCCESS;
    },
    [](afc_client_t, const char*) { return AFC_E_SUCCESS; },
    [](afc_client_t, const char*) { return AFC_E_SUCCESS; },
    [](afc_client_t, const char*, const char*) { return AFC_E_SUCCESS; },
    [](afc_client_t, const char* p, afc_file_mode_t mode, uint64_t* h) {
        fake.openPath = p;
        fake.openMode = mode;
        if (mode == AFC_FOPEN_WRONLY)
            fake.files[p].clear();
        *h = 7;
        return fake.files.contains(p) ? AFC_E_SUCCESS : AFC_E_OBJECT_NOT_FOUND;
    },
    [](afc_client_t, uint64_t, char* data, uint32_t len, uint32_t* got) {
        fake.readAsks.append(len);
        QByteArray& f = fake.files[fake.openPath];
        *got = qMin<uint32_t>(len, f.size());
        memcpy(data, f.constData(), *got);
        f.remove(0, *got);
        *got += fake.overRead;
        return AFC_E_SUCCESS;
    },
    [](afc_client_t, uint64_t, const char* data, uint32_t len, uint32_t* sent) {
        *sent = len - std::exchange(fake.shortWriteBy, 0);
        fake.writeSizes.append(*sent);
        fake.files[fake.openPath].append(data, *sent);
        return AFC_E_SUCCESS;
    },
    [](afc_client_t, uint64_t, afc_lock_op_t) { return AFC_E_SUCCESS; },
    [](afc_client_t, uint64_t) { ++fake.closes; return AFC_E_SUCCESS; },
    [](afc_client_t) { return AFC_E_SUCCESS; },
};

afc_client_t fakeClient()
{
    static int token;
    return reinterpret_cast<afc_client_t>(&token);
}

} // namespace

class TestMobiledeviceAfc : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        fake = FakeService();
    }
    void cleanup()
    {
        QCOMPARE(fake.outstanding, 0);
    }

    void fileInfoReadsTheStatusPairs_data()
    {
        QTest::addColumn<QList<QByteArray>>("pairs");
        QTest::addColumn<QString>("ifmt");
        QTest::addColumn<bool>("isDir");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("mtimeMs");
        QTest::newRow("folder in other case, nanoseconds truncated")
            << QList<QByteArray> { "st_ifmt", "s_IfDir", "st_mtime", "1400000000123456789", "st_size", "68" }
            << "s_IfDir" << true << qint64(68) << qint64(1400000000123);
        QTest::newRow("text that is no number gives 0 and the epoch")
            << QList<QByteArray> { "st_size", "big", "st_mtime", "soon", "st_ifmt", "S_IFREG" }
            << "S_IFREG" << false << qint64(0) << qint64(0);
        QTest::newRow("last of a doubled key; a dangling key is ignored")
            << QList<QByteArray> { "st_ifmt", "S_IFREG", "st_ifmt", "S_IFLNK", "st_size" }
            << "S_IFLNK" << false << qint64(0) << qint64(-1);
        QTest::newRow("over-long type text refused")
            << QList<QByteArray> { "st_ifmt", QByteArray(5000, 'D') } << "" << false << qint64(0) << qint64(-1);
    }
    void fileInfoReadsTheStatusPairs()
    {
        QFETCH(QList<QByteArray>, pairs);
        fake.lists["info:/x"] = pairs;
        mobiledevice_afc afc("udid", fakeClient(), kFake);
        const _AfcFileInfo info = afc.fileInfo("/x");
        QCOMPARE(info.path, QString("/x"));
        QTEST(info.ifmt, "ifmt");
        QTEST(info.isDir(), "isDir");
        QTEST(info.size, "size");
        QFETCH(qint64, mtimeMs);
        QCOMPARE(info.mtime.isNull() ? -1 : info.mtime.toMSecsSinceEpoch(), mtimeMs);
        QVERIFY(!afc.fileInfo("/missing").isValid());
        QVERIFY(afc.fileInfo("/missing").path.isEmpty());
    }

    void listingsJoinPathsAndSkipWhatHasNoStatus_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("root") << "/" << "/";
        QTest::newRow("trailing separator") << "/DCIM/" << "/DCIM/";
    }
    void listingsJoinPathsAndSkipWhatHasNoStatus()
    {
        QFETCH(QString, folder);
        QFETCH(QString, prefix);
        fake.lists["dir:" + folder.toUtf8()] = { ".", "..", "a", QByteArray(2000, 'n'), "gone" };
        fake.lists["info:" + prefix.toUtf8() + "a"] = { "st_ifmt", "S_IFREG" };
        mobiledevice_afc afc("udid", fakeClient(), kFake);
        QCOMPARE(afc.ls(folder, false), QStringList({ ".", "..", "a", "gone" }));
        QCOMPARE(afc.ls(folder, true), QStringList({ "a", "gone" }));
        const QList<_AfcFileInfo> infos = afc.ls_finfo(folder);
        QCOMPARE(infos.size(), 1);
        QCOMPARE(infos[0].path, prefix + "a");
    }

    void copiesWholeFilesInBlocks()
    {
        const QByteArray data = QByteArray(20000, 'x') + "end";
        fake.files["/f"] = data.left(20000);
        mobiledevice_afc afc("udid", fakeClient(), kFake);
        QCOMPARE(afc.readFileContent("/f"), data.left(20000));
        QCOMPARE(fake.readAsks, QList<uint32_t>({ 8192, 8192, 8192, 8192 }));
        QCOMPARE(fake.closes, 1);

        fake.shortWriteBy = 100; // the remainder goes again, nothing is lost
        afc.writeFileContent("/f", data);
        QCOMPARE(fake.openMode, int(AFC_FOPEN_WRONLY));
        QCOMPARE(fake.writeSizes, QList<int>({ 8092, 100, 8192, 3619 }));
        QCOMPARE(fake.files["/f"], data);

        fake.writeSizes.clear();
        afc.writeFileContent("/f", QByteArray());
        QVERIFY(fake.writeSizes.isEmpty());
        QVERIFY(fake.files["/f"].isEmpty());
    }

    void deviceAnswersBeyondTheRequestAreRefused()
    {
        fake.files["/f"] = "abc";
        fake.overRead = 10000;
        mobiledevice_afc afc("udid", fakeClient(), kFake);
        AfcFile file;
        QVERIFY(afc.readFile("/f", file));
        char buf[8];
        QCOMPARE(file.read(buf, sizeof buf), -1);
        QVERIFY(afc.readFileContent("/f").isEmpty());
    }

    void fileHandleIsClosedExactlyOnce()
    {
        fake.files["/f"] = "abc";
        mobiledevice_afc afc("udid", fakeClient(), kFake);
        AfcFile none;
        char buf[4];
        QCOMPARE(none.read(buf, 4), -1);
        QCOMPARE(none.lock(AFC_LOCK_EX), 1);
        {
            AfcFile first;
            QVERIFY(afc.readWriteFile("/f", first));
            AfcFile second(std::move(first));
            QVERIFY(!first.isOpen());
            none = std::move(second);
        }
        QCOMPARE(fake.closes, 0);
        QVERIFY(!afc.readFile("/missing", none)); // closes what it held first
        QCOMPARE(fake.closes, 1);
        QVERIFY(!none.isOpen());
    }

    void withoutServiceNothingIsAsked()
    {
        mobiledevice_afc afc("udid", nullptr, kFake);
        fake.files["/f"] = "abc";
        AfcFile file;
        QVERIFY(!afc.readFile("/f", file));
        QVERIFY(afc.ls("/").isEmpty());
        QVERIFY(afc.readFileContent("/f").isEmpty());
        QVERIFY(!afc.mkdir("/d") && !afc.del("/d") && !afc.rename("/a", "/b"));
        QVERIFY(fake.openPath.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMobiledeviceAfc)
#include "tst_mobiledevice_afc.moc"
