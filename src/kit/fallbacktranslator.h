// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTranslator>

// The English table keeps every text once, in one global context, because
// the same key is asked for under many class contexts. A lookup tries the
// asked context first and then the global one; a source with no entry stays
// untranslated, so QCoreApplication shows it as written.
class FallbackTranslator : public QTranslator {
    Q_OBJECT
public:
    // Must match the context the table generator writes.
    static constexpr const char* kGlobalContext = "Global";

    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
        int n = -1) const override;
};
