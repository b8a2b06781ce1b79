// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/legacytext.h"
#include "fileformats/vcard/syntax/vcardcharsets.h"

#include <QStringDecoder>
#include <QTest>

using legacytext::WesternSet;

class TestLegacyText : public QObject {
    Q_OBJECT
private slots:
    void readsMacRomanAsMacsDo();
    void readsDeclaredIsoSetOverWindowsBytes_data();
    void readsDeclaredIsoSetOverWindowsBytes();
    void guessesTheWesternCodePage_data();
    void guessesTheWesternCodePage();
    void tellsWhetherABorrowedReadingFits_data();
    void tellsWhetherABorrowedReadingFits();
    void keepsUtf8LettersBesideStrayBytes_data();
    void keepsUtf8LettersBesideStrayBytes();
    void readsDeclaredSetsThatHoldNoC1Text_data();
    void readsDeclaredSetsThatHoldNoC1Text();
    void tellsUtf8FromCodePageTextThatFormsItByChance_data();
    void tellsUtf8FromCodePageTextThatFormsItByChance();
};

void TestLegacyText::readsMacRomanAsMacsDo()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    const QString read = legacytext::fromMacRoman(all);
    QCOMPARE(read.mid(0x80, 4), QStringLiteral("ÄÅÇÉ"));
    QCOMPARE(read.at(0x8E), QChar(u'é'));
    QCOMPARE(read.at(0xDB), QChar(u'€'));
    // The table against the system's own converter, where it has one.
    QStringDecoder system("macintosh", QStringConverter::Flag::Stateless);
    if (!system.isValid())
        QSKIP("no Mac Roman converter on this system");
    const QString reference = system.decode(all);
    for (int b = 0; b < 256; ++b)
        QVERIFY2(read.at(b) == reference.at(b) || b == 0xDB, qPrintable(QString::number(b, 16)));
}

void TestLegacyText::readsDeclaredIsoSetOverWindowsBytes_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("Polish name over windows-1250") << QByteArray("ISO-8859-2") << QByteArray("Wi\x9Cniewska")
                                                   << QStringLiteral("Wiśniewska");
    QTest::newRow("Polish city over windows-1250") << QByteArray("iso8859-2") << QByteArray("\xA3\xF3" "d\x9F")
                                                   << QStringLiteral("Łódź");
    QTest::newRow("a value without such bytes is ISO-8859-2") << QByteArray("ISO-8859-2") << QByteArray("W\xB1sik")
                                                             << QStringLiteral("Wąsik");
    QTest::newRow("windows-1250 letters above 0x9F beside one below")
        << QByteArray("LATIN2") << QByteArray("\x9Cl\xB9sk") << QStringLiteral("śląsk");
    QTest::newRow("Latin-1 over windows-1252") << QByteArray("ISO_8859-1:1987") << QByteArray("\x93" "Caf\xE9\x94 \x80")
                                               << QStringLiteral("“Café” €");
    QTest::newRow("Greek over windows-1253") << QByteArray("ISO-8859-7") << QByteArray("\xA2\xed\xed\xe1 \x96 1")
                                             << QStringLiteral("Άννα – 1");
    QTest::newRow("Turkish over windows-1254") << QByteArray("ISO-8859-9") << QByteArray("\x84\xDE" "ahin\x93")
                                               << QStringLiteral("„Şahin“");
    QTest::newRow("Baltic over windows-1257") << QByteArray("ISO-8859-13") << QByteArray("\x84\xD0" "ak\xEBs\x93")
                                              << QStringLiteral("„Šakės“");
    QTest::newRow("a byte windows-1253 leaves empty is no control code")
        << QByteArray("ISO-8859-7") << QByteArray("a\x81" "b") << QStringLiteral("a\uFFFDb");
}

void TestLegacyText::readsDeclaredIsoSetOverWindowsBytes()
{
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    legacytext::IsoOverWindows reader(charset);
    QVERIFY(reader.isValid());
    QCOMPARE(reader.decode(bytes), text);
    QVERIFY(!legacytext::IsoOverWindows("ISO-8859-5").isValid());
    QVERIFY(!legacytext::IsoOverWindows("UTF-8").isValid());
    QVERIFY(!legacytext::IsoOverWindows("ISO-8859-15").isValid());
}

void TestLegacyText::guessesTheWesternCodePage_data()
{
    QTest::addColumn<QList<QByteArray>>("stretches");
    QTest::addColumn<int>("set");
    const auto windows = int(WesternSet::Windows1252);
    const auto mac = int(WesternSet::MacRoman);
    QTest::newRow("nothing") << QList<QByteArray>() << windows;
    QTest::newRow("Mac Roman name, Spanish")
        << QList<QByteArray> { "Ra\x9Cl Ib\x87\x96" "ez" } << mac;
    QTest::newRow("Mac Roman city, capital inside a word") << QList<QByteArray> { "Montr\x8E" "al" } << mac;
    QTest::newRow("Mac Roman, control codes in windows-1252") << QList<QByteArray> { "\x81sa Sj\x9A" "berg" } << mac;
    QTest::newRow("Mac Roman, stretches of one file add up")
        << QList<QByteArray> { "Stra\xA7" "e", "Gie\xA7" "en" } << mac;
    QTest::newRow("windows-1252 accented names") << QList<QByteArray> { "Ren\xE9" "e M\xFCller, S\xE8te" } << windows;
    QTest::newRow("windows-1252 curly quotes and apostrophes")
        << QList<QByteArray> { "\x93" "Bob\x94 O\x92" "Brien don\x92t" } << windows;
    QTest::newRow("windows-1252 dashes between words")
        << QList<QByteArray> { "Paris\x96" "Berlin", "north\x96south", "A\x96Z" } << windows;
    QTest::newRow("windows-1252 capitals") << QList<QByteArray> { "M\xDCLLER \xC9" "COLE" } << windows;
    QTest::newRow("too little to tell") << QList<QByteArray> { "Sj\x9A" "berg" } << windows;
}

void TestLegacyText::guessesTheWesternCodePage()
{
    QFETCH(QList<QByteArray>, stretches);
    QFETCH(int, set);
    legacytext::WesternGuess guess;
    legacytext::WesternGuess half;
    for (qsizetype i = 0; i < stretches.size(); ++i)
        (i % 2 ? half : guess).add(stretches.at(i));
    guess.merge(half);
    QCOMPARE(int(guess.choice()), set);
    QCOMPARE(guess.hasText(), !stretches.isEmpty());
}

void TestLegacyText::tellsWhetherABorrowedReadingFits_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("fits");
    // windows-1252 text read in the sets of cards beside it
    QTest::newRow("German under Shift_JIS") << QByteArray("Shift_JIS") << QByteArray("J\xFCrgen M\xFCller") << false;
    QTest::newRow("German city under Shift_JIS") << QByteArray("Shift_JIS") << QByteArray("K\xF6ln") << false;
    QTest::newRow("ending in a lead byte under GBK") << QByteArray("GBK") << QByteArray("Bogot\xE1") << false;
    QTest::newRow("French under GBK") << QByteArray("GBK") << QByteArray("L\xE9" "a Moreau") << false;
    QTest::newRow("German under windows-1253") << QByteArray("windows-1253") << QByteArray("J\xFCrgen") << false;
    QTest::newRow("word starting with the letter, windows-1253")
        << QByteArray("windows-1253") << QByteArray("\xC4rzte") << false;
    QTest::newRow("lone letter under windows-1253") << QByteArray("windows-1253") << QByteArray("Paix \xE0 Paris")
                                                    << false;
    QTest::newRow("lone letter under windows-1251") << QByteArray("windows-1251") << QByteArray("Owes \x80" "40")
                                                    << false;
    QTest::newRow("apostrophe under KOI8-R") << QByteArray("KOI8-R") << QByteArray("O\x92" "Brien") << false;
    QTest::newRow("German under TIS-620") << QByteArray("TIS-620") << QByteArray("Gie\xDF" "en") << false;
    QTest::newRow("Spanish under windows-1256") << QByteArray("windows-1256") << QByteArray("Cumplea\xF1os")
                                                << false;
    QTest::newRow("French under EUC-KR") << QByteArray("EUC-KR") << QByteArray("L\xE6rke") << false;
    // text of the set itself
    QTest::newRow("Greek") << QByteArray("windows-1253") << QByteArray("\xC3\xe9\xfe\xf1\xe3\xef\xf2 \xef \xea.")
                           << true;
    QTest::newRow("Russian") << QByteArray("windows-1251") << QByteArray("\xC4\xEC\xE8\xF2\xF0\xE8\xE9 \xAB\xC4\xE8\xEC\xE0\xBB")
                             << true;
    QTest::newRow("Japanese company with Latin capitals")
        << QByteArray("Shift_JIS") << QByteArray("NTT\x83h\x83R\x83\x82") << true;
    QTest::newRow("Japanese with a small letter before syllables")
        << QByteArray("Shift_JIS") << QByteArray("i\x83\x82\x81[\x83h") << true;
    QTest::newRow("Japanese half-width syllables") << QByteArray("Shift_JIS") << QByteArray("\xB6\xC0\xB6\xC5") << true;
    QTest::newRow("Japanese building A") << QByteArray("Shift_JIS") << QByteArray("3\x8aK A\x93\x8f") << true;
    QTest::newRow("Korean company") << QByteArray("EUC-KR") << QByteArray("LG\xC0\xFC\xC0\xDA") << true;
    QTest::newRow("Central European under windows-1250 is Latin")
        << QByteArray("windows-1250") << QByteArray("J\xFCrgen M\xFCller") << true;
}

void TestLegacyText::tellsWhetherABorrowedReadingFits()
{
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, fits);
    QStringDecoder decoder(charset.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        QSKIP("no converter for the set on this system");
    const std::optional<QString> text = legacytext::borrowedReading(
        bytes, [&decoder](QByteArrayView piece) { return decoder.decode(piece); });
    QVERIFY2(text.has_value() == fits, qPrintable(text.value_or(QString())));
}

void TestLegacyText::keepsUtf8LettersBesideStrayBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("set");
    // Null: not UTF-8 with stray bytes, read wholly in a code page.
    QTest::addColumn<QString>("text");
    const auto windows = int(WesternSet::Windows1252);
    const auto mac = int(WesternSet::MacRoman);
    QTest::newRow("a euro sign after UTF-8 letters") << QByteArray("Caf\xC3\xA9 M\xC3\xBCller\x80") << windows
                                                     << QStringLiteral("Café Müller€");
    QTest::newRow("the same in a Mac file") << QByteArray("Caf\xC3\xA9 M\xC3\xBCller\x80") << mac
                                            << QStringLiteral("Café MüllerÄ");
    QTest::newRow("a dash between UTF-8 words") << QByteArray("M\xC3\xBCller \x96 Hinterhof") << windows
                                                << QStringLiteral("Müller – Hinterhof");
    QTest::newRow("a byte windows-1252 leaves empty is left out") << QByteArray("p\xC3\xA2tissier\x81") << windows
                                                                  << QStringLiteral("pâtissier");
    QTest::newRow("a letter cut in two") << QByteArray("Gr\xC3\xBC\xC3\x9F\xC3" "e") << windows
                                         << QStringLiteral("GrüßÃe");
    QTest::newRow("a four-byte letter") << QByteArray("\xF0\x9F\x98\x80 \xE9t\xE9") << windows
                                        << QStringLiteral("\U0001F600 été");
    QTest::newRow("no UTF-8 letter") << QByteArray("3\xE8me \xE9tage") << windows << QString();
    QTest::newRow("fewer bytes in letters than stray") << QByteArray("Ren\xE9 M\xC3\xBCller \xE0 S\xE8te")
                                                       << windows << QString();
    QTest::newRow("windows-1251 with one pair by chance") << QByteArray("\xD1\xB8\xEC\xE8\xED") << windows
                                                          << QString();
    QTest::newRow("valid UTF-8 is no such text") << QByteArray("Caf\xC3\xA9") << windows << QString();
    // windows-1252 whose capital and quote form UTF-8 by chance ("\u0254").
    QTest::newRow("a capital and a quote of windows-1252") << QByteArray("Bar \x93" "CAF\xC9\x94") << windows
                                                           << QString();
    QTest::newRow("a letter and a quote of windows-1252") << QByteArray("\x84" "FU\xDF\x93 im Hof") << windows
                                                          << QString();
    QTest::newRow("beside UTF-8 letters such a pair stays one") << QByteArray("Gr\xC3\xBC\xC3\x9F" "e, \x93" "CAF\xC9\x96")
                                                                << windows << QStringLiteral("Grüße, “CAFɖ");
}

void TestLegacyText::keepsUtf8LettersBesideStrayBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, set);
    QFETCH(QString, text);
    QCOMPARE(legacytext::isUtf8WithStrayBytes(bytes) && !legacytext::isValidUtf8(bytes), !text.isNull());
    if (!text.isNull())
        QCOMPARE(legacytext::fromUtf8WithStrayBytes(bytes, WesternSet(set)), text);
}

void TestLegacyText::readsDeclaredSetsThatHoldNoC1Text_data()
{
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("how");
    QTest::addColumn<QString>("text");
    using Reading = VCardCharsets::Reading;
    QTest::newRow("ISO-8859-15 over windows-1252") << QStringLiteral("ISO-8859-15")
                                                   << QByteArray("Le c\x9Cur, menu \x80 14") << int(Reading::InRelative)
                                                   << QStringLiteral("Le cœur, menu € 14");
    QTest::newRow("LATIN9 without such bytes") << QStringLiteral("latin9") << QByteArray("menu \xA4 14")
                                               << int(Reading::AsDeclared) << QStringLiteral("menu € 14");
    QTest::newRow("ISO-8859-5 over windows-1251") << QStringLiteral("ISO-8859-5")
                                                  << QByteArray("\x8C\xE5\xE3\xEE\xF8") << int(Reading::InRelative)
                                                  << QStringLiteral("Његош");
    QTest::newRow("ISO-8859-4 over windows-1257") << QStringLiteral("ISO_8859-4")
                                                  << QByteArray("\x84\xD0iauli\xF8 duona\x93")
                                                  << int(Reading::InRelative) << QStringLiteral("„Šiaulių duona“");
    QTest::newRow("UTF-8 under ISO-8859-5 reads as no words") << QStringLiteral("ISO-8859-5")
                                                              << QByteArray("Gr\xC3\xBC\xC3\x9F" "e")
                                                              << int(Reading::NotHeld) << QString();
    QTest::newRow("ISO-8859-3 over windows-1252") << QStringLiteral("ISO-8859-3") << QByteArray("Caf\xE9 \x96 Bar")
                                                  << int(Reading::NotHeld) << QString();
    QTest::newRow("ISO-8859-3 of its own") << QStringLiteral("ISO-8859-3") << QByteArray("\xA1\xE6" "e")
                                           << int(Reading::AsDeclared) << QStringLiteral("Ħĉe");
    QTest::newRow("Shift_JIS uses those bytes") << QStringLiteral("Shift_JIS") << QByteArray("\x8E\x52\x93\x63")
                                                << int(Reading::AsDeclared) << QStringLiteral("山田");
    QTest::newRow("a sibling of last round reads as before") << QStringLiteral("ISO-8859-2")
                                                             << QByteArray("Wi\x9Cniewska") << int(Reading::AsDeclared)
                                                             << QStringLiteral("Wiśniewska");
}

void TestLegacyText::readsDeclaredSetsThatHoldNoC1Text()
{
    QFETCH(QString, charset);
    QFETCH(QByteArray, bytes);
    QFETCH(int, how);
    QFETCH(QString, text);
    VCardCharsets charsets;
    const VCardCharsets::Reading reading = charsets.decodeDeclared(bytes, charset);
    QCOMPARE(int(reading.how), how);
    if (how != int(VCardCharsets::Reading::NotHeld))
        QCOMPARE(reading.text, text);
    QCOMPARE(reading.relative.isEmpty(), how != int(VCardCharsets::Reading::InRelative));
}

QTEST_GUILESS_MAIN(TestLegacyText)
#include "tst_legacytext.moc"

void TestLegacyText::tellsUtf8FromCodePageTextThatFormsItByChance_data()
{
    // Valid UTF-8 either way: letters a table of UTF-8 holds as they are,
    // or windows-1252 whose capitals and signs form such letters.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("byChance");
    QTest::newRow("capitals keep \u00DF") << QByteArray("KLAUS GRO\xC3\x9F,HAUPTSTRA\xC3\x9F" "E 5") << false;
    QTest::newRow("a name upper-cased in ASCII alone, a letter inside a word") << QByteArray("BRZ\xC4\x99K") << false;
    QTest::newRow("such a name ending in a letter windows-1252 reads as a low quote")
        << QByteArray("PAWE\xC5\x82") << false;
    QTest::newRow("such a name ending in a letter windows-1252 reads as a dash")
        << QByteArray("JANKAUSKIEN\xC4\x97") << false;
    QTest::newRow("pinyin tones") << QByteArray("Xi\xC7\x8Eo L\xC7\x9A") << false;
    QTest::newRow("windows-1252: a capital and a closing quote") << QByteArray("CAF\xC9\x94 Lyon") << true;
    QTest::newRow("windows-1252: a capital and a dash inside a word") << QByteArray("PR\xC9\x96VENTE") << true;
    QTest::newRow("windows-1252: a dash between two words of capitals") << QByteArray("SK\xC4\x97" "BAR") << true;
    QTest::newRow("windows-1252: \u00C7 and an apostrophe after capitals") << QByteArray("KO\xC7\x92s") << true;
}

void TestLegacyText::tellsUtf8FromCodePageTextThatFormsItByChance()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, byChance);
    QVERIFY(legacytext::isValidUtf8(bytes));
    QCOMPARE(legacytext::formsUtf8ByChance(bytes), byChance);
}
