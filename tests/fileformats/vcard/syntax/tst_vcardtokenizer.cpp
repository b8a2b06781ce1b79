// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardtokenizer.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <memory>

namespace {

// Every callback written down as text: a property as NAME;p=v;bare: , each
// data call as its bytes (non-printable bytes as \xHH), the closing call as
// "|" and a dropped line as "!" and its line number.
struct Trace {
    QByteArray text;
    CARD_Parser* parser = nullptr;
    // Each property's line number and where its line starts.
    QList<std::pair<long long, long long>> propertyLines;
    // Stop the tokenizer at every property, as a reader that looks ahead
    // does, and feed the rest again.
    bool stopAtProperties = false;
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
    t->propertyLines.append({ CARD_GetLineNumber(t->parser), CARD_GetLineStart(t->parser) });
    if (t->stopAtProperties)
        CARD_StopParser(t->parser);
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

// A stray "=" left out as "~=" and its line, a value ended by a soft
// break before a property's line as "~:", any other warning as "~".
void onWarning(void* user, long long line, int warning)
{
    static_cast<Trace*>(user)->text += (warning == CARD_WARN_STRAY_EQUALS ? "~="
                                           : warning == CARD_WARN_SOFT_BREAK_BEFORE_PROPERTY ? "~:"
                                                                                            : "~")
        + QByteArray::number(line);
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
    CARD_SetWarningHandler(parser.get(), &onWarning);
    CARD_SetUnfoldMode(parser.get(), mode);
    return parser;
}

// Feeds the input in pieces of the given sizes (cycled), then the final call.
QByteArray traceOf(const QByteArray& input, CARD_UnfoldMode mode, const QList<int>& pieces, bool stop = false,
    QList<std::pair<long long, long long>>* propertyLines = nullptr)
{
    Trace trace;
    trace.stopAtProperties = stop;
    ParserPtr parser = makeParser(trace, mode);
    qsizetype at = 0;
    int next = 0;
    while (at < input.size()) {
        const int size = int(qMin<qsizetype>(pieces.at(next++ % pieces.size()), input.size() - at));
        const long long before = CARD_GetPosition(parser.get());
        CARD_Parse(parser.get(), input.constData() + at, size, 0);
        at += qsizetype(CARD_GetPosition(parser.get()) - before);
    }
    CARD_Parse(parser.get(), nullptr, 0, 1);
    if (propertyLines)
        *propertyLines = trace.propertyLines;
    return trace.text;
}

} // namespace

class TestVCardTokenizer : public QObject {
    Q_OBJECT

private slots:
    void tokenizesInAnyChunking_data();
    void tokenizesInAnyChunking();
    void startsALineRightAfterACrAloneThatEndsOne_data();
    void startsALineRightAfterACrAloneThatEndsOne();
    void dropsLinesLongerThanTheLimit();
    void parsesHugeValueAndManyParameters();
    void readsAnOwnLabelInTimeOfItsLength();
    void tellsANameOfBytesNoNameHolds_data();
    void tellsANameOfBytesNoNameHolds();
};

void TestVCardTokenizer::tokenizesInAnyChunking_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("expected");

    auto row = [](const char* name, const QByteArray& input, const QByteArray& expected, bool join = false) {
        QTest::newRow(name) << input << int(join ? CARD_UNFOLD_JOIN : CARD_UNFOLD_SPACE) << expected;
    };
    auto fixedWidthRow = [](const char* name, const QByteArray& input, const QByteArray& expected) {
        QTest::newRow(name) << input << int(CARD_UNFOLD_DROP) << expected;
    };
    row("parameter with value", "TEL;TYPE=HOME:123\n", "TEL;TYPE=HOME:123|");
    row("bare parameters", "TEL;HOME;VOICE:1\n", "TEL;HOME;VOICE:1|");
    row("blanks inside parameter values kept", "TEL;TYPE=HOME, WORK:1\n", "TEL;TYPE=HOME, WORK:1|");
    row("escaped semicolon in parameter", "X;P=a\\;b;Q=c:1\n", "X;P=a;b;Q=c:1|");
    row("doubled backslash gives one", "X;P=a\\\\b:1\n", "X;P=a\\b:1|");
    row("backslash before a letter dropped", "X;P=a\\bc:1\n", "X;P=abc:1|");
    row("blank inside a name dropped, a CR alone there too", "TE L:1\nN\rOTE:2\r\n", "TEL:1|NOTE:2|");
    row("CR inside a parameter name ends the line", "X;TY\rPE=a:1\n", "!1PE=a:1|");
    row("equals sign belongs to a name", "A=B:1\n", "A=B:1|");
    row("quote inside an unquoted value kept", "X;P=a\"b:1\n", "X;P=a\"b:1|");
    row("blank inside a quoted value kept", "X;P=\"a b\":v\n", "X;P=\"a b\":v|");
    row("text after a closing quote", "X;P=\"a\"b;Q=c:v\n", "X;P=\"a\"b;Q=c:v|");
    row("CR inside a plain value ends the line", "NOTE:a\rb\r\n", "NOTE:a|!2");
    row("escaped colon still ends parameters", "X;P=a\\:v\n", "X;P=a:v|");
    row("quoted parameter holds colon, semicolon, backslash", "ADR;GEO=\"geo:1;2\\3\":x\n", "ADR;GEO=\"geo:1;2\\3\":x|");
    // A parameter's value may be text that is stored (a service's name):
    // it keeps the blanks between its bytes, but a word that says how the
    // line is read.
    row("blanks and tabs around a parameter value dropped, those inside kept",
        "X;P= a \tb\t;Q=\"  c \";S = e :1\n", "X;P=a \tb;Q=\"  c \";S=e:1|");
    row("blanks inside CHARSET, ENCODING and VALUE dropped",
        "NOTE;charset=UTF -8;ENCODING=QUOTED- PRINTABLE;Value=te xt:=C3=A9\n",
        "NOTE;charset=UTF-8;ENCODING=QUOTED-PRINTABLE;Value=text:\\xc3\\xa9|");
    row("blanks inside a name dropped, but in a phone's own label",
        "TEL;TY PE=HOME;X-CUSTOM(Gate Code) ;x-custom(a b=c d):1\n", "TEL;TYPE=HOME;X-CUSTOM(Gate Code);x-custom(a b=c d):1|");
    // A handset writes a phone's own label in quoted-printable codes as a
    // parameter of its own, and breaks it as a value.
    row("phone's own label goes on after its soft break",
        "TEL;X-CUSTOM(CHARSET=UTF-8,ENCODING=QUOTED-PRINTABLE,=4C=6F=62=62=79=20=26=20=50=61=67=65=\r\n"
        "=72):+1 555 0100 772\r\nX:1\r\ngarbage\r\n",
        "TEL;X-CUSTOM(CHARSET=UTF-8,ENCODING=QUOTED-PRINTABLE,=4C=6F=62=62=79=20=26=20=50=61=67=65=72):+1 555 0100 772|"
        "X:1|!4");
    row("phone's own label over three lines, blanks after an equals sign, its encoding first, of an e-mail",
        "EMAIL;x-custom(Encoding=Quoted-Printable,=41= \t\n=42=\n=43):a@b\nX:1\ngarbage\n",
        "EMAIL;x-custom(Encoding=Quoted-Printable,=41=42=43):a@b|X:1|!5");
    row("phone's own label goes on after a soft break in lines that end in a CR alone",
        "FN:A\rTEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,=41=\r=42):1\rX:2\r",
        "FN:A|TEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,=41=42):1|X:2|");
    row("parameters that are no phone's own label in quoted-printable, or a line apart, go on after no equals sign",
        "TEL;X-CUSTOM(CHARSET=UTF-8,=41=\n=42):1\n"
        "TEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,=41)=\n=42:2\n"
        "TEL;X-CUSTOM(ENCODING=BASE64,QQ=\n=42):3\n"
        "TEL;X-CUSTOM(CHARSET=UTF-8,ENCODING=QUOTED-PRINTABLE)=\n=42):4\n"
        "TEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,=41\n=42):5\n"
        "TEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,=41=\nEND:VCARD\n"
        "TEL;X-LABEL=QUOTED-PRINTABLE,=41=\n=42:6\n"
        "TEL;X-CUSTOM=\"ENCODING=QUOTED-PRINTABLE,=41=\n=42\":7\n"
        "TEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,=41=\n\n=42):8\n"
        "TEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,=41=\n \n=42):9\n",
        "!1=42):1|!3=42:2|!5=42):3|!7=42):4|!9=42):5|!11END:VCARD|!13=42:6|!15=42\":7|!17=42):8|!20=42):9|");
    row("a value starts right after the colon", "NOTE:   abc  \n", "NOTE:   abc  |");
    row("blanks before a quoted-printable value skipped", "NOTE;QUOTED-PRINTABLE:  =20a\n", "NOTE;QUOTED-PRINTABLE: a|");
    row("2.1 fold becomes one space", "NOTE:abc\r\n def\r\n", "NOTE:abc def|");
    row("3.0 fold vanishes", "NOTE:abc\r\n def\r\n", "NOTE:abcdef|", true);
    row("3.0 fold inside UTF-8", "N:Z\xC3\r\n \xA9\r\n", "N:Z\\xc3\\xa9|", true);
    fixedWidthRow("2.1 fixed-width fold vanishes, inside a letter too, said once", "NOTE:ab\r\n c\xC3\r\n \xA9\r\n",
                  "NOTE:~1abc\\xc3\\xa9|");
    fixedWidthRow("2.1 fixed-width fold inside an escape", "N;QUOTED-PRINTABLE:=D\r\n 0x\r\n",
                  "N;QUOTED-PRINTABLE:~1\\xd0x|");
    fixedWidthRow("2.1 fixed-width folds said of each value, not of base64 nor parameters",
                  "PHOTO;ENCODING=b:QUJ\r\n D\r\nNOTE;X=\r\n 1:a\r\n b\r\nFN:c\r\n d\r\n",
                  "PHOTO;ENCODING=b:ABC|NOTE;X=1:~3ab|FN:~6cd|");
    fixedWidthRow("2.1 fixed-width soft break keeps the blank after it", "N;QUOTED-PRINTABLE:come=\r\n to\r\n",
                  "N;QUOTED-PRINTABLE:come to|");
    row("soft break without blank", "NOTE;ENCODING=QUOTED-PRINTABLE:abc=\r\ndef\r\nX:1\r\n",
        "NOTE;ENCODING=QUOTED-PRINTABLE:abcdef|X:1|");
    row("soft break inside UTF-8", "N;QUOTED-PRINTABLE:=C3=\r\n=A9\r\n", "N;QUOTED-PRINTABLE:\\xc3\\xa9|");
    row("soft break with trailing blank", "NOTE;QUOTED-PRINTABLE:ab= \r\ncd\r\n", "NOTE;QUOTED-PRINTABLE:abcd|");
    row("soft break before blank line ends value", "NOTE;QUOTED-PRINTABLE:ab=\r\n\r\nX:1\r\n",
        "NOTE;QUOTED-PRINTABLE:~1ab|X:1|");
    row("3.0 fold inside an escape", "N;QUOTED-PRINTABLE:=D0=\r\n B2\r\n", "N;QUOTED-PRINTABLE:\\xd0\\xb2|", true);
    row("3.0 fold after the first hex digit", "N;QUOTED-PRINTABLE:=D\r\n 0x\r\n", "N;QUOTED-PRINTABLE:\\xd0x|", true);
    row("3.0 folded soft break before an escape", "N;QUOTED-PRINTABLE:a=\r\n =41\r\n", "N;QUOTED-PRINTABLE:aA|", true);
    row("2.1 soft break keeps the blank after it", "N;QUOTED-PRINTABLE:come=\r\n to\r\n",
        "N;QUOTED-PRINTABLE:come to|");
    row("2.1 soft break folds a tab, keeps a blank before an escape", "N;QUOTED-PRINTABLE:a=\r\n\t=41=\n =42\n",
        "N;QUOTED-PRINTABLE:aA B|");
    row("2.1 soft break inside a UTF-8 letter folds the blank", "N;QUOTED-PRINTABLE:=D0=BE=D0=\r\n =B2\r\n",
        "N;QUOTED-PRINTABLE:\\xd0\\xbe\\xd0\\xb2|");
    row("2.1 soft break inside a UTF-8 letter folds the blank before its last two bytes",
        "N;QUOTED-PRINTABLE:=E2=\r\n =82=AC\r\n", "N;QUOTED-PRINTABLE:\\xe2\\x82\\xac|");
    row("2.1 blank kept after a windows-1252 letter a letter byte follows",
        "N;QUOTED-PRINTABLE:Caf=E9=\r\n =96 Bar\r\n", "N;QUOTED-PRINTABLE:Caf\\xe9 \\x96 Bar|");
    row("2.1 blank kept after a byte no UTF-8 letter starts with", "N;QUOTED-PRINTABLE:f=FC=\r\n =B1\r\n",
        "N;QUOTED-PRINTABLE:f\\xfc \\xb1|");
    row("2.1 blank inside a letter kept when no letter byte follows", "N;QUOTED-PRINTABLE:=D0=\r\n =41=\r\n x\n",
        "N;QUOTED-PRINTABLE:\\xd0 A x|");
    row("2.1 blank after a lead byte kept in another charset",
        "N;CHARSET=windows-1251;QUOTED-PRINTABLE:=D0=\r\n =B2\n",
        "N;CHARSET=windows-1251;QUOTED-PRINTABLE:\\xd0 \\xb2|");
    row("2.1 blank inside a letter kept before a line end", "N;QUOTED-PRINTABLE:=E2=82=\r\n \r\nX:1\n",
        "N;QUOTED-PRINTABLE:\\xe2\\x82 |X:1|");
    row("2.1 blank and equals sign inside a letter end the input", "N;QUOTED-PRINTABLE:=D0=\r\n =",
        "N;QUOTED-PRINTABLE:~2\\xd0 |");
    row("soft break never joins an END line", "N;QUOTED-PRINTABLE:ab=\r\nEnd:VCard \r\nX:1\r\n",
        "N;QUOTED-PRINTABLE:~1ab|End:VCard |X:1|");
    row("soft break never joins a BEGIN line", "A:1\nN;QUOTED-PRINTABLE:ab=\nBEGIN:VCARD",
        "A:1|N;QUOTED-PRINTABLE:~2ab|BEGIN:VCARD|");
    row("soft break joins a line that only starts like END", "N;QUOTED-PRINTABLE:ab=\nEND:VCARDS\n",
        "N;QUOTED-PRINTABLE:abEND:VCARDS|");
    row("soft break on the last line", "N;QUOTED-PRINTABLE:ab=\r\n", "N;QUOTED-PRINTABLE:~1ab|");
    row("equals sign ends the input", "N;QUOTED-PRINTABLE:ab=", "N;QUOTED-PRINTABLE:~1ab|");
    row("quoted-printable lower-case hex", "NOTE;QUOTED-PRINTABLE:=c3=a9\n", "NOTE;QUOTED-PRINTABLE:\\xc3\\xa9|");
    row("quoted-printable half hex", "NOTE;QUOTED-PRINTABLE:=4G\n", "NOTE;QUOTED-PRINTABLE:=4G|");
    row("quoted-printable no hex", "NOTE;QUOTED-PRINTABLE:=ZZ\n", "NOTE;QUOTED-PRINTABLE:=ZZ|");
    // A soft break whose line end was lost leaves its "=" before a code.
    row("stray equals sign before a code", "FN;QUOTED-PRINTABLE:Jules ==4BONE\n", "FN;QUOTED-PRINTABLE:~=1Jules KONE|");
    row("stray equals sign after a code, lower-case hex", "A:1\nFN;QUOTED-PRINTABLE:=4a=75=20==4b=c3=a9\n",
        "A:1|FN;QUOTED-PRINTABLE:~=2Ju K\\xc3\\xa9|");
    row("run of equals signs before a code goes whole", "N;QUOTED-PRINTABLE:a===4Bb=\r\n===4B\r\n",
        "N;QUOTED-PRINTABLE:~=1~=2aKbK|");
    row("equals signs before no code stay", "N;QUOTED-PRINTABLE:a==ZZ b=Z c=4=41 d= =42 e=\te E=MC2\n",
        "N;QUOTED-PRINTABLE:a==ZZ b=Z c=4A d= B e=\\x09e E=MC2|");
    row("equals sign and blank mid-line stay", "NOTE;QUOTED-PRINTABLE:price = 5=\r\n, tax =20 =\r\n\r\nX:1\n",
        "NOTE;QUOTED-PRINTABLE:~2price = 5, tax   |X:1|");
    row("half an escape before the line end stays", "N;QUOTED-PRINTABLE:a=4\r\nX:1\n", "N;QUOTED-PRINTABLE:a=4|X:1|");
    row("equals signs before a soft break: the last one breaks", "N;QUOTED-PRINTABLE:ab==\r\ncd==\r\n",
        "N;QUOTED-PRINTABLE:~2ab=cd=|");
    row("equals sign before a CR alone that is text is a soft break", "N:x\r\nNOTE;QUOTED-PRINTABLE:a=\rb\r\n",
        "N:x|NOTE;QUOTED-PRINTABLE:ab|");
    row("2.1 fold inside an escape leaves it as written", "N;QUOTED-PRINTABLE:=4\r\n 1\r\n",
        "N;QUOTED-PRINTABLE:=4 1|");
    // An "=" or a run of them before a property's line ends the value; a
    // standard encoder's soft break before a line of text does not.
    row("equals signs before a property's line end the value",
        "NOTE;ENCODING=QUOTED-PRINTABLE:token YWJj==\r\nTEL;WORK:555 0333\r\n"
        "LABEL;HOME;ENCODING=QUOTED-PRINTABLE:Flat 2 ==\r\nADR;HOME:;;Flat 2;Leeds\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=4d=61=72=6b=6f=20=4b=6f=76=61=c4=8d=\nTEL;CELL:0995550101\n"
        "N;QUOTED-PRINTABLE:a=\nitem1.EMAIL;type=INTERNET:j@d.org\nN;QUOTED-PRINTABLE:b=\nX-ABLabel:Work\n"
        "N;QUOTED-PRINTABLE:c=\nX-SKYPE-2;X-SERVICE=\"Mike's IM:\":d\nN;QUOTED-PRINTABLE:e=\nVERSION:2.1",
        "NOTE;ENCODING=QUOTED-PRINTABLE:~:1token YWJj|TEL;WORK:555 0333|"
        "LABEL;HOME;ENCODING=QUOTED-PRINTABLE:~:3Flat 2 |ADR;HOME:;;Flat 2;Leeds|"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:~:5Marko Kova\\xc4\\x8d|TEL;CELL:0995550101|"
        "N;QUOTED-PRINTABLE:~:7a|item1.EMAIL;type=INTERNET:j@d.org|N;QUOTED-PRINTABLE:~:9b|X-ABLabel:Work|"
        "N;QUOTED-PRINTABLE:~:11c|X-SKYPE-2;X-SERVICE=\"Mike's IM:\":d|N;QUOTED-PRINTABLE:~:13e|VERSION:2.1|");
    row("equals sign before a line of text that starts as a property would goes on with it",
        "NOTE;QUOTED-PRINTABLE:Call=0D=0A=\r\nTEL: 555 0100=0D=0A=\r\nN: 42 visits=\r\nTEL; part 3=\r\nTEL;=\r\n"
        "TEL:\t1=\r\nTel:5=\r\nitem1.tel:6=\r\nX-ray:clear=\r\nTEL;TYPE=WORK=\r\nTEL;TYPE= A:7=\r\nTEL;9x:8=\r\n"
        "TEL;A=\"b=\r\n\":9=\r\nEMAIL;X=a\\b:0=\r\nEMAIL;X=:0=\r\nEND:VCARDS=\r\nNOTES:1=\r\nTEL;TYPE=3DCELL:2=\r\n"
        "TEL;TYPE=3d:3=\r\nTEL:\r\n",
        "NOTE;QUOTED-PRINTABLE:Call\\x0d\\x0aTEL: 555 0100\\x0d\\x0aN: 42 visitsTEL; part 3TEL;TEL:\\x091Tel:5"
        "item1.tel:6X-ray:clearTEL;TYPE=WORKTEL;TYPE= A:7TEL;9x:8TEL;A=\"b\":9EMAIL;X=a\\x5cb:0EMAIL;X=:0END:VCARDS"
        "NOTES:1TEL;TYPE=CELL:2TEL;TYPE=:3TEL:|");
    row("3.0 equals sign before a property's line ends the value, before a fold not",
        "N;QUOTED-PRINTABLE:a=\r\nTEL;TYPE=CELL:1\r\nN;QUOTED-PRINTABLE:b=\r\n TEL:2\r\nN;QUOTED-PRINTABLE:c=\r\nTEL:3",
        "N;QUOTED-PRINTABLE:~:1a|TEL;TYPE=CELL:1|N;QUOTED-PRINTABLE:bTEL:2|N;QUOTED-PRINTABLE:~:5c|TEL:3|", true);
    // A standard encoder's soft break: at its width, after an encoded line
    // break, or before a line that ends in a soft break of its own.
    row("soft break of a standard encoder before a line that reads as a property goes on with it",
        "NOTE;QUOTED-PRINTABLE:" + QByteArray(51, 'a') + "PI=\r\nN:4821, keys\r\n"
        "NOTE;QUOTED-PRINTABLE:a=0D=0A=\r\nTEL:+44 1=0D=0A=\r\nFAX:2\r\n"
        "NOTE;QUOTED-PRINTABLE:USER=\r\nNAME:nell=\r\nend\nNOTE;QUOTED-PRINTABLE:b=\r\n" + QByteArray(73, 'c')
            + "=3D=\r\nTEL:3\r\n",
        "NOTE;QUOTED-PRINTABLE:" + QByteArray(51, 'a') + "PIN:4821, keys|"
        "NOTE;QUOTED-PRINTABLE:a\\x0d\\x0aTEL:+44 1\\x0d\\x0aFAX:2|NOTE;QUOTED-PRINTABLE:USERNAME:nellend|"
        "NOTE;QUOTED-PRINTABLE:b" + QByteArray(73, 'c') + "=TEL:3|");
    row("soft break after a run, escaped letters or lines of no encoder's width before a property's line ends",
        "NOTE;QUOTED-PRINTABLE:" + QByteArray(50, 'a') + "==\r\nTEL:1\r\n"
        "FN;QUOTED-PRINTABLE:=49=76=61=20=4b=6f=76=61=c4=8d=49=76=61=20=4b=6f=76=61=\r\nTEL;CELL:2\r\n"
        "NOTE;QUOTED-PRINTABLE:" + QByteArray(60, 'b') + "=\r\nd=\r\n" + QByteArray(75, 'e') + "=\r\nTEL:3\r\n"
        "NOTE;QUOTED-PRINTABLE:f=\r\nN;CHARSET=UTF-8;QUOTED-PRINTABLE:=4B=\r\n=6F\r\n",
        "NOTE;QUOTED-PRINTABLE:~:1" + QByteArray(50, 'a') + "|TEL:1|FN;QUOTED-PRINTABLE:~:3Iva Kova\\xc4\\x8dIva Kova|"
        "TEL;CELL:2|NOTE;QUOTED-PRINTABLE:~:7" + QByteArray(60, 'b') + "d" + QByteArray(75, 'e') + "|TEL:3|"
        "NOTE;QUOTED-PRINTABLE:~:9f|N;CHARSET=UTF-8;QUOTED-PRINTABLE:Ko|");
    // An encoder that counts only the value's columns ends its first line
    // as far past the name and parameters.
    row("soft break at the end of a first line of an encoder's width after its name goes on with it",
        "NOTE;ENCODING=QUOTED-PRINTABLE:" + QByteArray(70, 'a') + "PI=\r\nN:4821, keys\r\n"
        "TITLE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Caf=C3=A9 " + QByteArray(62, 'c') + "SUB=\r\nTITLE:Grand\r\n",
        "NOTE;ENCODING=QUOTED-PRINTABLE:" + QByteArray(70, 'a') + "PIN:4821, keys|"
        "TITLE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Caf\\xc3\\xa9 " + QByteArray(62, 'c') + "SUBTITLE:Grand|");
    row("soft break after a first line of no encoder's width after its name, a run or escaped letters ends",
        "NOTE;QUOTED-PRINTABLE:" + QByteArray(65, 'b') + "PI=\r\nN:1\r\nNOTE;QUOTED-PRINTABLE:" + QByteArray(76, 'b')
            + "PI=\r\nN:2\r\nNOTE;QUOTED-PRINTABLE:" + QByteArray(72, 'x') + "==\r\nN:3\r\nFN;QUOTED-PRINTABLE:"
            + QByteArray("=41").repeated(24) + "=\r\nN:4\r\n",
        "NOTE;QUOTED-PRINTABLE:~:1" + QByteArray(65, 'b') + "PI|N:1|NOTE;QUOTED-PRINTABLE:~:3" + QByteArray(76, 'b')
            + "PI|N:2|NOTE;QUOTED-PRINTABLE:~:5" + QByteArray(72, 'x') + "|N:3|FN;QUOTED-PRINTABLE:~:7"
            + QByteArray(24, 'A') + "|N:4|");
    row("property's line after an equals sign longer than the room is text",
        "N;QUOTED-PRINTABLE:a=\r\nTEL;X-" + QByteArray(73, 'A') + "=1:2\r\nN;QUOTED-PRINTABLE:b=\r\nTEL;X-"
            + QByteArray(72, 'A') + "=1:2\r\n",
        "N;QUOTED-PRINTABLE:aTEL;X-" + QByteArray(73, 'A') + "=1:2|N;QUOTED-PRINTABLE:~:3b|TEL;X-"
            + QByteArray(72, 'A') + "=1:2|");
    // An escape that a soft break or a fold cut goes on after it, among
    // escapes; a text's "=" stays as written.
    row("escape cut by a soft break after its equals sign or its first digit",
        "N;QUOTED-PRINTABLE:=D0=9F=D0=9E=D0=A0=D0=9A==\nD0=A1\nN;QUOTED-PRINTABLE:=D0=9=\nF=D0=\n=9E\n"
        "N;QUOTED-PRINTABLE:=41===\nbe\n",
        "N;QUOTED-PRINTABLE:\\xd0\\x9f\\xd0\\x9e\\xd0\\xa0\\xd0\\x9a\\xd0\\xa1|N;QUOTED-PRINTABLE:\\xd0\\x9f\\xd0\\x9e|"
        "N;QUOTED-PRINTABLE:~=6A\\xbe|");
    row("2.1 soft break and a blank inside an escape of a letter, its equals sign the break's",
        "N;QUOTED-PRINTABLE:=D0=9E=D0=\r\n A0=D0=9A\r\nN;QUOTED-PRINTABLE:=4B=6F=76=61=\r\n C4=8D\r\n"
        "N;QUOTED-PRINTABLE:=E5=B1=\r\n B1=\r\n E7=94=B0\r\n",
        "N;QUOTED-PRINTABLE:\\xd0\\x9e\\xd0\\xa0\\xd0\\x9a|N;QUOTED-PRINTABLE:Kova\\xc4\\x8d|"
        "N;QUOTED-PRINTABLE:\\xe5\\xb1\\xb1\\xe7\\x94\\xb0|");
    row("2.1 soft break and a blank before digits that finish no letter keep the blank",
        "N;QUOTED-PRINTABLE:caf=C3=A9=\r\n 12 items =6F=\r\n 76=61 =41=\r\n C3 x =41=\r\n C0=80 =D0=\r\n 41\r\n",
        "N;QUOTED-PRINTABLE:caf\\xc3\\xa9 12 items o 76a A C3 x A C0\\x80 \\xd0 41|");
    row("equals sign before a soft break and digits stays as written after text",
        "N;QUOTED-PRINTABLE:ab==\r\ncd E=MC2 x=6=\r\n9 y==\r\nzz =41=\r\n42=\r\n=\r\nAB\r\n",
        "N;QUOTED-PRINTABLE:ab=cd E=MC2 x=69 y=zz A42AB|");
    row("2.1 fold inside an escape among escapes goes on with it, inside a letter of a value that is no UTF-8 keeps "
        "its blank",
        "N;QUOTED-PRINTABLE:=53=63=68=C3=B6=6E=65=77=65=6\r\n 9=C3=9F\r\nN;QUOTED-PRINTABLE:J=C3\r\n =BCrgen\r\n"
        "N;QUOTED-PRINTABLE:=E2=82\r\n =AC x=6\r\n 9 =41=4\r\n x=D0\r\n =41\n",
        "N;QUOTED-PRINTABLE:Sch\\xc3\\xb6newei\\xc3\\x9f|N;QUOTED-PRINTABLE:J\\xc3 \\xbcrgen|"
        "N;QUOTED-PRINTABLE:\\xe2\\x82 \\xac x=6 9 A=4 x\\xd0 A|");
    row("2.1 fold inside a letter takes its blank in a value that is UTF-8 apart from it",
        "N;CHARSET=UTF-8;QUOTED-PRINTABLE:J=C3\r\n =BCrgen\r\nN;QUOTED-PRINTABLE:J=C3\r\n =BCrgen Sch=C3=B6n=E2\r\n =82=AC\r\n"
        "N;QUOTED-PRINTABLE:f=FCr Fu=DF\r\n =96 und\r\nN;QUOTED-PRINTABLE:Gru=DF\r\n =93Lena=94 Fu=C3=9F\r\n"
        "N;QUOTED-PRINTABLE:CAF=C9\r\n =BB Lyon\r\nN;QUOTED-PRINTABLE:Stra=DF=\r\n BD Ecke\r\n",
        "N;CHARSET=UTF-8;QUOTED-PRINTABLE:J\\xc3\\xbcrgen|N;QUOTED-PRINTABLE:J\\xc3\\xbcrgen Sch\\xc3\\xb6n\\xe2\\x82\\xac|"
        "N;QUOTED-PRINTABLE:f\\xfcr Fu\\xdf \\x96 und|N;QUOTED-PRINTABLE:Gru\\xdf \\x93Lena\\x94 Fu\\xc3\\x9f|"
        "N;QUOTED-PRINTABLE:CAF\\xc9 \\xbb Lyon|N;QUOTED-PRINTABLE:Stra\\xdf BD Ecke|");
    row("3.0 fold inside a stray equals sign's escape, soft breaks before a code are none",
        "N;QUOTED-PRINTABLE:a==\r\n 4B=\r\n =\r\n =43\r\n", "N;QUOTED-PRINTABLE:~=1aKC|", true);
    row("3.0 fold after an equals sign before no code", "N;QUOTED-PRINTABLE:a=\r\n =ZZ=4\r\n G\r\n",
        "N;QUOTED-PRINTABLE:a=ZZ=4G|", true);
    row("encoding word ignores case", "NOTE;encoding=quoted-printable:=41\n", "NOTE;encoding=quoted-printable:A|");
    row("base64 one pad", "PHOTO;ENCODING=b:QUI=\n", "PHOTO;ENCODING=b:AB|");
    row("base64 two pads", "PHOTO;ENCODING=b:QQ==\n", "PHOTO;ENCODING=b:A|");
    row("base64 group over a fold", "PHOTO;ENCODING=b:QUJ\r\n DRA==\r\n", "PHOTO;ENCODING=b:ABCD|");
    row("base64 blank inside a group", "PHOTO;ENCODING=b:QU JD\n", "PHOTO;ENCODING=b:ABC|");
    row("base64 padding mid value", "PHOTO;ENCODING=b:QQ==QUJD\n", "PHOTO;ENCODING=b:AABC|");
    row("base64 single leftover ignored", "PHOTO;BASE64:QUJDR\n", "PHOTO;BASE64:ABC|");
    row("base64 bad character drops line", "PHOTO;ENCODING=b:QU*D\nFN:A\n", "PHOTO;ENCODING=b:!1FN:A|");
    row("2.1 base64 ends at blank line", "PHOTO;BASE64:\r\n QUJD\r\n RA==\r\n\r\nFN:A\r\n", "PHOTO;BASE64:ABCD|FN:A|");
    row("2.1 base64 lines at line start go on to an empty line", "PHOTO;BASE64:QUJD\r\nQUJD\r\nRA==\r\n\r\nFN:A\r\n",
        "PHOTO;BASE64:ABCABCD|FN:A|");
    row("2.1 base64 line longer than a name could be", "PHOTO;BASE64:\r\n" + QByteArray(84 * 4, 'Q') + "\r\n\r\nFN:A",
        "PHOTO;BASE64:" + QByteArray(84, 'A').replace("A", "A\\x04\\x10") + "|FN:A|");
    row("2.1 base64 last line without line end", "PHOTO;BASE64:QUJD\r\nRA==", "PHOTO;BASE64:ABCD|");
    row("2.1 line of a name as long as one could be after base64 lines",
        "PHOTO;BASE64:QUJD\r\n" + QByteArray(80, 'Q') + ":1\r\nFN:A\r\n",
        "PHOTO;BASE64:ABC|" + QByteArray(80, 'Q') + ":1|FN:A|");
    row("2.1 base64 followed by a property on the next line", "PHOTO;BASE64:QUJD\r\nTEL;TYPE=:1\r\nFN:A\r\n",
        "PHOTO;BASE64:ABC|TEL:1|FN:A|");
    row("2.1 base64 lines go on after padding and a data URI", "PHOTO;BASE64:QQ==\r\nQUJD\r\nX;B:data:,a\r\nQUJD\r\n",
        "PHOTO;BASE64:AABC|X;B:data:,aQUJD|");
    row("2.1 base64 lines indented by blanks and tabs",
        "PHOTO;ENCODING=BASE64:QUJD\r\n  RA==\r\n\tQUJD\n \t QQ==\r\nFN:A\r\n",
        "PHOTO;ENCODING=BASE64:ABCDABCA|FN:A|");
    row("2.1 base64 fold before a line of blanks and an empty line",
        "PHOTO;BASE64:QUJD\r\n  \r\n\r\n RA==\r\nFN:A\r\n", "PHOTO;BASE64:ABCD|FN:A|");
    row("2.1 base64 bad character after a fold", "PHOTO;BASE64:QUJD\r\n Q*JD\r\nFN:A\r\n",
        "PHOTO;BASE64:!1FN:A|");
    row("2.1 base64 folds counted in the lines after",
        "PHOTO;BASE64:QUJD\r\n QUJD\n\tRA==\r\n#garbage\r\nFN:A", "PHOTO;BASE64:ABCABCD|!4FN:A|");
    row("2.1 data URI under a base64 encoding keeps its fold's blank",
        "PHOTO;ENCODING=b:data:image/png;base64,QUJD\r\n RA==\r\nFN:A\r\n",
        "PHOTO;ENCODING=b:data:image/png;base64,QUJD RA==|FN:A|");
    row("3.0 base64 folds vanish", "PHOTO;ENCODING=b:QUJD\r\n RA==\r\n  QQ==\r\nX:1\r\n",
        "PHOTO;ENCODING=b:ABCDA|X:1|", true);
    row("3.0 base64 takes folded lines only", "PHOTO;ENCODING=b:QUJD\r\nRA==\r\n", "PHOTO;ENCODING=b:ABC|!2", true);
    row("empty parameters passed over", "TEL;:1\nTEL;WORK;:2\nADR;;HOME; ;PREF;:;;x\n",
        "TEL:1|TEL;WORK:2|ADR;HOME;PREF:;;x|");
    row("empty parameter value passed over", "TEL;TYPE=:1\nX;P=;Q=c; R= :2\nFN:A\n", "TEL:1|X;Q=c:2|FN:A|");
    row("line without colon counted", "garbage\nFN:A\n", "!1FN:A|");
    row("line break in parameters drops line", "TEL;TYPE=HOME\r\nX:1\r\n", "!1X:1|");
    row("error reports its own line", "A:1\nB:2\nTEL;TYPE=HOME\n", "A:1|B:2|!3");
    row("CRLF blank line is a blank line", "FN:A\r\n\r\nTEL:1\r\n", "FN:A|TEL:1|");
    row("line of blanks ends a fold", "FN:A\n \nTEL:1\n", "FN:A |TEL:1|");
    row("empty value only closes", "NOTE:\n", "NOTE:|");
    row("last line without line end", "FN:A", "FN:A|");
    row("CR alone ends a line", "FN:A\rTEL;CELL:1\rNOTE:x\r", "FN:A|TEL;CELL:1|NOTE:x|");
    row("CR LF and LF in one input, a CR alone there is text", "A:1\r\nB:2\rC:3\nD:4", "A:1|B:2\\x0aC:3|D:4|");
    row("CR alone in a value of a CR LF file breaks its text", "N:x\r\nNOTE:first part\rsecond part\r\nFN:A\r\n",
        "N:x|NOTE:first part\\x0asecond part|FN:A|");
    row("CR alone in a value of a LF file breaks its text", "N:x\nNOTE:a\r\rb\r\nFN:A\n", "N:x|NOTE:a\\x0a\\x0ab|FN:A|");
    row("CR alone in a CR LF file: dropped in names and at a line's start",
        "N:x\r\nTE\rL;TY\rPE=a\r:1\r\n\rFN:A\r\n", "N:x|TEL;TYPE=a:1|FN:A|");
    row("CR alone in quoted-printable and base64 values of a CR LF file",
        "N:x\r\nNOTE;QUOTED-PRINTABLE:a=41\rb\r\nPHOTO;ENCODING=b:QU\rJD\r\n",
        "N:x|NOTE;QUOTED-PRINTABLE:aA\\x0ab|PHOTO;ENCODING=b:ABC|");
    row("CR alone after a fold of a CR LF file", "N:x\r\nNOTE:a\r\n \rb\r\n", "N:x|NOTE:a \\x0ab|");
    row("a CR LF file's CR alone before the end of the input", "N:x\r\nNOTE:a\r", "N:x|NOTE:a|");
    row("CR CR LF is a line end and an empty line", "FN:A\r\r\nTEL:1\r\n", "FN:A|TEL:1|");
    row("error on a line ended by a CR reports its line", "A:1\rgarbage\rB:2\r", "A:1|!2B:2|");
    row("2.1 fold after a CR alone", "NOTE:abc\r def\rX:1", "NOTE:abc def|X:1|");
    row("3.0 fold after a CR alone", "NOTE:ab\r cd\rX:1", "NOTE:abcd|X:1|", true);
    row("soft break before a CR alone", "N;QUOTED-PRINTABLE:ab=\rcd=C3=\r=A9\rX:1\r",
        "N;QUOTED-PRINTABLE:abcd\\xc3\\xa9|X:1|");
    row("2.1 base64 lines at line start end at an empty line of a CR",
        "PHOTO;BASE64:QUJD\rRA==\r\rFN:A\r", "PHOTO;BASE64:ABCD|FN:A|");
    // A CR alone in a CR LF or LF file ends its line before a property's
    // name and ":" or ";".
    row("CR alone before a name and a colon ends the line",
        "BEGIN:VCARD\r\nVERSION:3.0\rN:Doe;John;;Mr;\nFN:J\n",
        "BEGIN:VCARD|VERSION:3.0|N:Doe;John;;Mr;|FN:J|");
    row("CR alone before a name and a semicolon ends the line",
        "N:x\r\nEMAIL:jd@example.org\rTEL;TYPE=WORK:+1 555 0100\r\n",
        "N:x|EMAIL:jd@example.org|TEL;TYPE=WORK:+1 555 0100|");
    row("CR alone in a note before a grouped name with parameters ends it, before X- names alone not",
        "N:x\r\nNOTE:a\ritem1.EMAIL;type=INTERNET:j@d.org\ritem1.X-ABLabel:Work\rX-SKYPE:jd\r\n"
        "NOTE:b\ritem1.X-ABLabel:Work\rX-SKYPE:jd\r\n",
        "N:x|NOTE:a|item1.EMAIL;type=INTERNET:j@d.org|item1.X-ABLabel:Work|X-SKYPE:jd|"
        "NOTE:b\\x0aitem1.X-ABLabel:Work\\x0aX-SKYPE:jd|");
    row("CR alone before a word that names no property, or a name not in capitals, is text",
        "N:x\r\nNOTE:Hours:\rMonday: 9-5\rX-: none\ritem1.Monday;x\ra.b.NOTE:c\rNote: shut\rtel:1\rx-a:2\r\n",
        "N:x|NOTE:Hours:\\x0aMonday: 9-5\\x0aX-: none\\x0aitem1.Monday;x\\x0aa.b.NOTE:c\\x0aNote: shut\\x0atel:1\\x0ax-a:2|");
    row("CR alone in a note before a name as long as the room is the note's",
        "N:x\r\nNOTE:a\rX-" + QByteArray(78, 'A') + ":1\r\n", "N:x|NOTE:a\\x0aX-" + QByteArray(78, 'A') + ":1|");
    row("CR alone before a name longer than the room is text",
        "N:x\r\nNOTE:a\rX-" + QByteArray(79, 'A') + ":1\r\n",
        "N:x|NOTE:a\\x0aX-" + QByteArray(79, 'A') + ":1|");
    row("CR alone before a blank is text, in a note's fold before a name too", "N:x\r\nNOTE:a\r TEL:1\r\n b\rTEL:2\r\n",
        "N:x|NOTE:a\\x0a TEL:1 b\\x0aTEL:2|");
    row("CR alone and a name at the very end of the input are text", "N:x\nNOTE:a\rTEL",
        "N:x|NOTE:a\\x0aTEL|");
    row("CR alone in a note before a long name that pieces cut is the note's",
        "N:x\r\nNOTE:a\rX-ORGANIZATION-DEPARTMENT-AND-TEAM:b\rX-ORGANIZATION-DEPARTMENT-AND-TEAM\r\n",
        "N:x|NOTE:a\\x0aX-ORGANIZATION-DEPARTMENT-AND-TEAM:b\\x0aX-ORGANIZATION-DEPARTMENT-AND-TEAM|");
    row("CR alone before a name in a quoted-printable note is the note's, right after an equals sign a soft break",
        "N:x\r\nNOTE;QUOTED-PRINTABLE:a=41\rTEL:1\r\nNOTE;QUOTED-PRINTABLE:b=\rTEL:2\r\n",
        "N:x|NOTE;QUOTED-PRINTABLE:aA\\x0aTEL:1|NOTE;QUOTED-PRINTABLE:bTEL:2|");
    row("CR alone in a note before the card's END line ends it, before BEGIN:VCARD or END and a date not",
        "N:x\r\nNOTE:a\rBEGIN:VCARD\rEND: 2024\rEND:VCARD\rBEGIN:VCARD\r\n"
        "NOTE:b\rend:vcard\rEND:VCARDS\rEND:VCARD  \r\nNOTE:c\rEND:VCARD",
        "N:x|NOTE:a\\x0aBEGIN:VCARD\\x0aEND: 2024|END:VCARD|BEGIN:VCARD|"
        "NOTE:b\\x0aend:vcard\\x0aEND:VCARDS|END:VCARD  |NOTE:c|END:VCARD|");
    row("CR alone ends a BEGIN line that a soft break held",
        "N:x\r\nNOTE;QUOTED-PRINTABLE:ab=\r\nBEGIN:VCARD\rVERSION:2.1\r\n",
        "N:x|NOTE;QUOTED-PRINTABLE:~2ab|BEGIN:VCARD|VERSION:2.1|");
    // In a free-text value (NOTE, LABEL, ADR, any case, any group) a CR
    // alone is a line break of the text, whatever follows it; elsewhere
    // BEGIN and END end a line only as a card's own lines, an X- name only
    // in capitals.
    row("CR alone in a note before names in capitals stays in the note, before the card's END line not",
        "N:x\r\nNOTE:Shift\rBEGIN: 09:00\rN: 42 visits\rFN: see file 12\rEND: 2024-03-31\rTITLE: Dr.\r"
        "X-ray: clear\rKEY: under the mat\rEND:VCARD\r\nTEL:1\r\n",
        "N:x|NOTE:Shift\\x0aBEGIN: 09:00\\x0aN: 42 visits\\x0aFN: see file 12\\x0aEND: 2024-03-31\\x0aTITLE: Dr."
        "\\x0aX-ray: clear\\x0aKEY: under the mat|END:VCARD|TEL:1|");
    row("CR alone in a note whose line began after a CR alone ends it as elsewhere",
        "N:x\r\nTEL:1\rNOTE:a\rTEL:2\rNOTE:c\rHours: 9\r\nNOTE:b\rTEL:3\r\n",
        "N:x|TEL:1|NOTE:a|TEL:2|NOTE:c\\x0aHours: 9|NOTE:b\\x0aTEL:3|");
    row("CR alone in an address ends its line before a name, in a label before parameters, in a note not",
        "N:x\r\nitem1.ADR;TYPE=\"HOME;X\":;;1 Quay St\rN:2;Galway\r\nlabel:a\rTEL;TYPE=WORK:1\r\n"
        "a.b.Note;X=\\;:b\rEMAIL:c\r\n"
        "ADR:;;d\r\n e\rFN:f\r\nTEL:1\r\n",
        "N:x|item1.ADR;TYPE=\"HOME;X\":;;1 Quay St|N:2;Galway|label:a|TEL;TYPE=WORK:1|a.b.Note;X=\\:b\\x0aEMAIL:c|"
        "ADR:;;d e|FN:f|TEL:1|");
    row("CR alone at the start of the line after a note, or before its colon, reads as elsewhere",
        "N:x\r\nNOTE:a\r\n\rTEL:1\r\nNO\rTE:b\r\nNOTE\rTEL:2\r\n",
        "N:x|NOTE:a|TEL:1|NOTE:b|!6TEL:2|");
    row("CR alone before an X- name not in capitals is text, before a writer's prefix in capitals not",
        "N:x\r\nORG:a\rX-ray: clear\rX-Ray:b\rX-mas;sent\rX-AbLabel:c\rX-ABLabel:d\rX-SKYPE-2:e\r\n",
        "N:x|ORG:a\\x0aX-ray: clear\\x0aX-Ray:b\\x0aX-mas;sent\\x0aX-AbLabel:c|X-ABLabel:d|X-SKYPE-2:e|");
    row("CR alone before BEGIN and END ends the line only before a card's own line",
        "N:x\r\nTITLE:e\rBEGIN: 09:00\rEND:VCARD x\rBEGIN;X:VCARD\ritem1.END:VCARD\rend:vcard\rEND:VCARD \t\r"
        "BEGIN:VCARD\r\nTEL:1\rEND:VCARD",
        "N:x|TITLE:e\\x0aBEGIN: 09:00\\x0aEND:VCARD x\\x0aBEGIN;X:VCARD\\x0aitem1.END:VCARD\\x0aend:vcard|"
        "END:VCARD \\x09|BEGIN:VCARD|TEL:1|END:VCARD|");
    row("CR alone before a name as long as the room after a value that is no free text",
        "N:x\r\nORG:a\rX-" + QByteArray(78, 'A') + ":1\rX-ORGANIZATION-DEPARTMENT-AND-TEAM:b\r\n",
        "N:x|ORG:a|X-" + QByteArray(78, 'A') + ":1|X-ORGANIZATION-DEPARTMENT-AND-TEAM:b|");
    row("CR alone before a name in a quoted-printable value that is no free text, after an equals sign too",
        "N:x\r\nTITLE;QUOTED-PRINTABLE:a=41\rTEL:1\r\nTITLE;QUOTED-PRINTABLE:b=\rTEL:2\r\n",
        "N:x|TITLE;QUOTED-PRINTABLE:aA|TEL:1|TITLE;QUOTED-PRINTABLE:~:4b|TEL:2|");
    // A card's END and the next card's BEGIN written on one line are two
    // lines; so are a BEGIN and an END, an empty card.
    row("END:VCARD and BEGIN:VCARD on one line",
        "FN:A\r\nEND:VCARDBEGIN:VCARD\r\nFN:B\r\nend:vCard \tBegin:VCARD  \r\nFN:C\nEND:VCARDBEGIN:VCARD",
        "FN:A|END:VCARD|~2BEGIN:VCARD|FN:B|end:vCard \\x09|~4Begin:VCARD  |FN:C|END:VCARD|~6BEGIN:VCARD|");
    row("END:VCARD and BEGIN:VCARD over and over on one line",
        "END:VCARDBEGIN:VCARDEND:VCARDBEGIN:VCARDN:x\r\nBEGIN:VCARDEND:VCARD\r\n",
        "END:VCARD|~1BEGIN:VCARD|END:VCARD|~1BEGIN:VCARDN:x|BEGIN:VCARD|END:VCARD|");
    row("END:VCARD before anything else on its line, or with parameters, stays one line",
        "END:VCARDBEGIN:VCAR\r\nEND:VCARDBEGIN:VCARX\r\nEND;X:VCARDBEGIN:VCARD\r\nX-END:VCARDBEGIN:VCARD\r\n"
        "END:VCARDxBEGIN:VCARD\r\nEND:VCARDBEGIN",
        "END:VCARDBEGIN:VCAR|END:VCARDBEGIN:VCARX|END;X:VCARDBEGIN:VCARD|X-END:VCARDBEGIN:VCARD|"
        "END:VCARDxBEGIN:VCARD|END:VCARDBEGIN|");
    row("END:VCARD and BEGIN:VCARD on one line inside a note are its text",
        "NOTE:END:VCARDBEGIN:VCARD\r\nNOTE:a\rEND:VCARDBEGIN:VCARD\r\nTEL:1\rEND:VCARDBEGIN:VCARD\r\n",
        "NOTE:END:VCARDBEGIN:VCARD|NOTE:a\\x0aEND:VCARDBEGIN:VCARD|TEL:1\\x0aEND:VCARDBEGIN:VCARD|");
    row("END:VCARD and BEGIN:VCARD on one line after a soft break",
        "N;QUOTED-PRINTABLE:ab=\r\nEND:VCARDBEGIN:VCARD\r\nN;QUOTED-PRINTABLE:cd=\r\nEND:VCARD\r\nX:1\r\n",
        "N;QUOTED-PRINTABLE:abEND:VCARDBEGIN:VCARD|N;QUOTED-PRINTABLE:~3cd|END:VCARD|X:1|");
    row("CR alone before a name in parameters and in a line without colon",
        "N:x\r\nTEL;TYPE=WORK\rEMAIL:a@b\r\ngarbage\rTEL:1\r\n", "N:x|!2EMAIL:a@b|!4TEL:1|");
    row("CR alone before a name ends a 2.1 base64 value, its lines at the line start too",
        "N:x\r\nPHOTO;BASE64:QUJD\rTEL:1\r\nPHOTO;BASE64:QUJD\r\nQUJD\rTEL:2\r\n",
        "N:x|PHOTO;BASE64:ABC|TEL:1|PHOTO;BASE64:ABCABC|TEL:2|");
}

// Whole, byte by byte and in random pieces, so that every plain run the
// tokenizer takes in one step is cut somewhere.
void TestVCardTokenizer::tokenizesInAnyChunking()
{
    QFETCH(QByteArray, input);
    QFETCH(int, mode);
    QFETCH(QByteArray, expected);
    const auto unfold = CARD_UnfoldMode(mode);
    QCOMPARE(traceOf(input, unfold, { int(input.size()) + 1 }), expected);
    QCOMPARE(traceOf(input, unfold, { int(input.size()) + 1 }, true), expected);
    QCOMPARE(traceOf(input, unfold, { 1 }), expected);
    QCOMPARE(traceOf(input, unfold, { 1 }, true), expected);
    QRandomGenerator rng(quint32(qHash(input)));
    for (int round = 0; round < 20; ++round) {
        QList<int> pieces;
        for (int i = 0; i < 8; ++i)
            pieces.append(1 + int(rng.bounded(9)));
        QCOMPARE(traceOf(input, unfold, pieces), expected);
    }
}

void TestVCardTokenizer::startsALineRightAfterACrAloneThatEndsOne_data()
{
    QTest::addColumn<QByteArray>("input");
    // Where each property's line starts, and its line number.
    QTest::addColumn<QList<int>>("starts");
    QTest::addColumn<QList<int>>("lines");
    const QByteArray name = "X-" + QByteArray(40, 'A');
    const QByteArray held = "N:x\r\nORG:a\rTEL;TYPE=WORK:1\rNOTE:Hours:\rMonday: 9-5\n" + name + ":2\n\rFN:A\n";
    QTest::newRow("CR alone before names, one held long")
        << held
        << QList<int> { 0, int(held.indexOf("ORG")), int(held.indexOf("TEL")), int(held.indexOf("NOTE")),
               int(held.indexOf(name)), int(held.indexOf("FN")) }
        << QList<int> { 1, 2, 3, 4, 5, 7 };
    const QByteArray cardLines = "N:x\r\nTEL:1\rEND:VCARD \rBEGIN:VCARD\r\nNOTE:a\rEND:VCARD\r\nEND:VCARD";
    QTest::newRow("CR alone before a card's END and BEGIN lines, in a note before its END")
        << cardLines
        << QList<int> { 0, int(cardLines.indexOf("TEL")), int(cardLines.indexOf("END")),
               int(cardLines.indexOf("BEGIN")), int(cardLines.indexOf("NOTE")),
               int(cardLines.indexOf("END", cardLines.indexOf("NOTE"))), int(cardLines.lastIndexOf("END")) }
        << QList<int> { 1, 2, 3, 4, 5, 6, 7 };
    const QByteArray joined = "N:x\r\nEND:VCARD BEGIN:VCARD\r\nN:y\r\nEND:VCARDBEGIN:VCARDEND:VCARDbegin:vcard\r\nN:z";
    QTest::newRow("END:VCARD and BEGIN:VCARD on one line, over and over")
        << joined
        << QList<int> { 0, 5, 15, 28, 33, 42, 53, 62, 75 }
        << QList<int> { 1, 2, 2, 3, 4, 4, 4, 4, 5 };
}

// In a CR LF or LF file, in any chunking and stopped at every property:
// each property's line starts where it stands, on the line it stands on.
void TestVCardTokenizer::startsALineRightAfterACrAloneThatEndsOne()
{
    QFETCH(QByteArray, input);
    QFETCH(QList<int>, starts);
    QFETCH(QList<int>, lines);
    QList<std::pair<long long, long long>> expected;
    for (qsizetype i = 0; i < starts.size(); ++i)
        expected.append({ lines.at(i), starts.at(i) });
    QList<QList<int>> chunkings { { int(input.size()) + 1 }, { 1 } };
    QRandomGenerator rng(3);
    for (int round = 0; round < 10; ++round) {
        QList<int> pieces;
        for (int i = 0; i < 8; ++i)
            pieces.append(1 + int(rng.bounded(9)));
        chunkings.append(pieces);
    }
    for (const QList<int>& pieces : std::as_const(chunkings)) {
        for (const bool stop : { false, true }) {
            QList<std::pair<long long, long long>> lines;
            traceOf(input, CARD_UNFOLD_SPACE, pieces, stop, &lines);
            QCOMPARE(lines, expected);
        }
    }
}

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

// A phone's own label of many words, and one soft-broken over many lines
// after a long first line: each byte must be looked at a bounded number of
// times. Read in a square of their length they take minutes.
void TestVCardTokenizer::readsAnOwnLabelInTimeOfItsLength()
{
    QByteArray words;
    while (words.size() < 1024 * 1024)
        words += "gate code ";
    QByteArray broken = "A" + QByteArray(1024 * 1024, 'a') + '=';
    for (int i = 0; i < 20000; ++i)
        broken += "\r\n=61=62=63=";
    broken.chop(1);
    const QByteArray input = "TEL;X-CUSTOM(" + words + "):1\r\nTEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE," + broken
        + "):2\r\n";
    QList<qsizetype> labels;
    ParserPtr parser(CARD_ParserCreate(), &CARD_ParserFree);
    CARD_SetUserData(parser.get(), &labels);
    CARD_SetPropHandler(parser.get(), [](void* user, const char*, const char** params) {
        static_cast<QList<qsizetype>*>(user)->append(qstrlen(params[0]) + (params[1] ? qstrlen(params[1]) + 1 : 0));
    });
    QElapsedTimer timer;
    timer.start();
    CARD_Parse(parser.get(), input.constData(), int(input.size()), 1);
    QVERIFY2(timer.elapsed() < 5000, QByteArray::number(timer.elapsed()) + " ms");
    const qsizetype brokenText = broken.size() - 20000 * 3;
    QCOMPARE(labels, (QList<qsizetype> { qsizetype(strlen("X-CUSTOM(")) + words.size() + 1,
                         qsizetype(strlen("X-CUSTOM(ENCODING=QUOTED-PRINTABLE,")) + brokenText + 1 }));
}

void TestVCardTokenizer::tellsANameOfBytesNoNameHolds_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected"); // each name, "+" after a damaged one
    auto row = [](const char* name, const QByteArray& input, const char* expected) {
        QTest::newRow(name) << input << QByteArray(expected);
    };
    row("names of a card", "TEL;CELL:1\nitem1.X-ABLABEL:x\n", "TEL item1.X-ABLABEL ");
    row("a byte-order mark before a name", "\xEF\xBB\xBFN:Lee\n", "\xEF\xBB\xBFN ");
    row("blanks after a name", "TEL ;CELL:1\nX-A \t:2\n", "TEL X-A ");
    row("blanks between its letters", "TE L:1\nX-A\tB;P:2\n", "TEL+ X-AB+ ");
    row("no name", ":1\n;TYPE=X:2\n", "+ + ");
    row("a NUL inside", QByteArray("AB\0CD:1\n", 8), "AB+ ");
    row("control bytes and bytes over 0x7E", "\x01\x02:1\n\xC5\x31:2\nX-\x7F:3\n",
        "\x01\x02+ \xC5\x31+ X-\x7F+ ");
    row("punctuation, as a broken photo's bytes spill it", "|OJ:1\n<:2\n{Q;X=1:3\nA@B:4\nTEL/2:5\n+36 1:6\n",
        "|OJ+ <+ {Q+ A@B+ TEL/2+ +361+ ");
    row("names of writers' own", "X-WAB-SPOUSE_NAME:1\nX-messaging/xmpp-All:2\nitem2.X-MESSAGING/aim-All:3\n",
        "X-WAB-SPOUSE_NAME X-messaging/xmpp-All item2.X-MESSAGING/aim-All ");
    row("a slash after no messaging field", "X-MESSAGINGS/a:1\nX-X-MESSAGING/a:2\n/a:3\n",
        "X-MESSAGINGS/a+ X-X-MESSAGING/a+ /a+ ");
}

// Whole and byte by byte, so that a blank is read between two runs of a
// name's bytes.
void TestVCardTokenizer::tellsANameOfBytesNoNameHolds()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    for (const int chunk : { int(input.size()), 1 }) {
        Trace trace;
        ParserPtr parser = makeParser(trace, CARD_UNFOLD_SPACE);
        CARD_SetDataHandler(parser.get(), nullptr);
        CARD_SetPropHandler(parser.get(), [](void* user, const char* name, const char**) {
            auto* t = static_cast<Trace*>(user);
            t->text += name + QByteArray(CARD_IsNameDamaged(t->parser) ? "+ " : " ");
        });
        for (int at = 0; at < input.size(); at += chunk)
            CARD_Parse(parser.get(), input.constData() + at, qMin(chunk, int(input.size()) - at), 0);
        CARD_Parse(parser.get(), nullptr, 0, 1);
        QCOMPARE(trace.text, expected);
    }
}

QTEST_APPLESS_MAIN(TestVCardTokenizer)
#include "tst_vcardtokenizer.moc"
