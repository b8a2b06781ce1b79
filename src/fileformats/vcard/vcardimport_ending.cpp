// SPDX-License-Identifier: GPL-3.0-or-later
// The problems the vCard reader names once the last card was read, over
// all of the file's cards: the lines read by a guess, the folds joined
// without their blank, the cards begun on the line of an END, the stray
// "=" left out before a quoted-printable code, the control characters
// left out of the text and the letters encoded twice read as meant.
#include "fileformats/vcard/vcardimport.h"

#include "fileformats/vcard/vcardimport_p.h"

#include <QCoreApplication>

#include <algorithm>
#include <limits>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("VCardImport", text);
}

} // namespace

void VCardImport::addGuessed(const GuessedLines& more)
{
    auto same = std::find_if(m_guessed.begin(), m_guessed.end(), [&more](const GuessedLines& known) {
        return known.source == more.source && known.borrowed == more.borrowed && known.declared == more.declared;
    });
    if (same == m_guessed.end()) {
        m_guessed.append({ more.source, more.borrowed, more.declared, {}, 0 });
        same = m_guessed.end() - 1;
    }
    same->lines += more.lines;
    same->count += more.count;
    std::sort(same->lines.begin(), same->lines.end());
    same->lines.resize(qMin<qsizetype>(same->lines.size(), ImportProblems::kMaxPlaces));
}

void VCardImport::reportGuessed()
{
    if (m_guessedReported || m_guessed.isEmpty())
        return;
    m_guessedReported = true;
    std::sort(m_guessed.begin(), m_guessed.end(),
        [](const GuessedLines& a, const GuessedLines& b) { return a.lines.value(0) < b.lines.value(0); });
    for (const GuessedLines& guessed : std::as_const(m_guessed)) {
        const QString places = ImportProblems::places(guessed.lines, guessed.count);
        const bool one = guessed.count == 1;
        const bool undeclared = guessed.source == VCardCardText::GuessedLine::Undeclared;
        const QString set = m_survey && m_survey->done && m_survey->set == legacytext::WesternSet::MacRoman
            ? tr("Mac Roman (Western European, older Macs)")
            : tr("windows-1252 (Western European)");
        QString text;
        if (guessed.source == VCardCardText::GuessedLine::NotDeclared) {
            text = one ? tr("Line %1: the text says it is %2 but holds bytes that set does not use; it was "
                            "read as %3, so check its letters.")
                       : tr("Lines %1: the text says it is %2 but holds bytes that set does not use; it was "
                            "read as %3, so check its letters.");
            text = text.arg(places, guessed.declared, guessed.borrowed.isEmpty() ? set : guessed.borrowed);
        } else if (guessed.source == VCardCardText::GuessedLine::UndeclaredCodes) {
            text = one
                ? tr("Line %1: the text was written in quoted-printable codes without saying so; it was "
                     "read as UTF-8 text, so check its letters.")
                : tr("Lines %1: the text was written in quoted-printable codes without saying so; it was "
                     "read as UTF-8 text, so check its letters.");
            text = text.arg(places);
        } else if (guessed.source == VCardCardText::GuessedLine::StrayBytes) {
            text = one ? tr("Line %1: the text is UTF-8 but for a few bytes that are not; those were read as "
                            "%2, so check its letters.")
                       : tr("Lines %1: the text is UTF-8 but for a few bytes that are not; those were read as "
                            "%2, so check its letters.");
            text = text.arg(places, set);
        } else if (!guessed.borrowed.isEmpty()) {
            text = undeclared
                ? (one ? tr("Line %1: the text names no character set and is not UTF-8; it was read "
                            "as %2, the character set another line of the card or file names, so "
                            "check its letters.")
                       : tr("Lines %1: the text names no character set and is not UTF-8; it was read "
                            "as %2, the character set another line of the card or file names, so "
                            "check its letters."))
                : (one ? tr("Line %1: the text says it is UTF-8 but is not; it was read as %2, the "
                            "character set another line of the card or file names, so check its "
                            "letters.")
                       : tr("Lines %1: the text says it is UTF-8 but is not; it was read as %2, the "
                            "character set another line of the card or file names, so check its "
                            "letters."));
            text = text.arg(places, guessed.borrowed);
        } else {
            text = undeclared
                ? (one ? tr("Line %1: the text names no character set and is not UTF-8; it was read "
                            "as %2, so check its letters.")
                       : tr("Lines %1: the text names no character set and is not UTF-8; it was read "
                            "as %2, so check its letters."))
                : (one ? tr("Line %1: the text says it is UTF-8 but is not; it was read as %2, so "
                            "check its letters.")
                       : tr("Lines %1: the text says it is UTF-8 but is not; it was read as %2, so "
                            "check its letters."));
            text = text.arg(places, set);
        }
        m_problems.add(text, std::numeric_limits<qint64>::max());
    }
}

void VCardImport::reportNamedLines()
{
    if (m_namedLinesReported)
        return;
    m_namedLinesReported = true;
    const auto add = [this](const NamedPlaces& lines, const char* one, const char* many) {
        if (lines.count() > 0)
            m_problems.add(tr(lines.count() == 1 ? one : many).arg(lines.text()), std::numeric_limits<qint64>::max());
    };
    if (m_joinedCount > 0) {
        const QString places
            = ImportProblems::places(m_joinedLines.mid(0, ImportProblems::kMaxPlaces), m_joinedCount);
        m_problems.add(m_joinedCount == 1
                           ? tr("Line %1: a card began on the same line as the end of the card before it; both "
                                "were read.")
                                 .arg(places)
                           : tr("Lines %1: a card began on the same line as the end of the card before it; both "
                                "were read.")
                                 .arg(places),
                       std::numeric_limits<qint64>::max());
    }
    if (m_droppedFolds.count() > 0) {
        bool fileCut = false;
        if (m_foldSurvey) {
            const std::lock_guard lock(m_foldSurvey->mutex);
            fileCut = m_foldSurvey->done && m_foldSurvey->folds.cutByOneWriter();
        }
        if (fileCut)
            m_problems.add(tr("The file's writer cut its lines at one width throughout, so every card was read as "
                              "cut, also one with only one or two cuts."),
                           std::numeric_limits<qint64>::max());
    }
    add(m_droppedFolds,
        QT_TRANSLATE_NOOP("VCardImport", "Line %1: the writer cut the text at one width, inside words; it was joined "
                                         "again without a blank at each cut, so check its words."),
        QT_TRANSLATE_NOOP("VCardImport", "Lines %1: the writer cut the text at one width, inside words; it was "
                                         "joined again without a blank at each cut, so check its words."));
    add(m_strayEquals,
        QT_TRANSLATE_NOOP("VCardImport", "Line %1: an \"=\" stood right before a quoted-printable code, where a "
                                         "line end was lost; it was left out, so check the text."),
        QT_TRANSLATE_NOOP("VCardImport", "Lines %1: an \"=\" stood right before a quoted-printable code, where a "
                                         "line end was lost; it was left out, so check the text."));
    add(m_softBreaksBeforeProperties,
        QT_TRANSLATE_NOOP("VCardImport", "Line %1: a quoted-printable value ended in \"=\", which joins the next "
                                         "line to it, but the next line reads as a property of its own; the value "
                                         "was ended there and the \"=\" left out, so check the value and the "
                                         "line after it."),
        QT_TRANSLATE_NOOP("VCardImport", "Lines %1: a quoted-printable value ended in \"=\", which joins the next "
                                         "line to it, but the next line reads as a property of its own; the value "
                                         "was ended there and the \"=\" left out, so check the value and the "
                                         "line after it."));
    add(m_controlCharacters,
        QT_TRANSLATE_NOOP("VCardImport", "Line %1: the text held control characters, which no text keeps: those "
                                         "that break a line became line breaks, those that may stand for a letter "
                                         "became the windows-1252 letter of their code, or \"\uFFFD\" where it "
                                         "has none, and the others were left out, so check the text."),
        QT_TRANSLATE_NOOP("VCardImport", "Lines %1: the text held control characters, which no text keeps: those "
                                         "that break a line became line breaks, those that may stand for a letter "
                                         "became the windows-1252 letter of their code, or \"\uFFFD\" where it "
                                         "has none, and the others were left out, so check the text."));
    add(m_twiceEncoded,
        QT_TRANSLATE_NOOP("VCardImport", "Line %1: the text held letters encoded twice (their UTF-8 read as Latin-1 "
                                         "and written as UTF-8 again, with control characters among them); each "
                                         "was read as the letter meant, so check the text."),
        QT_TRANSLATE_NOOP("VCardImport", "Lines %1: the text held letters encoded twice (their UTF-8 read as "
                                         "Latin-1 and written as UTF-8 again, with control characters among them); "
                                         "each was read as the letter meant, so check the text."));
}
