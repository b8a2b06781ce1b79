// SPDX-License-Identifier: GPL-3.0-or-later
// Random frames and requests from a phone, seeded and time-bounded, into a
// default hook on a temporary root: no run hangs, nothing appears outside
// the root and no read asks for more than the data block cap.
#include "fakephone.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

class TestBackup2FuzzSmoke : public QObject {
    Q_OBJECT
private slots:
    void randomPhonesStayBounded()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath("root");
        QDir().mkpath(root);
        QRandomGenerator rng(20261207);
        const QList<QByteArray> names = { "U/a", "U/d/e", "../esc", "U/../../esc",
            tmp.filePath("abs").toUtf8(), "", QByteArray("U/\0x", 4), "U", "U/d" };
        auto name = [&] { return names[rng.bounded(int(names.size()))]; };
        auto bytes = [&](int most) {
            QByteArray b(rng.bounded(most + 1), '\0');
            for (char& c : b)
                c = char(rng.bounded(256));
            return b;
        };
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 3000 && timer.elapsed() < 5000; ++i) {
            QByteArray raw;
            for (int n = rng.bounded(8); n >= 0; --n) {
                const QByteArray pieces[] = { nameFrame(name()), be32(rng.generate()) + bytes(8),
                    codeFrame(char(rng.bounded(16)), bytes(300)), codeFrame(0x0C, bytes(3000)) + codeFrame(0),
                    bytes(16) };
                raw += pieces[rng.bounded(5)];
            }
            const QString a = QString::fromUtf8(name()), b = QString::fromUtf8(name());
            const PlistCFType messages[] = { msg("DLMessageUploadFiles"),
                msg("DLContentsOfDirectory", { str(a) }), msg("DLMessageMoveFiles", { dict(a, str(b)) }),
                msg("DLMessageRemoveFiles", { arr({ str(a) }) }),
                msg("DLMessageCopyItem", { str(a), str(b) }), msg("DLMessageCreateDirectory", { str(a) }),
                msg("DLMessageDownloadFiles", { arr({ str(a), str(b) }) }),
                arr({ PlistCFType::createCFNumberInt32(3) }) };
            FakePhone phone;
            phone.readChunk = 1 + rng.bounded(5000);
            phone.rawAtEnd = rng.bounded(2) ? 0 : -3;
            for (int m = rng.bounded(4); m >= 0; --m)
                phone.add(messages[rng.bounded(8)], m == 0 ? raw : bytes(4));
            backup2tool tool("U", QDir(root), nullptr);
            run(tool, &phone);
            QVERIFY(phone.largestRead <= backup2tool::kMaxChunk);
        }
        QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList { "root" });
    }
};

QTEST_GUILESS_MAIN(TestBackup2FuzzSmoke)
#include "tst_backup2fuzzsmoke.moc"
