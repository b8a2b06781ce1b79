// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardproperty.h"

#include "fileformats/vcardcharsets.h"

QString VCardProperty::paramIgnoringCase(const QString& key) const
{
    const auto exact = params.constFind(key);
    if (exact != params.constEnd())
        return exact.value();
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        // Case folding maps one UTF-16 unit to one, so a length that differs
        // settles it without the costlier comparison.
        if (it.key().size() == key.size() && it.key().compare(key, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return QString();
}

QString VCardProperty::toString() const
{
    VCardCharsets charsets;
    return toString(charsets);
}

QString VCardProperty::toString(VCardCharsets& charsets) const
{
    return charsets.decode(value, paramIgnoringCase(QStringLiteral("CHARSET")));
}

QStringList VCardProperty::values() const
{
    return splitComponents(toString());
}

QStringList VCardProperty::splitComponents(const QString& text, bool newlineEscapes)
{
    QStringList result;
    result.reserve(text.count(u';') + 1);
    const qsizetype firstEscape = text.indexOf(u'\\');
    if (firstEscape < 0) {
        // The common case: no escapes, so every component is a plain slice.
        qsizetype start = 0;
        for (qsizetype end = text.indexOf(u';'); end >= 0; end = text.indexOf(u';', start)) {
            result.append(text.mid(start, end - start));
            start = end + 1;
        }
        if (start < text.size())
            result.append(text.mid(start));
        return result;
    }
    QString current;
    bool escaped = false;
    for (const QChar c : text) {
        if (escaped) {
            escaped = false;
            if (newlineEscapes && (c == u'n' || c == u'N'))
                current.append(u'\n');
            else
                current.append(c);
        } else if (c == u'\\') {
            escaped = true;
        } else if (c == u';') {
            result.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty())
        result.append(current);
    return result;
}
