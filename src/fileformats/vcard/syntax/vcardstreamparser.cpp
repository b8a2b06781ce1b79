// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardstreamparser.h"

#include "fileformats/vcard/syntax/vcardcharsets.h"
#include "fileformats/vcard/syntax/vcardtokenizer.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Pieces fed to the tokenizer stay well below INT_MAX, so files over 2 GiB
// are read whole and not as empty.
constexpr qsizetype kMaxPiece = 64 * 1024 * 1024;

// The name without its group prefix ("item1.TEL" -> "TEL").
const char* withoutGroup(const char* name)
{
    const char* dot = std::strrchr(name, '.');
    return dot ? dot + 1 : name;
}

// Whether a name without its group is upper, ASCII case aside. Asked of
// every line of a file twice, so without library calls; the first letter
// settles nearly every one.
bool isNamed(const char* base, const char* upper)
{
    for (; *base && *upper; ++base, ++upper) {
        const char c = (*base >= 'a' && *base <= 'z') ? char(*base - 'a' + 'A') : *base;
        if (c != *upper)
            return false;
    }
    return *base == *upper;
}

// Of the gaps the tokenizer found in a name (CARD_GetNameGaps()), those
// between the characters of the name without its group, `group` bytes
// long with its "."; none when a blank stood in the group or right after
// it, or when the name runs past VCardProperty::nameGaps.
quint32 gapsWithoutGroup(unsigned long long gaps, qsizetype group, qsizetype length)
{
    if (gaps == 0 || length > 32 || (gaps & ((2ULL << group) - 1)) != 0)
        return 0;
    return quint32(gaps >> group);
}

bool isVersion3Or4(const QByteArray& version)
{
    const QByteArray text = version.trimmed();
    return text.startsWith('3') || text.startsWith('4');
}

char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Whether input that ends in c may end in a CR alone or the name after one,
// or a card's BEGIN or END line after one, with its blanks, which the
// tokenizer holds until the next bytes tell what the CR is.
bool mayBeHeld(char c)
{
    return c == '\r' || c == '-' || c == '.' || c == ':' || c == ' ' || c == '\t' || (c >= '0' && c <= '9')
        || (upperAscii(c) >= 'A' && upperAscii(c) <= 'Z');
}

} // namespace

VCardStreamParser::VCardStreamParser(Mode mode)
    : m_mode(mode)
{
    m_tokenizer = CARD_ParserCreate();
    if (!m_tokenizer)
        throw std::bad_alloc();
    CARD_SetUserData(m_tokenizer, this);
    CARD_SetPropHandler(m_tokenizer, &VCardStreamParser::onProperty);
    CARD_SetErrorHandler(m_tokenizer, &VCardStreamParser::onError);
    CARD_SetWarningHandler(m_tokenizer, &VCardStreamParser::onWarning);
    if (mode == Cards)
        CARD_SetDataHandler(m_tokenizer, &VCardStreamParser::onData);
    if (mode == FoldsOnly)
        m_lookahead.setPooled(&m_foldPool);
}

VCardStreamParser::~VCardStreamParser()
{
    CARD_ParserFree(m_tokenizer);
}

void VCardStreamParser::setOrigin(qint64 offset, qint64 line)
{
    m_origin = offset;
    CARD_SetPosition(m_tokenizer, offset, line);
}

void VCardStreamParser::setLineEnds(CARD_LineEnds lineEnds)
{
    CARD_SetLineEnds(m_tokenizer, lineEnds);
}

void VCardStreamParser::reset()
{
    CARD_ParserReset(m_tokenizer);
    m_fed = 0;
    m_origin = 0;
    m_finished = false;
    m_finishing = false;
    m_stopped = false;
    m_cardBegun = false;
    m_lookingAhead = false;
    m_held.clear();
    m_recentLength = 0;
    m_foldPool = VCardFoldLookahead::Folds();
    m_pooledCards.clear();
    m_readAsCut = false;
    m_cards.clear();
    m_cardOpen = false;
    m_ownKind.length = 0;
    m_inList = false;
    m_agentDepth = 0;
    m_agentCardNext = false;
    m_structure = StructureNone;
    m_structureValue.length = 0;
    m_beginInsideCard = false;
    CARD_SetDataHandler(m_tokenizer, m_mode == Cards ? &VCardStreamParser::onData : nullptr);
    m_awaiting = nullptr;
    m_awaitingVersion = false;
    m_ranges.clear();
    m_rangeOpen = false;
    m_scanInCard = false;
    m_problems.clear();
    m_problemCount = 0;
    m_joinedLines.clear();
    m_joinedCount = 0;
    m_joinedLast = 0;
    m_outsideOpen = false;
    m_outsideKept = false;
    m_declaredCharset.clear();
    m_charsetsLooked = 0;
    m_skipped = 0;
    m_skippedLines.clear();
}

QString VCardStreamParser::intern(const char* text, bool upper)
{
    // Long enough for the names other programs give their own properties
    // ("X-KADDRESSBOOK-X-Department", "X-OUTLOOK-WEDDING-ANNIVERSARY"): a
    // card may repeat one on every line, and only a shared name lets the
    // card mapper find its rule without comparing texts.
    constexpr size_t kMaxInterned = 48;
    // The text is measured, hashed and, for a name, put in upper case in
    // one pass: every line of a file comes this way.
    char upperText[kMaxInterned];
    unsigned hash = 2166136261u;
    size_t length = 0;
    for (; text[length]; ++length) {
        if (length == kMaxInterned) {
            const QByteArray whole(text);
            return QString::fromLatin1(upper ? whole.toUpper() : whole);
        }
        char c = text[length];
        if (upper) {
            c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
            upperText[length] = c;
        }
        hash = (hash ^ (unsigned char)c) * 16777619u;
    }
    if (length == 0)
        return QString::fromLatin1(text, 0);
    if (upper)
        text = upperText;
    Interned& slot = m_interned[(hash ^ (hash >> 8)) % m_interned.size()];
    if (slot.text.size() == qsizetype(length) && std::memcmp(slot.text.constData(), text, length) == 0)
        return slot.value;
    slot.text = QByteArray(text, qsizetype(length));
    slot.value = QString::fromLatin1(text, qsizetype(length));
    return slot.value;
}

void VCardStreamParser::feed(const char* data, qsizetype length)
{
    Q_ASSERT(!m_finished);
    if (length <= 0)
        return;
    m_fed += length;
    if (m_stopped)
        return;
    if (!m_lookingAhead) {
        tokenize(data, length);
        return;
    }
    m_held.append(data, length);
    const VCardFoldLookahead::Result version = m_lookahead.read(m_held.constData(), m_held.size());
    if (version == VCardFoldLookahead::Undecided)
        return;
    const qsizetype settled = settleCard(version);
    m_lookingAhead = false;
    const QByteArray held = std::exchange(m_held, {});
    tokenize(held.constData() + settled, held.size() - settled);
}

void VCardStreamParser::tokenize(const char* data, qsizetype length)
{
    QByteArray again;
    while (length > 0 && !m_stopped) {
        const qint64 before = CARD_GetPosition(m_tokenizer);
        m_cardBegun = false;
        const qsizetype piece = qMin(length, kMaxPiece);
        CARD_Parse(m_tokenizer, data, int(piece), 0);
        qsizetype used = qsizetype(CARD_GetPosition(m_tokenizer) - before);
        if (used <= 0 || used > length) {
            if (used > 0 || !m_cardBegun || 1 - used > m_recentLength) {
                // Feeding the same bytes again would never end: the rest of
                // the input is left out and said so, rather than read wrongly.
                addProblem(Problem::ReadStopped, CARD_GetLineNumber(m_tokenizer));
                m_stopped = true;
                return;
            }
            // The tokenizer stopped right after a CR alone that ended a
            // card's BEGIN line, which it had held with the name after it at
            // the end of earlier bytes: the name is fed again, and the CR
            // stands before it as before the rest of any BEGIN line.
            m_recentLength += int(used);
            QByteArray joined(m_recent.data() + m_recentLength - 1, 1 - used);
            joined.append(data, length);
            again = std::move(joined);
            data = again.constData() + 1;
            length = again.size() - 1;
            used = 0;
        } else if (used == piece && mayBeHeld(data[used - 1])) {
            keepRecent(data, used);
        }
        data += used;
        length -= used;
        if (!m_cardBegun)
            continue;
        // The file's survey read this card's folds whole, and all of the
        // file's say it was cut at one width: it is, without measuring them
        // again.
        if (std::exchange(m_readAsCut, false)) {
            unfoldAs(VCardFoldLookahead::Drops);
            continue;
        }
        // The tokenizer stopped within the card's BEGIN line (after its
        // colon), or right after it when it ended a quoted-printable value.
        // Whether a 2.1 fold keeps its blank changes values, never where a
        // card ends: the ranges scan does not read 2.1 cards to their end.
        // A CR read last ended the line, unless the line feed of its CR LF
        // is still to come here; at the end of the bytes at hand it may
        // come in the next ones, where the look-ahead passes it by.
        // The look-ahead reads the card's lines as the tokenizer reads them:
        // before the file's first line end, that end tells both. A CR alone
        // read last ended the line in a file of either kind: in one whose
        // lines end in LF, one that is text ends no BEGIN line.
        CARD_LineEnds lineEnds = CARD_GetLineEnds(m_tokenizer);
        if (lineEnds == CARD_LINES_UNKNOWN && data[-1] == '\r' && length > 0 && data[0] != '\n')
            lineEnds = CARD_LINES_CR;
        const bool crEnded = data[-1] == '\r' && (length == 0 || data[0] != '\n');
        m_lookahead.setLineEnds(lineEnds);
        m_lookahead.start(data[-1] == '\n' || crEnded, m_mode == Cards || m_mode == FoldsOnly);
        const VCardFoldLookahead::Result version = m_lookahead.read(data, length, m_finishing);
        if (version == VCardFoldLookahead::Undecided) {
            m_held = QByteArray(data, length);
            m_lookingAhead = true;
            return;
        }
        const qsizetype settled = settleCard(version);
        data += settled;
        length -= settled;
    }
}

void VCardStreamParser::keepRecent(const char* data, qsizetype length)
{
    const int room = int(m_recent.size());
    if (length >= room) {
        std::memcpy(m_recent.data(), data + length - room, size_t(room));
        m_recentLength = room;
        return;
    }
    const int kept = qMin(m_recentLength, room - int(length));
    std::memmove(m_recent.data(), m_recent.data() + m_recentLength - kept, size_t(kept));
    std::memcpy(m_recent.data() + kept, data, size_t(length));
    m_recentLength = kept + int(length);
}

qsizetype VCardStreamParser::settleCard(VCardFoldLookahead::Result version)
{
    if (m_mode == FoldsOnly && version != VCardFoldLookahead::Joins) {
        m_foldPool.add(m_lookahead.cardFolds());
        // Once the folds rule a cut out, the rest of the file cannot make
        // them agree: nothing more is read, not even the rest of the bytes
        // at hand.
        if (m_foldPool.widthsRuledOut()) {
            m_stopped = true;
            return 0;
        }
        // The look-ahead read the card's lines to the one that ends it, and
        // the tokenizer need not read them again: it goes on from there.
        if (m_lookahead.endLine() > 0) {
            const qint64 endLine = CARD_GetPosition(m_tokenizer) + m_lookahead.endLine();
            if (m_lookahead.cardFolds().count > 0)
                m_pooledCards.append({ m_structureStart, endLine });
            // Where the tokenizer stands in the file, and how the file's
            // lines end, outlive the reset.
            const CARD_LineEnds lineEnds = CARD_GetLineEnds(m_tokenizer);
            CARD_ParserReset(m_tokenizer);
            CARD_SetPosition(m_tokenizer, endLine, 1);
            CARD_SetLineEnds(m_tokenizer, lineEnds);
            return m_lookahead.endLine();
        }
    }
    unfoldAs(version);
    return 0;
}

void VCardStreamParser::unfoldAs(VCardFoldLookahead::Result version)
{
    CARD_UnfoldMode mode = CARD_UNFOLD_SPACE;
    if (version == VCardFoldLookahead::Joins)
        mode = CARD_UNFOLD_JOIN;
    else if (version == VCardFoldLookahead::Drops)
        mode = CARD_UNFOLD_DROP;
    CARD_SetUnfoldMode(m_tokenizer, mode);
}

void VCardStreamParser::finish()
{
    if (m_finished)
        return;
    m_finishing = true;
    if (m_lookingAhead && !m_stopped) {
        const qsizetype settled = settleCard(m_lookahead.read(m_held.constData(), m_held.size(), true));
        m_lookingAhead = false;
        const QByteArray held = std::exchange(m_held, {});
        tokenize(held.constData() + settled, held.size() - settled);
    }
    m_cardBegun = false;
    CARD_Parse(m_tokenizer, nullptr, 0, 1);
    // A structure line the tokenizer no longer reached.
    if (m_structure != StructureNone)
        settleStructure(false);
    m_finished = true;
    if (m_rangeOpen) {
        m_ranges.last().end = m_origin + m_fed;
        m_ranges.last().lineEnds = CARD_GetLineEnds(m_tokenizer);
        m_rangeOpen = false;
    }
    if (m_scanInCard) {
        addProblem(Problem::MissingEnd, m_ranges.last().line, m_ranges.last().line);
        m_scanInCard = false;
    }
    m_awaiting = nullptr;
}

QList<QList<VCardProperty>> VCardStreamParser::takeCards()
{
    m_awaiting = nullptr;
    m_cardOpen = false;
    return std::exchange(m_cards, {});
}

QList<QList<VCardProperty>> VCardStreamParser::takeClosedCards()
{
    if (!m_cardOpen)
        return takeCards();
    // The open card's properties stay where they are (m_awaiting points
    // into them): only the list that holds them moves.
    QList<QList<VCardProperty>> closed = std::exchange(m_cards, {});
    m_cards.append(closed.takeLast());
    return closed;
}

void VCardStreamParser::onProperty(void* self, const char* name, const char** params)
{
    auto* me = static_cast<VCardStreamParser*>(self);
    me->m_awaiting = nullptr;
    me->m_awaitingVersion = false;
    const char* base = withoutGroup(name);
    // Most names are none of those looked for here: their first letter says so.
    const char initial = upperAscii(base[0]);
    const bool agentCardNext = std::exchange(me->m_agentCardNext, false);
    if (initial == 'B' && isNamed(base, "BEGIN")) {
        if (agentCardNext) {
            // A line of the host card: its lines unfold as they did.
            me->awaitStructure(StructureAgentCard);
            return;
        }
        // How the card's lines unfold is for its VERSION to say, wherever it
        // stands: tokenize() looks ahead for it before the tokenizer reads
        // on. Until then, and in a card without one, the 2.1 way.
        CARD_SetUnfoldMode(me->m_tokenizer, CARD_UNFOLD_SPACE);
        me->m_cardBegun = true;
        CARD_StopParser(me->m_tokenizer);
        me->m_structureStart = CARD_GetLineStart(me->m_tokenizer);
        if (me->m_mode == CharsetOnly || me->m_mode == FoldsOnly)
            return;
        // Whatever was open ends here; what begins, its value tells.
        me->m_outsideOpen = false;
        me->m_beginInsideCard = me->m_scanInCard;
        if (me->m_rangeOpen) {
            me->m_ranges.last().end = me->m_structureStart;
            me->m_ranges.last().lineEnds = CARD_GetLineEnds(me->m_tokenizer);
            me->m_rangeOpen = false;
        }
        me->m_scanInCard = false;
        me->m_cardOpen = false;
        me->m_inList = false;
        me->m_agentDepth = 0;
        me->awaitStructure(StructureBegin);
        return;
    }
    if (me->m_mode == CharsetOnly) {
        if (me->m_declaredCharset.isEmpty())
            me->noteDeclaredCharset(params);
        return;
    }
    if (me->m_mode == FoldsOnly)
        return;
    const bool inObject = me->m_mode == RangesOnly ? me->m_scanInCard || me->m_inList : me->m_cardOpen || me->m_inList;
    if (!inObject) {
        if (me->m_mode == RangesOnly)
            me->addOutsideLine(CARD_GetLineNumber(me->m_tokenizer));
        return;
    }
    if (initial == 'E' && isNamed(base, "END")) {
        me->awaitStructure(StructureEnd);
        return;
    }
    // A 2.1 agent's card may stand in its AGENT value; a list holds no agent.
    if (initial == 'A' && !me->m_inList && isNamed(base, "AGENT"))
        me->awaitStructure(StructureAgent);
    if (me->m_mode == RangesOnly || me->m_inList || me->m_agentDepth > 0)
        return;
    QList<VCardProperty>& card = me->m_cards.last();
    VCardProperty& property = card.emplaceBack();
    property.name = me->intern(base, true);
    if (base != name)
        property.group = QString::fromLatin1(name, base - 1 - name);
    property.line = CARD_GetLineNumber(me->m_tokenizer);
    property.nameDamaged = CARD_IsNameDamaged(me->m_tokenizer) != 0;
    if (property.nameDamaged)
        property.nameGaps = gapsWithoutGroup(CARD_GetNameGaps(me->m_tokenizer), base - name, property.name.size());
    int kept = 0;
    for (const char** p = params; p[0]; p += 2) {
        if (kept++ == kMaxParameters) {
            me->addProblem(Problem::TooManyParameters, property.line);
            break;
        }
        const QString key = me->intern(p[0]);
        const QString value = p[1] ? me->intern(p[1]) : QString();
        // "TYPE=WORK;TYPE=VOICE" is one list of kinds, as "TYPE=WORK,VOICE".
        // A name not seen before comes in empty, so takes the value.
        QString& slot = property.params[key];
        if (!value.isEmpty() && !slot.isEmpty() && VCardParams::isWord(key, QLatin1StringView("TYPE")))
            slot += QLatin1Char(',') + value;
        else
            slot = value;
    }
    me->m_awaiting = &property;
    me->m_awaitingVersion = property.name == QLatin1String("VERSION");
}

void VCardStreamParser::onData(void* self, const char* data, int length)
{
    auto* me = static_cast<VCardStreamParser*>(self);
    if (length == 0) {
        me->m_awaiting = nullptr;
        me->m_awaitingVersion = false;
        return;
    }
    if (!me->m_awaiting)
        return;
    me->m_awaiting->value = QByteArray(data, length);
    // A VERSION beyond the look-ahead's reach still rules the lines after it.
    if (me->m_awaitingVersion && isVersion3Or4(me->m_awaiting->value))
        CARD_SetUnfoldMode(me->m_tokenizer, CARD_UNFOLD_JOIN);
}

void VCardStreamParser::noteDeclaredCharset(const char** params)
{
    constexpr int kMostLooked = 16;
    for (const char** p = params; p[0] && m_charsetsLooked < kMostLooked; p += 2) {
        if (!p[1] || !isNamed(withoutGroup(p[0]), "CHARSET"))
            continue;
        const QByteArrayView charset(p[1]);
        // Most files that name a charset name UTF-8 on every line: that
        // one needs no lookup and counts against no bound.
        if (charset.compare("UTF-8", Qt::CaseInsensitive) == 0)
            continue;
        ++m_charsetsLooked;
        if (VCardCharsets::hasDecoder(charset)) {
            m_declaredCharset = charset.toByteArray();
            return;
        }
    }
}
