// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardcardmapper.h"
#include "fileformats/vcard/syntax/vcardlineend.h"
#include "fileformats/vcard/syntax/vcardstreamparser.h"
#include "foldedcards.h"

#include <QTest>

#include <algorithm>

using namespace foldedcards;

namespace {

struct Read {
    QList<QList<VCardProperty>> cards;
    QList<qint64> droppedFolds;
    QList<qint64> softBreaksBeforeProperties;
};

// Whole, or in pieces of 1 to `largest` bytes.
void feed(VCardStreamParser& parser, const QByteArray& file, QRandomGenerator* pieces, quint32 largest = 300)
{
    for (qsizetype at = 0; at < file.size();) {
        const qsizetype size = pieces ? qsizetype(1 + pieces->bounded(largest)) : file.size();
        parser.feed(file.constData() + at, qMin(size, file.size() - at));
        at += size;
    }
    parser.finish();
}

Read parse(const QByteArray& file, QRandomGenerator* pieces, quint32 largest = 300)
{
    VCardStreamParser parser;
    feed(parser, file, pieces, largest);
    Read read { parser.takeCards(), {}, {} };
    for (const VCardStreamParser::Problem& problem : parser.problems()) {
        if (problem.kind == VCardStreamParser::Problem::FoldsDropped)
            read.droppedFolds.append(problem.line);
        if (problem.kind == VCardStreamParser::Problem::SoftBreakBeforeProperty)
            read.softBreaksBeforeProperties.append(problem.line);
    }
    return read;
}

// A card per line: each property as its line, group, name and value.
QByteArray dump(const QList<QList<VCardProperty>>& cards)
{
    QByteArray text;
    for (const QList<VCardProperty>& card : cards) {
        for (const VCardProperty& property : card) {
            text += QByteArray::number(property.line) + ' ' + property.group.toLatin1() + '.'
                + property.name.toLatin1() + ':' + property.value + '|';
        }
        text += '\n';
    }
    return text;
}

struct Survey {
    VCardFoldLookahead::Folds folds;
    QList<std::pair<qint64, qint64>> wholeCards;
};

Survey survey(const QByteArray& file, QRandomGenerator* pieces)
{
    VCardStreamParser parser(VCardStreamParser::FoldsOnly);
    feed(parser, file, pieces);
    Survey read { parser.foldPool(), {} };
    for (const VCardStreamParser::WholeCard& card : parser.pooledCards())
        read.wholeCards.append({ card.begin, card.endLine });
    return read;
}

bool operator==(const VCardFoldLookahead::Folds& a, const VCardFoldLookahead::Folds& b)
{
    return a.count == b.count && std::equal(std::begin(a.widest), std::end(a.widest), std::begin(b.widest))
        && std::equal(std::begin(a.splitAt), std::end(a.splitAt), std::begin(b.splitAt));
}

// Every name the reader knows, in capitals: those of its rules, those
// before which a CR alone ends a line, and a card's own.
QList<QByteArray> knownNames()
{
    QList<QByteArray> names { "BEGIN", "END" };
    for (const QString& name : VCardCardMapper::ruleNames())
        names.append(name.toLatin1());
    for (const char* const* name = vcardsyntax::kKnownPropertyNames; *name; ++name)
        names.append(*name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool isFreeText(const QByteArray& name)
{
    return name == "NOTE" || name == "LABEL";
}

// A file of cards in CR LF whose free text (a note, a label, an address)
// holds lines broken by a CR alone that start as a property would, "N: 42
// visits", "item2.TEL;cell", "END:VCARD" among them; and whose properties
// of one line, each name the reader knows, are parted by a CR alone as
// mixed writers part them. A 2.1 card writes its VERSION last, after a
// fold, as a desktop address book does: a note's line taken for a 3.0
// VERSION would join that fold. As the reader is to read it: a card a
// line, each property as dump() writes it.
std::pair<QByteArray, QByteArray> crAloneCards(QRandomGenerator& rng, int cards)
{
    const QList<QByteArray> names = knownNames();
    // Lines of one line: the names of vCard and X- names, before which a
    // CR alone ends a line; not one a card's shape hangs on, nor one of
    // bytes no name holds ("X-WAB-SPOUSE_NAME"), nor a program's own
    // without X- ("SPOUSNAME"), which a note's line may as well start with.
    QList<QByteArray> oneLine;
    for (const char* const* name = vcardsyntax::kKnownPropertyNames; *name; ++name) {
        if (!isFreeText(*name) && qstrcmp(*name, "AGENT") != 0)
            oneLine.append(*name);
    }
    for (const QByteArray& name : names) {
        if (name.startsWith("X-") && !name.contains('_'))
            oneLine.append(name);
    }
    const QList<QByteArray> texts { "42 visits", "see file 12", "clear", "under the mat", "Dr.", "09:00",
        "VCARD", "3.0", "cell;home", "" };
    const auto pick = [&rng](const QList<QByteArray>& from) { return from.at(int(rng.bounded(quint32(from.size())))); };
    QByteArray file;
    QByteArray read;
    int line = 1;
    for (int c = 0; c < cards; ++c) {
        const bool old = rng.bounded(3) == 0;
        const auto property = [&](const QByteArray& group, const QByteArray& name, const QByteArray& value) {
            read += QByteArray::number(line) + ' ' + group + '.' + name + ':' + value + '|';
        };
        file += "BEGIN:VCARD\r\n";
        ++line;
        if (!old) {
            file += "VERSION:3.0\r";
            property("", "VERSION", "3.0");
            ++line;
        }
        file += "N:Doe;Jo;;;\r\n";
        property("", "N", "Doe;Jo;;;");
        ++line;
        // Lines of one line each, parted by a CR alone.
        for (int i = 0, count = 1 + int(rng.bounded(4)); i < count; ++i) {
            const QByteArray group = rng.bounded(3) == 0 ? "item1" : "";
            const QByteArray name = pick(oneLine);
            const QByteArray value = "v" + QByteArray::number(i);
            file += (group.isEmpty() ? "" : group + '.') + name + (rng.bounded(2) ? ";TYPE=WORK:" : ":") + value
                + (i + 1 < count ? "\r" : "\r\n");
            property(group, name, value);
            ++line;
        }
        // Free text of lines that start as properties do.
        static const char* const kFreeText[] = { "NOTE", "note", "item2.Note", "LABEL;TYPE=HOME", "label" };
        const QByteArray head = kFreeText[rng.bounded(5)];
        const qsizetype dot = head.indexOf('.');
        QByteArray value = "First line";
        for (int i = 0, count = 1 + int(rng.bounded(6)); i < count; ++i) {
            const QByteArray group = rng.bounded(3) == 0 ? "item2." : "";
            value += '\r' + group + pick(names) + (rng.bounded(3) ? ": " : ";") + pick(texts);
        }
        file += head + ':' + value + "\r\n";
        const QByteArray name = head.split(';').first().mid(dot + 1).toUpper();
        property(dot < 0 ? "" : head.left(dot), name, value.replace('\r', '\n'));
        ++line;
        if (old) {
            file += "TITLE:Head of the\r\n regional office\r\nVERSION:2.1\r\n";
            property("", "TITLE", "Head of the regional office");
            line += 2;
            property("", "VERSION", "2.1");
            ++line;
        }
        file += "END:VCARD\r\n";
        ++line;
        read += '\n';
    }
    return { file, read };
}

// The scan finds each card where the reader of the whole file reads it,
// and each card read again alone from its range is that card; whole, byte
// by byte and in pieces.
void readsAlike(const QByteArray& file, const QByteArray& cards)
{
    QCOMPARE(dump(parse(file, nullptr).cards), cards);
    QRandomGenerator pieces(13);
    for (const quint32 largest : { 0u, 1u, 5u, 5u, 40u }) {
        QRandomGenerator* const cut = largest > 0 ? &pieces : nullptr;
        QCOMPARE(dump(parse(file, cut, largest).cards), cards);
        VCardStreamParser scanner(VCardStreamParser::RangesOnly);
        feed(scanner, file, cut, largest);
        QByteArray readAlone;
        for (const VCardStreamParser::CardRange& range : scanner.ranges()) {
            VCardStreamParser card;
            card.setOrigin(range.begin, range.line);
            card.setLineEnds(range.lineEnds);
            feed(card, file.mid(range.begin, range.end - range.begin), cut, largest);
            readAlone += dump(card.takeCards());
        }
        QCOMPARE(readAlone, cards);
    }
}

// Quoted-printable as a standard encoder writes it: every "=", control
// byte and byte beyond ASCII as a code, a line break of the text as
// "=0D=0A" with a soft break right after it, other soft breaks before the
// 76th column; `at` is where the value starts on its line. Returns the
// lines written.
QList<QByteArray> quotedPrintable(const QByteArray& text, int at)
{
    QList<QByteArray> lines { QByteArray() };
    int column = at;
    const auto put = [&](const QByteArray& code) {
        if (column + code.size() > 75) {
            lines.last() += '=';
            lines.append(QByteArray());
            column = 0;
        }
        lines.last() += code;
        column += int(code.size());
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = uchar(text.at(i));
        if (c == '\n') {
            put("=0D=0A");
            lines.last() += '=';
            lines.append(QByteArray());
            column = 0;
        } else if (c == '=' || c < 0x20 || c >= 0x7F) {
            put('=' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0'));
        } else {
            put(QByteArray(1, char(c)));
        }
    }
    return lines;
}

// A file of 2.1 cards in CR LF or LF whose values part or keep lines that
// read as a property's, as the reader is to read them (a card a line, each
// property as dump() writes it) with the lines whose "=" ended a value:
// quoted-printable text, as a standard encoder writes it, of lines that
// start as properties do ("TEL: 555 0100", "TEL;TYPE=CELL:" encoded): kept
// whole; a value that a writer ended in "=" or a run of them right before
// a property's line: parted there; notes and labels broken by a CR alone
// before a property's line with parameters: parted there, before a line
// that starts as one without or with damaged parameters not; an address
// broken by a CR alone before a property's name: parted there, before its
// own next line not.
struct Generated {
    QByteArray file;
    QByteArray cards;
    QList<qint64> softBreaksBeforeProperties;
};
Generated propertyLineCards(QRandomGenerator& rng, int cards)
{
    const QByteArray eol = rng.bounded(2) ? "\r\n" : "\n";
    const QList<QByteArray> textLines { "TEL: 555 0100", "N: 42 visits", "TITLE: Dr.", "BEGIN: 09:00", "TEL; part 3",
        "Tel:5", "item1.tel:6", "X-ray: clear", "item1.EMAIL;type=INTERNET:jo@example.org", "TEL;TYPE=CELL:555",
        "ADR;HOME;X=a b:1", "M\xC3\xBCller Stra\xC3\x9F" "e 5", "E=MC2 and a==b", "Call back after lunch",
        "END: 2024-03-31" };
    const QList<QByteArray> propertyLines { "TEL;WORK:555 0333", "ADR;HOME:;;Flat 2;Leeds;;LS1 4AB",
        "item1.EMAIL;type=INTERNET:jo@example.org", "TEL;CELL:0995550101", "item1.X-ABLabel:_$!<Home>!$_",
        "X-SKYPE:jo.doe", "TEL:0995550101", "N:Doe;Jo;;;", "EMAIL;PREF;INTERNET:jo@example.org",
        "URL:http://example.org/jo", "X-ANDROID-CUSTOM;CHARSET=UTF-8:vnd.android.cursor.item/nickname;Jo" };
    const QList<QByteArray> withParameters { "TEL;TYPE=CELL:+44 7700 900123", "item1.EMAIL;TYPE=INTERNET:jo@example.org",
        "EMAIL;type=INTERNET;type=pref:jo@example.org", "X-SKYPE;TYPE=personal:jo.doe",
        "TEL;X-LABEL=\"Mike's: desk\":555 0101" };
    const QList<QByteArray> noteLines { "N: 42 visits", "TITLE: Dr.", "BEGIN: 09:00", "TEL; part 3", "TEL:555 0100",
        "X-ray: clear", "item1.EMAIL:jo@example.org", "TEL;TYPE= CELL:1", "tel;type=CELL:1", "Tel;TYPE=CELL:1",
        "TEL;9:1", "EMAIL;TYPE=INTERNET", "TEL;TYPE=\"CELL:1", "Call back after lunch" };
    const auto pick = [&rng](const QList<QByteArray>& from) { return from.at(int(rng.bounded(quint32(from.size())))); };
    Generated made;
    qint64 line = 1;
    // As dump() writes it: `written` is the line up to the value.
    const auto property = [&](const QByteArray& written, const QByteArray& value, qint64 at) {
        qsizetype end = 0;
        while (end < written.size() && written.at(end) != ';' && written.at(end) != ':')
            ++end;
        const QByteArray name = written.left(end);
        const qsizetype dot = name.indexOf('.');
        made.cards += QByteArray::number(at) + ' ' + (dot < 0 ? QByteArray() : name.left(dot)) + '.'
            + name.mid(dot + 1).toUpper() + ':' + value + '|';
    };
    // A line of its own; its value starts after the colon that no quotes
    // hold.
    const auto lineOf = [&](const QByteArray& written) {
        made.file += written + eol;
        const qsizetype quote = written.lastIndexOf('"');
        property(written, written.mid(written.indexOf(':', quote < 0 ? 0 : quote) + 1), line++);
    };
    for (int c = 0; c < cards; ++c) {
        made.file += "BEGIN:VCARD" + eol;
        ++line;
        lineOf("VERSION:2.1");
        lineOf("N:Doe;Jo;;;");
        for (int i = 0, count = 2 + int(rng.bounded(4)); i < count; ++i) {
            static const char* const kHeads[] = { "NOTE;ENCODING=QUOTED-PRINTABLE",
                "LABEL;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE", "item2.NOTE;QUOTED-PRINTABLE",
                "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE" };
            const QByteArray head = kHeads[rng.bounded(4)];
            switch (rng.bounded(5)) {
            case 0: {
                // Text that starts its lines as properties do, kept whole.
                QList<QByteArray> text;
                for (int t = 0, lines = 1 + int(rng.bounded(4)); t < lines; ++t)
                    text.append(pick(textLines));
                const QByteArray joined = text.join('\n');
                const QList<QByteArray> written = quotedPrintable(joined, int(head.size()) + 1);
                made.file += head + ':' + written.join(eol) + eol;
                property(head + ':', QByteArray(joined).replace("\n", "\r\n"), line);
                line += written.size();
                break;
            }
            case 1: {
                // A value ended by "=" or a run of them before a property's line.
                static const char* const kEnds[] = { "=", "==", "===" };
                const QByteArray text = rng.bounded(2) ? "Marko Kova\xC4\x8D" : "token YWJj";
                const QList<QByteArray> written = quotedPrintable(text, int(head.size()) + 1);
                made.file += head + ':' + written.join(eol) + kEnds[rng.bounded(3)] + eol;
                property(head + ':', text, line);
                line += written.size() - 1;
                made.softBreaksBeforeProperties.append(line++);
                lineOf(pick(propertyLines));
                break;
            }
            case 2:
            case 3: {
                // A note or a label broken by a CR alone; the property's
                // line with parameters that parts it comes last.
                static const char* const kNotes[] = { "NOTE", "item3.NOTE", "LABEL;TYPE=HOME", "label" };
                const QByteArray note = kNotes[rng.bounded(4)];
                QByteArray value = "First line";
                for (int t = 0, lines = int(rng.bounded(4)); t < lines; ++t)
                    value += '\r' + pick(noteLines);
                made.file += note + ':' + value;
                property(note + ':', value.replace('\r', '\n'), line);
                if (rng.bounded(2)) {
                    ++line;
                    made.file += '\r';
                    lineOf(pick(withParameters));
                } else {
                    made.file += eol;
                    ++line;
                }
                break;
            }
            case 4: {
                // An address broken by a CR alone, before a property's name.
                made.file += "ADR;HOME:;;14 Quay Street";
                if (rng.bounded(2)) {
                    made.file += "\rApartment 3;Galway;;H91 X2Y4;Ireland" + eol;
                    property("ADR;HOME:", ";;14 Quay Street\nApartment 3;Galway;;H91 X2Y4;Ireland", line++);
                } else {
                    property("ADR;HOME:", ";;14 Quay Street", line++);
                    made.file += '\r';
                    lineOf(pick(rng.bounded(2) ? withParameters : propertyLines));
                }
                break;
            }
            }
        }
        made.file += "END:VCARD" + eol;
        ++line;
        made.cards += '\n';
    }
    return made;
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
    void scansAndReadsCardsAlikeWhereACrAloneEndsALine_data();
    void scansAndReadsCardsAlikeWhereACrAloneEndsALine();
    void keepsFreeTextWholeAndPartsLinesAtACrAlone();
    void partsValuesBeforePropertyLinesAndKeepsTextWhole();
    void surveysFoldsUpToTheCardThatRulesACutOut();
    void surveyNamesTheCardsItReadWhole();
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
    // A 2.1 photo as phones write it, its base64 lines led by two blanks,
    // right before the note.
    QList<QByteArray> indented = photo;
    for (qsizetype i = 1; i < indented.size(); ++i)
        indented[i].prepend(' ');
    const QByteArray photoAndCuts = (indented + cutNote).join("\r\n") + "\r\n";
    QTest::newRow("an indented photo before five cuts at one width")
        << photoAndCuts << valueOf(cutNote, true);
    QTest::newRow("an indented photo before a fold, lines ending in a CR alone")
        << (indented + note).join("\r") + "\r" << valueOf(note, false);
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
    const QByteArray file = "BEGIN:VCARD" + end + "VERSION:2.1" + end + lines + "END:VCARD" + end;
    // Whole, in pieces and byte by byte, so that a piece ends at every line end.
    QRandomGenerator pieces(5);
    for (const quint32 largest : { 0u, 300u, 1u }) {
        const Read read = parse(file, largest > 0 ? &pieces : nullptr, largest);
        QCOMPARE(read.cards.size(), 1);
        const auto found = std::find_if(read.cards.first().cbegin(), read.cards.first().cend(),
            [](const VCardProperty& p) { return p.name == QLatin1String("NOTE"); });
        QVERIFY(found != read.cards.first().cend());
        QCOMPARE(found->value, note);
    }
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

void TestVCardStreamParser::scansAndReadsCardsAlikeWhereACrAloneEndsALine_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("cards");
    QTest::newRow("CR LF, CR alone and LF line ends, a note's CR that ends no line")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\rN:Doe;John;;Mr;\nFN:John Doe\nEND:VCARD\rBEGIN:VCARD\r\n"
                      "VERSION:2.1\r\nNOTE:Hours:\rMonday: 9-5\r\nitem1.EMAIL;INTERNET:jo@example.org\r"
                      "TEL;TYPE=WORK:+1 555 0100\r\nEND:VCARD\r\n")
        << QByteArray("2 .VERSION:3.0|3 .N:Doe;John;;Mr;|4 .FN:John Doe|\n"
                      "7 .VERSION:2.1|8 .NOTE:Hours:\nMonday: 9-5|9 item1.EMAIL:jo@example.org|"
                      "10 .TEL:+1 555 0100|\n");
    // A BEGIN line held after a soft break ends only at the name after its
    // CR, which pieces may hold back; the card after it is cut at one width
    // from the line that name starts.
    const QList<QByteArray> cut = cutAtWidth(
        "NOTE:Leave the parcels for the workshop at the gate house, the porter signs for them on "
        "weekdays from seven, on Saturdays the caretaker does, and nobody at all on Sundays or bank "
        "holidays. Larger deliveries go round the back to the yard, where the forklift can reach them, "
        "and the driver should ring the workshop bell twice so that someone comes out to check the "
        "load against the order.",
        75, Writer { false, false, true });
    QTest::newRow("a BEGIN line that a soft break held ends in a CR alone before a cut line")
        << "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:Call first=\r\nBEGIN:VCARD\r"
            + cut.join("\r\n") + "\r\nVERSION:2.1\r\nEND:VCARD\r\n"
        << "2 .VERSION:2.1|3 .NOTE:Call first|\n5 .NOTE:" + valueOf(cut, true) + "|"
            + QByteArray::number(5 + cut.size()) + " .VERSION:2.1|\n";
    // A writer that puts no line break between cards: each is a card, the
    // 2.1 one read the 2.1 way; BEGIN and END on one line over and over
    // leave an empty card.
    QTest::newRow("END:VCARD and BEGIN:VCARD on one line")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:a\r\n b\r\nEND:VCARDBEGIN:VCARD\r\nNOTE:c\r\n d\r\n"
                      "VERSION:2.1\r\nend:vcard Begin:VCard\r\nVERSION:3.0\r\nN:x\r\nEND:VCARDBEGIN:VCARDEND:VCARD"
                      "BEGIN:VCARD\r\nN:y\r\nEND:VCARD")
        << QByteArray("2 .VERSION:3.0|3 .NOTE:ab|\n6 .NOTE:c d|8 .VERSION:2.1|\n10 .VERSION:3.0|11 .N:x|\n\n"
                      "13 .N:y|\n");
}

void TestVCardStreamParser::scansAndReadsCardsAlikeWhereACrAloneEndsALine()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, cards);
    readsAlike(file, cards);
}

// Files of generated cards whose free text holds CR-alone lines that start
// with each name the reader knows, with and without a group, before ":"
// or ";": the text stays whole; and whose properties of one line are
// parted by a CR alone before each of those names: they stay parted.
void TestVCardStreamParser::keepsFreeTextWholeAndPartsLinesAtACrAlone()
{
    QRandomGenerator rng(17);
    for (int f = 0; f < 12; ++f) {
        const auto [file, cards] = crAloneCards(rng, 25);
        readsAlike(file, cards);
    }
}

// Files of generated cards whose values are followed by lines that read as
// a property's, or by text lines that start as properties do: after a
// quoted-printable "=" and after a CR alone in a note, a label or an
// address. Each reads as generated, whole and in pieces, and the lines
// whose "=" ended a value are named.
void TestVCardStreamParser::partsValuesBeforePropertyLinesAndKeepsTextWhole()
{
    QRandomGenerator rng(23);
    for (int f = 0; f < 12; ++f) {
        const Generated made = propertyLineCards(rng, 25);
        readsAlike(made.file, made.cards);
        QRandomGenerator pieces(f);
        for (QRandomGenerator* cut : { static_cast<QRandomGenerator*>(nullptr), &pieces })
            QCOMPARE(parse(made.file, cut, 7).softBreaksBeforeProperties, made.softBreaksBeforeProperties);
    }
}

// The survey of a file's folds reads no further than the card whose folds,
// with those before it, rule a cut at one width out: of a file folded at its
// blanks, the first few cards, whole or fed in pieces.
void TestVCardStreamParser::surveysFoldsUpToTheCardThatRulesACutOut()
{
    QRandomGenerator rng(3);
    QByteArray file;
    QByteArray upToIt;
    for (int i = 0; i < 40; ++i) {
        file += makeCard(rng, Writer {}, 2, file.count('\n') + 1).text;
        if (upToIt.isEmpty() && survey(file, nullptr).folds.widthsRuledOut())
            upToIt = file;
    }
    QVERIFY(!upToIt.isEmpty() && upToIt.size() < file.size() / 4);
    QRandomGenerator pieces(9);
    for (QRandomGenerator* cut : { static_cast<QRandomGenerator*>(nullptr), &pieces })
        QVERIFY(survey(file, cut).folds == survey(upToIt, nullptr).folds);
}

// Of a file cut at one width, the survey names where each card begins whose
// text folds it pooled, and where the line that ended it there begins, as
// the scan of the file finds the card: not a 3.0 card nor one without folds
// (an agent's among them), nor the card the bytes end inside.
void TestVCardStreamParser::surveyNamesTheCardsItReadWhole()
{
    QRandomGenerator rng(4);
    QByteArray file = "X-BEFORE:a line before the cards\r\n";
    QList<std::pair<qint64, qint64>> whole;
    for (int i = 0; i < 13; ++i) {
        const qint64 begin = file.size();
        QByteArray card = makeCard(rng, Writer { false, false, true }, 1 + i % 3, 1, 75).text;
        if (i % 4 == 1)
            card.replace("VERSION:2.1", "VERSION:3.0");
        if (i % 4 == 2)
            card.replace("END:VCARD", "AGENT:\r\nBEGIN:VCARD\r\nN:Agent;Ann;;;\r\nEND:VCARD\r\nEND:VCARD");
        if (i % 4 == 3)
            card = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Plain;Pat;;;\r\nEND:VCARD\r\nX-BETWEEN:the cards\r\n";
        file += card;
        if (i % 4 != 1 && i % 4 != 3)
            whole.append({ begin, file.indexOf(i % 4 == 2 ? "BEGIN" : "END", begin + 1) });
    }
    file.chop(20);
    whole.removeLast();
    VCardStreamParser scan(VCardStreamParser::RangesOnly);
    feed(scan, file, nullptr);
    for (const std::pair<qint64, qint64>& card : std::as_const(whole)) {
        QVERIFY(std::any_of(
            scan.ranges().cbegin(), scan.ranges().cend(), [&card](const VCardStreamParser::CardRange& range) {
                return range.begin == card.first && range.end > card.second;
            }));
    }
    QRandomGenerator pieces(6);
    for (QRandomGenerator* cut : { static_cast<QRandomGenerator*>(nullptr), &pieces, &pieces })
        QCOMPARE(survey(file, cut).wholeCards, whole);
}

QTEST_GUILESS_MAIN(TestVCardStreamParser)
#include "tst_vcardstreamparser.moc"
