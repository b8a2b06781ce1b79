// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/plaintextbox.h"

#include "contactui/boundedtext.h"

#include <QTextDocument>
#include <QTextEdit>
#include <QTextOption>

namespace plaintextbox {

namespace {

// Longer than this, a run without a blank is broken anywhere.
constexpr qsizetype kLongestRunBrokenAtWords = 500;

QTextOption::WrapMode wrapModeFor(QStringView text)
{
    return boundedtext::longestUnbrokenRun(text) > kLongestRunBrokenAtWords
        ? QTextOption::WrapAnywhere
        : QTextOption::WrapAtWordBoundaryOrAnywhere;
}

} // namespace

QTextEdit* create(QWidget* parent)
{
    auto* box = new QTextEdit(parent);
    box->setAcceptRichText(false);
    QObject::connect(box->document(), &QTextDocument::contentsChange, box, [box](int, int, int added) {
        if (added > kLongestRunBrokenAtWords && box->wordWrapMode() != QTextOption::WrapAnywhere)
            box->setWordWrapMode(wrapModeFor(box->toPlainText()));
    });
    return box;
}

void setText(QTextEdit* box, const QString& text)
{
    box->setWordWrapMode(wrapModeFor(text));
    box->setPlainText(text);
}

} // namespace plaintextbox
