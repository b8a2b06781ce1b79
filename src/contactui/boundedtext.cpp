// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/boundedtext.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTextBoundaryFinder>

namespace boundedtext {

namespace {

bool isLineEnd(QChar c)
{
    return c == u'\n' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

// A place where a line may break: white space, but not the no-break
// spaces, which hold their neighbours together.
bool isBlank(QChar c)
{
    return c.isSpace() && c != QChar::Nbsp && c != QChar(0x2007) && c != QChar(0x202F);
}

// `at`, or the nearest place before it between two characters as the user
// sees them. Only the text up to just past `at` is examined: what follows
// a few units later cannot join the character at `at` to the one before.
qsizetype graphemeStartAtOrBefore(const QString& text, qsizetype at)
{
    if (at <= 0 || at >= text.size())
        return at;
    const qsizetype window = qMin(text.size(), at + 8);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.constData(), window);
    finder.setPosition(at);
    if (finder.isAtBoundary())
        return at;
    return qMax<qsizetype>(0, finder.toPreviousBoundary());
}

// The last index in [from, to) whose character passes `test`, or -1.
template <typename Test>
qsizetype lastIndexIn(const QString& text, qsizetype from, qsizetype to, Test test)
{
    for (qsizetype i = to - 1; i >= from; --i) {
        if (test(text.at(i)))
            return i;
    }
    return -1;
}

// Code points from `from` to the end, or 0 when they are blanks only.
qsizetype charactersAfter(const QString& text, qsizetype from)
{
    qsizetype count = 0;
    bool onlyBlanks = true;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!c.isLowSurrogate() || i == from || !text.at(i - 1).isHighSurrogate())
            ++count;
        onlyBlanks = onlyBlanks && isBlank(c);
    }
    return onlyBlanks ? 0 : count;
}

} // namespace

Cut cut(const QString& text, qsizetype maxChars, qsizetype maxLines)
{
    Q_ASSERT(maxChars > 0 && maxLines > 0);
    qsizetype room = qMin(text.size(), maxChars);
    bool outOfLines = false;
    qsizetype lineEnds = 0;
    for (qsizetype i = 0; i < room; ++i) {
        if (isLineEnd(text.at(i)) && ++lineEnds == maxLines) {
            room = i;
            outOfLines = true;
            break;
        }
    }
    if (!outOfLines && room == text.size())
        return { text, 0 };

    qsizetype at = room;
    if (!outOfLines && !isBlank(text.at(room))) {
        const qsizetype lineEnd = lastIndexIn(text, room - room / 4, room, isLineEnd);
        if (lineEnd >= 0) {
            at = lineEnd;
        } else {
            const qsizetype blank = lastIndexIn(text, room - room / 5, room, isBlank);
            if (blank >= 0)
                at = blank;
        }
    }
    at = graphemeStartAtOrBefore(text, at);
    while (at > 0 && isBlank(text.at(at - 1)))
        --at;
    return { text.left(at), charactersAfter(text, at) };
}

QString forCard(const QString& text, qsizetype maxChars, qsizetype maxLines)
{
    Cut c = cut(text, maxChars, maxLines);
    if (c.more == 0)
        return std::move(c.kept);
    const char* note = c.more == 1 ? QT_TRANSLATE_NOOP("ContactDisplayer", "… (1 more character; open Edit Contact to see all)")
                                   : QT_TRANSLATE_NOOP("ContactDisplayer", "… (%1 more characters; open Edit Contact to see all)");
    QString marker = QCoreApplication::translate("ContactDisplayer", note);
    if (c.more != 1)
        marker = marker.arg(QLocale().toString(qlonglong(c.more)));
    // Cut at a line end, the note takes a line of its own.
    qsizetype next = c.kept.size();
    while (isBlank(text.at(next)) && !isLineEnd(text.at(next)))
        ++next;
    if (isLineEnd(text.at(next)) && !c.kept.isEmpty())
        marker.prepend(QLatin1Char('\n'));
    return c.kept + marker;
}

QString elided(const QString& text, qsizetype maxChars)
{
    Cut c = cut(text, maxChars, 1);
    return c.more == 0 ? std::move(c.kept) : c.kept + QChar(0x2026);
}

qsizetype longestUnbrokenRun(QStringView text)
{
    qsizetype longest = 0;
    qsizetype run = 0;
    for (const QChar c : text) {
        run = isBlank(c) ? 0 : run + 1;
        longest = qMax(longest, run);
    }
    return longest;
}

} // namespace boundedtext
