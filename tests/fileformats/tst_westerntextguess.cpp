// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvhelper.h"
#include "fileformats/csv/csvimport.h"
#include "fileformats/legacytext.h"
#include "fileformats/vcard/vcardimport.h"
#include "ordinarytext.h"
#include "scratchfiles.h"
#include "support/testparts.h"

#include <QHash>
#include <QStringEncoder>
#include <QTest>

#include <algorithm>

using legacytext::WesternSet;

namespace {

// The bytes of text in the code page; every character the generated text
// holds has a byte there.
QByteArray encoded(const QString& text, WesternSet set)
{
    static const auto table = [](WesternSet s) {
        QByteArray all(256, Qt::Uninitialized);
        for (int b = 0; b < 256; ++b)
            all[b] = char(b);
        QHash<QChar, char> byteOf;
        const QString read = legacytext::fromWestern(all, s);
        for (int b = 0; b < 256; ++b)
            byteOf.insert(read.at(b), char(b));
        return byteOf;
    };
    static const QHash<QChar, char> windows = table(WesternSet::Windows1252);
    static const QHash<QChar, char> mac = table(WesternSet::MacRoman);
    const QHash<QChar, char>& byteOf = set == WesternSet::MacRoman ? mac : windows;
    QByteArray out;
    for (const QChar c : text) {
        Q_ASSERT(byteOf.contains(c));
        out.append(byteOf.value(c));
    }
    return out;
}

const char* nameOf(WesternSet set)
{
    return set == WesternSet::MacRoman ? "macintosh" : "windows-1252";
}

// A card as an older program writes it, its text in the code page: 2.1
// with some values in quoted-printable, or 3.0 with its escapes.
QByteArray card(const ordinarytext::Person& p, const std::function<QByteArray(const QString&)>& encode,
    bool modern, bool quoted)
{
    const auto escaped = [modern](QString text) {
        return modern ? text.replace(u'\\', QLatin1String("\\\\"))
                            .replace(u',', QLatin1String("\\,"))
                            .replace(u';', QLatin1String("\\;"))
                      : text;
    };
    QByteArray out = modern ? "BEGIN:VCARD\r\nVERSION:3.0\r\n" : "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    out += "N:" + encode(escaped(p.family) + u';' + escaped(p.given)) + "\r\n";
    out += "FN:" + encode(escaped(p.given + u' ' + p.family)) + "\r\n";
    out += "ADR;TYPE=HOME:;;;" + encode(escaped(p.place)) + ";;;\r\n";
    if (!p.note.isEmpty()) {
        const QByteArray note = encode(escaped(p.note));
        if (quoted) {
            out += "NOTE;ENCODING=QUOTED-PRINTABLE:";
            for (const char c : note)
                out += (uchar(c) < 0x80 && c != '=') ? QByteArray(1, c)
                                                     : '=' + QByteArray(1, c).toHex().toUpper();
            out += "\r\n";
        } else {
            out += "NOTE:" + note + "\r\n";
        }
    }
    return out + "END:VCARD\r\n";
}

struct ReadBack {
    QList<pim::_Contact> contacts;
    QStringList problems;
};

ReadBack readCards(const QString& path)
{
    ReadBack out;
    VCardImport reader;
    reader.initialize(path);
    while (reader.hasNext())
        out.contacts.append(reader.nextContact());
    out.problems = reader.problems().listed();
    return out;
}

// Whether the contact holds the person as generated.
bool holds(const pim::_Contact& contact, const ordinarytext::Person& p)
{
    const auto field = [&contact](int type, const char* key) {
        return contact.entities.value(type).value(0).fields.value(QLatin1String(key)).toString();
    };
    return contact.fullName == p.given + u' ' + p.family && field(pim::ENTITY_ADDR, "data7") == p.place
        && field(pim::ENTITY_NOTES, "data1") == p.note;
}

} // namespace

// Many ordinary address books written in windows-1252 or Mac Roman, each
// read back in the code page it was written in: a guess that picked the
// wrong one for ordinary text would garble files that read right before.
class TestWesternTextGuess : public QObject {
    Q_OBJECT
private slots:
    void readsEachTableInItsOwnCodePage_data();
    void readsEachTableInItsOwnCodePage();
    void readsEachCardFileInItsOwnCodePage_data();
    void readsEachCardFileInItsOwnCodePage();
    void keepsTheLettersOfCardsBesideACardOfAnotherSet_data();
    void keepsTheLettersOfCardsBesideACardOfAnotherSet();
    void keepsUtf8LettersBesideAStrayByteOfTheFilesCodePage_data();
    void keepsUtf8LettersBesideAStrayByteOfTheFilesCodePage();
    void readsMarkedTableRowsUtf8ButForAStrayByte_data();
    void readsMarkedTableRowsUtf8ButForAStrayByte();

private:
    QTemporaryDir m_dir;
};

void TestWesternTextGuess::readsEachTableInItsOwnCodePage_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<QString>("lineEnd");
    // A UTF-8 byte-order mark before text that is not UTF-8, as web-mail
    // exports write it, says nothing of the text.
    QTest::addColumn<QByteArray>("mark");
    const QByteArray none;
    const QByteArray mark("\xEF\xBB\xBF");
    QTest::newRow("windows-1252, CR LF") << int(WesternSet::Windows1252) << QStringLiteral("\r\n") << none;
    QTest::newRow("Mac Roman, CR") << int(WesternSet::MacRoman) << QStringLiteral("\r") << none;
    QTest::newRow("Mac Roman, LF") << int(WesternSet::MacRoman) << QStringLiteral("\n") << none;
    QTest::newRow("windows-1252, CR LF, after a byte-order mark")
        << int(WesternSet::Windows1252) << QStringLiteral("\r\n") << mark;
    QTest::newRow("Mac Roman, LF, after a byte-order mark")
        << int(WesternSet::MacRoman) << QStringLiteral("\n") << mark;
}

void TestWesternTextGuess::readsEachTableInItsOwnCodePage()
{
    QFETCH(int, set);
    QFETCH(QString, lineEnd);
    QFETCH(QByteArray, mark);
    const WesternSet written = WesternSet(set);
    // The same tables with the mark as without.
    QRandomGenerator random(66 + set);
    constexpr int kTables = 300;
    int inDoubt = 0;
    for (int t = 0; t < kTables; ++t) {
        const QList<ordinarytext::Person> people = ordinarytext::people(random, 3, 30);
        QString text = QStringLiteral("First Name,Last Name,Home City,Notes") + lineEnd;
        for (const ordinarytext::Person& p : people)
            text += QStringList { p.given, p.family, p.place, csvhelper::formatCell(p.note) }.join(u',') + lineEnd;
        const QByteArray bytes = encoded(text, written);
        const QString path = writeScratch(m_dir, mark + bytes, QStringLiteral("csv"));
        CSVImport reader;
        reader.initialize(path);
        const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
        const QString expected = ascii ? QStringLiteral("UTF-8") : QString::fromLatin1(nameOf(written));
        // A short Mac table may hold nothing that tells the two code pages
        // apart ("O’Brien", "García"): it is read as windows-1252, as all
        // text in doubt is.
        if (reader.encoding() != expected && written == WesternSet::MacRoman
            && reader.encoding() == QLatin1String("windows-1252")) {
            ++inDoubt;
            continue;
        }
        QVERIFY2(reader.encoding() == expected, qPrintable(reader.encoding() + QLatin1String(": ") + text));
        for (const ordinarytext::Person& p : people) {
            QVERIFY(reader.hasNext());
            const pim::_Contact contact = reader.nextContact();
            QCOMPARE(contact.fullName, p.given + u' ' + p.family);
            QCOMPARE(contact.entities.value(pim::ENTITY_ADDR).value(0).fields.value("data7").toString(), p.place);
        }
        // Said as for the same text without the mark.
        QCOMPARE(
            reader.problems().listed().join(u'\n').contains(QLatin1String("so check its letters")), !ascii);
    }
    QVERIFY2(inDoubt * 100 <= kTables, qPrintable(QString::number(inDoubt)));
}

void TestWesternTextGuess::readsEachCardFileInItsOwnCodePage_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<bool>("modern");
    QTest::newRow("windows-1252, 2.1") << int(WesternSet::Windows1252) << false;
    QTest::newRow("windows-1252, 3.0") << int(WesternSet::Windows1252) << true;
    QTest::newRow("Mac Roman, 2.1") << int(WesternSet::MacRoman) << false;
    QTest::newRow("Mac Roman, 3.0") << int(WesternSet::MacRoman) << true;
}

void TestWesternTextGuess::readsEachCardFileInItsOwnCodePage()
{
    QFETCH(int, set);
    QFETCH(bool, modern);
    const WesternSet written = WesternSet(set);
    QRandomGenerator random(660 + set * 2 + (modern ? 1 : 0));
    const auto encode = [written](const QString& text) { return encoded(text, written); };
    constexpr int kFiles = 200;
    int inDoubt = 0;
    for (int f = 0; f < kFiles; ++f) {
        const QList<ordinarytext::Person> people = ordinarytext::people(random, 3, 30);
        QByteArray bytes;
        for (const ordinarytext::Person& p : people)
            bytes += card(p, encode, modern, !modern && random.bounded(3) == 0);
        const ReadBack read = readCards(writeScratch(m_dir, bytes, QStringLiteral("vcf")));
        QCOMPARE(read.contacts.size(), people.size());
        const bool right = std::equal(people.begin(), people.end(), read.contacts.begin(),
            [](const ordinarytext::Person& p, const pim::_Contact& c) { return holds(c, p); });
        // As for tables: a short Mac file may tell the code pages apart
        // by nothing, and is read as windows-1252 and said so.
        if (!right && written == WesternSet::MacRoman
            && read.problems.join(u'\n').contains(QLatin1String("read as windows-1252"))) {
            ++inDoubt;
            continue;
        }
        QVERIFY2(right, bytes.constData());
    }
    QVERIFY2(inDoubt * 100 <= kFiles, qPrintable(QString::number(inDoubt)));
}

void TestWesternTextGuess::keepsTheLettersOfCardsBesideACardOfAnotherSet_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("note");
    QTest::newRow("Japanese") << QByteArray("Shift_JIS") << QStringLiteral("山田") << QStringLiteral("太郎")
                              << QStringLiteral("NTTドコモ 東京都港区");
    QTest::newRow("Japanese, EUC") << QByteArray("EUC-JP") << QStringLiteral("鈴木") << QStringLiteral("花子")
                                   << QStringLiteral("大阪市北区 3階 A棟");
    QTest::newRow("Chinese") << QByteArray("GBK") << QStringLiteral("王") << QStringLiteral("小明")
                             << QStringLiteral("北京市海淀区中关村大街1号");
    QTest::newRow("Chinese, traditional") << QByteArray("Big5") << QStringLiteral("陳")
                                          << QStringLiteral("大文") << QStringLiteral("台北市信義區");
    QTest::newRow("Korean") << QByteArray("EUC-KR") << QStringLiteral("김") << QStringLiteral("철수")
                            << QStringLiteral("서울특별시 강남구 LG전자");
    QTest::newRow("Greek") << QByteArray("windows-1253") << QStringLiteral("Παπαδόπουλος")
                           << QStringLiteral("Γιώργος") << QStringLiteral("Οδός Ερμού 12, 2ος όροφος");
    QTest::newRow("Russian") << QByteArray("windows-1251") << QStringLiteral("Шевченко")
                             << QStringLiteral("Оксана") << QStringLiteral("ул. Ленина, д. 5, кв. 12");
    QTest::newRow("Russian, KOI8") << QByteArray("KOI8-R") << QStringLiteral("Иванов")
                                   << QStringLiteral("Дмитрий") << QStringLiteral("ул. Тверская, д. 7");
    QTest::newRow("Hebrew") << QByteArray("windows-1255") << QStringLiteral("כהן") << QStringLiteral("דוד")
                            << QStringLiteral("רחוב הרצל 5, תל אביב");
    QTest::newRow("Arabic") << QByteArray("windows-1256") << QStringLiteral("علي") << QStringLiteral("محمد")
                            << QStringLiteral("شارع التحرير، القاهرة");
    QTest::newRow("Thai") << QByteArray("TIS-620") << QStringLiteral("ใจดี") << QStringLiteral("สมชาย")
                          << QStringLiteral("กรุงเทพมหานคร");
}

// Files that several programs appended to: a card that declares its set
// on one line and holds more text of that set on lines that declare
// nothing, then ordinary windows-1252 cards of another program. Each card
// keeps its letters: the set the first card declares is used only where
// it fits.
void TestWesternTextGuess::keepsTheLettersOfCardsBesideACardOfAnotherSet()
{
    QFETCH(QByteArray, charset);
    QFETCH(QString, family);
    QFETCH(QString, given);
    QFETCH(QString, note);
    QStringEncoder own(charset.constData());
    if (!own.isValid())
        QSKIP("no converter for the set on this system");
    const auto encodeOwn = [&own](const QString& text) { return QByteArray(own.encode(text)); };
    const auto encodeWestern = [](const QString& text) { return encoded(text, WesternSet::Windows1252); };
    QRandomGenerator random(qHash(charset));
    constexpr int kFiles = 40;
    for (int f = 0; f < kFiles; ++f) {
        const QList<ordinarytext::Person> people = ordinarytext::people(random, 2, 12);
        QByteArray bytes = "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=" + charset + ':'
            + encodeOwn(family + u';' + given) + "\r\nFN:" + encodeOwn(given + u' ' + family)
            + "\r\nNOTE:" + encodeOwn(note) + "\r\nEND:VCARD\r\n";
        for (const ordinarytext::Person& p : people)
            bytes += card(p, encodeWestern, false, random.bounded(3) == 0);
        const ReadBack read = readCards(writeScratch(m_dir, bytes, QStringLiteral("vcf")));
        QCOMPARE(read.contacts.size(), people.size() + 1);
        const pim::_Contact& first = read.contacts.first();
        QCOMPARE(first.entities.value(pim::ENTITY_NOTES).value(0).fields.value("data1").toString(), note);
        QCOMPARE(first.entities.value(pim::ENTITY_NAME).value(0).fields.value("data3").toString(), family);
        for (qsizetype i = 0; i < people.size(); ++i)
            QVERIFY2(holds(read.contacts.at(i + 1), people.at(i)), bytes.constData());
    }
}

void TestWesternTextGuess::keepsUtf8LettersBesideAStrayByteOfTheFilesCodePage_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<bool>("quoted");
    QTest::newRow("windows-1252, raw") << int(WesternSet::Windows1252) << false;
    QTest::newRow("windows-1252, quoted-printable") << int(WesternSet::Windows1252) << true;
    QTest::newRow("Mac Roman, raw") << int(WesternSet::MacRoman) << false;
    QTest::newRow("Mac Roman, quoted-printable") << int(WesternSet::MacRoman) << true;
}

// A card whose company is UTF-8 but for a dash of the file's code page,
// among ordinary cards in that code page: the company keeps its UTF-8
// letters and the dash, and the stray byte does not sway which code page
// the file's other text is read in.
void TestWesternTextGuess::keepsUtf8LettersBesideAStrayByteOfTheFilesCodePage()
{
    QFETCH(int, set);
    QFETCH(bool, quoted);
    const WesternSet written = WesternSet(set);
    const auto encode = [written](const QString& text) { return encoded(text, written); };
    const QString company = QStringLiteral("Café Müller – Bäckerei");
    const QByteArray bytes = QStringLiteral("Café Müller ").toUtf8() + encode(QStringLiteral("–"))
        + QStringLiteral(" Bäckerei").toUtf8();
    QByteArray org = "ORG;CHARSET=UTF-8:" + bytes;
    if (quoted) {
        org = "ORG;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:";
        for (const char c : bytes)
            org += uchar(c) < 0x80 ? QByteArray(1, c) : '=' + QByteArray(1, c).toHex().toUpper();
    }
    QRandomGenerator random(770 + set * 2 + (quoted ? 1 : 0));
    constexpr int kFiles = 60;
    int inDoubt = 0;
    for (int f = 0; f < kFiles; ++f) {
        const QList<ordinarytext::Person> people = ordinarytext::people(random, 3, 30);
        const qsizetype at = random.bounded(int(people.size()));
        QByteArray file;
        for (qsizetype i = 0; i < people.size(); ++i) {
            QByteArray one = card(people.at(i), encode, false, false);
            if (i == at)
                one.insert(one.indexOf("END:VCARD"), org + "\r\n");
            file += one;
        }
        const ReadBack read = readCards(writeScratch(m_dir, file, QStringLiteral("vcf")));
        QCOMPARE(read.contacts.size(), people.size());
        const QString problems = read.problems.join(u'\n');
        QVERIFY2(problems.contains(QLatin1String("the text is UTF-8 but for a few bytes that are not")),
                 qPrintable(problems));
        const QString readOrg
            = read.contacts.at(at).entities.value(pim::ENTITY_ORG).value(0).fields.value("data1").toString();
        const bool right = readOrg == company
            && std::equal(people.begin(), people.end(), read.contacts.begin(),
                [](const ordinarytext::Person& p, const pim::_Contact& c) { return holds(c, p); });
        // A short Mac file may tell the code pages apart by nothing.
        if (!right && written == WesternSet::MacRoman
            && problems.contains(QLatin1String("read as windows-1252"))) {
            ++inDoubt;
            continue;
        }
        QVERIFY2(right, qPrintable(readOrg + u'\n' + QString::fromLatin1(file)));
    }
    QVERIFY2(inDoubt * 100 <= kFiles * 2, qPrintable(QString::number(inDoubt)));
}

void TestWesternTextGuess::readsMarkedTableRowsUtf8ButForAStrayByte_data()
{
    // How the rows of a table after a UTF-8 byte-order mark are written:
    // UTF-8 with some notes holding one windows-1252 character typed or
    // pasted in, beside UTF-8 letters or in a row of ASCII; windows-1252
    // throughout (as web-mail exports write it behind the mark), one note
    // holding a capital and a quote whose bytes form a UTF-8 sequence;
    // UTF-8 with a row pasted in windows-1252; UTF-8 that only looks
    // garbled.
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("strayRows");
    QTest::newRow("UTF-8, one note with a stray byte") << QStringLiteral("stray") << 1;
    QTest::newRow("UTF-8, three notes with a stray byte") << QStringLiteral("stray") << 3;
    QTest::newRow("UTF-8, a stray byte in a row of ASCII") << QStringLiteral("ascii") << 1;
    QTest::newRow("windows-1252, a note of a capital and a quote") << QStringLiteral("western") << 0;
    QTest::newRow("windows-1252, only a note of a capital and a sign beyond ASCII") << QStringLiteral("chance") << 0;
    QTest::newRow("UTF-8, signs typed between capitals") << QStringLiteral("capitals") << 3;
    QTest::newRow("UTF-8 beside a windows-1252 row") << QStringLiteral("pasted") << 0;
    QTest::newRow("UTF-8 that looks garbled") << QStringLiteral("odd") << 0;
}

// Each generated table read back: every row's text as written; the ending
// names the rows whose stray bytes were read in windows-1252, and a table
// of that code page, or one with a row of it, says so as without the mark.
void TestWesternTextGuess::readsMarkedTableRowsUtf8ButForAStrayByte()
{
    QFETCH(QString, shape);
    QFETCH(int, strayRows);
    const auto western = [](const QString& text) { return encoded(text, WesternSet::Windows1252); };
    static const QStringList strays { "–", "—", "’", "“", "…", "€", "é", "ü" };
    static const QStringList odd { "Ã© is not é", "itâ€™s", "Ã¼ber", "Â½ price", "“CAFÉ”" };
    static const QStringList chance { "“CAFÉ”", "CAFÉ–Bar", "„FUß“", "HABLÓ”", "PRÉ–VENTE" };
    const bool capitals = shape == QLatin1String("capitals");
    QRandomGenerator random(881 + uint(qHash(shape)) + uint(strayRows));
    constexpr int kTables = 200;
    for (int t = 0; t < kTables; ++t) {
        QList<ordinarytext::Person> people = ordinarytext::people(random, 3, 30);
        const qsizetype special = random.bounded(int(people.size()));
        if (shape == QLatin1String("western"))
            people[special].note = QStringLiteral("Bar “CAFÉ”");
        else if (shape == QLatin1String("odd"))
            people[special].note = odd.at(random.bounded(int(odd.size())));
        if (shape == QLatin1String("chance")) {
            for (ordinarytext::Person& p : people)
                p = { QStringLiteral("Sean"), QStringLiteral("Smith"), QStringLiteral("Cork"), QString() };
            people[special].note = chance.at(random.bounded(int(chance.size())));
        }
        QList<qsizetype> strayAt;
        while (strayAt.size() < strayRows) {
            const qsizetype at = random.bounded(int(people.size()));
            if (strayAt.size() < people.size() && !strayAt.contains(at))
                strayAt.append(at);
            if (strayAt.size() == people.size())
                break;
        }
        std::sort(strayAt.begin(), strayAt.end());
        QByteArray file = QByteArray("\xEF\xBB\xBF") + "First Name,Last Name,Home City,Notes\r\n";
        // Whether a row is written in windows-1252 that holds a letter beyond ASCII.
        bool westernRow = false;
        for (qsizetype i = 0; i < people.size(); ++i) {
            ordinarytext::Person& p = people[i];
            if (shape == QLatin1String("ascii") && strayAt.contains(i))
                p = { QStringLiteral("Sean"), QStringLiteral("Smith"), QStringLiteral("Cork"), QString() };
            const QString row = QStringList { p.given, p.family, p.place, QString() }.join(u',');
            if (shape == QLatin1String("western") || shape == QLatin1String("chance")
                || (shape == QLatin1String("pasted") && i == special)) {
                const QByteArray bytes = western(row + csvhelper::formatCell(p.note) + QLatin1String("\r\n"));
                westernRow = westernRow || std::any_of(bytes.begin(), bytes.end(), [](char c) { return c < 0; });
                file += bytes;
            } else if (strayAt.contains(i)) {
                // Between capitals, without blanks, only signs.
                const QString stray = strays.at(random.bounded(capitals ? 6 : int(strays.size())));
                const QString before = shape == QLatin1String("ascii") ? QStringLiteral("Call")
                    : capitals                                         ? QStringLiteral("GRÜSSE")
                                                                       : QStringLiteral("Grüße");
                const QString blank = capitals ? QString() : QStringLiteral(" ");
                const QString after = capitals ? QStringLiteral("BIS") : p.note.isEmpty() ? QString() : u' ' + p.note;
                file += row.toUtf8() + '"' + (before + blank).toUtf8() + western(stray)
                    + QString(after).replace(u'"', QLatin1String("\"\"")).toUtf8() + "\"\r\n";
                p.note = before + blank + stray + after;
            } else {
                file += (row + csvhelper::formatCell(p.note) + QLatin1String("\r\n")).toUtf8();
            }
        }
        CSVImport reader;
        reader.initialize(writeScratch(m_dir, file, QStringLiteral("csv")));
        for (const ordinarytext::Person& p : std::as_const(people)) {
            QVERIFY(reader.hasNext());
            const pim::_Contact contact = reader.nextContact();
            QCOMPARE(contact.fullName, p.given + u' ' + p.family);
            QCOMPARE(contact.entities.value(pim::ENTITY_ADDR).value(0).fields.value("data7").toString(), p.place);
            QCOMPARE(contact.entities.value(pim::ENTITY_NOTES).value(0).fields.value("data1").toString(),
                     pim::withoutEndBlanks(p.note));
        }
        const QString problems = reader.problems().listed().join(u'\n');
        const bool strayNamed = problems.contains(QLatin1String("the text is UTF-8 but for a few bytes"));
        if (shape == QLatin1String("stray") || capitals) {
            QStringList rows;
            for (const qsizetype at : std::as_const(strayAt))
                rows.append(QString::number(at + 2));
            QVERIFY2(problems.contains(rows.join(QLatin1String(", ")) + QLatin1String(": the text is UTF-8")),
                     qPrintable(problems));
            QCOMPARE(reader.encoding(), QLatin1String("UTF-8"));
        } else if (shape == QLatin1String("ascii")) {
            // Either reading gives the row's text.
            QVERIFY2(strayNamed != (reader.encoding() == QLatin1String("windows-1252")), qPrintable(problems));
        } else {
            QVERIFY2(!strayNamed, qPrintable(problems));
            QCOMPARE(reader.encoding(), QLatin1String(westernRow ? "windows-1252" : "UTF-8"));
        }
    }
}

MARROWLINK_TEST_PARTS_GUILESS_MAIN(TestWesternTextGuess)
#include "tst_westerntextguess.moc"
