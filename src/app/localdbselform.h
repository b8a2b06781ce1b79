// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

#include "kit/winmovable.h"

class Ui_LocalDbSelForm;

// Lets the user pick one of the local databases or name a new one.
class LocalDbSelForm : public QDialog {
    Q_OBJECT
public:
    // Lists the "*.db" files of LocalDb::dbDir() in the tree's order
    // (LocalDb::listsBefore), after one empty entry; proposedName (when not empty) stands in the edit field,
    // made acceptable (acceptableName).
    LocalDbSelForm(QWidget* parent, QString proposedName);
    ~LocalDbSelForm() override;

    // Runs the dialog. Returns the chosen or typed file name with ".db"
    // appended unless it already ends so (case-sensitive), or an empty text
    // when the user cancelled. The name never contains a folder.
    QString execGetDbName();

    // The character that makes a typed name unusable as a file name, or a
    // null QChar when there is none.
    static QChar invalidNameChar(const QString& name);
    // `proposed` (a file or device name) with every character that
    // invalidNameChar refuses replaced by "_", so a proposal is one the
    // dialog accepts.
    static QString acceptableName(QString proposed);

private slots:
    // Accepts a non-blank, valid name; otherwise warns and stays open.
    void onBtnOkPress();

private:
    WinMovable m_movable;
    QString dbName;
    std::unique_ptr<Ui_LocalDbSelForm> ui;
};
