// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/vcardimport.h"
#include "../scratchfiles.h"
#include "vcardfuzzinput.h"

#include <QTest>

namespace {

const QByteArray kSample
    = "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=\r\n=BCrgen;;;\r\n"
      "TEL;CELL;VOICE:+49 30 1234\r\nPHOTO;ENCODING=BASE64:\r\n QUJD\r\n RA==\r\n\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;John;;;\r\nFN:John Doe\r\nitem1.EMAIL;type=INTERNET:j@d.org\r\n"
      "ADR;TYPE=home:;;1 Main St;Town;ST;12345;USA\r\nNOTE:a\\nb\\, c\r\nBDAY:19800115\r\nORG:Acme;Sales\r\n"
      "X-IM;TYPE=skype:jd\r\nURL;TYPE=blog:http://x\r\nEND:VCARD\r\n";

QByteArray mutate(QRandomGenerator& rng, QByteArray data)
{
    const int edits = 1 + int(rng.bounded(6));
    for (int i = 0; i < edits && !data.isEmpty(); ++i) {
        const qsizetype at = qsizetype(rng.bounded(quint32(data.size())));
        switch (rng.bounded(4)) {
        case 0:
            data.remove(at, 1 + qsizetype(rng.bounded(20)));
            break;
        case 1:
            data.insert(at, vcardfuzz::syntaxSoup(rng, 1 + int(rng.bounded(4))));
            break;
        case 2:
            data[at] = char(rng.bounded(256));
            break;
        default:
            data.insert(at, data.mid(at, qsizetype(rng.bounded(200))));
            break;
        }
    }
    return data;
}

} // namespace

class TestVCardFuzzSmoke : public QObject {
    Q_OBJECT

private slots:
    void survivesHostileInput_data();
    void survivesHostileInput();
};

void TestVCardFuzzSmoke::survivesHostileInput_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("inputs");
    QTest::newRow("syntax soup") << 0 << 20240601u << 2500;
    QTest::newRow("mutated sample cards") << 1 << 7u << 1500;
}

// Every input must parse without a fault, give the same cards in any
// chunking, and give the same contacts through the two-pass file reader as
// through one pass over the whole data.
void TestVCardFuzzSmoke::survivesHostileInput()
{
    QFETCH(int, kind);
    QFETCH(quint32, seed);
    QFETCH(int, inputs);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QRandomGenerator rng(seed);
    for (int i = 0; i < inputs; ++i) {
        const QByteArray data
            = kind == 0 ? vcardfuzz::syntaxSoup(rng, 1 + int(rng.bounded(120))) : mutate(rng, kSample);

        int skippedWhole = 0;
        int skippedChunked = 0;
        QString controlAt;
        const QByteArray whole = vcardfuzz::parseAndMap(data, data.size(), &skippedWhole, &controlAt);
        if (!controlAt.isEmpty())
            QFAIL(qPrintable(QStringLiteral("stored text holds a control character for input %1: %2")
                                 .arg(i)
                                 .arg(controlAt)));
        const QByteArray chunked = vcardfuzz::parseAndMap(data, 1 + qsizetype(rng.bounded(13)), &skippedChunked);
        if (whole != chunked || skippedWhole != skippedChunked)
            QFAIL(qPrintable(QStringLiteral("chunked parse differs for input %1: %2").arg(i).arg(QString::fromLatin1(data.toHex()))));

        if (i % 10 != 0)
            continue;
        VCardImport reader;
        reader.initialize(writeScratch(dir, data, QStringLiteral("vcf")));
        QByteArray viaReader;
        while (reader.hasNext())
            viaReader += "--\n" + vcardfuzz::dumpContact(reader.nextContact());
        if (viaReader != whole)
            QFAIL(qPrintable(QStringLiteral("reader differs for input %1: %2").arg(i).arg(QString::fromLatin1(data.toHex()))));
    }
}

QTEST_GUILESS_MAIN(TestVCardFuzzSmoke)
#include "tst_vcardfuzzsmoke.moc"
