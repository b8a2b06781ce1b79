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
