// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/tips.h"

#include "kit/errorreport.h"
#include "kit/makerconfig.h"
#include "kit/messagebox.h"
#include "kit/productinfo.h"

void Tips::info(const BoxText& text)
{
    g_showMessageBox(QMessageBox::Information, text, QMessageBox::Ok, false);
}

void Tips::warning(const BoxText& text)
{
    g_showMessageBox(QMessageBox::Warning, text, QMessageBox::Ok, false);
}

bool Tips::question(const BoxText& text)
{
    return g_showMessageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, false)
        == QMessageBox::Yes;
}

QString Tips::errorBoxText(const BoxText& text)
{
    // Not translated: the template is the same in every language. A build
    // without a support address names none rather than one nobody reads.
    const QString box = QStringLiteral("An Error Occurred. <br/><br/>%1").arg(text.html());
    const QString support = maker::supportEmail();
    if (support.isEmpty())
        return box;
    return box + QStringLiteral("<br/><br/> Or you can contact ") + support.toHtmlEscaped()
        + QStringLiteral(" for help.");
}

void Tips::error(const BoxText& text)
{
    g_showMessageBox(QMessageBox::Critical, BoxText::markup(errorBoxText(text)), QMessageBox::Ok, true);
    g_reportError(text.html());
}
