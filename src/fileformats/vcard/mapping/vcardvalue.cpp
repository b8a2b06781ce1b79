// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardvalue.h"

#include "fileformats/vcard/mapping/vcardcardtext.h"
#include "fileformats/vcard/mapping/vcardtextmemo.h"
#include "model/contact.h"

#include <QHash>
#include <QSet>

VCardValue::VCardValue(
    const VCardProperty& property, VCardCardText& cardText, bool unescape, VCardCardText::Holds holds,
    bool keepsEndBlanks)
    : m_property(property)
    , m_cardText(cardText)
    , m_unescape(unescape)
    , m_holds(holds)
    , m_keepsEndBlanks(keepsEndBlanks)
{
}

const QString& VCardValue::raw() const
{
    if (!m_raw)
        m_raw = m_cardText.text(m_property, m_holds);
    return *m_raw;
}

const QString& VCardValue::text() const
{
    if (m_text)
        return *m_text;
    if (unescapes()) {
        m_text.emplace(VCardProperty::unescapeText(raw()));
    } else {
        // Nearly every such value as written is its text.
        if (m_keepsEndBlanks || !pim::hasEndBlanks(raw()))
            return raw();
        m_text.emplace(raw());
    }
    if (!m_keepsEndBlanks)
        pim::dropEndBlanks(*m_text);
    return *m_text;
}

QStringList VCardValue::components(bool joinLists) const
{
    return VCardProperty::splitComponents(raw(), unescapes(), joinLists, !m_keepsEndBlanks);
}

QString VCardValue::typeText() const
{
    return VCardParams::withoutBlanks(m_property.params.value(QStringLiteral("TYPE")));
}

namespace {

// One kind word as kinds() gives it: quotes and blanks dropped, other white
// space around it trimmed, in lower case; asWritten, for writtenKinds(), in
// its case and with its blanks, trimmed. A word of nothing but quotes and
// blanks is none, in both. Parameter text is Latin-1, so a character at a
// time is enough and spares a pass through the full case tables.
void appendKind(QStringList& words, QStringView written, bool asWritten = false)
{
    QString word(written.size(), Qt::Uninitialized);
    QChar* out = word.data();
    qsizetype n = 0;
    qsizetype letters = 0;
    for (const QChar c : written) {
        if (c == u'"')
            continue;
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\t') {
            if (asWritten)
                out[n++] = c;
            continue;
        }
        ++letters;
        out[n++] = asWritten ? c : u >= u'A' && u <= u'Z' ? QChar(u + 32) : u < 0x80 ? c : c.toLower();
    }
    if (letters == 0)
        return;
    // Trimmed where it was built: a word is seldom padded, and a trimmed
    // copy would be a second block for each word.
    const QStringView kept = QStringView(out, n).trimmed();
    if (kept.size() == n) {
        word.truncate(n);
        words.append(std::move(word));
    } else {
        words.append(kept.toString());
    }
}

// The kind words of one parameter text: a TYPE value's comma-separated
// words, or a bare marker as one word.
QStringList kindsOf(const QString& text, bool typeValue, bool asWritten = false)
{
    QStringList words;
    if (typeValue) {
        for (const QStringView word : QStringView(text).tokenize(u',', Qt::SkipEmptyParts))
            appendKind(words, word, asWritten);
    } else {
        appendKind(words, text, asWritten);
    }
    return words;
}

// kindsOf() through a memo of recent texts: a file's few kinds are worked
// out once rather than for every property, and the lists handed out share
// the memo's. One per thread, as files are read on worker threads.
const QStringList& memoizedKindsOf(const QString& text, bool typeValue)
{
    thread_local VCardTextMemo<QStringList, 32> memo;
    return memo.value(text, typeValue ? 1 : 0, [typeValue](const QString& t) { return kindsOf(t, typeValue); });
}

// Calls take(text, typeValue) for each parameter text that names kinds, in
// order: a TYPE value, a bare marker.
template <typename Take>
void forEachKindText(const VCardParams& params, Take take)
{
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        const bool typeValue = VCardParams::isWord(it.key(), QLatin1StringView("TYPE"));
        if (typeValue || it.value().isEmpty())
            take(typeValue ? it.value() : it.key(), typeValue);
    }
}

} // namespace

QStringList VCardValue::kinds() const
{
    if (m_hasLabelKinds)
        return m_labelKinds;
    QStringList words;
    forEachKindText(m_property.params, [&words](const QString& text, bool typeValue) {
        const QStringList& more = memoizedKindsOf(text, typeValue);
        if (words.isEmpty())
            words = more;
        else
            words.append(more);
    });
    return words;
}

QStringList VCardValue::writtenKinds() const
{
    if (m_hasLabelKinds)
        return m_labelKinds;
    QStringList words;
    forEachKindText(m_property.params,
        [&words](const QString& text, bool typeValue) { words.append(kindsOf(text, typeValue, true)); });
    return words;
}

QStringList VCardValue::writtenTypeWords() const
{
    QStringList words;
    if (m_hasLabelKinds)
        return words;
    forEachKindText(m_property.params, [&words](const QString& text, bool typeValue) {
        if (typeValue)
            words.append(kindsOf(text, true, true));
    });
    return words;
}

bool VCardValue::has(const QStringList& kinds, QLatin1StringView word)
{
    // Asked of every kind of nearly every property: the units are compared
    // here, as the library's comparison costs more to call than to run on
    // words this short.
    for (const QString& kind : kinds) {
        if (kind.size() != word.size())
            continue;
        const QChar* unit = kind.constData();
        qsizetype i = 0;
        while (i < word.size() && unit[i].unicode() == uchar(word.data()[i]))
            ++i;
        if (i == word.size())
            return true;
    }
    return false;
}

void VCardValue::setItemLabel(const QString& label)
{
    // The words of the standard labels that say more than one thing.
    static const QHash<QString, QStringList> compound {
        { QStringLiteral("mobile"), { QStringLiteral("cell") } },
        { QStringLiteral("iphone"), { QStringLiteral("cell") } },
        { QStringLiteral("homefax"), { QStringLiteral("home"), QStringLiteral("fax") } },
        { QStringLiteral("workfax"), { QStringLiteral("work"), QStringLiteral("fax") } },
        { QStringLiteral("otherfax"), { QStringLiteral("fax") } },
        { QStringLiteral("assistantphone"), { QStringLiteral("assistant") } },
    };
    static const QSet<QString> plain { QStringLiteral("home"), QStringLiteral("work"), QStringLiteral("main"),
                                       QStringLiteral("pager"), QStringLiteral("other"), QStringLiteral("homepage"),
                                       QStringLiteral("anniversary"), QStringLiteral("father"), QStringLiteral("mother"),
                                       QStringLiteral("parent"), QStringLiteral("brother"), QStringLiteral("sister"),
                                       QStringLiteral("child"), QStringLiteral("friend"), QStringLiteral("spouse"),
                                       QStringLiteral("partner"), QStringLiteral("assistant"), QStringLiteral("manager") };
    const QString text = label.trimmed();
    const bool standard = text.startsWith(QLatin1String("_$!<")) && text.endsWith(QLatin1String(">!$_"));
    if (!standard) {
        m_customLabel = text;
        return;
    }
    const QString word = text.mid(4, text.size() - 8);
    const QString key = word.toLower();
    if (compound.contains(key)) {
        m_labelKinds = compound.value(key);
        m_hasLabelKinds = true;
    } else if (plain.contains(key)) {
        m_labelKinds = { key };
        m_hasLabelKinds = true;
    } else {
        m_customLabel = word;
    }
}
