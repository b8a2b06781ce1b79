// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardproperty.h"

#include "fileformats/vcard/syntax/vcardcharsets.h"

QString VCardProperty::paramIgnoringCase(QLatin1StringView key) const
{
    const QString* value = params.findIgnoringCase(key);
    return value ? *value : QString();
}

bool VCardProperty::isEncodedAs(std::initializer_list<QLatin1StringView> words) const
{
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        const QString& word
            = VCardParams::isWord(it.key(), QLatin1StringView("ENCODING")) ? it.value() : it.key();
        for (const QLatin1StringView w : words) {
            if (VCardParams::isWord(word, w))
                return true;
        }
    }
    return false;
}

QString VCardProperty::nameWithHyphens() const
{
    QString read;
    read.reserve(name.size() + 4);
    const auto joinsWords = [](QChar c) { return c == u'-' || c == u'_' || c == u'/'; };
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (i > 0 && i < 32 && (nameGaps >> i & 1) && !joinsWords(name.at(i - 1)) && !joinsWords(name.at(i)))
            read += u'-';
        read += name.at(i);
    }
    return read;
}

QString VCardProperty::toString() const
{
    VCardCharsets charsets;
    return charsets.decode(value, paramIgnoringCase(QLatin1StringView("CHARSET")));
}

QStringList VCardProperty::values() const
{
    return splitComponents(toString(), true);
}

QChar VCardProperty::unescapedCharacter(QChar next)
{
    switch (next.unicode()) {
    case u'n':
    case u'N':
        return u'\n';
    case u'\\':
    case u',':
    case u';':
    // Not an escape of the standard, but web-mail and phone exports write
    // "https\://" and "Mo-Fr\: 9-17": read as they mean it.
    case u':':
        return next;
    default:
        return QChar();
    }
}

QString VCardProperty::unescapeText(const QString& text)
{
    const qsizetype first = text.indexOf(u'\\');
    if (first < 0)
        return text;
    QString out;
    out.reserve(text.size());
    out.append(QStringView(text).left(first));
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\' || i + 1 == text.size()) {
            out.append(c);
            continue;
        }
        const QChar next = text.at(++i);
        const QChar meant = unescapedCharacter(next);
        if (meant.isNull())
            out.append(c).append(next);
        else
            out.append(meant);
    }
    return out;
}

namespace {

// The items of a list component ("Maria,Elin") as one text: each trimmed,
// the empty ones dropped, the rest joined by a blank.
QString joinedItems(const QStringList& items)
{
    QStringList kept;
    for (const QString& item : items) {
        const QString trimmed = item.trimmed();
        if (!trimmed.isEmpty())
            kept.append(trimmed);
    }
    return kept.join(QLatin1Char(' '));
}

} // namespace

QStringList VCardProperty::splitComponents(const QString& text, bool escapes, bool joinLists, bool withoutEndBlanks)
{
    const auto isEndBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    // Values are short and split once each: plain loops find the
    // separators, where each library search costs more to call than to run.
    const QChar* units = text.constData();
    const qsizetype size = text.size();
    qsizetype separators = 0;
    bool hasEscape = false;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t u = units[i].unicode();
        separators += u == u';';
        hasEscape |= u == u'\\';
    }
    QStringList result;
    result.reserve(separators + 1);
    if (!hasEscape) {
        // The common case: no escapes, so every component is a plain slice.
        const auto take = [&](QString component) {
            if (joinLists && component.contains(u','))
                component = joinedItems(component.split(u','));
            result.append(std::move(component));
        };
        // The blanks at a component's ends are left out of its slice.
        const auto slice = [&](qsizetype from, qsizetype to) {
            if (withoutEndBlanks) {
                while (from < to && isEndBlank(units[from]))
                    ++from;
                while (to > from && isEndBlank(units[to - 1]))
                    --to;
            }
            return text.mid(from, to - from);
        };
        qsizetype start = 0;
        for (qsizetype end = 0; end < size; ++end) {
            if (units[end] != u';')
                continue;
            take(slice(start, end));
            start = end + 1;
        }
        if (start < size)
            take(slice(start, size));
        return result;
    }
    QString current;
    // The items before the last unescaped comma of a list component.
    QStringList items;
    const auto endComponent = [&] {
        if (!items.isEmpty()) {
            items.append(current);
            current = joinedItems(items);
            items.clear();
        }
        qsizetype from = 0;
        qsizetype to = current.size();
        while (withoutEndBlanks && from < to && isEndBlank(current.at(from)))
            ++from;
        while (withoutEndBlanks && to > from && isEndBlank(current.at(to - 1)))
            --to;
        result.append(current.mid(from, to - from));
        current.clear();
    };
    // What a backslash and the character after it stand for; null when the
    // backslash is text. Where the text stands as written, only the
    // separators are escaped.
    const auto meaning = [&](QChar next) {
        if (escapes)
            return unescapedCharacter(next);
        return next == u';' || (joinLists && next == u',') ? next : QChar();
    };
    bool escaped = false;
    for (const QChar c : text) {
        if (escaped) {
            escaped = false;
            const QChar meant = meaning(c);
            if (meant.isNull())
                current.append(u'\\').append(c);
            else
                current.append(meant);
        } else if (c == u'\\') {
            escaped = true;
        } else if (c == u';') {
            endComponent();
        } else if (joinLists && c == u',') {
            items.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (escaped)
        current.append(u'\\');
    if (!current.isEmpty() || !items.isEmpty())
        endComponent();
    return result;
}
