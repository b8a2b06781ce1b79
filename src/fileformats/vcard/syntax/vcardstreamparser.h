// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcard/syntax/vcardfoldlookahead.h"
#include "fileformats/vcard/syntax/vcardlineend.h"
#include "fileformats/vcard/syntax/vcardproperty.h"

#include <QList>

#include <array>

struct CARD_Parser;

// Groups the tokenizer's properties into cards while bytes are fed in pieces
// of any size. A card ends at an END of its own kind ("END:VCARD" after
// "BEGIN:VCARD"); another END inside it ("END:" alone) is a line that could
// not be read. A mailing list ("BEGIN:VLIST" to "END:VLIST") is no card and
// is passed over, and so is a card that a 2.1 AGENT holds as its value
// ("AGENT:BEGIN:VCARD", the agent's lines, "END:VCARD", or "AGENT:" alone
// with the agent's card on the lines after it): its lines belong to the
// AGENT, not to the card around it, whose lines go on after the agent's
// END. In Cards mode it keeps every card with its decoded values; in
// RangesOnly mode it decodes no value and only records where each card
// begins and ends in the file, so a reader can count the cards of a huge
// file and later decode one card at a time from its byte range. In
// CharsetOnly mode it only looks for declaredCharset(), in FoldsOnly mode
// only at the folds of the cards that are not 3.0 or 4.0 (foldPool()).
class VCardStreamParser {
public:
    enum Mode { Cards, RangesOnly, CharsetOnly, FoldsOnly };

    // A card runs from the start of its BEGIN line to the start of the next
    // BEGIN line (or the end of the data). Lines between its END and the
    // next BEGIN belong to no card and are dropped when it is parsed again.
    struct CardRange {
        qint64 begin = 0;
        qint64 end = 0;
        qint64 line = 1;
        // How the file's lines end, as known when the range closed: a card
        // read again alone reads its lines as the whole file was read.
        CARD_LineEnds lineEnds = CARD_LINES_UNKNOWN;
    };

    explicit VCardStreamParser(Mode mode = Cards);
    ~VCardStreamParser();
    VCardStreamParser(const VCardStreamParser&) = delete;
    VCardStreamParser& operator=(const VCardStreamParser&) = delete;

    // Where the first byte fed stands in the file. Call before feeding.
    void setOrigin(qint64 offset, qint64 line);
    // How the lines of the file that the bytes are part of end
    // (CardRange::lineEnds). Call before feeding.
    void setLineEnds(CARD_LineEnds lineEnds);
    // Forgets everything read, to parse new input with the same buffers.
    void reset();
    void feed(const char* data, qsizetype length);
    // Ends the input; a last line without a line end still counts.
    void finish();

    // What the reader should hear of besides dropped lines: in RangesOnly
    // mode the shape of the file (lines outside any card, a BEGIN inside a
    // card, a card without END at the end of the data, a mailing list passed
    // over), in Cards mode the values read differently from what was written.
    struct Problem {
        // ReadStopped: the tokenizer took no byte of its input, in either
        // mode; the rest of the input was left out. FoldsDropped: a card
        // taken as cut at a fixed width had its folds of this logical line
        // read without their blank (Cards mode). StrayEquals: a
        // quoted-printable "=" before another escape, a soft break whose
        // line end was lost, was dropped (Cards mode).
        // SoftBreakBeforeProperty: a quoted-printable value that ended in
        // "=" before a property's line ended there (Cards mode).
        enum Kind {
            OutsideCard,
            NestedBegin,
            MissingEnd,
            DanglingSoftBreak,
            TooManyParameters,
            ReadStopped,
            MailingList,
            FoldsDropped,
            StrayEquals,
            SoftBreakBeforeProperty,
        };
        Kind kind;
        qint64 line;
        // NestedBegin, MissingEnd: the line of the card's BEGIN.
        qint64 cardLine = 0;
        // OutsideCard: the last line of the stretch between two cards (or
        // before the first, after the last) that line begins; the lines
        // of one stretch are one problem.
        qint64 lastLine = 0;
    };
    // The first thousand, and how many there were.
    const QList<Problem>& problems() const { return m_problems; }
    // Parameters kept of one property; the rest are left out and the line
    // is named (TooManyParameters). No card needs more, and each costs
    // memory and time in every later step.
    static constexpr int kMaxParameters = 1000;
    int problemCount() const { return m_problemCount; }
    // RangesOnly: the lines on which a card began right after the END of
    // the one before, as writers that put no line break between cards
    // write them (the first thousand), and how many there were.
    const QList<qint64>& joinedCardLines() const { return m_joinedLines; }
    int joinedCardCount() const { return m_joinedCount; }

    QList<QList<VCardProperty>> takeCards();
    // The cards read so far but one still open, which stays to be read on:
    // a reader that looks at each card of a large file once keeps no more
    // than the cards of one piece.
    QList<QList<VCardProperty>> takeClosedCards();
    const QList<CardRange>& ranges() const { return m_ranges; }
    // How many of ranges() are whole: the last one ends only at the next
    // BEGIN or at finish().
    qsizetype closedRanges() const { return m_ranges.size() - (m_rangeOpen ? 1 : 0); }
    // CharsetOnly: the first charset with a decoder of its own
    // (VCardCharsets::hasDecoder()) that a line declares so far; empty
    // when none does.
    const QByteArray& declaredCharset() const { return m_declaredCharset; }
    // Cards: the folds of the text values of the file the cards stand in,
    // asked for the first time a card's folds need them; see
    // VCardFoldLookahead::setFileFolds(). Without them each card is judged
    // by its own folds. Kept by reset().
    void setFileFolds(std::function<const VCardFoldLookahead::Folds*()> fileFolds)
    {
        m_lookahead.setFileFolds(std::move(fileFolds));
    }
    // FoldsOnly: the folds of the text values of the cards read so far
    // that are not 3.0 or 4.0, pooled, and whether they already rule a cut
    // at one width out, so that no more of the file need be read: nothing
    // after the card that rules it out is.
    const VCardFoldLookahead::Folds& foldPool() const { return m_foldPool; }
    bool foldPoolRuledOut() const { return m_foldPool.widthsRuledOut(); }
    // FoldsOnly: the cards read to the line that ends them (an END, or the
    // BEGIN of a card an AGENT holds) whose text values have folds, all of
    // them in foldPool(): where each begins and where that line begins, in
    // file order.
    struct WholeCard {
        qint64 begin = 0;
        qint64 endLine = 0;
    };
    const QList<WholeCard>& pooledCards() const { return m_pooledCards; }
    // Cards: the card about to be fed is one of pooledCards() of a file
    // whose folds say it was cut at one width, and its bytes reach past the
    // line that ended it there: it is read as cut without the look-ahead
    // measuring its folds again. Cleared by reset().
    void setReadAsCut(bool cut) { m_readAsCut = cut; }
    // Malformed lines dropped (Cards mode), an END of another kind than its
    // card's among them, and the first of their line numbers.
    int skippedLines() const { return m_skipped; }
    const QList<qint64>& skippedLineNumbers() const { return m_skippedLines; }

private:
    static void onProperty(void* self, const char* name, const char** params);
    static void onData(void* self, const char* data, int length);
    // The value of the structure line awaited.
    static void onStructureData(void* self, const char* data, int length);
    static void onError(void* self, long long line);
    static void onWarning(void* self, long long line, int warning);
    void addProblem(Problem::Kind kind, qint64 line, qint64 cardLine = 0);
    void addOutsideLine(qint64 line);
    void addSkippedLine(qint64 line);
    // A BEGIN, END or AGENT line whose value decides where cards begin and
    // end: the value is gathered (in RangesOnly mode, too) and the line
    // settled once it is whole.
    void awaitStructure(int kind);
    // decoded: false when the value could not be decoded or never came.
    void settleStructure(bool decoded);
    // kind: the BEGIN's value, empty when it has none or it could not be
    // read.
    void beginObject(bool isList, QByteArrayView kind);
    void endObject();
    void noteDeclaredCharset(const char** params);
    // Hands bytes to the tokenizer; at each card's BEGIN it stops, and the
    // card's VERSION further on (and, in Cards mode, the widths of a 2.1
    // card's folded lines) sets how the card's lines unfold before the
    // tokenizer reads on. When the bytes at hand do not tell, the rest is
    // held until later bytes do.
    void tokenize(const char* data, qsizetype length);
    // The last bytes of input that the tokenizer may hold, a CR alone and
    // the name after it (CARD_StopParser()).
    void keepRecent(const char* data, qsizetype length);
    // The look-ahead has decided the card; returns how many of the bytes
    // it read need no tokenizing.
    qsizetype settleCard(VCardFoldLookahead::Result version);
    void unfoldAs(VCardFoldLookahead::Result version);
    // The same few names and parameter words come on every card; sharing
    // their text saves an allocation per property. upper: the text in
    // upper case, as names are kept.
    QString intern(const char* text, bool upper = false);

    Mode m_mode;
    CARD_Parser* m_tokenizer = nullptr;
    qint64 m_fed = 0;
    qint64 m_origin = 0;
    bool m_finished = false;
    bool m_finishing = false;
    // The tokenizer stopped taking bytes, or in FoldsOnly mode the folds
    // pooled ruled a cut out: nothing more is fed to it.
    bool m_stopped = false;

    // A BEGIN was read in the tokenize() call under way.
    bool m_cardBegun = false;
    VCardFoldLookahead m_lookahead;
    // Bytes not yet tokenized while the lookahead waits for more.
    bool m_lookingAhead = false;
    QByteArray m_held;
    // The end of the bytes fed to the tokenizer, whenever it may hold some
    // of them: as long as a CR alone and the name after it.
    std::array<char, vcardsyntax::kCrNameRoom + 1> m_recent {};
    int m_recentLength = 0;
    VCardFoldLookahead::Folds m_foldPool;
    QList<WholeCard> m_pooledCards;
    bool m_readAsCut = false;

    QList<QList<VCardProperty>> m_cards;
    bool m_cardOpen = false;
    // A value that says where cards begin and end, when it is no longer
    // than the words looked for; a length of -1 for a longer one.
    static constexpr int kMostStructureBytes = 32;
    struct StructureWord {
        char text[kMostStructureBytes];
        int length = 0;
    };
    // The kind its BEGIN named ("VCARD"), which its END names; none when the
    // BEGIN has no value or one that could not be read, and then any END
    // ends it.
    StructureWord m_ownKind;
    // Between "BEGIN:VLIST" and its END.
    bool m_inList = false;
    // How many cards held by AGENT values are open inside the card.
    int m_agentDepth = 0;
    // The line just read is an AGENT without a value: a BEGIN on the next
    // line opens the agent's card.
    bool m_agentCardNext = false;
    // The lines whose values say where cards begin and end.
    // StructureAgentCard: a BEGIN on the line after an AGENT without a value,
    // which the 2.1 standard writes so: the agent's card on the lines that
    // follow is the AGENT's value.
    enum Structure { StructureNone, StructureBegin, StructureEnd, StructureAgent, StructureAgentCard };
    // The structure line whose value is being gathered (StructureLine), its
    // line, where it starts, the first bytes of its value, and for a BEGIN
    // whether it stands inside a card without END.
    int m_structure = 0;
    qint64 m_structureLine = 0;
    qint64 m_structureStart = 0;
    StructureWord m_structureValue;
    bool m_beginInsideCard = false;
    // The property whose value the next data call delivers, if any.
    VCardProperty* m_awaiting = nullptr;
    bool m_awaitingVersion = false;

    QList<CardRange> m_ranges;
    bool m_rangeOpen = false;
    // RangesOnly: between a BEGIN and its END.
    bool m_scanInCard = false;
    QList<Problem> m_problems;
    int m_problemCount = 0;
    QList<qint64> m_joinedLines;
    int m_joinedCount = 0;
    qint64 m_joinedLast = 0;
    // The last problem is OutsideCard and no card began since: a line
    // outside the cards there extends it. Kept: it is in m_problems.
    bool m_outsideOpen = false;
    bool m_outsideKept = false;
    QByteArray m_declaredCharset;
    // Names looked up for declaredCharset(), a bounded number: a file of a
    // million lines that each name another charset costs no million lookups.
    int m_charsetsLooked = 0;

    int m_skipped = 0;
    QList<qint64> m_skippedLines;

    // Direct-mapped by a hash of the text: a clash only costs a new string.
    struct Interned {
        QByteArray text;
        QString value;
    };
    std::array<Interned, 256> m_interned;
};
