// SPDX-License-Identifier: GPL-3.0-or-later
#include "../../scratchfiles.h"
#include "fileformats/vcard/vcardimport.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace {

// Letters of several scripts, two, three and four bytes of UTF-8 each.
const QList<QString>& lettersOfScripts()
{
    static const QList<QString> all = [] {
        QList<QString> letters;
        for (const QChar c : QStringView(u"éüßñłőčžαβλΩОляИвЖЩשלוםمرحباहिन्दीภาษา漢字東京한국어ひらがなカタ"))
            letters.append(QString(c));
        for (const char32_t c : { U'\U0001F600', U'\U00020BB7' })
            letters.append(QString::fromUcs4(&c, 1));
        return letters;
    }();
    return all;
}

QByteArray codes(QByteArrayView bytes, bool lowerCase)
{
    const QByteArray hex = bytes.toByteArray().toHex();
    QByteArray out;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        out += '=' + (lowerCase ? hex.mid(i, 2) : hex.mid(i, 2).toUpper());
    return out;
}

// A value as a phone writes it without saying so: words of letters beyond
// ASCII in codes between plain ASCII words, now and then a mark in codes;
// the text it stands for goes to `text`.
QByteArray valueInCodes(QRandomGenerator& random, QString& text)
{
    const bool lowerCase = random.bounded(8) == 0;
    QByteArray written;
    text.clear();
    const int pieces = 1 + random.bounded(6);
    const int letterAt = random.bounded(pieces);
    for (int i = 0; i < pieces; ++i) {
        const int kind = i == letterAt ? 0 : random.bounded(3);
        QString word;
        if (kind == 0) {
            for (int n = 1 + random.bounded(5); n > 0; --n)
                word += lettersOfScripts().at(random.bounded(int(lettersOfScripts().size())));
            written += codes(word.toUtf8(), lowerCase);
        } else if (kind == 1) {
            word = QStringLiteral("Ab1.-'(x)&").mid(random.bounded(5), 1 + random.bounded(5));
            written += word.toLatin1();
        } else {
            word = QString(QLatin1Char("=;:,!\""[random.bounded(6)]));
            written += codes(word.toLatin1(), lowerCase);
        }
        text += word;
    }
    return written;
}

// Inserts a run of "=" before one of the codes: soft breaks whose line
// ends were lost, which leave the text as it was.
void insertStrayEquals(QRandomGenerator& random, QByteArray& written)
{
    QList<qsizetype> codes;
    for (qsizetype i = written.indexOf('='); i >= 0; i = written.indexOf('=', i + 3))
        codes.append(i);
    written.insert(codes.at(random.bounded(int(codes.size()))), QByteArray(1 + random.bounded(2), '='));
}

// The same with one fault that keeps every "=" as written: an "=" before
// what is no hex digit, a lone lead or continuation byte, a cut letter, an
// overlong form, a surrogate, a letter written as it is, a DEL (which the
// text leaves out as it leaves out every such control character); or codes
// of ASCII only.
QByteArray valueKeptAsWritten(QRandomGenerator& random)
{
    static const QList<QByteArray> faults { "E=MC2", "=Cg", "=C3 ", "=A9", "=E2=82 ", "=C0=AF", "=ED=A0=80",
                                            "=F4=90=80=80", "\xC3\xA9", "\x7F", "2+2=4 ", "==4G" };
    if (random.bounded(4) == 0)
        return "A" + codes("=;b", random.bounded(2)) + (random.bounded(2) ? "=" : "");
    QString text;
    const QByteArray written = valueInCodes(random, text);
    // Between two codes or at either end, never inside one.
    QList<qsizetype> cuts { 0, written.size() };
    for (qsizetype i = 1; i < written.size(); ++i) {
        if (written.at(i) == '=' || (written.at(i - 1) != '=' && (i < 2 || written.at(i - 2) != '=')))
            cuts.append(i);
    }
    QByteArray value = written;
    value.insert(cuts.at(random.bounded(int(cuts.size()))), faults.at(random.bounded(int(faults.size()))));
    return "." + value + ".";
}

} // namespace

// A phone's export writes its words in quoted-printable codes of UTF-8
// without saying so: many generated values, half in codes and half that
// must keep their "=", in files of both versions read as a user's.
class TestVCardCardText : public QObject {
    Q_OBJECT
private slots:
    void readsGeneratedValuesAsTheirWritersMeant();

private:
    QTemporaryDir m_dir;
};

// Every value in codes is read as its text, every other as written, and
// the ending names exactly the lines read from codes.
void TestVCardCardText::readsGeneratedValuesAsTheirWritersMeant()
{
    QRandomGenerator random(20240611);
    int inCodes = 0;
    int kept = 0;
    for (int f = 0; f < 40; ++f) {
        QByteArray file;
        QStringList expected;
        int linesInCodes = 0;
        int linesWithStrayEquals = 0;
        for (int c = 0; c < 25; ++c) {
            QString text;
            QByteArray value;
            if (random.bounded(2) == 0) {
                // Now and then a soft break that ends the value, or one
                // that lost its line end.
                value = valueInCodes(random, text);
                if (random.bounded(6) == 0) {
                    insertStrayEquals(random, value);
                    ++linesWithStrayEquals;
                }
                value += random.bounded(8) == 0 ? "=" : "";
                ++linesInCodes;
            } else {
                value = valueKeptAsWritten(random);
                text = QString::fromUtf8(value).remove(QChar(0x7F));
            }
            expected.append(text);
            file += QByteArray(f % 2 ? "BEGIN:VCARD\r\nVERSION:2.1\r\n" : "BEGIN:VCARD\r\nVERSION:3.0\r\n") + "N:Card;"
                + QByteArray::number(c) + ";;;\r\nNOTE:" + value + "\r\nEND:VCARD\r\n";
        }
        VCardImport reader;
        reader.initialize(writeScratch(m_dir, file, QStringLiteral("vcf")));
        for (const QString& text : std::as_const(expected)) {
            QVERIFY(reader.hasNext());
            const QString note
                = reader.nextContact().entities.value(pim::ENTITY_NOTES).value(0).fields.value("data1").toString();
            QVERIFY2(note == text, qPrintable(note + QLatin1String(" | ") + text));
        }
        // The last card read, the ending is told.
        QVERIFY(!reader.hasNext());
        // "Lines 3, 7, ... and 9 more: the text was written in
        // quoted-printable codes ...", or "Line 3: ..." for one.
        const auto named = [&reader](QLatin1StringView sentence) {
            for (const QString& problem : reader.problems().listed()) {
                if (!problem.contains(sentence))
                    continue;
                const QString places = problem.section(u':', 0, 0);
                const auto more = QRegularExpression(QStringLiteral(" and (\\d+) more$")).match(places);
                return int(places.count(u',')) + 1 + (more.hasMatch() ? more.captured(1).toInt() : 0);
            }
            return 0;
        };
        QCOMPARE(named(QLatin1StringView("quoted-printable codes without saying so")), linesInCodes);
        QCOMPARE(named(QLatin1StringView("right before a quoted-printable code")), linesWithStrayEquals);
        inCodes += linesInCodes;
        kept += 25 - linesInCodes;
    }
    QVERIFY(inCodes > 300 && kept > 300);
}

QTEST_GUILESS_MAIN(TestVCardCardText)
#include "tst_vcardcardtext.moc"
