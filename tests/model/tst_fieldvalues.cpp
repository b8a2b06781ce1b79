// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contact.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <limits>
#include <utility>

class TestFieldValues : public QObject {
    Q_OBJECT

private slots:
    void comparesFieldsAsTheMergeRuleSays_data()
    {
        QTest::addColumn<QVariant>("left");
        QTest::addColumn<QVariant>("right");
        QTest::addColumn<bool>("equal");

        const QDateTime dt(QDate(1980, 5, 17), QTime(0, 0));
        const QString empty(QLatin1String(""));

        QTest::newRow("two absent values") << QVariant() << QVariant() << true;
        QTest::newRow("absent vs empty text") << QVariant() << QVariant(empty) << false;
        QTest::newRow("null text vs empty text") << QVariant(QString()) << QVariant(empty) << true;
        QTest::newRow("text differs in case") << QVariant("Anna") << QVariant("anna") << false;
        QTest::newRow("int vs its decimal text") << QVariant(2) << QVariant("2") << true;
        QTest::newRow("code 0 vs empty text") << QVariant(0) << QVariant(empty) << false;
        QTest::newRow("unsigned max vs -1")
            << QVariant(std::numeric_limits<qulonglong>::max()) << QVariant(qlonglong(-1)) << false;
        QTest::newRow("date-time vs its ISO text") << QVariant(dt) << QVariant("1980-05-17T00:00:00") << true;
        QTest::newRow("ISO text vs date-time") << QVariant("1980-05-17T00:00:00") << QVariant(dt) << true;
        QTest::newRow("date-time vs date-only text") << QVariant(dt) << QVariant("1980-05-17") << true;
        QTest::newRow("date-time vs garbage text") << QVariant(dt) << QVariant("17/05/1980") << false;
        QTest::newRow("date-times a few ms apart") << QVariant(dt) << QVariant(dt.addMSecs(250)) << true;
        QTest::newRow("identical bytes with NUL")
            << QVariant(QByteArray("a\0b", 3)) << QVariant(QByteArray("a\0b", 3)) << true;
        QTest::newRow("bytes vs same text")
            << QVariant(QByteArray("caf\xc3\xa9")) << QVariant(QStringLiteral("café")) << true;
    }
    void comparesFieldsAsTheMergeRuleSays()
    {
        QFETCH(QVariant, left);
        QFETCH(QVariant, right);
        QFETCH(bool, equal);
        QCOMPARE(pim::fieldEquals(left, right), equal);
    }

    // Every file reader's values pass here: the control characters no
    // stored text holds go, those that break a line become a line feed,
    // the other C1 controls the windows-1252 letter of their byte or the
    // mark of a letter not read.
    void dropsControlCharactersNoTextHolds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        QTest::newRow("ordinary text") << QStringLiteral("Renée Côté, 12 rue d'Orléans") << QString();
        QTest::newRow("tab, line feed and CR stay") << QStringLiteral("a\tb\r\nc") << QString();
        QTest::newRow("NUL and 0x01 go") << QString::fromUtf16(u"Jules \0K\x01ONE", 12) << QStringLiteral("Jules KONE");
        QTest::newRow("VT, FF and NEL break the line") << QString::fromUtf16(u"a\vb\fc\x85" "d")
                                                       << QStringLiteral("a\nb\nc\nd");
        QTest::newRow("DEL goes, C1 reads as windows-1252 or marks a letter, U+00A0 stays")
            << QString::fromUtf16(u"x\x7Fy\x80\x90\x9F\xA0z") << QString::fromUtf16(u"xy\u20AC\uFFFD\u0178\xA0z");
        QTest::newRow("at both ends of a long text")
            << QString::fromUtf16(u"\x1F") + QString(20, u'w') + QString::fromUtf16(u"\x1B") << QString(20, u'w');
    }
    void dropsControlCharactersNoTextHolds()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QString read = text;
        QCOMPARE(bool(pim::dropControlCharacters(read)), !stored.isNull());
        QCOMPARE(read, stored.isNull() ? text : stored);
        QCOMPARE(pim::mayHoldControlCharacters(text.toUtf8()), !stored.isNull());
    }
    // Texts of every length around the blocks the scans take at once, one
    // such character anywhere or none: the scans of text and of UTF-8
    // bytes find it, wherever it stands, and only it.
    void findsAControlCharacterAnywhere()
    {
        // No letter that could lead a letter encoded twice.
        const QString others = QString::fromUtf16(u"a\t\n\r\xA0\u00FC\u20AC\u7530~");
        const QString controls = QString::fromUtf16(u"\x01\x0B\x1F\x7F\x80\x85\x9F", 7) + QChar(0);
        QRandomGenerator random(17);
        for (int round = 0; round < 4000; ++round) {
            QString text;
            for (int n = random.bounded(40); n > 0; --n)
                text += others.at(random.bounded(int(others.size())));
            QString stored = text;
            const bool control = random.bounded(2) == 0;
            if (control) {
                const int at = random.bounded(int(text.size()) + 1);
                const QChar c = controls.at(random.bounded(int(controls.size())));
                text.insert(at, c);
                if (c == u'\x0B' || c == u'\x85')
                    stored.insert(at, u'\n');
                else if (c == u'\x80')
                    stored.insert(at, u'\u20AC');
                else if (c == u'\x9F')
                    stored.insert(at, u'\u0178');
            }
            QString read = text;
            QCOMPARE(bool(pim::dropControlCharacters(read)), control);
            QCOMPARE(read, stored);
            QCOMPARE(pim::mayHoldControlCharacters(text.toUtf8()), control);
        }
    }

    // Text some program read as Latin-1 and wrote as UTF-8 again is read
    // whole as its letters, once a run of a letter's UTF-8 bytes holds a C1
    // control and its runs read as text; windows-1252 text read as Latin-1
    // (a control or a letter standing alone, or runs that read as no text)
    // keeps its letters and reads its controls as signs; text without a
    // control stays as written.
    void readsLettersEncodedTwice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("twice");
        QTest::addColumn<bool>("controls");
        QTest::addColumn<bool>("codePage");
        const auto row = [](const char* name, const char16_t* text, const char16_t* stored, bool twice,
                            bool controls, bool codePage = false) {
            QTest::newRow(name) << QString::fromUtf16(text) << QString::fromUtf16(stored) << twice << controls
                                << codePage;
        };
        row("apostrophe", u"it\u00E2\u0080\u0099s", u"it\u2019s", true, false);
        row("dash and ellipsis", u"Mon \u00E2\u0080\u0093 Fri\u00E2\u0080\u00A6", u"Mon \u2013 Fri\u2026", true,
            false);
        row("euro sign, its control in the middle", u"\u00E2\u0082\u00AC 20", u"\u20AC 20", true, false);
        row("letter of two bytes whose second is a next line", u"W\u00C4\u0085s", u"W\u0105s", true, false);
        row("Cyrillic, every letter, those whose bytes hold no control too",
            u"\u00D0\u0098\u00D0\u00B2\u00D0\u00B0", u"\u0418\u0432\u0430", true, false);
        row("emoji, four bytes", u"Hi \u00F0\u009F\u0098\u0080", u"Hi \U0001F600", true, false);
        row("four bytes, the control the fourth", u"\u00F0\u00AF\u00A0\u0080", u"\U0002F800", true, false);
        row("at both ends of a long text", u"\u00E2\u0080\u009Cwwwwwwwwwwwwwwwwwwww\u00E2\u0080\u009D",
            u"\u201Cwwwwwwwwwwwwwwwwwwww\u201D", true, false);
        row("a C1 control encoded twice, read as windows-1252", u"C \u00C2\u0096 D", u"C \u2013 D", true, true);
        row("a next line encoded twice", u"a\u00C2\u0085b", u"a\nb", true, true);
        row("Latin-1 look-alike without a control", u"Ren\u00C3\u00A9e: \u00C3\u00A9 is not \u00E9", nullptr,
            false, false);
        row("no letter: one byte short", u"it\u00E2\u0080s", u"it\u00E2\u20ACs", false, true);
        row("no letter: one byte more", u"\u00E2\u0080\u0099\u00B0", u"\u00E2\u20AC\u2122\u00B0", false, true);
        row("no letter: an overlong form", u"\u00E0\u0080\u0080", u"\u00E0\u20AC\u20AC", false, true);
        row("no letter: a surrogate", u"\u00ED\u00A0\u0080", u"\u00ED\u00A0\u20AC", false, true);
        row("no letter: beyond U+10FFFF", u"\u00F4\u0090\u0080\u0080", u"\u00F4\uFFFD\u20AC\u20AC", false, true);
        row("lone windows-1252 dash", u"C\u0096D", u"C\u2013D", false, true);
        row("lone byte windows-1252 leaves unassigned", u"J\u0090rgen", u"J\uFFFDrgen", false, true);
        row("both kinds in one text: a control standing alone makes it windows-1252",
            u"it\u00E2\u0080\u0099s \u0093ok\u0094", u"it\u00E2\u20AC\u2122s \u201Cok\u201D", false, true);
        row("Russian, a word of letters without a control", u"\u00D0\u0094\u00D0\u00BE\u00D0\u00BC \u00D1\u0083 "
            u"\u00D0\u00BC\u00D0\u00BE\u00D1\u0080\u00D1\u008F", u"\u0414\u043E\u043C \u0443 \u043C\u043E\u0440\u044F",
            true, false);
        row("Greek", u"\u00CE\u0095\u00CE\u00BB\u00CE\u00BB\u00CE\u00B7\u00CE\u00BD\u00CE\u00B9\u00CE\u00BA\u00CE\u00AC",
            u"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC", true, false);
        row("accented letters beside quotes", u"M\u00C3\u00BCller\u00E2\u0080\u0099s \u00E2\u0080\u009CCaf\u00C3\u00A9\u00E2\u0080\u009D",
            u"M\u00FCller\u2019s \u201CCaf\u00E9\u201D", true, false);
        row("two letters of two bytes, one with a control", u"Zo\u00C3\u00AB \u00C3\u0085ngstr\u00C3\u00B6m",
            u"Zo\u00EB \u00C5ngstr\u00F6m", true, false);
        row("decomposed accents", u"Rene\u00CC\u0081e", u"Rene\u0301e", true, false);
        row("windows-1252: quotes, a dash and a final letter", u"\u0084Spa\u00DF\u0093 \u0096 hei\u00DF",
            u"\u201ESpa\u00DF\u201C \u2013 hei\u00DF", false, true);
        row("windows-1252: a capital and an apostrophe", u"CAF\u00C9\u0092s", u"CAF\u00C9\u2019s", false, true);
        row("windows-1252: a letter and a dash", u"Fu\u00DF\u0096Pflege", u"Fu\u00DF\u2013Pflege", false, true);
        row("windows-1252: a next line after a capital", u"CAF\u00C9\u0085Lyon", u"CAF\u00C9\nLyon", false, true);
        row("windows-1252: a small letter and two signs", u"caf\u00E9\u0097\u0094", u"caf\u00E9\u2014\u201D", false,
            true);
        row("four bytes our tables do not know: a newer emoji", u"Mama \u00F0\u009F\u00A9\u00B7",
            u"Mama \U0001FA77", true, false);
        row("four bytes: the mathematical letters of a fancy name",
            u"\u00F0\u009D\u0095\u008A\u00F0\u009D\u0095\u0092\u00F0\u009D\u0095\u009E\u00F0\u009D\u0095\u009A",
            u"\U0001D54A\U0001D552\U0001D55E\U0001D55A", true, false);
        row("letters written once beside a part encoded twice",
            u"Caf\u00E9 Lumi\u00E8re \u00E2\u0080\u0093 ask for Ren\u00E9e", u"Caf\u00E9 Lumi\u00E8re \u2013 ask for Ren\u00E9e",
            true, false);
        row("a next line standing alone tells nothing", u"that\u00E2\u0080\u0099s fine \u0085 ok",
            u"that\u2019s fine \n ok", true, true);
        row("a next line right after a letter encoded twice", u"\u00D0\u0094\u00D0\u00BE\u00D0\u00BC\u0085ok",
            u"\u0414\u043E\u043C\nok", true, true);
        row("a letter cut off at the end", u"Zo\u00C3\u00AB \u00C3\u0085ngstr\u00C3\u00B6m \u00E2\u0080",
            u"Zo\u00EB \u00C5ngstr\u00F6m ", true, true);
        row("through windows-1252, its unassigned bytes kept as controls", u"\u00C3\u0090or\u00C4\u2018e",
            u"\u00D0or\u0111e", true, false);
        row("Cyrillic through windows-1252",
            u"\u00D0\u009D\u00D0\u00B0\u00D1\u201A\u00D0\u00B0\u00D0\u00BB\u00D1\u0152\u00D1\u008F",
            u"\u041D\u0430\u0442\u0430\u043B\u044C\u044F", true, false);
        row("capitals keep \u00DF", u"GRO\u00C3\u009F", u"GRO\u00DF", true, false);
        row("windows-1252: a dash between two words of capitals", u"SK\u00C4\u0097BAR", u"SK\u00C4\u2014BAR", false,
            true);
        // In text read from a code page a control is a byte it leaves
        // unassigned, also after a capital that leads UTF-8 ("\u00C4" 0x8D).
        row("read from a code page: no letter encoded twice", u"K\u00C4\u008D 5", u"K\u00C4\uFFFD 5", false, true,
            true);
        row("read from a code page: next line", u"a\u0085b\u0096", u"a\nb\uFFFD", false, true, true);
    }
    void readsLettersEncodedTwice()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QFETCH(bool, twice);
        QFETCH(bool, controls);
        QFETCH(bool, codePage);
        QString read = text;
        const pim::ControlCharacterChanges changes
            = pim::dropControlCharacters(read, codePage ? pim::ReadFrom::CodePage : pim::ReadFrom::Unicode);
        QCOMPARE(read, stored.isNull() ? text : stored);
        QCOMPARE(changes.twiceEncoded, twice);
        QCOMPARE(changes.controls, controls);
        QCOMPARE(pim::mayHoldControlCharacters(text.toUtf8()), twice || controls);
    }

    // Generated texts both ways: a text read once as Latin-1 whose UTF-8
    // holds a byte 0x80 to 0x9F is read as that text again, every letter of
    // it; one without such a byte stays as it was read ("\u00C3\u00A9");
    // Latin-1 text without a C1 control stays, however much it looks like
    // such text; and windows-1252 prose read as Latin-1 is that prose again.
    void readsGeneratedTextsEncodedTwiceAndNoOther()
    {
        const QString letters = QString::fromUtf16(
            u"ae \u00E9\u00FC\u00DF\u00C9\u00F1\u00A0\u0105\u0119\u0142\u0151\u0219\u0161\u03C0\u03A9\u044F\u0416"
            u"\u05E9\u7530\u4E2D\u2019\u201C\u201D\u2013\u2014\u2026\u20AC\u2122\u2022")
            + QString::fromUcs4(U"\U0001F600\U0001F338");
        const auto readAsLatin1 = [](const QString& text) { return QString::fromLatin1(text.toUtf8()); };
        QRandomGenerator random(81);
        int repaired = 0;
        for (int round = 0; round < 3000; ++round) {
            QString text;
            for (int n = random.bounded(30); n > 0; --n) {
                const int at = random.bounded(int(letters.size()));
                const QString letter = letters.at(at).isHighSurrogate() ? letters.mid(at, 2)
                    : letters.at(at).isLowSurrogate()                  ? letters.mid(at - 1, 2)
                                                                       : QString(letters.at(at));
                // Letters of other scripts, and small letters after a
                // capital, stand apart from Latin letters.
                const QChar first = letter.at(0);
                if (!text.isEmpty() && text.back().isLetter() && text.back().script() == QChar::Script_Latin
                    && first.isLetter()
                    && (first.script() != QChar::Script_Latin || (first.isLower() && text.back().isUpper())))
                    text += u' ';
                text += letter;
            }
            const QString read = readAsLatin1(text);
            const bool control = std::any_of(read.begin(), read.end(),
                                              [](QChar c) { return c.unicode() >= 0x80 && c.unicode() < 0xA0; });
            const QString stored = control ? text : read;
            repaired += control;
            QString result = read;
            const pim::ControlCharacterChanges changes = pim::dropControlCharacters(result);
            QCOMPARE(result, stored);
            QCOMPARE(changes.twiceEncoded, stored != read);
            QVERIFY(!changes.controls);
        }
        QVERIFY(repaired > 2000);

        for (int round = 0; round < 3000; ++round) {
            QString text;
            for (int n = random.bounded(30); n > 0; --n) {
                const int pick = random.bounded(3);
                text += QChar(pick == 0 ? u'a' + random.bounded(26) : 0xA0 + random.bounded(0x60));
            }
            QString result = text;
            QVERIFY(!pim::dropControlCharacters(result));
            QCOMPARE(result, text);
        }

        // Windows-1252 punctuation read as Latin-1 after a word or a blank,
        // as prose has it (its ellipsis, 0x85, is a next line).
        const QString words[] = { QStringLiteral("caf\u00E9"), QStringLiteral("M\u00FCller"),
                                  QStringLiteral("na\u00EFve"), QStringLiteral("Stra\u00DFe"),
                                  QStringLiteral("se\u00F1or"), QStringLiteral("and"), QStringLiteral("Tom") };
        const std::pair<const char16_t*, const char16_t*> after[] = {
            { u"\x92s", u"\u2019s" }, { u" \x96", u" \u2013" }, { u" \x80", u" \u20AC" },
            { u"\x99", u"\u2122" },   { u" \x93x\x94", u" \u201Cx\u201D" }, { u",", u"," },
        };
        for (int round = 0; round < 3000; ++round) {
            QString read;
            QString prose;
            for (int n = random.bounded(12); n > 0; --n) {
                const QString word = words[random.bounded(7)];
                const auto& [once, meant] = after[random.bounded(6)];
                read += word + QString::fromUtf16(once) + u' ';
                prose += word + QString::fromUtf16(meant) + u' ';
            }
            const bool controls = read != prose;
            const pim::ControlCharacterChanges changes = pim::dropControlCharacters(read);
            QCOMPARE(read, prose);
            QCOMPARE(changes.controls, controls);
            QVERIFY(!changes.twiceEncoded);
        }
    }
};

QTEST_GUILESS_MAIN(TestFieldValues)
#include "tst_fieldvalues.moc"
