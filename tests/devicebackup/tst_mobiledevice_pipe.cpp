// SPDX-License-Identifier: GPL-3.0-or-later
// The test is the peer process: it reads requests and writes replies on the
// descriptors the channel hands to a peer.
#include "devicebackup/mobiledevice_pipe.h"
#include "support/timebounds.h"

#include <QElapsedTimer>
#include <QtTest>

#include <unistd.h>

namespace {

const int kTimeoutMs = 300;

QByteArray frame(qint32 length, const QByteArray& body)
{
    return QByteArray(reinterpret_cast<const char*>(&length), sizeof length) + body;
}

PlistCFType request(int textBytes)
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put("MessageName", PlistCFType::createCFString(QString(textBytes, 'q')));
    return dict;
}

} // namespace

class TestMobiledevicePipe : public QObject {
    Q_OBJECT
private slots:

    void requestGoesOutAsOneXmlFrame()
    {
        mobiledevice_pipe channel(kTimeoutMs);
        QVERIFY(channel.connect() && channel.create());
        const auto xmlOf = [](int n) { return request(n).CFPropertyListToBytes(PlistCFType::kCFPropertyListXMLFormat_v1_0); };
        const QByteArray xml = xmlOf(300 - xmlOf(0).size());
        QCOMPARE(xml.size(), 300);
        QVERIFY(channel.writeRequest(PlistCFType())); // sends nothing
        QVERIFY(channel.writeRequest(request(300 - xmlOf(0).size())));
        QByteArray got(305, '\0');
        QCOMPARE(::read(channel.peerReadFd().toInt(), got.data(), got.size()), qsizetype(304));
        QCOMPARE(got.left(304), QByteArray("\x2C\x01\x00\x00", 4) + xml);
    }

    void replyFrames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected"); // toString() of the reply
        const QByteArray xml = request(3).CFPropertyListToBytes(PlistCFType::kCFPropertyListXMLFormat_v1_0);
        const QByteArray bin = request(3).CFPropertyListToBytes(PlistCFType::kCFPropertyListBinaryFormat_v1_0);
        QTest::newRow("xml") << frame(xml.size(), xml) << "{MessageName : qqq}";
        QTest::newRow("binary") << frame(bin.size(), bin) << "{MessageName : qqq}";
        QTest::newRow("length 0") << frame(0, xml) << "NULL";
        QTest::newRow("negative length") << frame(-1, xml) << "NULL";
        QTest::newRow("length above the cap") << frame(mobiledevice_pipe::kMaxReplyBytes + 1, xml) << "NULL";
        QTest::newRow("bare bplist magic") << frame(6, "bplist") << "NULL";
        QTest::newRow("body cut short") << frame(xml.size() + 1, xml) << "NULL";
        QTest::newRow("header cut short") << QByteArray("\x10\x00", 2) << "NULL";
    }
    void replyFrames()
    {
        QFETCH(QByteArray, bytes);
        mobiledevice_pipe channel(kTimeoutMs);
        QVERIFY(channel.create());
        QCOMPARE(::write(channel.peerWriteFd().toInt(), bytes.constData(), bytes.size()), qsizetype(bytes.size()));
        QElapsedTimer clock;
        clock.start();
        QTEST(channel.readReponse().toString(), "expected");
        QVERIFY2(clock.elapsed() < kTimeoutMs + timebound::kFreezeMs, "a wait outlived its limit");
    }

    void stalledPeerEndsInTimeOut()
    {
        mobiledevice_pipe channel(kTimeoutMs);
        QVERIFY(channel.create());
        QElapsedTimer clock;
        clock.start(); // far more than a pipe holds, with nobody reading
        QVERIFY(!channel.writeRequest(request(1 << 20)) && clock.elapsed() < kTimeoutMs + timebound::kFreezeMs);
    }
};

QTEST_GUILESS_MAIN(TestMobiledevicePipe)
#include "tst_mobiledevice_pipe.moc"
