// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/messagetext.h"

#include <QMessageBox>
#include <QString>

#include <functional>

// Shows one styled, frameless, draggable modal box titled with the product
// title and returns the standard button that closed it (QDialog::exec's
// result). `buttons` is a set of QMessageBox::StandardButton; only Yes, No,
// OK, Cancel, Abort and Retry are honoured, added in that order. With
// `withHeader` the text starts with a bold line naming the product and its
// version. The box shows the text as rich text: see BoxText for how data
// gets in. GUI thread only.
int g_showMessageBox(QMessageBox::Icon icon, const BoxText& text, int buttons, bool withHeader);

// A box with buttons of its own labels: each StandardButton gives its role
// (OK accepts, Cancel rejects) and is what the call returns; `label` is
// shown as written. The text is plain text, so nothing in it is read as
// markup. Otherwise as above, without the header line.
struct LabelledButton {
    QMessageBox::StandardButton button;
    QString label;
};
int g_showMessageBox(QMessageBox::Icon icon, const QString& text, const QList<LabelledButton>& buttons);

// A box with an OK button whose text holds links of the caller's own (BoxText::markup):
// a click on one closes the box. Returns the clicked link's target, empty
// when the box was closed otherwise. Nothing is opened.
QString g_showLinkedMessageBox(QMessageBox::Icon icon, const BoxText& text);

// Test seam. When a handler is installed, g_showMessageBox builds the box as
// usual and hands it to the handler instead of running exec(); the handler's
// result is returned as the pressed button. Tests use it so no modal box ever
// blocks them (see MessageBoxRecorder). Returns the previous handler.
using MessageBoxHandler = std::function<int(QMessageBox& box)>;
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);
