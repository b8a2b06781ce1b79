// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/localdb.h"

#include <QLoggingCategory>

#include <exception>

// One open edit of a LocalDb: begun on construction, committed by commit(),
// rolled back by the destructor when still open, so every way out of a
// worker (an error, a cancel, any throw) leaves the connection at the level
// it found it. A failing rollback is logged under `log` with `what` and
// swallowed: the error that ended the edit is the one the user sees.
class LocalDbEdit {
public:
    LocalDbEdit(LocalDb& db, const QLoggingCategory& log, const char* what)
        : m_db(db), m_log(log), m_what(what)
    {
        m_db.beginEdit();
    }
    ~LocalDbEdit()
    {
        if (!m_open)
            return;
        try {
            m_db.endEdit(false);
        } catch (const std::exception& e) {
            qCWarning(m_log) << m_what << "failed:" << e.what();
        } catch (...) {
            qCWarning(m_log) << m_what << "failed";
        }
    }
    LocalDbEdit(const LocalDbEdit&) = delete;
    LocalDbEdit& operator=(const LocalDbEdit&) = delete;

    // Commits. A failing commit has rolled itself back before it throws, so
    // the edit counts as closed either way.
    void commit()
    {
        m_open = false;
        m_db.endEdit(true);
    }

private:
    LocalDb& m_db;
    const QLoggingCategory& m_log;
    const char* m_what;
    bool m_open = true;
};
