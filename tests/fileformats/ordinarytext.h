// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Ordinary Western European contact text, as address books in French,
// German, Spanish, Portuguese, Scandinavian and English hold it, for tests
// that write many generated files in an 8-bit code page and read them back:
// names, places and notes with the letters and punctuation such writers
// use. Only letters that both windows-1252 and Mac Roman have.

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace ordinarytext {

struct Language {
    QStringList givenNames;
    QStringList familyNames;
    QStringList places;
    QStringList notes;
};

inline const QList<Language>& languages()
{
    static const QList<Language> all {
        { { "Renée", "Hélène", "François", "Jérôme", "Benoît", "Gaëlle", "Noël", "Zoé", "Amélie", "Loïc", "Cécile",
            "Stéphane", "Marc", "Claire", "Léa", "Thérèse", "Agnès", "Mathéo" },
          { "Lefèvre", "Côté", "Bélanger", "Dubois", "Gagné", "Pelletier", "Lévesque", "Moreau", "Caron", "Bérubé",
            "Fréchette", "Martin", "Leroy", "Garçon" },
          { "Montréal", "Besançon", "Orléans", "Nîmes", "Genève", "Québec", "Lyon", "Sète", "Trois-Rivières",
            "Châteauguay", "Paris" },
          { "Rendez-vous à 9 h", "Appeler après l’été", "Chez “Le Café”", "Réunion – salle 2", "Voir la fiche…",
            "Anniversaire le 3 mai", "Bureau au 2e étage", "Prix : 250 €" } },
        { { "Jürgen", "Jörg", "Günther", "Bärbel", "Sören", "Käthe", "Uwe", "Anna", "Lukas", "Jürgen", "Hans",
            "Mareike" },
          { "Müller", "Köhler", "Schäfer", "Weiß", "Groß", "Krüger", "Hoffmann", "Böhm", "Schröder", "Fuchs",
            "Jäger", "Vogel" },
          { "Düsseldorf", "Köln", "München", "Zürich", "Lübeck", "Würzburg", "Berlin", "Göttingen", "Straßburg",
            "Gießen" },
          { "Straße 5, 2. OG", "„Hausmeister“ rufen", "Geburtstag am 4. März", "Rückruf erbeten", "Büro – Zimmer 12",
            "Grüße an die Familie", "Schlüssel beim Nachbarn" } },
        { { "Raúl", "José", "María", "Jesús", "Andrés", "Inés", "Begoña", "Ramón", "Lucía", "Álvaro", "Sofía",
            "Joaquín" },
          { "Ibáñez", "Núñez", "Peña", "Muñoz", "Sánchez", "Martínez", "Gómez", "Pérez", "Fernández", "Rodríguez",
            "Castaño", "García" },
          { "Logroño", "Cádiz", "Málaga", "León", "Córdoba", "Ávila", "A Coruña", "Bogotá", "Medellín", "Madrid" },
          { "Mañana a las 9", "¿Llamar después?", "¡Urgente!", "Cumpleaños – 12 de abril", "Oficina en el 3.º piso",
            "Dirección: “Calle Mayor”" } },
        { { "João", "Conceição", "Gonçalo", "Inês", "Estêvão", "Luís", "Tomé" },
          { "Gonçalves", "Magalhães", "Guimarães", "Simões", "Brandão", "Araújo", "Antunes" },
          { "São Paulo", "Belém", "Maceió", "Florianópolis", "Évora", "Porto" },
          { "Ligar à tarde", "Aniversário em março", "Escritório – 2º andar" } },
        { { "Åsa", "Øystein", "Bjørn", "Søren", "Kåre", "Lærke", "Björn", "Märta", "Jörgen", "Ingrid", "Per" },
          { "Sjöberg", "Pålsson", "Jørgensen", "Ørsted", "Løvland", "Åkesson", "Lindqvist", "Strøm", "Hägglund" },
          { "Tromsø", "Århus", "Göteborg", "Malmö", "Jönköping", "Västerås", "Ærøskøbing", "Bodø", "Oslo" },
          { "Ring efter kl. 17", "Födelsedag i maj", "Kontor på 3:e våningen", "Hälsa familjen" } },
        { { "Sean", "Mary", "Peter", "Kate", "John", "Emma", "Noah", "Olivia" },
          { "O’Brien", "Smith", "O’Neill", "Johnson", "D’Arcy", "Taylor", "Brown" },
          { "Dublin", "Boston", "Cork", "Leeds", "Austin" },
          { "Don’t call before 9", "Met at the “Spring Fair”", "Owes €40", "Office – 2nd floor", "See notes…",
            "Kids: Tom & Lily" } },
    };
    return all;
}

// One entry of a generated address book.
struct Person {
    QString given;
    QString family;
    QString place;
    QString note;
};

// Between minCount and maxCount people, of one or two languages, drawn
// from the generator.
inline QList<Person> people(QRandomGenerator& random, int minCount, int maxCount)
{
    const QList<Language>& all = languages();
    const Language& first = all.at(random.bounded(int(all.size())));
    const Language& second = all.at(random.bounded(int(all.size())));
    const auto pick = [&random](const QStringList& list) { return list.at(random.bounded(int(list.size()))); };
    QList<Person> out;
    const int count = minCount + random.bounded(maxCount - minCount + 1);
    for (int i = 0; i < count; ++i) {
        const Language& language = random.bounded(4) == 0 ? second : first;
        out.append({ pick(language.givenNames), pick(language.familyNames), pick(language.places),
                     random.bounded(2) == 0 ? pick(language.notes) : QString() });
    }
    return out;
}

} // namespace ordinarytext
