// SPDX-License-Identifier: GPL-3.0-or-later
// The vCard reader's looks at the whole file, each made once and shared with
// its lanes: the charset its lines declare, the Western code page of its text
// that names none, the folds of its text values.
#include "fileformats/vcard/vcardimport.h"

#include "fileformats/fileformatslog.h"
#include "fileformats/vcard/vcardimport_p.h"

#include <QBuffer>

using vcardread::feedRange;

namespace {

// How much of a file the pool of its folds is taken from, read once before
// the first card whose folds need it: the whole of all but the largest
// files, and for those enough cards to know their writer. A card beyond it
// is read as cut only when its own folds agree with the cut found before.
constexpr qint64 kMaxFoldSurvey = qint64(64) * 1024 * 1024;

} // namespace

QString VCardImport::fileCharset()
{
    if (m_fileCharsetLooked)
        return m_fileCharset;
    m_fileCharsetLooked = true;
    // Looked for only when a card needs it, as few files do: the count of
    // the cards does not look at parameters. Up to the first that names one.
    VCardStreamParser finder(VCardStreamParser::CharsetOnly);
    finder.setOrigin(m_origin, 1);
    QByteArray buffer;
    feedRange(*m_source, m_origin, m_source->size(), finder, buffer,
              [&finder](qint64) { return finder.declaredCharset().isEmpty(); });
    m_fileCharset = QString::fromLatin1(finder.declaredCharset());
    return m_fileCharset;
}

legacytext::WesternSet VCardImport::westernSet()
{
    const std::lock_guard lock(m_survey->mutex);
    if (!m_survey->done) {
        m_survey->set = surveyWesternText();
        m_survey->done = true;
    }
    return m_survey->set;
}

legacytext::WesternSet VCardImport::surveyWesternText()
{
    // Every card once, as the cards are read, but only their text that
    // would be read in a Western code page is looked at. The file's charset
    // first: looking it up reads the file too.
    const QString charset = fileCharset();
    VCardCardText cardText;
    cardText.setFileCharset([&charset] { return charset; });
    legacytext::WesternGuess guess;
    VCardStreamParser parser(VCardStreamParser::Cards);
    parser.setOrigin(m_origin, 1);
    const auto addCards = [&](const QList<QList<VCardProperty>>& cards) {
        for (const QList<VCardProperty>& card : cards)
            cardText.addWesternText(card, guess);
    };
    QByteArray buffer;
    feedRange(*m_source, m_origin, m_source->size(), parser, buffer, [&](qint64) {
        addCards(parser.takeClosedCards());
        return true;
    });
    addCards(parser.takeCards());
    qCDebug(lcVCard) << m_path << "undeclared text read as"
                     << (guess.choice() == legacytext::WesternSet::MacRoman ? "Mac Roman" : "windows-1252");
    return guess.choice();
}

const VCardFoldLookahead::Folds* VCardImport::fileFolds()
{
    if (!m_foldSurvey)
        return nullptr;
    FoldSurvey& survey = *m_foldSurvey;
    const std::lock_guard lock(survey.mutex);
    if (!survey.done) {
        surveyFolds(survey);
        survey.done = true;
        survey.published.store(true, std::memory_order_release);
    }
    return &survey.folds;
}

bool VCardImport::surveyedAsCut(const VCardStreamParser::CardRange& range)
{
    if (!m_foldSurvey || !m_foldSurvey->published.load(std::memory_order_acquire))
        return false;
    const QList<VCardStreamParser::WholeCard>& cards = m_foldSurvey->cutCards;
    // Cards are read in file order: the one after the card found last is
    // nearly always the one asked for.
    qsizetype at = m_cutCardNext;
    if (at >= cards.size() || cards.at(at).begin != range.begin) {
        at = std::lower_bound(cards.cbegin(), cards.cend(), range.begin,
                 [](const VCardStreamParser::WholeCard& whole, qint64 begin) { return whole.begin < begin; })
            - cards.cbegin();
        if (at == cards.size() || cards.at(at).begin != range.begin)
            return false;
    }
    m_cutCardNext = at + 1;
    // Read alone, the card ends where the next one begins: its folds are
    // those pooled when no card of the file begins before the line that
    // ended it in the survey.
    return cards.at(at).endLine < range.end;
}

void VCardImport::surveyFolds(FoldSurvey& survey)
{
    // The card being read holds the reader's own handle where it is: the
    // survey reads through one of its own.
    std::unique_ptr<QIODevice> device;
    if (const auto* transcoded = qobject_cast<const QBuffer*>(m_source.get())) {
        auto copy = std::make_unique<QBuffer>();
        copy->setData(transcoded->data());
        copy->open(QIODevice::ReadOnly);
        device = std::move(copy);
    } else {
        device = openUnbuffered(m_path);
    }
    VCardStreamParser surveyor(VCardStreamParser::FoldsOnly);
    surveyor.setOrigin(m_origin, 1);
    QByteArray buffer;
    // Once the folds disagree, the rest of the file cannot make them agree.
    feedRange(*device, m_origin, qMin(device->size(), m_origin + kMaxFoldSurvey), surveyor, buffer,
              [&](qint64) { return !surveyor.foldPoolRuledOut() && !survey.stop; });
    survey.folds = surveyor.foldPool();
    const bool cut = survey.folds.cutByOneWriter();
    if (cut)
        survey.cutCards = surveyor.pooledCards();
    qCDebug(lcVCard) << m_path << "folds of its text:" << survey.folds.count
                     << (cut ? "cut at one width" : "not all at one width");
}
