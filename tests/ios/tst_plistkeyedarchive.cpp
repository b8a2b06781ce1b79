// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/plistcftype.h"

#include <QTest>

using P = PlistCFType;
using Map = QHash<QString, P>;
Q_DECLARE_METATYPE(PlistCFType)

namespace {

Map mixedMap()
{
    return Map {{"name", P::createCFString("Zoë")}, {"size", P::createCFNumberInt64(1LL << 40)},
        {"blob", P::createCFData("\x01\x02")}, {"list", P::createCFArray({P::createCFBoolean(false)})},
        {"nested", P::createCFDictionary().put("k%2", P::createCFNumberDouble(0.5))}};
}

// An archive whose root object is built by hand: refs are (key, value) indexes.
P handArchive(quint32 root, const QList<int>& keyRefs, const QList<int>& valueRefs)
{
    P keys = P::createCFArray();
    for (int k : keyRefs)
        keys.append(P::createCFKeyedArchiverUID(k));
    P values = P::createCFArray();
    for (int v : valueRefs)
        values.append(P::createCFKeyedArchiverUID(v));
    P object = P::createCFDictionary().put("NS.keys", keys).put("NS.objects", values);
    P objects = P::createCFArray({P::createCFString("$null"), object, P::createCFString("a"), P::createCFString("b"),
        P::createCFString("c"), P::createCFNumberInt32(1), P::createCFNumberInt32(2)});
    return P::createCFDictionary().put("$objects", objects).put("$top", P::createCFDictionary().put("root", P::createCFKeyedArchiverUID(root)));
}

} // namespace

class PlistKeyedArchiveTest : public QObject {
    Q_OBJECT
private slots:
    void shouldParseBackWhatItWrote_data();
    void shouldParseBackWhatItWrote();
    void shouldLayOutObjects();
    void shouldReadMalformedArchives_data();
    void shouldReadMalformedArchives();
};

void PlistKeyedArchiveTest::shouldParseBackWhatItWrote_data()
{
    QTest::addColumn<bool>("isMutable");
    QTest::newRow("NSDictionary") << false;
    QTest::newRow("NSMutableDictionary") << true;
}

void PlistKeyedArchiveTest::shouldParseBackWhatItWrote()
{
    QFETCH(bool, isMutable);
    const Map expected = mixedMap();
    Map map = mixedMap();
    map.insert("missing", P());
    const QByteArray bytes = P::createNSDictionaryStringCFType(map, isMutable).CFPropertyListToBytes(P::kCFPropertyListBinaryFormat_v1_0);
    map.clear(); // the archive alone holds the values now
    const Map back = P::parseNSDictionaryStringCFType(P::createCFPropertyList(bytes));
    QCOMPARE(back.size(), expected.size() + 1);
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(back.value(it.key()).toString(), it.value().toString());
    QCOMPARE(back.value("missing").toString(), "$null");
}

void PlistKeyedArchiveTest::shouldLayOutObjects()
{
    const P empty = P::createNSDictionaryStringCFType({}, false);
    QCOMPARE(empty.toString(), "{$archiver : NSKeyedArchiver, $objects : [$null, {NS.keys : [], NS.objects : [], $class : 2}, "
                               "{$classes : [NSDictionary, NSObject], $classname : NSDictionary}], $top : {root : 1}, $version : 100000}");
    const P two = P::createNSDictionaryStringCFType({{"a", P::createCFString("x")}, {"b", P::createCFString("y")}}, true);
    const P objects = two.get("$objects");
    QCOMPARE(objects.array_size(), 7u);
    QCOMPARE(objects.at(1).get("$class").CFKeyedArchiverUIDGetValue(), 6u);
    QCOMPARE(objects.at(6).toString(), "{$classes : [NSMutableDictionary, NSDictionary, NSObject], $classname : NSMutableDictionary}");
    const QString key0 = objects.at(2).CFStringQString();
    QCOMPARE(objects.at(4).CFStringQString(), key0 == "a" ? "x" : "y");
    const Map root = two.NSKeyedArchiver();
    QCOMPARE(root.keys().size(), 3);
    QCOMPARE(root.value("$class").get("$classname").CFStringQString(), "NSMutableDictionary");
    QCOMPARE(root.value("NS.keys").toString(), "[2, 3]"); // one level only: UIDs stay
}

void PlistKeyedArchiveTest::shouldReadMalformedArchives_data()
{
    QTest::addColumn<P>("archive");
    QTest::addColumn<QString>("parsed");
    QTest::addColumn<int>("rootEntries");
    QTest::newRow("more keys than values") << handArchive(1, {2, 3, 4}, {5, 6}) << "a=1 b=2" << 2;
    QTest::newRow("references past the end") << handArchive(1, {2, 99}, {99, 5}) << "=1 a=NULL" << 2;
    QTest::newRow("root is entry 0") << handArchive(0, {2}, {5}) << "" << 0;
    QTest::newRow("root past the end") << handArchive(50, {2}, {5}) << "" << 0;
    QTest::newRow("not a dictionary") << P::createCFArray() << "" << 0;
    QTest::newRow("null") << P() << "" << 0;
}

void PlistKeyedArchiveTest::shouldReadMalformedArchives()
{
    QFETCH(P, archive);
    QFETCH(QString, parsed);
    QFETCH(int, rootEntries);
    const Map map = P::parseNSDictionaryStringCFType(archive);
    QStringList pairs;
    for (auto it = map.begin(); it != map.end(); ++it)
        pairs << it.key() + '=' + it.value().toString();
    pairs.sort();
    QCOMPARE(pairs.join(' '), parsed);
    QCOMPARE(archive.NSKeyedArchiver().size(), rootEntries);
}

QTEST_GUILESS_MAIN(PlistKeyedArchiveTest)
#include "tst_plistkeyedarchive.moc"
