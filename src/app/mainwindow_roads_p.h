// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the main window's command roads.
#pragma once

#include "kit/messagetext.h"
#include "kit/tips.h"
#include "model/databaseerrortext.h"
#include "model/localdb.h"

#include <QCoreApplication>
#include <QString>

#include <exception>

namespace roads {

inline void showError(const std::exception& e)
{
    Tips::error(QString::fromUtf8(e.what()));
}

// Runs a slot's body so that no exception leaves the slot: whatever is
// thrown ends the command with an error box.
template <typename Body>
void guarded(Body&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        showError(e);
    } catch (...) {
        Tips::error(QCoreApplication::translate("MainWindow", "An unexpected error stopped the command."));
    }
}

// A failure of the database at `path` said in words that name it; the
// wrapper's own text goes to the log.
void showDatabaseError(const QString& path, const std::exception& e);

// As guarded(), for a command on the database at `path`: what the database
// throws is said with showDatabaseError.
template <typename Body>
void guardedOn(const QString& path, Body&& body)
{
    try {
        body();
    } catch (const Error& e) {
        showDatabaseError(path, e);
    } catch (const std::exception& e) {
        showError(e);
    } catch (...) {
        Tips::error(QCoreApplication::translate("MainWindow", "An unexpected error stopped the command."));
    }
}

} // namespace roads
