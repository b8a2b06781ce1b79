// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

#include <algorithm>
#include <utility>

// 2.1 cards of ordinary words as writers fold them: before blanks, or cut
// at one width inside words.
namespace foldedcards {

// Ordinary words of three languages; some hold letters beyond ASCII, left
// out of a card written in plain ASCII.
inline const QList<QByteArray> kWords[] = {
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

inline int widthOf(QByteArrayView text, bool characters)
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
inline QList<QByteArray> foldAtBlanks(const QByteArray& line, int width, bool characters)
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
inline QList<QByteArray> cutAtWidth(const QByteArray& line, int width, const Writer& writer)
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
inline QByteArray prose(QRandomGenerator& rng, const QList<QByteArray>& words, int length)
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

// A 2.1 card of notes and addresses whose values hold `folds` folds in all,
// written `width` wide, or 72 to 76 when it is 0.
inline Card makeCard(QRandomGenerator& rng, const Writer& writer, int folds, qint64 firstLine, int width = 0)
{
    QList<QByteArray> words = kWords[rng.bounded(3)];
    if (rng.bounded(2) == 0)
        words.removeIf([](const QByteArray& word) {
            return std::any_of(
                word.begin(), word.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        });
    if (width == 0)
        width = 72 + int(rng.bounded(5));
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

// The value of the lines as the writer meant it: the continuations' first
// blank a fold's, or the text's.
inline QByteArray valueOf(const QList<QByteArray>& lines, bool foldBlank)
{
    QByteArray value = lines.first().mid(lines.first().indexOf(':') + 1);
    for (qsizetype i = 1; i < lines.size(); ++i)
        value += lines.at(i).mid(foldBlank ? 1 : 0);
    return value;
}

} // namespace foldedcards
