// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardproperty.h"

#include "fileformats/vcard/syntax/vcardcharsets.h"
#include "fileformats/vcard/syntax/vcardownlabel.h"
// Escapes are read as the tokenizer reads them.
#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

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

namespace {

// The bytes quoted-printable text writes, read as the tokenizer reads a
// value's: "=XX" (either case) is the byte, a run of "=" right before one
// goes whole (soft breaks that lost their line ends), the last "=" of the
// text goes (a soft break with nothing to join), and any other "=" stays as
// written.
QByteArray quotedPrintableBytes(QByteArrayView text)
{
    const auto escapeAt = [text](qsizetype at) {
        return at + 2 < text.size() && text[at] == '=' && cardtok::hexValue(uchar(text[at + 1])) >= 0
            && cardtok::hexValue(uchar(text[at + 2])) >= 0;
    };
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            bytes.append(text[i]);
            continue;
        }
        qsizetype last = i;
        while (last + 1 < text.size() && text[last + 1] == '=')
            ++last;
        if (escapeAt(last)) {
            bytes.append(char(cardtok::hexValue(uchar(text[last + 1])) * 16 + cardtok::hexValue(uchar(text[last + 2]))));
            i = last + 2;
        } else if (last + 1 == text.size()) {
            bytes.append(text.sliced(i, last - i));
            break;
        } else {
            bytes.append(text.sliced(i, last - i + 1));
            i = last;
        }
    }
    return bytes;
}

} // namespace

std::optional<VCardProperty::OwnLabel> VCardProperty::ownLabelFrom(VCardParams::const_iterator it) const
{
    for (; it != params.constEnd(); ++it) {
        // As written: the tokenizer parted name and value at the first "=".
        QByteArray text = it.key().toLatin1();
        if (!it.value().isEmpty())
            text += '=' + it.value().toLatin1();
        vcardsyntax::OwnLabelParts parts;
        if (!vcardsyntax::readOwnLabel(text.constData(), size_t(text.size()), parts))
            continue;
        QByteArrayView label(parts.label, qsizetype(parts.labelLength));
        if (!label.endsWith(')') || label.chopped(1).trimmed().isEmpty())
            return std::nullopt;
        label.chop(1);
        OwnLabel own;
        if (!parts.encoding)
            own.bytes = label.toByteArray();
        else if (vcardsyntax::namesQuotedPrintable(parts.encoding, parts.encodingLength))
            own.bytes = quotedPrintableBytes(label);
        else
            return std::nullopt;
        if (parts.charset)
            own.charset = QString::fromLatin1(parts.charset, qsizetype(parts.charsetLength));
        return own;
    }
    return std::nullopt;
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
