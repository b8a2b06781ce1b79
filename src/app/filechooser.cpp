// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/filechooser.h"

#include <QFileDialog>

QString DialogFileChooser::saveFileName(QWidget* parent, const QString& proposedPath, const QStringList& filters,
                                        QString* selectedFilter)
{
    return QFileDialog::getSaveFileName(parent, QString(), proposedPath, filters.join(QStringLiteral(";;")),
                                        selectedFilter);
}

QString DialogFileChooser::openFileName(QWidget* parent, const QString& folder, const QStringList& filters,
                                        QString* selectedFilter)
{
    return QFileDialog::getOpenFileName(parent, QString(), folder, filters.join(QStringLiteral(";;")),
                                        selectedFilter);
}

SaveTarget saveTargetOf(const QString& chosenPath, const QStringList& suffixes, int selectedType)
{
    for (int i = 0; i < suffixes.size(); ++i) {
        if (chosenPath.endsWith(suffixes.at(i), Qt::CaseInsensitive))
            return { chosenPath, i };
    }
    if (selectedType < 0 || selectedType >= suffixes.size())
        return { chosenPath, -1 };
    QString path = chosenPath;
    // The dot of an extension left empty, not a dot of the name.
    if (path.endsWith(QLatin1Char('.')))
        path.chop(1);
    return { path + suffixes.at(selectedType), selectedType };
}
