// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile and mutated binary property lists into the parser: nothing may
// crash (ASan build) or take long, and known attacks must be refused.
#include "ios/plistcftype.h"
#include "support/timebounds.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTest>

#include <random>

using P = PlistCFType;

namespace {

QByteArray bigEndian(quint64 value, int size)
{
    QByteArray bytes(size, 0);
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value);
    return bytes;
}

// A binary property list of the given encoded objects, 4-byte references
// and 8-byte offsets; object 0 is the top.
QByteArray bplist(const QList<QByteArray>& objects)
{
    QByteArray out("bplist00");
    QByteArray table;
    for (const QByteArray& object : objects) {
        table += bigEndian(out.size(), 8);
        out += object;
    }
    return out + table + QByteArray(6, 0) + "\x08\x04" + bigEndian(objects.size(), 8) + bigEndian(0, 8) + bigEndian(out.size(), 8);
}

QByteArray refs(unsigned char marker, const QList<quint32>& targets)
{
    QByteArray object = char(marker | 0x0F) + ("\x13" + bigEndian(marker == 0xD0 ? targets.size() / 2 : targets.size(), 8));
    for (quint32 target : targets)
        object += bigEndian(target, 4);
    return object;
}

// Arrays, each holding `fanout` references to the next; the last is empty.
QByteArray chain(int length, int fanout)
{
    QList<QByteArray> objects;
    for (int i = 0; i < length; ++i)
        objects << refs(0xA0, QList<quint32>(fanout, quint32(i + 1)));
    objects << refs(0xA0, {});
    return bplist(objects);
}

P randomTree(std::mt19937& rng, int depth)
{
    switch (rng() % (depth > 3 ? 6 : 8)) {
    case 0: return P::createCFNumberInt64(qint64(quint64(rng()) << (rng() % 40)));
    case 1: return P::createCFString(QString::number(rng()) + QString::fromUtf8("é✓"));
    case 2: return P::createCFData(QByteArray(int(rng() % 20), char(rng())));
    case 3: return P::createCFNumberDouble(double(rng()) / 7);
    case 4: return P::createCFKeyedArchiverUID(rng() % 300);
    case 5: return P::createCFDate(QDateTime::fromSecsSinceEpoch(qint32(rng()), Qt::UTC));
    case 6: {
        P a = P::createCFArray();
        for (int i = int(rng() % 5); i > 0; --i)
            a.append(randomTree(rng, depth + 1));
        return a;
    }
    default: {
        P d = P::createCFDictionary();
        for (int i = int(rng() % 5); i > 0; --i)
            d.put(QString::number(rng() % 9), randomTree(rng, depth + 1));
        return d;
    }
    }
}

void mutate(std::mt19937& rng, QByteArray& bytes)
{
    static const char interesting[] = {0, char(0xFF), 0x0F, char(0xDF), char(0xAF), 0x6F, 0x13, 0x7F, '<', '&', '/'};
    for (int i = int(rng() % 4); i >= 0 && bytes.size() >= 32; --i) {
        const int at = int(rng() % quint32(bytes.size()));
        switch (rng() % 4) {
        case 0: bytes[at] = char(rng()); break;
        case 1: bytes[at] = interesting[rng() % sizeof interesting]; break;
        case 2: bytes[bytes.size() - 1 - int(rng() % 32)] = interesting[rng() % sizeof interesting]; break; // trailer
        default: bytes.truncate(qMax(7, at)); break;
        }
    }
}

} // namespace

class PlistFuzzSmokeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("app.ios.warning=false"); }
    void shouldRefuseHostileInput_data();
    void shouldRefuseHostileInput();
    void shouldSurviveMutatedInput();
};

void PlistFuzzSmokeTest::shouldRefuseHostileInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text"); // of what is parsed, or "NULL"
    QTest::newRow("arrays nested 100000 deep") << chain(100000, 1) << "NULL";
    QTest::newRow("arrays nested 255 deep") << chain(255, 1) << QString("[").repeated(256) + QString("]").repeated(256);
    QTest::newRow("shared references: 2^60 values") << chain(60, 2) << "NULL";
    QTest::newRow("array holding itself") << bplist({refs(0xA0, {0})}) << "NULL";
    QTest::newRow("cycle through a dictionary") << bplist({refs(0xA0, {1}), refs(0xD0, {2, 0}), "Qk"}) << "NULL";
    QTest::newRow("integer as dictionary key") << bplist({refs(0xD0, {1, 1}), "\x10\x05"}) << "NULL";
    QTest::newRow("reference past the objects") << bplist({refs(0xA0, {7})}) << "NULL";
    QTest::newRow("string longer than the file") << bplist({"\x5F\x13\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF"}) << "NULL";
    QTest::newRow("unknown marker") << bplist({"\x70"}) << "NULL";
    QTest::newRow("XML nesting behind a bracket") << "<plist version=\"1.0\" [>" + QByteArray("<array>").repeated(1000) + QByteArray("</array>").repeated(1000) + "</plist>" << "NULL";
    QTest::newRow("XML with a DOCTYPE subset") << QByteArray("<!DOCTYPE plist [ <!ENTITY x \"a>b\"> ]><plist><array><true/></array></plist>") << "[1]";
    QTest::newRow("XML of too many values") << "<plist><array>" + QByteArray("<true/>").repeated(P::kMaxNodes) + "</array></plist>" << "NULL";
    QTest::newRow("XML nested 100000 deep") << QByteArray("<plist>") + QByteArray("<array>").repeated(100000) << "NULL";
}

void PlistFuzzSmokeTest::shouldRefuseHostileInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QElapsedTimer timer;
    timer.start();
    QString why;
    const P value = P::createCFPropertyList(bytes, &why);
    QVERIFY2(timer.elapsed() < timebound::kStuckMs, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(why.isEmpty(), text != "NULL");
    QCOMPARE(value.toString(), text);
}

void PlistFuzzSmokeTest::shouldSurviveMutatedInput()
{
    // Longer runs: PLIST_FUZZ_ROUNDS=1000000 PLIST_FUZZ_SEED=n ./tst_plistfuzzsmoke
    const int rounds = qEnvironmentVariableIsSet("PLIST_FUZZ_ROUNDS") ? qEnvironmentVariableIntValue("PLIST_FUZZ_ROUNDS") : 4000;
    std::mt19937 rng(qEnvironmentVariableIsSet("PLIST_FUZZ_SEED") ? qEnvironmentVariableIntValue("PLIST_FUZZ_SEED") : 20240305);
    QElapsedTimer timer;
    timer.start();
    int parsed = 0;
    for (int round = 0; round < rounds; ++round) {
        // One in five as XML: its checks and parser see mutations too.
        QByteArray bytes = randomTree(rng, 0).CFPropertyListToBytes(round % 5 ? P::kCFPropertyListBinaryFormat_v1_0 : P::kCFPropertyListXMLFormat_v1_0);
        mutate(rng, bytes);
        const P value = P::createCFPropertyList(bytes);
        if (value.ref()) {
            ++parsed;
            // Whatever parsed must serialise, print and read as an archive.
            P::createCFPropertyList(value.CFPropertyListToBytes(P::kCFPropertyListXMLFormat_v1_0));
            QString why;
            const QByteArray again = value.CFPropertyListToBytes(P::kCFPropertyListBinaryFormat_v1_0);
            QVERIFY2(P::createCFPropertyList(again, &why).ref(), qPrintable(why + ' ' + bytes.toHex() + ' ' + again.toHex()));
            value.toString();
            value.NSKeyedArchiver();
            P::parseNSDictionaryStringCFType(value);
        }
    }
    qInfo("%d of %d inputs parsed in %lld ms", parsed, rounds, timer.elapsed());
    QVERIFY(parsed > rounds / 40);
}

QTEST_GUILESS_MAIN(PlistFuzzSmokeTest)
#include "tst_plistfuzzsmoke.moc"
