// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/mobiledevice_afc.h"

#include <QtTest>

#include <utility>

namespace {

// A file service in memory behind the call table, holding one file "/f".
// Lists are heap copies freed by the table's free call, so the sanitizer sees
// a read past their end.
struct FakeService {
    QMap<QByteArray, QList<QByteArray>> lists; // "info:" / "dir:" + path
    QByteArray file;
    int openMode = 0, closes = 0, outstanding = 0;
    uint32_t overRead = 0, shortWriteBy = 0;
    QList<uint32_t> readAsks, writeSizes;
} fake;

afc_error_t answer(const QByteArray& key, char*** out)
{
    if (!fake.lists.contains(key))
        return AFC_E_OBJECT_NOT_FOUND;
    const QList<QByteArray>& strings = fake.lists[key];
    *out = new char*[strings.size() + 1]();
    for (int i = 0; i < strings.size(); ++i)
        (*out)[i] = qstrdup(strings[i].constData());
    ++fake.outstanding;
    return AFC_E_SUCCESS;
}

template <typename... T>
afc_error_t done(T&&...) { return AFC_E_SUCCESS; }

const AfcCalls kFake = {
    [](afc_client_t, const char* p, char*** out) { return answer("info:" + QByteArray(p), out); },
    [](afc_client_t, const char* p, char*** out) { return answer("dir:" + QByteArray(p), out); },
    [](char** list) {
        for (char** s = list; *s; ++s)
            delete[] *s;
        delete[] list;
        return done(--fake.outstanding);
    },
    [](afc_client_t c, const char* p) { return done(c, p); },
    [](afc_client_t c, const char* p) { return done(c, p); },
    [](afc_client_t c, const char* p, const char*) { return done(c, p); },
    [](afc_client_t, const char* p, afc_file_mode_t mode, uint64_t* h) {
        fake.openMode = mode;
        fake.file.truncate(mode == AFC_FOPEN_WRONLY ? 0 : fake.file.size());
        *h = 7;
        return qstrcmp(p, "/f") ? AFC_E_OBJECT_NOT_FOUND : AFC_E_SUCCESS;
    },
    [](afc_client_t, uint64_t, char* data, uint32_t len, uint32_t* got) {
        fake.readAsks.append(len);
        *got = qMin<uint32_t>(len, fake.file.size());
        memcpy(data, fake.file.constData(), *got);
        fake.file.remove(0, *got);
        *got += fake.overRead;
        return AFC_E_SUCCESS;
    },
    [](afc_client_t, uint64_t, const char* data, uint32_t len, uint32_t* sent) {
        *sent = len - std::exchange(fake.shortWriteBy, 0);
        fake.writeSizes.append(*sent);
        return done(fake.file.append(data, *sent));
    },
    [](afc_client_t c, uint64_t h, afc_lock_op_t) { return done(c, h); },
    [](afc_client_t, uint64_t) { return done(++fake.closes); },
    [](afc_client_t c) { return done(c); },
};

int token;
const afc_client_t kClient = reinterpret_cast<afc_client_t>(&token);

} // namespace

class TestMobiledeviceAfc : public QObject {
    Q_OBJECT
private slots:
    void init() { fake = FakeService(); }
    void cleanup() { QCOMPARE(fake.outstanding, 0); }

    void fileInfoReadsTheStatusPairs()
    {
        fake.lists["info:/x"] = { "st_ifmt", "s_IfDir", "st_mtime", "1400000000123456789", "st_size", "68" };
        fake.lists["info:/y"] = { "st_ifmt", "S_IFREG", "st_ifmt", QByteArray(5000, 'D'), "st_size" };
        mobiledevice_afc afc("udid", kClient, kFake);
        const _AfcFileInfo x = afc.fileInfo("/x"), y = afc.fileInfo("/y");
        QVERIFY(x.isDir() && x.size == 68 && x.mtime.toMSecsSinceEpoch() == 1400000000123);
        // The last of a doubled key counts; an over-long text is refused.
        QVERIFY(!y.isValid() && y.path == "/y" && y.mtime.isNull());
        QVERIFY(afc.fileInfo("/missing").path.isEmpty());
    }

    // One folder level: every name's status asked under the folder path
    // joined without a doubled separator; a name without status is left out.
    void listingsJoinPathsAndSkipWhatHasNoStatus()
    {
        mobiledevice_afc afc("udid", kClient, kFake);
        for (const QString folder : { "/", "/DCIM/" }) {
            fake.lists["dir:" + folder.toUtf8()] = { ".", "..", "a", QByteArray(2000, 'n'), "gone" };
            fake.lists["info:" + folder.toUtf8() + "a"] = { "st_ifmt", "S_IFREG" };
            QCOMPARE(afc.ls(folder, false), QStringList({ ".", "..", "a", "gone" }));
            const QList<_AfcFileInfo> infos = afc.ls_finfo(folder);
            QCOMPARE(infos.size(), 1);
            QCOMPARE(infos[0].path, folder + "a");
        }
    }

    void copiesWholeFilesInBlocks()
    {
        const QByteArray data = QByteArray(20000, 'x') + "end";
        fake.file = data.left(20000);
        mobiledevice_afc afc("udid", kClient, kFake);
        QCOMPARE(afc.readFileContent("/f"), data.left(20000));
        QCOMPARE(fake.readAsks, QList<uint32_t>({ 8192, 8192, 8192, 8192 }));
        fake.shortWriteBy = 100; // the remainder goes again, nothing is lost
        afc.writeFileContent("/f", data);
        QCOMPARE(fake.openMode, int(AFC_FOPEN_WRONLY));
        QCOMPARE(fake.writeSizes, QList<uint32_t>({ 8092, 100, 8192, 3619 }));
        QCOMPARE(fake.file, data);
        afc.writeFileContent("/f", QByteArray());
        QCOMPARE(fake.file + QByteArray::number(fake.writeSizes.size()), QByteArray("4"));
        QCOMPARE(fake.closes, 3);
    }

    void handlesAreBoundedAndClosedOnce()
    {
        fake.file = "abc";
        mobiledevice_afc afc("udid", kClient, kFake), closed("udid", nullptr, kFake);
        AfcFile file;
        char buf[8];
        QVERIFY(file.read(buf, 8) == -1 && file.lock(AFC_LOCK_EX) == 1 && !closed.readFile("/f", file));
        {
            AfcFile first;
            QVERIFY(afc.readWriteFile("/f", first));
            AfcFile second(std::move(first));
            file = std::move(second);
        }
        QCOMPARE(fake.closes, 0);
        fake.overRead = 10000; // the device claims more than was asked for
        QCOMPARE(file.read(buf, 8), -1);
        QVERIFY(afc.readFileContent("/f").isEmpty());
        QVERIFY(!afc.readFile("/missing", file)); // what it held is closed first
        QCOMPARE(fake.closes, 2);
    }
};

QTEST_GUILESS_MAIN(TestMobiledeviceAfc)
#include "tst_mobiledevice_afc.moc"
