// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/qvcardparser.h"
#include "fileformats/vcardencoders.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

using Cards = QList<QList<QVCardParser::_Property>>;

QByteArray randomBytes(QRandomGenerator& rng, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(rng.bounded(256));
    return bytes;
}

} // namespace

class TestQVCardParser : public QObject {
    Q_OBJECT

private slots:
    void readsBackEncodedValues_data();
    void readsBackEncodedValues();
};

void TestQVCardParser::readsBackEncodedValues_data()
{
    QTest::addColumn<bool>("base64");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("quoted-printable on one line, 2.1") << false << 0 << QByteArray("2.1");
    QTest::newRow("quoted-printable soft breaks at 8, 2.1") << false << 8 << QByteArray("2.1");
    QTest::newRow("base64 folded at 75, 2.1") << true << 75 << QByteArray("2.1");
    QTest::newRow("base64 folded at 75, 3.0") << true << 75 << QByteArray("3.0");
}

// Random bytes through our own encoder and back through the parser, fed in
// random chunks; the property after the value must survive too.
void TestQVCardParser::readsBackEncodedValues()
{
    QFETCH(bool, base64);
    QFETCH(int, lineLength);
    QFETCH(QByteArray, version);
    QRandomGenerator rng(4711u + quint32(lineLength) + quint32(version.at(0)));
    for (int round = 0; round < 200; ++round) {
        const QByteArray data = randomBytes(rng, int(rng.bounded(1, 600)));
        const QByteArray property = base64
            ? "PHOTO;ENCODING=b;TYPE=JPEG:" + VCardEncoders::encodeBase64(data, lineLength)
            : "NOTE;ENCODING=QUOTED-PRINTABLE:" + VCardEncoders::encodeQuoted(data, lineLength);
        const QByteArray file
            = "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + property + "\r\nFN:after\r\nEND:VCARD\r\n";
        const Cards cards = QVCardParser::parseChunked(file, 1 + qsizetype(rng.bounded(100)));
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.first().size(), 3);
        QCOMPARE(cards.first().at(1).value, data);
        QCOMPARE(cards.first().at(2).value, QByteArray("after"));
    }
}

QTEST_APPLESS_MAIN(TestQVCardParser)
#include "tst_qvcardparser.moc"
