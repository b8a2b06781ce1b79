// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/absimport.h"
#include "fileformats/legacytext.h"
#include "fileformats/vcard/mapping/vcardcardmapper.h"
#include "fileformats/vcard/syntax/vcardstreamparser.h"

#include <QIODevice>
#include <QList>

#include <atomic>
#include <memory>

// Reads a vCard file of any version one card at a time. The file is scanned
// once, recording only where each card lies, so the cards can be counted
// while memory stays that of one card: each nextContact() reads and decodes
// just its card's bytes. The file stays open until the reader is destroyed
// or loaded again.
//
// The scan runs on a thread of its own: initialize() returns once the first
// megabyte is scanned (a smaller file whole), and lanes decode the cards
// found while the rest is scanned. The reader's own total(), hasNext() and
// nextContact() wait for the whole scan.
class VCardImport : public AbsImport {
public:
    VCardImport();
    ~VCardImport() override;

    // Throws Error with the file's error text when it cannot be
    // opened or read; an earlier load then stays as it was.
    void initialize(QString path) override;
    int total() override;
    bool totalKnown() override;
    int expectedTotal() override;
    void abandon() override;
    bool hasNext() override;
    // Throws Error when the file can no longer be read.
    pim::_Contact nextContact() override;
    void uninitialize() override;

    // Malformed lines dropped in the cards read so far.
    int skippedCount() const override { return m_skipped; }
    // Their line numbers (the first thousand).
    const QList<qint64>& skippedLineNumbers() const { return m_skippedLines; }
    // Everything left out or read differently in the cards read so far,
    // and the shape of the file (lines outside cards, cards without END)
    // up to the last card read; all of it once hasNext() said false.
    const ImportProblems& problems() const override { return m_problems; }

    // Lanes over the same file, when it is read from disk as it is (a
    // UTF-16 file, transcoded in memory, is read by one reader).
    std::unique_ptr<AbsImport> lane(int index, int lanes, int batch) override;
    void gatherLanes(const QList<const AbsImport*>& lanes) override;

private:
    struct Scan;
    static void runScan(Scan& scan);
    // The reader's own: waits for the scan and takes over its findings.
    // Throws what the scan threw.
    void settle();
    // A lane's: adds its cards among those the scan has found since, once
    // there are any; false when the scan ended (or was abandoned) first.
    bool takeScanned();
    // A lane's: appends its cards among `ranges` from m_laneNext on.
    void takeLaneCards(const QList<VCardStreamParser::CardRange>& ranges);
    void feedCard(const VCardStreamParser::CardRange& range);
    // Adds the file's shape problems that lie before the line.
    void reportShapeUpTo(qint64 line);
    // The first charset with a decoder that a line of the file declares;
    // empty when none does.
    QString fileCharset();
    // The Western code page the file's text that names no charset was
    // written in, chosen over all of it the first time a card asks (few
    // files hold such text); once for the reader and its lanes.
    legacytext::WesternSet westernSet();
    legacytext::WesternSet surveyWesternText();
    // Adds the problems that name the lines read by a guess, one for each
    // way they were read, once the last card was read.
    void reportGuessed();
    // Adds, once the last card was read, the problems that each name the
    // lines of one change over all cards: the lines on which a card began
    // right after the END of the one before, the logical lines of cards taken
    // as cut at a fixed width whose folds were read without their blank,
    // the lines of a quoted-printable "=" left out before a code, those of
    // values that held control characters, and those of values that held
    // letters encoded twice.
    void reportNamedLines();
    // The folds of the text values of the file's cards that are not 3.0 or
    // 4.0, pooled over the file the first time a card needs them; once for
    // the reader and its lanes.
    struct FoldSurvey;
    const VCardFoldLookahead::Folds* fileFolds();
    void surveyFolds(FoldSurvey& survey);
    // Whether the card is one the survey of the file's folds, once made,
    // found cut with the rest of the file and read whole; it never waits
    // for the survey nor starts it.
    bool surveyedAsCut(const VCardStreamParser::CardRange& range);

    static std::unique_ptr<QIODevice> openUnbuffered(const QString& path);

    QString m_path;
    // Read from a transcoded copy in memory instead of the file.
    bool m_transcoded = false;
    std::unique_ptr<QIODevice> m_source;
    // While the file is being scanned; shared with the lanes.
    std::shared_ptr<Scan> m_scan;
    // A lane: its cards are those of its batches, index, index + lanes,
    // ...; the next card of the file it takes is m_laneNext.
    bool m_isLane = false;
    int m_laneCount = 1;
    int m_laneBatch = 1;
    qsizetype m_laneNext = 0;
    QList<VCardStreamParser::CardRange> m_ranges;
    qsizetype m_cursor = 0;
    int m_skipped = 0;
    QList<qint64> m_skippedLines;
    ImportProblems m_problems;
    // Where the file's text starts, after a byte-order mark.
    qint64 m_origin = 0;
    bool m_fileCharsetLooked = false;
    QString m_fileCharset;
    // The lines of text read by a guess, by the way they were read: the
    // first ImportProblems::kMaxPlaces of each, and how many there were.
    struct GuessedLines {
        VCardCardText::GuessedLine::Source source;
        QString borrowed;
        QString declared;
        QList<qint64> lines;
        int count = 0;
    };
    void addGuessed(const GuessedLines& more);
    QList<GuessedLines> m_guessed;
    bool m_guessedReported = false;
    struct Survey;
    std::shared_ptr<Survey> m_survey;
    std::shared_ptr<FoldSurvey> m_foldSurvey;
    // Where surveyedAsCut() looks first.
    qsizetype m_cutCardNext = 0;
    // What reportNamedLines() names.
    NamedPlaces m_droppedFolds;
    NamedPlaces m_strayEquals;
    NamedPlaces m_softBreaksBeforeProperties;
    NamedPlaces m_controlCharacters;
    NamedPlaces m_twiceEncoded;
    bool m_namedLinesReported = false;
    QList<VCardStreamParser::Problem> m_shape;
    qsizetype m_shapeCursor = 0;
    int m_shapeCount = 0;
    // VCardStreamParser::joinedCardLines() of the scan.
    QList<qint64> m_joinedLines;
    int m_joinedCount = 0;
    VCardCardMapper m_mapper;
    VCardStreamParser m_cardParser;
    QByteArray m_buffer;
    // Cards are read in file order: one read fills a window that serves the
    // cards after it too.
    QByteArray m_window;
    qint64 m_windowStart = -1;
};
