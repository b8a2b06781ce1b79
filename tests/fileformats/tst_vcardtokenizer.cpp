// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardtokenizer.h"

#include <QTest>

#include <memory>

namespace {

// Every callback written down as text: a property as NAME;p=v;bare: , each
// data call as its bytes (non-printable bytes as \xHH), the closing call as
// "|" and a dropped line as "!" and its line number.
struct Trace {
    QByteArray text;
    CARD_Parser* parser = nullptr;
    QList<long long> propertyLines;
};

void onProp(void* user, const char* name, const char** params)
{
    auto* t = static_cast<Trace*>(user);
    t->text += name;
    for (const char** p = params; p[0]; p += 2) {
        t->text += ';';
        t->text += p[0];
        if (p[1])
            t->text += QByteArray("=") + p[1];
    }
    t->text += ':';
    t->propertyLines.append(CARD_GetLineNumber(t->parser));
}

void onData(void* user, const char* data, int len)
{
    auto* t = static_cast<Trace*>(user);
    if (!data) {
        t->text += '|';
        return;
    }
    for (int i = 0; i < len; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\')
            t->text += char(c);
        else
            t->text += "\\x" + QByteArray::number(c, 16).rightJustified(2, '0');
    }
}

void onError(void* user, long long line)
{
    static_cast<Trace*>(user)->text += '!' + QByteArray::number(line);
}

using ParserPtr = std::unique_ptr<CARD_Parser, decltype(&CARD_ParserFree)>;

ParserPtr makeParser(Trace& trace, CARD_UnfoldMode mode)
{
    ParserPtr parser(CARD_ParserCreate(), &CARD_ParserFree);
    trace.parser = parser.get();
    CARD_SetUserData(parser.get(), &trace);
    CARD_SetPropHandler(parser.get(), &onProp);
    CARD_SetDataHandler(parser.get(), &onData);
    CARD_SetErrorHandler(parser.get(), &onError);
    CARD_SetUnfoldMode(parser.get(), mode);
    return parser;
}

} // namespace

class TestVCardTokenizer : public QObject {
    Q_OBJECT

private slots:
    void reportsLineStartsAcrossCalls();
    void dropsLinesLongerThanTheLimit();
    void parsesHugeValueAndManyParameters();
};

void TestVCardTokenizer::reportsLineStartsAcrossCalls()
{
    Trace trace;
    ParserPtr parser = makeParser(trace, CARD_UNFOLD_SPACE);
    CARD_SetPosition(parser.get(), 1000, 41);
    const QByteArray input = "A:1\r\nB:2\r\n folded\r\n\r\nC:3\r\n";
    for (const char c : input)
        CARD_Parse(parser.get(), &c, 1, 0);
    CARD_Parse(parser.get(), nullptr, 0, 1);
    QCOMPARE(trace.propertyLines, QList<long long>({ 41, 42, 45 }));
    QCOMPARE(trace.text, QByteArray("A:1|B:2 folded|C:3|"));
}

void TestVCardTokenizer::dropsLinesLongerThanTheLimit()
{
    Trace trace;
    ParserPtr parser = makeParser(trace, CARD_UNFOLD_SPACE);
    CARD_SetMaxLineLength(parser.get(), 16);
    const QByteArray input = "NOTE:0123456789abcdefXYZ\nFN:short\nVERYLONGPROPERTYNAME:1\n";
    CARD_Parse(parser.get(), input.constData(), int(input.size()), 1);
    QCOMPARE(trace.text, QByteArray("NOTE:!1FN:short|!3"));
}

void TestVCardTokenizer::parsesHugeValueAndManyParameters()
{
    // Growth in fixed small steps makes both of these quadratic; they must
    // stay a matter of seconds even under the sanitizers.
    struct Sizes {
        long long dataBytes = 0;
        int closings = 0;
        int params = 0;
    } sizes;
    ParserPtr parser(CARD_ParserCreate(), &CARD_ParserFree);
    CARD_SetUserData(parser.get(), &sizes);
    CARD_SetDataHandler(parser.get(), [](void* user, const char* data, int len) {
        auto* s = static_cast<Sizes*>(user);
        if (data)
            s->dataBytes += len;
        else
            ++s->closings;
    });
    CARD_SetPropHandler(parser.get(), [](void* user, const char*, const char** params) {
        auto* s = static_cast<Sizes*>(user);
        for (const char** p = params; p[0]; p += 2)
            ++s->params;
    });
    const QByteArray head = "NOTE:";
    CARD_Parse(parser.get(), head.constData(), int(head.size()), 0);
    const QByteArray block(1024 * 1024, 'x');
    for (int i = 0; i < 50; ++i)
        CARD_Parse(parser.get(), block.constData(), int(block.size()), 0);
    QByteArray many = "\nX";
    for (int i = 0; i < 1000000; ++i)
        many += ";p";
    many += ":v\n";
    CARD_Parse(parser.get(), many.constData(), int(many.size()), 1);
    QCOMPARE(sizes.dataBytes, 50LL * 1024 * 1024 + 1);
    QCOMPARE(sizes.closings, 2);
    QCOMPARE(sizes.params, 1000000);
}

QTEST_APPLESS_MAIN(TestVCardTokenizer)
#include "tst_vcardtokenizer.moc"
