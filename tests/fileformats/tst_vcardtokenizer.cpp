// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardtokenizer.h"

#include <QTest>

#include <memory>

namespace {

using ParserPtr = std::unique_ptr<CARD_Parser, decltype(&CARD_ParserFree)>;

} // namespace

class TestVCardTokenizer : public QObject {
    Q_OBJECT

private slots:
    void dropsLinesLongerThanTheLimit();
    void parsesHugeValueAndManyParameters();
};

// Each property written down as NAME: and its value, the closing call as
// "|" and a dropped line as "!" and its line number.
void TestVCardTokenizer::dropsLinesLongerThanTheLimit()
{
    QByteArray trace;
    ParserPtr parser(CARD_ParserCreate(), &CARD_ParserFree);
    CARD_SetUserData(parser.get(), &trace);
    CARD_SetPropHandler(parser.get(), [](void* user, const char* name, const char**) {
        *static_cast<QByteArray*>(user) += QByteArray(name) + ':';
    });
    CARD_SetDataHandler(parser.get(), [](void* user, const char* data, int len) {
        *static_cast<QByteArray*>(user) += data ? QByteArray(data, len) : QByteArray("|");
    });
    CARD_SetErrorHandler(parser.get(), [](void* user, long long line) {
        *static_cast<QByteArray*>(user) += '!' + QByteArray::number(line);
    });
    CARD_SetMaxLineLength(parser.get(), 16);
    const QByteArray input = "NOTE:0123456789abcdefXYZ\nFN:short\nVERYLONGPROPERTYNAME:1\n";
    CARD_Parse(parser.get(), input.constData(), int(input.size()), 1);
    QCOMPARE(trace, QByteArray("NOTE:!1FN:short|!3"));
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
