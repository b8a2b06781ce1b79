// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Where the main window asks the user for a file. The default runs the
// desktop's file dialogs; tests put a scripted chooser in its place.
class IFileChooser {
public:
    virtual ~IFileChooser() = default;

    // The file to write, or an empty text when the user cancelled.
    // `proposedPath` stands in the dialog; `selectedFilter` receives the
    // entry of `filters` the user picked.
    virtual QString saveFileName(QWidget* parent, const QString& proposedPath, const QStringList& filters,
                                 QString* selectedFilter) = 0;
    // The file to read, or an empty text when the user cancelled; the
    // dialog starts in `folder`.
    virtual QString openFileName(QWidget* parent, const QString& folder, const QStringList& filters,
                                 QString* selectedFilter) = 0;
};

// What a save dialog's answer writes, when the dialog offers one file type
// per entry of `suffixes` (".vcf", ".csv", ...): the file and the position
// of its type. The name typed wins over the type selected: a name that ends
// in an offered extension, in any letter case, is written as that type
// under the name as typed ("contacts.csv" is a CSV file whichever type was
// selected); any other name is the selected type's, with its extension
// added ("archive.tar" gives "archive.tar.vcf"; "contacts." gives
// "contacts.vcf"). The type is -1 when neither names an offered type.
struct SaveTarget {
    QString path;
    int type = -1;
};
SaveTarget saveTargetOf(const QString& chosenPath, const QStringList& suffixes, int selectedType);

// The desktop's file dialogs.
class DialogFileChooser : public IFileChooser {
public:
    QString saveFileName(QWidget* parent, const QString& proposedPath, const QStringList& filters,
                         QString* selectedFilter) override;
    QString openFileName(QWidget* parent, const QString& folder, const QStringList& filters,
                         QString* selectedFilter) override;
};
