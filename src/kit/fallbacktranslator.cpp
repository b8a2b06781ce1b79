// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/fallbacktranslator.h"

QString FallbackTranslator::translate(const char* context, const char* sourceText, const char* disambiguation,
    int n) const
{
    QString text = QTranslator::translate(context, sourceText, disambiguation, n);
    if (text.isEmpty() && qstrcmp(context, kGlobalContext) != 0)
        text = QTranslator::translate(kGlobalContext, sourceText, disambiguation, n);
    return text;
}
