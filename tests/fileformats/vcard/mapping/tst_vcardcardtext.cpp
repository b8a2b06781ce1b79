// SPDX-License-Identifier: GPL-3.0-or-later
#include "../../scratchfiles.h"
#include "fileformats/vcard/mapping/vcardcardmapper.h"
#include "fileformats/vcard/syntax/vcardparser.h"
#include "fileformats/vcard/vcardimport.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace {

// The contact of a one-card file of the version holding the lines, and
// whether a line of it was read as quoted-printable codes that it does not
// declare.
std::pair<pim::_Contact, bool> readCard(const QByteArray& version, const QByteArray& lines)
{
    const QList<QList<VCardProperty>> cards
        = QVCardParser::parse("BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + lines + "END:VCARD\r\n");
    if (cards.size() != 1)
        return {};
    VCardCardMapper mapper;
    vcardrules::Notes notes;
    const pim::_Contact contact = mapper.toContact(cards.first(), &notes);
    const bool noted = std::any_of(notes.guessedLines.begin(), notes.guessedLines.end(),
        [](const auto& line) { return line.source == VCardCardText::GuessedLine::UndeclaredCodes; });
    return { contact, noted };
}

// The letters a phone's contacts are written in: two, three and four bytes
// of UTF-8 each.
const QStringList& lettersOfScripts()
{
    static const QStringList all = [] {
        QStringList letters;
        const QStringView ofScripts(u"éüßñçøłőčžğ"
                                    u"αβγδλωΩΣ"
                                    u"ОляИванПетровичЖЩЁ"
                                    u"שלום"
                                    u"مرحبا"
                                    u"हिन्दी"
                                    u"ภาษาไทย"
                                    u"漢字中文東京"
                                    u"한국어가"
                                    u"ひらがなカタカナ");
        for (const QChar c : ofScripts)
            letters.append(QString(c));
        for (const char32_t c : { U'\U0001F600', U'\U0001F44D', U'\U00020BB7', U'\U0001D400' })
            letters.append(QString::fromUcs4(&c, 1));
        return letters;
    }();
    return all;
}

// Text a value holds between its codes: letters, digits, blanks and marks
// that neither escape nor separate anything in a 2.1 or 3.0 text value.
QByteArray asciiWord(QRandomGenerator& random)
{
    static const QByteArray letters
        = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .-'()&+!?/@#";
    QByteArray word;
    for (int i = 1 + random.bounded(6); i > 0; --i)
        word.append(letters.at(random.bounded(int(letters.size()))));
    // No blank at either end: whether a reader trims a value is not this
    // test's question.
    if (word.startsWith(' '))
        word[0] = 'a';
    if (word.endsWith(' '))
        word[word.size() - 1] = 'z';
    return word;
}

QByteArray codes(QByteArrayView bytes, bool lowerCase)
{
    QByteArray out;
    for (const char c : bytes) {
        const QByteArray hex = QByteArray(1, c).toHex();
        out += '=' + (lowerCase ? hex : hex.toUpper());
    }
    return out;
}

// A value as the phone writes it: its letters beyond ASCII, and now and
// then an ASCII mark, in codes of UTF-8 between plain ASCII words; at
// least one such letter. The text it stands for goes to `text`.
QByteArray valueInCodes(QRandomGenerator& random, QString& text)
{
    const QStringList& letters = lettersOfScripts();
    const bool lowerCase = random.bounded(8) == 0;
    QByteArray written;
    text.clear();
    const int pieces = 1 + random.bounded(8);
    const int letterAt = random.bounded(pieces);
    for (int i = 0; i < pieces; ++i) {
        const int kind = i == letterAt ? 0 : random.bounded(4);
        if (kind <= 1) {
            QString word;
            for (int n = 1 + random.bounded(5); n > 0; --n)
                word += letters.at(random.bounded(int(letters.size())));
            written += codes(word.toUtf8(), lowerCase);
            text += word;
        } else if (kind == 2) {
            const QByteArray word = asciiWord(random);
            written += word;
            text += QString::fromLatin1(word);
        } else {
            // Marks that a writer of codes may put in codes too.
            static const QByteArray marks = "=;:,!\"";
            const char mark = marks.at(random.bounded(int(marks.size())));
            written += codes(QByteArrayView(&mark, 1), lowerCase);
            text += QLatin1Char(mark);
        }
    }
    return written;
}

// A value whose "=" must stay as written, and why: each is a value in codes
// but for one fault, or ASCII that only looks like codes.
QByteArray valueKeptAsWritten(QRandomGenerator& random)
{
    static const QByteArray notHex = "GHIJKLMNOPQRSTUVWXYZghijklmnopqrstuvwxyz .-+(";
    const auto fault = [&]() -> QByteArray {
        switch (random.bounded(10)) {
        case 0: // "E=MC2", "x=y": "=" before a letter that is no hex digit
            return '=' + QByteArray(1, notHex.at(random.bounded(int(notHex.size()))));
        case 1: // one hex digit only
            return "=C" + QByteArray(1, notHex.at(random.bounded(int(notHex.size()))));
        case 2: // a lead byte alone
            return QByteArray(random.bounded(2) ? "=C3 " : "=D0.");
        case 3: // a continuation byte alone
            return "=A9";
        case 4: // a letter cut short
            return "=E2=82 ";
        case 5: // an overlong form, a surrogate, a code point beyond U+10FFFF
            return QList<QByteArray> { "=C0=AF", "=ED=A0=80", "=F4=90=80=80" }.at(random.bounded(3));
        case 6: // a letter written as it is, beside the codes
            return "\xC3\xA9";
        case 7: // a DEL, beyond the text of codes
            return "\x7F";
        case 8: // "2+2=4": "=" and one digit, which only the end keeps from
                // being a code
            return {};
        default: // "=" twice
            return "==41";
        }
    };
    QString text;
    QByteArray written;
    const int kind = random.bounded(3);
    if (kind == 0) {
        // ASCII and ASCII codes only: no letter beyond ASCII ("=3D=3D").
        for (int i = 1 + random.bounded(4); i > 0; --i) {
            written += asciiWord(random);
            written += codes(asciiWord(random), random.bounded(2));
        }
        return written + (random.bounded(2) ? "=" : "");
    }
    written = valueInCodes(random, text);
    const QByteArray bad = fault();
    if (bad.isEmpty())
        return written + "2+2=4";
    // The fault between two pieces or at either end, never inside a code.
    QList<qsizetype> cuts { 0, written.size() };
    for (qsizetype i = 1; i < written.size(); ++i) {
        if (written.at(i) == '=' || (written.at(i - 1) != '=' && (i < 2 || written.at(i - 2) != '=')))
            cuts.append(i);
    }
    written.insert(cuts.at(random.bounded(int(cuts.size()))), bad);
    if (written.startsWith(' '))
        written.prepend('.');
    if (written.endsWith(' '))
        written.append('.');
    return written;
}

} // namespace

// A phone's export that writes its names in quoted-printable codes of UTF-8
// without saying so: its words are read as the text the codes write, any
// other value keeps its "=" as written.
class TestVCardCardText : public QObject {
    Q_OBJECT
private slots:
    void readsWordsInCodesWithoutTheirParameter_data();
    void readsWordsInCodesWithoutTheirParameter();
    void readsGeneratedValuesAsTheirWritersMeant();

private:
    QTemporaryDir m_dir;
};

void TestVCardCardText::readsWordsInCodesWithoutTheirParameter_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("entity");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("decoded");

    const auto row = [](const char* name, const char* version, const char* lines, int entity, const char* key,
                         const QString& expected, bool decoded) {
        QTest::newRow(name) << QByteArray(version) << QByteArray(lines) << entity << QString::fromLatin1(key)
                            << expected << decoded;
    };
    // Read as the text the codes write.
    row("given name", "3.0", "N:;=D0=9E=D0=BB=D1=8F;;;\r\n", pim::ENTITY_NAME, "data2", QStringLiteral("Оля"),
        true);
    row("formatted name, 2.1", "2.1", "FN:=D0=9E=D0=BB=D1=8F\r\n", pim::ENTITY_NAME, "data1",
        QStringLiteral("Оля"), true);
    row("letters among ASCII", "3.0", "NOTE:Caf=C3=A9 M=C3=BCller\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("Café Müller"), true);
    row("hex digits in lower case", "3.0", "NOTE:Caf=c3=a9\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("Café"), true);
    row("an = that ends the value is a soft break", "3.0", "NOTE:Caf=C3=A9=\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("Café"), true);
    row("a letter of four bytes", "3.0", "NICKNAME:=F0=9F=98=80\r\n", pim::ENTITY_NICKNAME, "data1",
        QStringLiteral("😀"), true);
    row("ASCII marks in codes beside letters", "3.0", "TITLE:Leiter =3D Chef=2C K=C3=B6ln\r\n",
        pim::ENTITY_ORG, "data4", QStringLiteral("Leiter = Chef, Köln"), true);
    row("declared UTF-8", "2.1", "NOTE;CHARSET=UTF-8:Caf=C3=A9\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("Café"), true);
    row("escaped separator of an address part", "3.0", "ADR:;;Stra=C3=9Fe 5\\; Hof;K=C3=B6ln;;50667;\r\n",
        pim::ENTITY_ADDR, "data4", QStringLiteral("Straße 5; Hof"), true);
    row("escaped comma of a company", "3.0", "ORG:M=C3=BCller\\, Schmidt & Co\r\n", pim::ENTITY_ORG, "data1",
        QStringLiteral("Müller, Schmidt & Co"), true);
    row("group", "3.0", "CATEGORIES:=D0=94=D1=80=D1=83=D0=B7=D1=8C=D1=8F\r\n", pim::ENTITY_GROUP, "data2",
        QStringLiteral("Друзья"), true);
    row("item label", "3.0", "item1.TEL:+49 30 1234\r\nitem1.X-ABLABEL:B=C3=BCro\r\n", pim::ENTITY_PHONE,
        "data3", QStringLiteral("Büro"), true);
    row("nickname of a phone's data row", "2.1",
        "X-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;=D0=92=D0=B0=D0=BD=D1=8F;1;;;;;;;;;;;;;\r\n",
        pim::ENTITY_NICKNAME, "data1", QStringLiteral("Ваня"), true);

    // Kept as written.
    row("E=MC2", "3.0", "NOTE:E=MC2\r\n", pim::ENTITY_NOTES, "data1", QStringLiteral("E=MC2"), false);
    row("x=y", "3.0", "TITLE:x=y\r\n", pim::ENTITY_ORG, "data4", QStringLiteral("x=y"), false);
    row("a lead byte alone", "3.0", "NOTE:total =C3 only\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("total =C3 only"), false);
    row("codes of ASCII alone", "3.0", "NOTE:=3D=3D\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("=3D=3D"), false);
    row("a continuation byte alone", "3.0", "NOTE:Caf=C3=A9=A9\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("Caf=C3=A9=A9"), false);
    row("a surrogate", "3.0", "NOTE:=ED=A0=80\r\n", pim::ENTITY_NOTES, "data1", QStringLiteral("=ED=A0=80"),
        false);
    row("one hex digit at the end", "3.0", "NOTE:Caf=C3=A9 =4\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("Caf=C3=A9 =4"), false);
    row("a letter as it is beside codes", "3.0", "NOTE:Café =C3=A9\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("Café =C3=A9"), false);
    row("an = at the end of ASCII", "3.0", "NOTE:Total =\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("Total ="), false);
    row("the whole structured value: one part not codes", "3.0",
        "ADR:;;E=MC2;=D0=9C=D0=BE=D1=81=D0=BA=D0=B2=D0=B0;;;\r\n", pim::ENTITY_ADDR, "data7",
        QStringLiteral("=D0=9C=D0=BE=D1=81=D0=BA=D0=B2=D0=B0"), false);
    row("a link", "3.0", "URL:http://example.org/caf=C3=A9\r\n", pim::ENTITY_URL, "data1",
        QStringLiteral("http://example.org/caf=C3=A9"), false);
    row("a link's query", "3.0", "URL:https://example.org/?a=1&b=C3\r\n", pim::ENTITY_URL, "data1",
        QStringLiteral("https://example.org/?a=1&b=C3"), false);
    row("an e-mail address", "3.0", "EMAIL:caf=C3=A9@example.org\r\n", pim::ENTITY_EMAIL, "data1",
        QStringLiteral("caf=C3=A9@example.org"), false);
    row("a messaging address", "3.0", "X-JABBER:caf=C3=A9@example.org\r\n", pim::ENTITY_IM, "data1",
        QStringLiteral("caf=C3=A9@example.org"), false);
    row("a related person's link", "4.0", "RELATED;TYPE=friend:http://example.org/=C3=A9\r\n",
        pim::ENTITY_REL, "data1", QStringLiteral("http://example.org/=C3=A9"), false);
    row("words said to be a link", "3.0", "NOTE;VALUE=uri:http://example.org/caf=C3=A9\r\n",
        pim::ENTITY_NOTES, "data1", QStringLiteral("http://example.org/caf=C3=A9"), false);
    row("declared quoted-printable is decoded once", "2.1", "NOTE;ENCODING=QUOTED-PRINTABLE:=3DC3=3DA9\r\n",
        pim::ENTITY_NOTES, "data1", QStringLiteral("=C3=A9"), false);
    row("declared quoted-printable, bare word", "2.1", "NOTE;QUOTED-PRINTABLE:=3DC3=3DA9\r\n",
        pim::ENTITY_NOTES, "data1", QStringLiteral("=C3=A9"), false);
    row("another encoding", "2.1", "NOTE;ENCODING=8BIT:Caf=C3=A9\r\n", pim::ENTITY_NOTES, "data1",
        QStringLiteral("Caf=C3=A9"), false);
    row("another charset", "2.1", "NOTE;CHARSET=ISO-8859-5:=D0=9E=D0=BB=D1=8F\r\n", pim::ENTITY_NOTES,
        "data1", QStringLiteral("=D0=9E=D0=BB=D1=8F"), false);
}

void TestVCardCardText::readsWordsInCodesWithoutTheirParameter()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, lines);
    QFETCH(int, entity);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QFETCH(bool, decoded);
    const auto [contact, noted] = readCard(version, lines);
    QCOMPARE(contact.entities.value(entity).value(0).fields.value(key).toString(), expected);
    QCOMPARE(noted, decoded);
}

// Many generated values, half in codes and half that must keep their "=",
// in files of both versions read as a user's: every value in codes is read
// as its text, every other as written, and the ending counts the first.
void TestVCardCardText::readsGeneratedValuesAsTheirWritersMeant()
{
    QRandomGenerator random(20240611);
    constexpr int kFiles = 40;
    constexpr int kCards = 25;
    int inCodes = 0;
    int kept = 0;
    for (int f = 0; f < kFiles; ++f) {
        const bool modern = f % 2 == 0;
        QByteArray file;
        QStringList expected;
        int linesInCodes = 0;
        for (int c = 0; c < kCards; ++c) {
            QString text;
            QByteArray value;
            if (random.bounded(2) == 0) {
                value = valueInCodes(random, text);
                if (random.bounded(8) == 0)
                    value += '='; // a soft break that ends the value
                ++linesInCodes;
            } else {
                value = valueKeptAsWritten(random);
                text = QString::fromUtf8(value);
            }
            expected.append(text);
            file += (modern ? "BEGIN:VCARD\r\nVERSION:3.0\r\n" : "BEGIN:VCARD\r\nVERSION:2.1\r\n");
            file += "N:Card;" + QByteArray::number(c) + ";;;\r\nNOTE:" + value + "\r\nEND:VCARD\r\n";
        }
        VCardImport reader;
        reader.initialize(writeScratch(m_dir, file, QStringLiteral("vcf")));
        for (const QString& text : std::as_const(expected)) {
            QVERIFY(reader.hasNext());
            const pim::_Contact contact = reader.nextContact();
            const QString note
                = contact.entities.value(pim::ENTITY_NOTES).value(0).fields.value("data1").toString();
            QVERIFY2(note == text, qPrintable(note + QLatin1String(" | ") + text));
        }
        QVERIFY(!reader.hasNext());
        // "Lines 3, 7, ... and 9 more: the text was written in
        // quoted-printable codes ...", or "Line 3: ..." for one.
        int named = 0;
        for (const QString& problem : reader.problems().listed()) {
            if (!problem.contains(QLatin1String("quoted-printable codes without saying so")))
                continue;
            const QString places = problem.section(u':', 0, 0);
            const QRegularExpressionMatch more
                = QRegularExpression(QStringLiteral(" and (\\d+) more$")).match(places);
            named = int(places.count(u',')) + 1 + (more.hasMatch() ? more.captured(1).toInt() : 0);
        }
        QCOMPARE(named, linesInCodes);
        inCodes += linesInCodes;
        kept += kCards - linesInCodes;
    }
    // Both kinds were many.
    QVERIFY(inCodes > kFiles * kCards / 3 && kept > kFiles * kCards / 3);
}

QTEST_GUILESS_MAIN(TestVCardCardText)
#include "tst_vcardcardtext.moc"
