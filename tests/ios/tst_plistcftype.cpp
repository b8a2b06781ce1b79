// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/plistcftype.h"

#include <QTest>

#include <plist/plist.h>

#include <functional>

using P = PlistCFType;
using Probe = std::function<QString()>;
Q_DECLARE_METATYPE(Probe)
Q_DECLARE_METATYPE(PlistCFType)
using Map = QHash<QString, P>;

namespace {

QString n(qint64 v) { return QString::number(v); }

// XML writes a UID as a {CF$UID : n} dictionary and reads it back as one.
P sampleTree(bool withUid)
{
    P dict = P::createCFDictionary();
    dict.put("text", P::createCFString(QString::fromUtf8("Zoë ✓ 漢")))
        .put("big", P::createCFNumberInt64(-(1LL << 62)))
        .put("real", P::createCFNumberDouble(2.5))
        .put("flag", P::createCFBoolean(true))
        .put("bytes", P::createCFData(QByteArray("\x00\xff\x10", 3)))
        .put("when", P::createCFDate(QDateTime(QDate(2019, 7, 1), QTime(8, 9, 10))))
        .put("list", P::createCFArray({P::createCFNumberInt32(1), P::createCFNumberInt32(2)}))
        .put("empty", P::createCFDictionary());
    if (withUid)
        dict.put("uid", P::createCFKeyedArchiverUID(42));
    return dict;
}

Map mixedMap()
{
    return Map {{"name", P::createCFString("Zoë")}, {"size", P::createCFNumberInt64(1LL << 40)},
        {"blob", P::createCFData("\x01\x02")}, {"list", P::createCFArray({P::createCFBoolean(false)})},
        {"nested", P::createCFDictionary().put("k%2", P::createCFNumberDouble(0.5))}};
}

P uids(const QList<int>& indexes)
{
    P array = P::createCFArray();
    for (int index : indexes)
        array.append(P::createCFKeyedArchiverUID(index));
    return array;
}

// An archive whose root object is built by hand, with these references.
P handArchive(quint32 root, const QList<int>& keyRefs, const QList<int>& valueRefs)
{
    P object = P::createCFDictionary().put("NS.keys", uids(keyRefs)).put("NS.objects", uids(valueRefs));
    P objects = P::createCFArray({P::createCFString("$null"), object, P::createCFString("a"), P::createCFString("b"),
        P::createCFString("c"), P::createCFNumberInt32(1), P::createCFNumberInt32(2)});
    return P::createCFDictionary().put("$objects", objects).put("$top", P::createCFDictionary().put("root", P::createCFKeyedArchiverUID(root)));
}

} // namespace

class PlistCFTypeTest : public QObject {
    Q_OBJECT
private slots:
    void shouldAnswerEdgeCases_data();
    void shouldAnswerEdgeCases();
    void shouldRoundTripEveryFormat_data();
    void shouldRoundTripEveryFormat();
    void shouldReadFileFromAnotherWriter();
    void shouldHandNodesOverOnceAndCloneAfter();
    void shouldParseBackWhatItWrote();
    void shouldReadMalformedArchives_data();
    void shouldReadMalformedArchives();
};

void PlistCFTypeTest::shouldAnswerEdgeCases_data()
{
    QTest::addColumn<Probe>("probe");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* name, Probe probe, const QString& expected) { QTest::newRow(name) << probe << expected; };
    row("narrow getters sign-extend", [] { P v = P::createCFNumberInt8(-1); return n(v.CFNumberInt64()) + n(v.CFNumberInt8()) + n(P::createCFNumberInt64(65535).CFNumberInt16()); }, "-1-1-1");
    row("getters of another type give the default", [] { return n(P::createCFNumberDouble(2.5).CFNumberInt64(7)) + n(P::createCFNumberInt32(3).CFNumberDouble(4)) + n(P::createCFString("9").CFNumberInt64(5)) + n(P().CFNumberDouble(6)) + n(P::createCFNumberInt32(0).CFNumberBool(true)) + n(P::createCFString("2020").CFDateToDateTime().isValid()); }, "745610");
    row("strings: empty, cut at NUL, non-ASCII", [] { return n(P::createCFString("").isCFString()) + P::createCFString(QString("ab") + QChar(0) + "cd").CFStringQString() + P::createCFString(QString::fromUtf8(" ✓ 😀")).CFStringQString(); }, QString::fromUtf8("1ab ✓ 😀"));
    row("dictionary key node reads as text", [] { P d = P::createCFDictionary().put("k€y", P::createCFBoolean(true)); return P(plist_dict_item_get_key(d.get("k€y").ref()), false).CFStringQString(); }, QString::fromUtf8("k€y"));
    row("lookups that miss give null", [] { P a = P::createCFArray({P::createCFBoolean(true)}); return n(quintptr(P::createCFDictionary().get("x").ref())) + n(quintptr(a.get("x").ref())) + n(quintptr(a.at(-1).ref())) + n(quintptr(a.at(1).ref())) + n(a.at(0).isCFBoolean()); }, "00001");
    row("put replaces in place, %2 in a key stays text", [] { P d = P::createCFDictionary().put("a", P::createCFNumberInt32(1)).put("k%2", P::createCFString("v%1")).put("a", P::createCFNumberInt32(3)); return n(d.dict_size()) + d.toString(); }, "2{a : 3, k%2 : v%1}");
    row("mutable copy: of an array empty, else independent", [] { P src = P::createCFDictionary().put("a", P::createCFNumberInt32(1)); P copy = P::createCFDictionaryCreateMutableCopy(src); copy.put("b", P::createCFBoolean(true)); return src.toString() + copy.toString() + P::createCFDictionaryCreateMutableCopy(P::createCFArray({P::createCFBoolean(true)})).toString(); }, "{a : 1}{a : 1, b : 1}{}");
    row("list dictionary takes shorter list", [] { return P::createCFDictionary({P::createCFString("a"), P::createCFString("b")}, {P::createCFNumberInt32(1)}).toString(); }, "{a : 1}");
    row("text of a tree deeper than the text form goes", [] { P root = P::createCFArray(); P leaf = root; for (int i = 0; i < 600; ++i) { P next = P::createCFArray(); leaf.append(next); leaf = next; } return root.toString().mid(508, 10); }, "[[[[[...]]");
    row("missing file names its path", [] { QString why; const P v = P::createCFPropertyListFromFile("/nonexistent/x.plist", &why); return n(quintptr(v.ref())) + why.left(22); }, "0/nonexistent/x.plist: ");
    row("bad binary is not tried as XML", [] { return n(quintptr(P::createCFPropertyList("bplist").ref())) + n(quintptr(P::createCFPropertyList("bplist<plist><true/></plist>").ref())); }, "00");
    row("XML with comment and CDATA", [] { return P::createCFPropertyList("<?xml version=\"1.0\"?><!-- <array> --><plist version=\"1.0\"><array><string><![CDATA[<dict>]]></string><true/></array></plist>").toString(); }, "[<dict>, 1]");
}

void PlistCFTypeTest::shouldAnswerEdgeCases()
{
    QFETCH(Probe, probe);
    QFETCH(QString, expected);
    QCOMPARE(probe(), expected);
}

void PlistCFTypeTest::shouldRoundTripEveryFormat_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("XML") << 100;
    QTest::newRow("binary") << 200;
}

void PlistCFTypeTest::shouldRoundTripEveryFormat()
{
    QFETCH(int, format);
    const P tree = sampleTree(format != 100);
    const QByteArray bytes = tree.CFPropertyListToBytes(P::CFPropertyListFormat(format));
    QCOMPARE(bytes.startsWith("bplist"), format != 100);
    QCOMPARE(tree.CFPropertyListToData(P::CFPropertyListFormat(format)).CFDataBytes(), bytes);
    const P back = P::createCFPropertyList(bytes);
    QVERIFY(back.isCFDictionary());
    QCOMPARE(back.toString(), tree.toString());
    QCOMPARE(back.CFPropertyListToBytes(P::kCFPropertyListBinaryFormat_v1_0), tree.CFPropertyListToBytes(P::kCFPropertyListBinaryFormat_v1_0));
}

// data/mixed.bplist comes from Python's plistlib (an independent writer that
// shares equal objects): plistlib.dumps(tree, fmt=FMT_BINARY, sort_keys=True)
// of the tree printed below, "when" being datetime(2020, 2, 29, 12, 30, 15).
void PlistCFTypeTest::shouldReadFileFromAnotherWriter()
{
    QString why;
    const P tree = P::createCFPropertyListFromFile(QFINDTESTDATA("data/mixed.bplist"), &why);
    QVERIFY2(tree.isCFDictionary(), qPrintable(why));
    QCOMPARE(tree.toString(), QString::fromUtf8("{blob : AAH+, count : 1099511627776, list : [same, same, {inner : [1, 2]}], "
                                                "name : Zoë ✓, neg : -5, no : 0, ratio : 0.5, ref : 7, when : %1, yes : 1}")
                                  .arg(QDateTime(QDate(2020, 2, 29), QTime(12, 30, 15)).toString(Qt::TextDate)));
}

void PlistCFTypeTest::shouldHandNodesOverOnceAndCloneAfter()
{
    P first = P::createCFDictionary();
    P second = P::createCFArray();
    {
        P value = P::createCFString("v");
        const P copyOfHandle = value;
        first.put("k", value);
        QCOMPARE(copyOfHandle.ref(), first.get("k").ref()); // every handle now views the entry
        second.append(value).append(value);                // already in a container: copies
        QVERIFY(second.at(0).ref() != value.ref() && second.at(1).ref() != second.at(0).ref());
        second.array_replace(0, first.get("k")).array_replace(1, second.at(1)).array_replace(2, value);
        first.put("k", first.get("k"));                     // its own entry: copied before the old is freed
        first.put("self", first);                           // the container itself
        P inner = P::createCFDictionary();
        first.put("inner", inner);
        inner.put("outer", first);                          // an ancestor
    }
    QCOMPARE(first.toString(), "{k : v, self : {k : v}, inner : {outer : {k : v, self : {k : v}, inner : {}}}}");
    QCOMPARE(second.toString(), "[v, v]");
    const P archive = P::createNSDictionaryStringCFType({{"a", first.get("inner")}}, false); // a view: cloned
    QCOMPARE(first.get("inner").dict_size(), 1u);
    QCOMPARE(P::parseNSDictionaryStringCFType(archive).value("a").toString(), first.get("inner").toString());
    // An insert that changes nothing leaves each value to its own handle (LeakSanitizer checks).
    P value = P::createCFNumberInt32(5);
    P array = P::createCFArray();
    array.put("k", value).array_replace(0, value).array_replace(-1, value);
    P::createCFDictionary().put("k", P()).put(P(), value);
    QCOMPARE(array.array_size(), 0u);
    QCOMPARE(P::createCFDictionary().put("k", value).get("k").CFNumberInt(), 5); // dictionary dies, takes value along
}

void PlistCFTypeTest::shouldParseBackWhatItWrote()
{
    const Map expected = mixedMap();
    for (bool isMutable : {false, true}) {
        Map map = mixedMap();
        map.insert("missing", P());
        const P archive = P::createNSDictionaryStringCFType(map, isMutable);
        map.clear(); // the archive alone holds the values now
        const Map root = archive.NSKeyedArchiver(); // one level only: references stay
        QCOMPARE(root.value("$class").get("$classname").CFStringQString(), isMutable ? "NSMutableDictionary" : "NSDictionary");
        QCOMPARE(root.value("NS.keys").at(0).CFKeyedArchiverUIDGetValue(), 2u);
        const Map back = P::parseNSDictionaryStringCFType(P::createCFPropertyList(archive.CFPropertyListToBytes(P::kCFPropertyListBinaryFormat_v1_0)));
        QCOMPARE(back.size(), expected.size() + 1);
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(back.value(it.key()).toString(), it.value().toString());
        QCOMPARE(back.value("missing").toString(), "$null");
    }
}

void PlistCFTypeTest::shouldReadMalformedArchives_data()
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

void PlistCFTypeTest::shouldReadMalformedArchives()
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

QTEST_GUILESS_MAIN(PlistCFTypeTest)
#include "tst_plistcftype.moc"
