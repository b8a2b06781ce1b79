// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardstreamparser.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {

// Ordinary words of three languages; some hold letters beyond ASCII, left
// out of a card written in plain ASCII.
const QList<QByteArray> kWords[] = {
    QByteArray(
        "the of and to in is you that it was for on are as with his they at be this have from or one had "
        "by word but not what all were we when your can said there each which she do how their if will up "
        "other about out many then them these so some her would make like into time has look two more "
        "write see number way could people than first water been call who now find long down day did get "
        "come made may part over new sound take only little work know place year live back give most very "
        "after thing our just name good sentence man think say great where help through much before line "
        "right too mean old any same tell boy follow came want show also around form three small set put "
        "end does another well large must big even such because turn here why ask went men read need land "
        "different home move try kind hand picture again change off play spell air away animal house point")
        .split(' '),
    QByteArray(
        "der die und in den von zu das mit sich des auf für ist im dem nicht ein eine als auch es an werden "
        "aus er hat dass sie nach wird bei einer um am sind noch wie einem über einen so zum war haben nur "
        "oder aber vor zur bis mehr durch man sein wurde sei Straße Gebäude Größe schön müssen können "
        "Bürgermeister Überweisung Rückruf grüßen Frühstück Mädchen Tür fünf zwölf Geschäftsführer Termin "
        "Kindergarten Öffnungszeiten Hausmeister Schlüssel Nachbarin Grundstück Verantwortung Anfahrt Büro "
        "Sprechstunde Praxis Unterlagen Rechnung Auftrag Lieferung Woche Montag morgens abends bitte danke")
        .split(' '),
    QByteArray(
        "le de un être et à il avoir ne je son que se qui ce dans en du elle au pour pas vous par sur faire "
        "plus dire me on mon lui nous comme mais pouvoir avec tout aller voir bien où sans tu ou leur homme "
        "si deux mari moi vouloir te femme venir quand grand celui notre devoir là jour prendre même votre "
        "rien petit encore aussi quelque dont trouver donner temps peu falloir sous parler alors sortir cœur "
        "élève été déjà très après général téléphone société numéro fenêtre bâtiment château rendez-vous "
        "bureau lundi matin soir merci courrier facture livraison semaine")
        .split(' '),
};

// How a writer folds: before blanks, or at one width inside words; in
// octets or characters.
struct Writer {
    bool atBlanks = true;
    bool characters = false;
    bool blankCounted = true;
};

int widthOf(QByteArrayView text, bool characters)
{
    if (!characters)
        return int(text.size());
    int width = 0;
    for (const char c : text)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return width;
}

// The 2.1 way: before the last blank that keeps the line within the width,
// the blank opening the next line.
QList<QByteArray> foldAtBlanks(const QByteArray& line, int width, bool characters)
{
    QList<QByteArray> lines;
    QByteArray rest = line;
    while (widthOf(rest, characters) > width) {
        qsizetype cut = 0;
        int used = 0;
        for (qsizetype i = 0; i < rest.size() && used <= width; ++i) {
            if (i > 0 && rest[i] == ' ')
                cut = i;
            used += widthOf(rest.mid(i, 1), characters);
        }
        lines.append(rest.left(cut));
        rest = rest.mid(cut);
    }
    lines.append(rest);
    return lines;
}

// Every line cut at the width, inside words, never inside a letter; a
// continuation line opens with a blank that the width may count.
QList<QByteArray> cutAtWidth(const QByteArray& line, int width, const Writer& writer)
{
    QList<QByteArray> lines;
    qsizetype at = 0;
    for (;;) {
        const QByteArray blank = lines.isEmpty() ? QByteArray() : QByteArray(" ");
        const int room = width - (writer.blankCounted ? int(blank.size()) : 0);
        qsizetype end = at;
        int used = 0;
        while (end < line.size()) {
            qsizetype next = end + 1;
            while (next < line.size() && (static_cast<unsigned char>(line[next]) & 0xC0) == 0x80)
                ++next;
            used += writer.characters ? 1 : int(next - end);
            if (used > room)
                break;
            end = next;
        }
        lines.append(blank + line.mid(at, end - at));
        if (end == line.size())
            return lines;
        at = end;
    }
}

// Sentences of one language as people write them: a capital first, a
// comma now and then, a stop at the end.
QByteArray prose(QRandomGenerator& rng, const QList<QByteArray>& words, int length)
{
    QByteArray text;
    while (text.size() < length) {
        const int count = 5 + int(rng.bounded(10));
        for (int i = 0; i < count; ++i) {
            QByteArray word = words.at(int(rng.bounded(quint32(words.size()))));
            if (i == 0 && word[0] >= 'a' && word[0] <= 'z')
                word[0] = char(word[0] - 'a' + 'A');
            const char* const after = i == count - 1 ? "." : rng.bounded(12) == 0 ? "," : "";
            text += (text.isEmpty() ? "" : " ") + word + after;
        }
    }
    return text;
}

struct Card {
    QByteArray text;
    // The line of each value and the value as written.
    QList<std::pair<qint64, QByteArray>> values;
};

// A 2.1 card of notes and addresses whose values hold `folds` folds in all.
Card makeCard(QRandomGenerator& rng, const Writer& writer, int folds, qint64 firstLine)
{
    QList<QByteArray> words = kWords[rng.bounded(3)];
    if (rng.bounded(2) == 0)
        words.removeIf([](const QByteArray& word) {
            return std::any_of(
                word.begin(), word.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        });
    const int width = 72 + int(rng.bounded(5));
    const bool versionLast = rng.bounded(2) == 0;
    Card card;
    QList<QByteArray> lines { "BEGIN:VCARD" };
    if (!versionLast)
        lines.append("VERSION:2.1");
    lines.append("N:Doe;Alex;;;");
    while (folds > 0) {
        const int want = 1 + int(rng.bounded(quint32(qMin(folds, 3))));
        const bool note = rng.bounded(3) != 0;
        const QByteArray head
            = note ? QByteArray(rng.bounded(2) ? "NOTE:" : "NOTE;CHARSET=UTF-8:") : "ADR;HOME:";
        QByteArray value = prose(rng, words, 70 * want - 10 + int(rng.bounded(60)));
        if (!note)
            value = ";;" + value.replace(". ", ";");
        const QList<QByteArray> written = writer.atBlanks
            ? foldAtBlanks(head + value, width, writer.characters)
            : cutAtWidth(head + value, width, writer);
        if (written.size() - 1 > folds || written.size() == 1)
            continue;
        folds -= int(written.size() - 1);
        card.values.append({ firstLine + lines.size(), value });
        lines += written;
    }
    if (versionLast)
        lines.append("VERSION:2.1");
    lines.append("END:VCARD");
    card.text = lines.join("\r\n") + "\r\n";
    return card;
}

struct Read {
    QList<QList<VCardProperty>> cards;
    QList<qint64> droppedFolds;
};

Read parse(const QByteArray& file, QRandomGenerator* pieces)
{
    VCardStreamParser parser;
    for (qsizetype at = 0; at < file.size();) {
        const qsizetype size = pieces ? qsizetype(1 + pieces->bounded(300)) : file.size();
        parser.feed(file.constData() + at, qMin(size, file.size() - at));
        at += size;
    }
    parser.finish();
    Read read { parser.takeCards(), {} };
    for (const VCardStreamParser::Problem& problem : parser.problems()) {
        if (problem.kind == VCardStreamParser::Problem::FoldsDropped)
            read.droppedFolds.append(problem.line);
    }
    return read;
}

// The value of the lines as the writer meant it: the continuations' first
// blank a fold's, or the text's.
QByteArray valueOf(const QList<QByteArray>& lines, bool foldBlank)
{
    QByteArray value = lines.first().mid(lines.first().indexOf(':') + 1);
    for (qsizetype i = 1; i < lines.size(); ++i)
        value += lines.at(i).mid(foldBlank ? 1 : 0);
    return value;
}

} // namespace

class TestVCardStreamParser : public QObject {
    Q_OBJECT

private slots:
    void readsFoldsAsTheirWriterMeantThem_data();
    void readsFoldsAsTheirWriterMeantThem();
    void tellsCutsFromFoldsByTheirTextValues_data();
    void tellsCutsFromFoldsByTheirTextValues();
    void readsACrAloneAsTheFileEndsItsLines_data();
    void readsACrAloneAsTheFileEndsItsLines();
};

void TestVCardStreamParser::readsFoldsAsTheirWriterMeantThem_data()
{
    QTest::addColumn<bool>("atBlanks");
    QTest::addColumn<bool>("characters");
    QTest::addColumn<bool>("blankCounted");
    QTest::newRow("folded before blanks, width in octets") << true << false << true;
    QTest::newRow("folded before blanks, width in characters") << true << true << true;
    QTest::newRow("cut at octets, the blank counted") << false << false << true;
    QTest::newRow("cut at octets, the blank not counted") << false << false << false;
    QTest::newRow("cut at characters, the blank counted") << false << true << true;
    QTest::newRow("cut at characters, the blank not counted") << false << true << false;
}

// Cards of ordinary words in English, German and French, with and without
// letters beyond ASCII, written by a 2.1 writer of width 72 to 76 that
// folds before blanks (300 cards of 2 to 6 folds), or that cuts at one
// width inside words (60 cards of 5 to 9): every value reads back as
// written, whole and fed in pieces, and the lines whose folds lost their
// blank are named.
void TestVCardStreamParser::readsFoldsAsTheirWriterMeantThem()
{
    QFETCH(bool, atBlanks);
    QFETCH(bool, characters);
    QFETCH(bool, blankCounted);
    const Writer writer { atBlanks, characters, blankCounted };
    const int cards = atBlanks ? 300 : 60;
    const int fewestFolds = atBlanks ? 2 : 5;
    QRandomGenerator rng { quint32(qHash(QByteArray(QTest::currentDataTag()))) };
    QByteArray file;
    QList<Card> written;
    for (int i = 0; i < cards; ++i) {
        written.append(makeCard(rng, writer, fewestFolds + int(rng.bounded(5)), file.count('\n') + 1));
        file += written.last().text;
    }
    const Read read = parse(file, nullptr);
    QCOMPARE(read.cards.size(), cards);
    QList<qint64> folded;
    for (int i = 0; i < cards; ++i) {
        QList<std::pair<qint64, QByteArray>> values;
        for (const VCardProperty& property : read.cards.at(i)) {
            if (property.name == QLatin1String("NOTE") || property.name == QLatin1String("ADR"))
                values.append({ property.line, property.value });
        }
        QVERIFY2(values == written.at(i).values, written.at(i).text.constData());
        for (const auto& [line, value] : std::as_const(values)) {
            if (!atBlanks)
                folded.append(line);
        }
    }
    QCOMPARE(read.droppedFolds, folded);

    QRandomGenerator pieces(7);
    const Read inPieces = parse(file, &pieces);
    QCOMPARE(inPieces.droppedFolds, read.droppedFolds);
    for (int i = 0; i < cards; ++i) {
        for (qsizetype p = 0; p < read.cards.at(i).size(); ++p)
            QCOMPARE(inPieces.cards.at(i).at(p).value, read.cards.at(i).at(p).value);
    }
}

void TestVCardStreamParser::tellsCutsFromFoldsByTheirTextValues_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QByteArray>("note");
    const Writer cutter { false, false, true };
    const auto row = [](const char* name, const QList<QByteArray>& lines, bool cut) {
        QTest::newRow(name) << lines.join("\r\n") + "\r\n" << valueOf(lines, cut);
    };
    row("three cuts at one width, a blank beside one",
        cutAtWidth(
            "NOTE:Deliveries go to the loading bay behind the warehouse at gate two from seven until noon on "
            "weekdays only; on Saturdays ring the site manager first, and never leave pallets in the fire "
            "lane by the canteen or in front of the workshop doors.",
            75, cutter),
        true);
    const QList<QByteArray> cutNote = cutAtWidth(
        "NOTE:Leave the parcels for the workshop at the gate house, the porter signs for them on "
        "weekdays from seven, on Saturdays the caretaker does, and nobody at all on Sundays or bank "
        "holidays. Larger deliveries go round the back to the yard, where the forklift can reach them, "
        "and the driver should ring the workshop bell twice so that someone comes out to check the "
        "load against the order.",
        75, cutter);
    QTest::newRow("five cuts at one width, lines ending in a CR alone")
        << cutNote.join("\r") + "\r" << valueOf(cutNote, true);
    row("three cuts at one width and no blank beside them",
        cutAtWidth("NOTE:Ring the bell at the side door, the front door is no longer in use; parcels can be "
                   "left with "
                   "the neighbour at number eleven. Keys are with the caretaker. Invoices go to the accounts "
                   "office, "
                   "never to the site, and copies to the project lead by email.",
            75, cutter),
        false);
    row("five folds at one width, one where a sentence ends",
        { "NOTE:Our allotment society meets on the first Sunday of every month in the",
            " pavilion by the north gate, and new members are always welcome to join us",
            " for tea. Bring gloves and a spade if you want to help with the beds along",
            " the east fence, where the roses need cutting back before the frost comes.",
            " Seeds and cuttings are traded at the long table after the meeting closes,",
            " and the kettle is on until four." },
        false);
    // Base64 lines at the width of the one text fold.
    QList<QByteArray> photo
        = cutAtWidth("PHOTO;JPEG;BASE64:" + QByteArray(300, '\xFF').toBase64(), 76, cutter);
    const QList<QByteArray> note {
        "NOTE:Ingrid looks after the allotment on Fridays and keeps the spare key for",
        " the shed in the blue tin on the windowsill."
    };
    QTest::newRow("a bare BASE64 value folded at one width")
        << (photo + QList<QByteArray> { "" } + note).join("\r\n") + "\r\n"
        << valueOf(note, false);
    // An escape, or the escapes of one UTF-8 letter, make one character;
    // a cut in octets leaves them whole.
    const QByteArray text
        = "Grüße an Frau Schäfer: die Übergabe der Schlüssel für das Büro in der Königstraße ist am "
          "Dienstag um neun Uhr, bitte pünktlich. Danach geht es zur Baustelle in Lößnitz, Rückfahrt "
          "gegen Mittag, Essen bei Müller. Vorher bitte im Büro anrufen, die Nummer steht oben, "
          "Grüße zurück an alle.";
    QTest::newRow("quoted-printable cut at characters") << QByteArray(
        "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Gr=C3=BC=C3=9Fe an Frau Sch=C3=A4fer: die =C3=9Cbe\r\n"
        " rgabe der Schl=C3=BCssel f=C3=BCr das B=C3=BCro in der K=C3=B6nigstra=C3=9Fe ist am Dienstag um "
        "neu\r\n"
        " n Uhr, bitte p=C3=BCnktlich. Danach geht es zur Baustelle in L=C3=B6=C3=9Fnitz, R=C3=BCckfahrt\r\n"
        "  gegen Mittag, Essen bei M=C3=BCller. Vorher bitte im B=C3=BCro anrufen, die Nummer \r\n"
        " steht oben, Gr=C3=BC=C3=9Fe zur=C3=BCck an alle.\r\n")
                                                        << text;
    QTest::newRow("quoted-printable cut at octets")
        << QByteArray("NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Gr=C3=BC=C3=9Fe an Frau Sch\r\n"
                      " =C3=A4fer: die =C3=9Cbergabe der Schl=C3=BCssel f=C3=BCr das B=C3=BCro in \r\n"
                      " der K=C3=B6nigstra=C3=9Fe ist am Dienstag um neun Uhr, bitte p=C3=BCnktlic\r\n"
                      " h. Danach geht es zur Baustelle in L=C3=B6=C3=9Fnitz, R=C3=BCckfahrt gegen\r\n"
                      "  Mittag, Essen bei M=C3=BCller. Vorher bitte im B=C3=BCro anrufen, die Num\r\n"
                      " mer steht oben, Gr=C3=BC=C3=9Fe zur=C3=BCck an alle.\r\n")
        << text;
}

void TestVCardStreamParser::tellsCutsFromFoldsByTheirTextValues()
{
    QFETCH(QByteArray, lines);
    QFETCH(QByteArray, note);
    const QByteArray end = lines.endsWith("\r\n") ? "\r\n" : "\r";
    const Read read = parse("BEGIN:VCARD" + end + "VERSION:2.1" + end + lines + "END:VCARD" + end, nullptr);
    QCOMPARE(read.cards.size(), 1);
    const auto found = std::find_if(read.cards.first().cbegin(), read.cards.first().cend(),
        [](const VCardProperty& p) { return p.name == QLatin1String("NOTE"); });
    QVERIFY(found != read.cards.first().cend());
    QCOMPARE(found->value, note);
}

void TestVCardStreamParser::readsACrAloneAsTheFileEndsItsLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<QByteArray>>("notes");
    const QByteArray text = "Leave the parcels for the workshop at the gate house.\rThe porter signs for them on "
                            "weekdays from seven, on Saturdays the caretaker does, and nobody at all on Sundays "
                            "or bank holidays.\rLarger deliveries go round the back to the yard, where the "
                            "forklift can reach them, and the driver should ring the workshop bell twice so that "
                            "someone comes out to check the load against the order before anything is lifted "
                            "off the lorry.";
    QByteArray broken = text;
    broken.replace('\r', '\n');
    const QList<QByteArray> cut = cutAtWidth("NOTE:" + text, 75, Writer { false, false, true });
    const QByteArray cutCard = "BEGIN:VCARD\r\n" + cut.join("\r\n") + "\r\nVERSION:2.1\r\nEND:VCARD\r\n";
    QTest::newRow("CR LF file, a 2.1 card cut at one width") << cutCard + cutCard << QList<QByteArray> { broken, broken };
    QByteArray lfCard = cutCard;
    lfCard.replace("\r\n", "\n");
    QTest::newRow("LF file, a 2.1 card cut at one width") << lfCard << QList<QByteArray> { broken };
    QTest::newRow("CR LF file, a 3.0 card")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:Call first\rthen come\r\n up\r\nEND:VCARD\r\n")
        << QList<QByteArray> { "Call first\nthen comeup" };
    QByteArray macCard = cutCard;
    macCard.replace("\r\n", "\r");
    QTest::newRow("CR file, each CR a line end")
        << macCard << QList<QByteArray> { text.left(text.indexOf('\r')) };
}

// Whole and in pieces of any size, a CR LF split between two of them too.
void TestVCardStreamParser::readsACrAloneAsTheFileEndsItsLines()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<QByteArray>, notes);
    QRandomGenerator pieces(11);
    for (QRandomGenerator* cut : { static_cast<QRandomGenerator*>(nullptr), &pieces, &pieces, &pieces }) {
        QList<QByteArray> read;
        for (const QList<VCardProperty>& card : parse(file, cut).cards) {
            for (const VCardProperty& property : card) {
                if (property.name == QLatin1String("NOTE"))
                    read.append(property.value);
            }
        }
        QCOMPARE(read, notes);
    }
}

QTEST_GUILESS_MAIN(TestVCardStreamParser)
#include "tst_vcardstreamparser.moc"
