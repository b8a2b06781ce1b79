// SPDX-License-Identifier: GPL-3.0-or-later
// What a "Title" or "Salutation" column holds, told by its cells: a
// contact manager's export heads the name's title so, a staff directory a
// person's job, and a mail-merge list or a donor database the greeting of
// a letter ("Dear Amy") or the people it is addressed to ("Raj and Iris").
#include "fileformats/csv/csvimport.h"

#include "fileformats/csv/csvimport_p.h"
#include "model/contact.h"
#include "model/controlcharacters.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

using WordSet = QSet<QString>;

WordSet wordSet(std::initializer_list<const char*> words)
{
    WordSet set;
    for (const char* word : words)
        set.insert(QString::fromUtf8(word));
    return set;
}

// Titles written before a name, in the letters lookups compare them in,
// without their closing dot ("Mr.", "Mme", "Herr", "Prof. Dr.", "Dr. med.").
const WordSet& honorifics()
{
    static const WordSet set = wordSet({
        "mr", "mrs", "ms", "miss", "mx", "master", "mister", "missus", "messrs", "mssrs", "dr", "doctor", "prof",
        "professor", "rev", "revd", "reverend", "fr", "pastor", "rabbi", "imam", "sir", "dame", "lady", "lord",
        "madam", "madame", "mme", "mmes", "mlle", "mlles", "m", "hon", "honorable", "honourable", "rt", "capt",
        "captain", "col", "colonel", "gen", "lt", "maj", "major", "sgt", "cmdr", "adm", "herr", "frau", "fräulein",
        "dipl", "dipl.-ing", "ing", "mag", "med", "rer", "nat", "phil", "jur", "dent", "vet", "h.c", "habil",
        "dott", "dott.ssa", "sig", "sig.ra", "sig.na", "signor", "signora", "signorina", "don", "doña", "dona",
        "sr", "sra", "srta", "sres", "señor", "señora", "señorita", "senhor", "senhora", "pan", "pani", "heer",
        "mevrouw", "mevr", "dhr", "fru", "frk", "sheikh", "shaikh", "shri", "sri", "smt", "datuk", "dato",
        "haji", "hajjah", "sen", "senator", "amb", "ambassador", "judge", "justice", "sister", "br", "brother",
    });
    return set;
}

// Words that join two titles or two people ("Mr. & Mrs.", "Raj and Iris").
const WordSet& joiningWords()
{
    static const WordSet set = wordSet({ "and", "&", "und", "et", "y", "or", "/", "+", "the" });
    return set;
}

// The words a letter's greeting opens with.
const WordSet& greetings()
{
    static const WordSet set = wordSet({
        "dear", "dearest", "hi", "hello", "hey", "hiya", "greetings", "howdy", "hallo", "liebe", "lieber",
        "liebes", "sehr", "geehrte", "geehrter", "cher", "chère", "chers", "chères", "bonjour", "querido",
        "querida", "queridos", "queridas", "estimado", "estimada", "estimados", "hola", "caro", "cara", "cari",
        "gentile", "gentili", "beste", "geachte", "kära", "kære", "kjære", "hej", "drogi", "droga", "szanowny",
        "szanowna",
    });
    return set;
}

// Words that address a household rather than name a part of a name.
const WordSet& addressees()
{
    static const WordSet set
        = wordSet({ "family", "families", "household", "friend", "friends", "famille", "familie", "familia" });
    return set;
}

// Words of job titles ("Director of Curriculum", "Head Teacher").
const WordSet& jobWords()
{
    static const WordSet set = wordSet({
        "accountant", "administrator", "administrative", "adviser", "advisor", "agent", "aide", "analyst",
        "architect", "archivist", "assistant", "associate", "attorney", "auditor", "bookkeeper", "buyer",
        "cashier", "ceo", "cfo", "chair", "chairman", "chairperson", "chairwoman", "chancellor", "chef", "chief",
        "cio", "clerk", "coach", "consultant", "controller", "coo", "coordinator", "counsel",
        "counselor", "counsellor", "cook", "cto", "curator", "curriculum", "custodian", "dean", "delegate",
        "department", "deputy", "designer", "developer", "director", "driver", "economist", "editor", "educator",
        "electrician", "engineer", "executive", "facilitator", "finance", "founder", "governor", "head",
        "instructor", "inspector", "intern", "janitor", "journalist", "lawyer", "lead", "leader", "lecturer",
        "liaison", "librarian", "manager", "marketing", "mechanic", "member", "mentor", "nurse", "officer",
        "operations", "operator", "owner", "paralegal", "paraprofessional", "partner", "pathologist",
        "pharmacist", "physician", "planner", "president", "principal", "producer", "programmer", "psychologist",
        "publisher", "receptionist", "recruiter", "registrar", "representative", "researcher", "sales",
        "scientist", "secretary", "specialist", "staff", "strategist", "superintendent", "supervisor", "support",
        "surgeon", "teacher", "technician", "therapist", "trainer", "treasurer", "trustee", "tutor", "vice", "vp",
        "svp", "evp", "volunteer", "worker", "writer",
    });
    return set;
}

bool isJobWord(const QString& word)
{
    // "Teachers' Aide", "Sales": a plural of a job word is one too.
    return jobWords().contains(word)
        || (word.size() > 3 && word.endsWith(u's') && jobWords().contains(word.left(word.size() - 1)));
}

// The cell's words as written between blanks (and "&", "/", "+" that may
// stand without them), case-folded, without the dots, commas and colons
// that close them.
QStringList blankWords(QStringView cell)
{
    QStringList words;
    QString word;
    const auto flush = [&] {
        while (!word.isEmpty() && QStringView(u".,:;!").contains(word.back()))
            word.chop(1);
        if (!word.isEmpty())
            words.append(word.toCaseFolded());
        word.clear();
    };
    for (const QChar c : cell) {
        if (c.isSpace()) {
            flush();
        } else if (c == u'&' || c == u'/' || c == u'+') {
            flush();
            words.append(QString(c));
        } else {
            word.append(c);
        }
    }
    flush();
    return words;
}

// The keys of a name's whole text, given, family and middle names.
bool isPersonNameKey(const QString& valueKey)
{
    for (const char* key : { "data1", "data2", "data3", "data4" }) {
        if (valueKey == QLatin1String(key))
            return true;
    }
    return false;
}

} // namespace

namespace csvread {

QStringList letterWords(QStringView text)
{
    QStringList words;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool letter = i < text.size() && (text.at(i).isLetter() || text.at(i).isMark());
        if (letter && start < 0) {
            start = i;
        } else if (!letter && start >= 0) {
            words.append(text.mid(start, i - start).toString().toCaseFolded());
            start = -1;
        }
    }
    return words;
}

TitleCell titleCellKind(QStringView cell, const std::function<bool(const QString&)>& namesThePerson)
{
    const QStringList words = blankWords(cell);
    if (words.isEmpty())
        return TitleCell::Unknown;
    const auto isHonorific = [](const QString& word) { return honorifics().contains(word); };
    const bool titlesOnly = std::all_of(words.cbegin(), words.cend(), [&](const QString& word) {
        return isHonorific(word) || joiningWords().contains(word);
    });
    if (titlesOnly && std::any_of(words.cbegin(), words.cend(), isHonorific))
        return TitleCell::Honorific;
    if (greetings().contains(words.first()))
        return TitleCell::Greeting;
    const QStringList letters = letterWords(cell);
    if (std::any_of(letters.cbegin(), letters.cend(), isJobWord))
        return TitleCell::JobTitle;
    for (const QString& word : letters) {
        if (addressees().contains(word))
            return TitleCell::Greeting;
        // A name's initial says little.
        if (word.size() > 1 && !honorifics().contains(word) && !joiningWords().contains(word) && namesThePerson(word))
            return TitleCell::Greeting;
    }
    // Two people joined ("Raj and Iris", "Mr. and Mrs. Nash"), or a
    // greeting's comma ("Amy,").
    const qsizetype joined = std::count_if(words.cbegin(), words.cend(),
                                           [](const QString& w) { return joiningWords().contains(w); });
    if ((joined > 0 && words.size() - joined >= 2) || cell.trimmed().endsWith(u','))
        return TitleCell::Greeting;
    return TitleCell::Unknown;
}

TitleVerdict TitleTally::verdict() const
{
    // One kind of cell decides where it holds three in four of those that
    // tell anything, and no fewer than those that tell nothing: a doctor
    // among a staff's job titles, or an addressee among honorifics, is a
    // stray cell of the column's kind.
    const auto dominates = [this](int count) {
        const int others = honorific + greeting + jobTitle - count;
        return count > 0 && count >= unknown && count >= 3 * others;
    };
    if (dominates(honorific))
        return TitleVerdict::NameTitle;
    if (dominates(jobTitle))
        return TitleVerdict::JobTitle;
    if (dominates(greeting))
        return TitleVerdict::Greeting;
    return TitleVerdict::CannotTell;
}

void TitleTally::add(TitleCell kind)
{
    switch (kind) {
    case TitleCell::Honorific: ++honorific; break;
    case TitleCell::Greeting: ++greeting; break;
    case TitleCell::JobTitle: ++jobTitle; break;
    case TitleCell::Unknown: ++unknown; break;
    }
}

} // namespace csvread

QList<int> CSVImport::decideTitleColumns(QList<_ColInfo>& infos)
{
    using Told = _ColInfo::ToldByCells;
    QList<int> toldColumns;
    // The columns of the row's own name, which a greeting or an addressee
    // names ("Dear Amy", "Mr. Nash") and a title does not. A few: each is
    // looked up from the row's start, and a header may name thousands.
    constexpr qsizetype kMaxNameColumns = 8;
    QList<int> nameColumns;
    for (int i = 0; i < infos.size(); ++i) {
        const _ColInfo& info = infos.at(i);
        if (info.toldByCells != Told::No)
            toldColumns.append(i);
        else if (info.entityType == pim::ENTITY_NAME && isPersonNameKey(info.valueKey)
                 && nameColumns.size() < kMaxNameColumns)
            nameColumns.append(i);
    }
    // Each is read from every row's start: a header of thousands is no
    // user's table, and past the first few its columns read as if their
    // cells told nothing.
    constexpr qsizetype kMaxToldColumns = 4;
    QList<int> changed;
    for (qsizetype c = 0; c < toldColumns.size(); ++c) {
        const int index = toldColumns.at(c);
        csvread::TitleTally tally;
        QString greetingSeen;
        // A column repeats a few titles many times: what a text is, told
        // without the row's name, is told once.
        QHash<QString, csvread::TitleCell> kindOfText;
        for (qsizetype row = 0; row < m_rowStarts.size() && c < kMaxToldColumns; ++row) {
            const qsizetype pos = m_rowStarts.at(row);
            const QString cell = cellAt(pos, index);
            if (pim::isBlankText(cell))
                continue;
            csvread::TitleCell kind = kindOfText.value(cell, csvread::TitleCell::Unknown);
            if (!kindOfText.contains(cell)) {
                // The row's name is read only for a cell that is not plainly
                // a title, a job or a greeting.
                QSet<QString> personWords;
                bool personRead = false;
                const auto namesThePerson = [&](const QString& word) {
                    if (!personRead) {
                        for (const int column : std::as_const(nameColumns)) {
                            for (const QString& w : csvread::letterWords(cellAt(pos, column)))
                                personWords.insert(w);
                        }
                        personRead = true;
                    }
                    return personWords.contains(word);
                };
                kind = csvread::titleCellKind(cell, namesThePerson);
                if (!personRead)
                    kindOfText.insert(cell, kind);
            }
            if (kind == csvread::TitleCell::Greeting && greetingSeen.isEmpty()) {
                // Named in the ending as a user reads it: on one line, and not
                // all of a long one.
                constexpr qsizetype kShown = 60;
                greetingSeen = cell.simplified();
                pim::dropControlCharacters(greetingSeen, m_textFrom);
                if (greetingSeen.size() > kShown) {
                    const qsizetype cut = greetingSeen.at(kShown - 1).isHighSurrogate() ? kShown - 1 : kShown;
                    greetingSeen = greetingSeen.left(cut) + QChar(0x2026);
                }
            }
            tally.add(kind);
        }
        _ColInfo& info = infos[index];
        const Told fallback = info.toldByCells;
        info.toldByCells = Told::No;
        switch (tally.verdict()) {
        case csvread::TitleVerdict::NameTitle:
            break;
        case csvread::TitleVerdict::JobTitle:
            // A job title, as another program's "Position" column gives it.
            info = CsvColumnDictionary::lookup(QStringLiteral("Position"));
            changed.append(index);
            break;
        case csvread::TitleVerdict::Greeting:
            info = _ColInfo();
            m_problems.add(QCoreApplication::translate("CSVImport",
                                                       "Row %1: the column \"%2\" holds greetings or the people a "
                                                       "letter is addressed to (\"%3\"), which are no part of a "
                                                       "name; it was left out.")
                               .arg(QString::number(m_headerRow), m_header.at(index), greetingSeen));
            break;
        case csvread::TitleVerdict::CannotTell:
            if (fallback == Told::ElseLeftOut) {
                // Named as a column this program does not read, as it once
                // was.
                info = _ColInfo();
                m_unreadColumns.insert(std::lower_bound(m_unreadColumns.begin(), m_unreadColumns.end(), index),
                                       index);
                m_unreadEmpty[index] = true;
            }
            break;
        }
    }
    return changed;
}
