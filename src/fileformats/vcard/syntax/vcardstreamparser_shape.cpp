// SPDX-License-Identifier: GPL-3.0-or-later
// The shape of a file of cards: where cards begin and end, as the values of
// BEGIN, END and AGENT lines say, and what is said of the lines that fit no
// card or could not be read.
#include "fileformats/vcard/syntax/vcardstreamparser.h"

#include "fileformats/fileformatslog.h"
#include "fileformats/vcard/syntax/vcardtokenizer.h"

#include <cstring>
#include <utility>

namespace {

constexpr int kMaxRecordedLines = 1000;

char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

QByteArrayView trimmedBlanks(QByteArrayView value)
{
    while (!value.isEmpty() && (value.front() == ' ' || value.front() == '\t'))
        value = value.sliced(1);
    while (!value.isEmpty() && (value.back() == ' ' || value.back() == '\t'))
        value.chop(1);
    return value;
}

// Whether the two are one word, ASCII case aside. Asked at the BEGIN and
// END of every card, which nearly all write as the word stands.
bool isSameWord(QByteArrayView value, QByteArrayView word)
{
    if (value.size() != word.size())
        return false;
    if (std::memcmp(value.data(), word.data(), size_t(value.size())) == 0)
        return true;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (upperAscii(value[i]) != upperAscii(word[i]))
            return false;
    }
    return true;
}

} // namespace

void VCardStreamParser::awaitStructure(int kind)
{
    m_structure = kind;
    m_structureLine = CARD_GetLineNumber(m_tokenizer);
    m_structureValue.length = 0;
    // The scan decodes no value but these few; the cards' values come
    // through onData(), which need not look for them.
    CARD_SetDataHandler(m_tokenizer, &VCardStreamParser::onStructureData);
}

void VCardStreamParser::onStructureData(void* self, const char* data, int length)
{
    auto* me = static_cast<VCardStreamParser*>(self);
    if (length > 0) {
        // The words looked for are short: a longer value is none of them.
        StructureWord& value = me->m_structureValue;
        value.length = length <= kMostStructureBytes ? length : -1;
        if (value.length > 0)
            std::memcpy(value.text, data, size_t(value.length));
        // An AGENT is a property of its card too.
        if (me->m_mode == Cards && me->m_structure == StructureAgent)
            onData(self, data, length);
        return;
    }
    const bool agent = me->m_structure == StructureAgent;
    me->settleStructure(true);
    if (me->m_mode == Cards && agent)
        onData(self, data, length);
}

void VCardStreamParser::settleStructure(bool decoded)
{
    const int kind = std::exchange(m_structure, StructureNone);
    CARD_SetDataHandler(m_tokenizer, m_mode == Cards ? &VCardStreamParser::onData : nullptr);
    // A value longer than the words looked for is none of them.
    const bool valueRead = decoded && m_structureValue.length >= 0;
    const QByteArrayView value = valueRead
        ? trimmedBlanks(QByteArrayView(m_structureValue.text, m_structureValue.length))
        : QByteArrayView();
    switch (kind) {
    case StructureBegin:
        beginObject(valueRead && isSameWord(value, QByteArrayView("VLIST", 5)), value);
        break;
    case StructureEnd:
        if (m_agentDepth > 0) {
            if (isSameWord(value, QByteArrayView("VCARD", 5)))
                --m_agentDepth;
        } else if (m_inList) {
            m_inList = !isSameWord(value, QByteArrayView("VLIST", 5));
        } else if (m_ownKind.length == 0
                   || (valueRead && isSameWord(value, QByteArrayView(m_ownKind.text, m_ownKind.length)))) {
            endObject();
        } else if (m_mode == Cards && decoded) {
            // One that did not decode is counted as such already.
            addSkippedLine(m_structureLine);
        }
        break;
    case StructureAgent:
        if (isSameWord(value, QByteArrayView("BEGIN:VCARD", 11)))
            ++m_agentDepth;
        else
            m_agentCardNext = valueRead && value.isEmpty();
        break;
    case StructureAgentCard:
        if (!isSameWord(value, QByteArrayView("VCARD", 5)))
            break;
        // The AGENT then holds a card as one written on its own line does,
        // and is named among the values left out as that one is.
        if (m_mode == Cards && m_agentDepth == 0 && m_cardOpen && !m_cards.isEmpty()
            && !m_cards.last().isEmpty() && m_cards.last().last().name == QLatin1String("AGENT"))
            m_cards.last().last().value = QByteArrayLiteral("BEGIN:VCARD");
        ++m_agentDepth;
        break;
    default:
        break;
    }
}

void VCardStreamParser::beginObject(bool isList, QByteArrayView kind)
{
    if (isList) {
        m_inList = true;
        if (m_mode == RangesOnly)
            addProblem(Problem::MailingList, m_structureLine);
        return;
    }
    m_ownKind.length = int(kind.size());
    if (m_ownKind.length > 0)
        std::memcpy(m_ownKind.text, kind.data(), size_t(m_ownKind.length));
    if (m_mode == RangesOnly) {
        if (m_beginInsideCard)
            addProblem(Problem::NestedBegin, m_structureLine, m_ranges.last().line);
        m_ranges.append({ m_structureStart, m_structureStart, m_structureLine });
        m_rangeOpen = true;
        m_scanInCard = true;
        return;
    }
    m_cards.append(QList<VCardProperty>());
    // Typical cards have about ten lines; growing from one costs a few
    // moves of every property. Ten properties also stay a block small
    // enough for the allocator's fast per-thread cache.
    m_cards.last().reserve(10);
    m_cardOpen = true;
}

void VCardStreamParser::endObject()
{
    m_cardOpen = false;
    m_scanInCard = false;
}

void VCardStreamParser::onError(void* self, long long line)
{
    auto* me = static_cast<VCardStreamParser*>(self);
    me->m_agentCardNext = false;
    // A BEGIN, END or AGENT whose value did not decode: a BEGIN still begins
    // a card, which any END ends.
    if (me->m_structure != StructureNone)
        me->settleStructure(false);
    if (me->m_mode == RangesOnly) {
        // Inside a card the card's own parse counts it.
        if (!me->m_scanInCard && !me->m_inList)
            me->addOutsideLine(line);
        return;
    }
    // After the card's END: the scan names the line, as outside any card.
    if (!me->m_cardOpen && !me->m_inList) {
        me->m_awaiting = nullptr;
        me->m_awaitingVersion = false;
        return;
    }
    // A value that failed to decode: its property was already announced.
    if (me->m_awaiting && me->m_cardOpen && !me->m_cards.isEmpty() && !me->m_cards.last().isEmpty()
        && &me->m_cards.last().last() == me->m_awaiting)
        me->m_cards.last().removeLast();
    me->m_awaiting = nullptr;
    me->m_awaitingVersion = false;
    me->addSkippedLine(line);
    qCDebug(lcVCard) << "dropped malformed line" << line;
}

void VCardStreamParser::addSkippedLine(qint64 line)
{
    ++m_skipped;
    if (m_skippedLines.size() < kMaxRecordedLines)
        m_skippedLines.append(line);
}

void VCardStreamParser::onWarning(void* self, long long line, int warning)
{
    auto* me = static_cast<VCardStreamParser*>(self);
    // Of the file's shape: a card read alone begins at its own BEGIN.
    if (warning == CARD_WARN_CARDS_JOINED) {
        // Named once however many cards the line holds.
        if (me->m_mode == RangesOnly && std::exchange(me->m_joinedLast, line) != line) {
            ++me->m_joinedCount;
            if (me->m_joinedLines.size() < kMaxRecordedLines)
                me->m_joinedLines.append(line);
        }
        return;
    }
    // A line after the card's END is named as outside any card, and that
    // is all that is said of it.
    if (me->m_mode != Cards || (!me->m_cardOpen && !me->m_inList))
        return;
    if (warning == CARD_WARN_DANGLING_SOFT_BREAK)
        me->addProblem(Problem::DanglingSoftBreak, line);
    else if (warning == CARD_WARN_FOLD_DROPPED)
        me->addProblem(Problem::FoldsDropped, line);
    else if (warning == CARD_WARN_STRAY_EQUALS)
        me->addProblem(Problem::StrayEquals, line);
    else if (warning == CARD_WARN_SOFT_BREAK_BEFORE_PROPERTY)
        me->addProblem(Problem::SoftBreakBeforeProperty, line);
}

void VCardStreamParser::addProblem(Problem::Kind kind, qint64 line, qint64 cardLine)
{
    ++m_problemCount;
    m_outsideOpen = kind == Problem::OutsideCard;
    m_outsideKept = m_problems.size() < kMaxRecordedLines;
    if (m_outsideKept)
        m_problems.append({ kind, line, cardLine, line });
}

void VCardStreamParser::addOutsideLine(qint64 line)
{
    // A stretch of damaged bytes is many lines: named once, as one.
    if (!m_outsideOpen) {
        addProblem(Problem::OutsideCard, line);
        return;
    }
    if (m_outsideKept)
        m_problems.last().lastLine = qMax(m_problems.last().lastLine, line);
}
