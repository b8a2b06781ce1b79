// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/plistcftype.h"

#include <QTest>

#include <functional>

using P = PlistCFType;
using Probe = std::function<QString()>;
Q_DECLARE_METATYPE(Probe)

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

} // namespace

class PlistCFTypeTest : public QObject {
    Q_OBJECT
private slots:
    void shouldAnswerEdgeCases_data();
    void shouldAnswerEdgeCases();
    void shouldRoundTripEveryFormat_data();
    void shouldRoundTripEveryFormat();
    void shouldHandNodesOverOnceAndCloneAfter();
};

void PlistCFTypeTest::shouldAnswerEdgeCases_data()
{
    QTest::addColumn<Probe>("probe");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* name, Probe probe, const QString& expected) { QTest::newRow(name) << probe << expected; };
    row("lookups that miss give null", [] { P a = P::createCFArray({P::createCFBoolean(true)}); return n(quintptr(P::createCFDictionary().get("x").ref())) + n(quintptr(a.get("x").ref())) + n(quintptr(a.at(-1).ref())) + n(quintptr(a.at(1).ref())) + n(a.at(0).isCFBoolean()); }, "00001");
    row("put replaces in place, %2 in a key stays text", [] { P d = P::createCFDictionary().put("a", P::createCFNumberInt32(1)).put("k%2", P::createCFString("v%1")).put("a", P::createCFNumberInt32(3)); return n(d.dict_size()) + d.toString(); }, "2{a : 3, k%2 : v%1}");
    row("text of a tree deeper than the text form goes", [] { P root = P::createCFArray(); P leaf = root; for (int i = 0; i < 600; ++i) { P next = P::createCFArray(); leaf.append(next); leaf = next; } return root.toString().mid(508, 10); }, "[[[[[...]]");
    row("missing file names its path", [] { QString why; const P v = P::createCFPropertyListFromFile("/nonexistent/x.plist", &why); return n(quintptr(v.ref())) + why.left(22); }, "0/nonexistent/x.plist: ");
    row("bad binary is not tried as XML", [] { return n(quintptr(P::createCFPropertyList("bplist").ref())) + n(quintptr(P::createCFPropertyList("bplist<plist><true/></plist>").ref())); }, "00");
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
    const P back = P::createCFPropertyList(bytes);
    QVERIFY(back.isCFDictionary());
    QCOMPARE(back.toString(), tree.toString());
    QCOMPARE(back.CFPropertyListToBytes(P::kCFPropertyListBinaryFormat_v1_0), tree.CFPropertyListToBytes(P::kCFPropertyListBinaryFormat_v1_0));
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

QTEST_GUILESS_MAIN(PlistCFTypeTest)
#include "tst_plistcftype.moc"
