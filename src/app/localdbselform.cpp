// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/localdbselform.h"

#include <QCompleter>
#include <QDir>

#include <algorithm>

#include "model/localdb.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "ui_localdbselform.h"

LocalDbSelForm::LocalDbSelForm(QWidget* parent, QString proposedName)
    : QDialog(parent)
    , m_movable(this)
    , ui(std::make_unique<Ui_LocalDbSelForm>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet(QStringLiteral(":res/style.css")));
    connect(ui->btnOK, &QPushButton::pressed, this, &LocalDbSelForm::onBtnOkPress);
    // The name is taken as typed: no snapping to a listed name that differs
    // only in letter case when the field loses focus.
    if (QCompleter* completer = ui->cbLocalDbNames->completer())
        completer->setCaseSensitivity(Qt::CaseSensitive);

    ui->cbLocalDbNames->addItem(QString());
    QStringList names = LocalDb::dbDir().entryList({QStringLiteral("*.db")}, QDir::Files, QDir::NoSort);
    std::sort(names.begin(), names.end(), &LocalDb::listsBefore);
    ui->cbLocalDbNames->addItems(names);
    ui->cbLocalDbNames->setCurrentIndex(-1);
    if (!proposedName.isEmpty())
        ui->cbLocalDbNames->setEditText(acceptableName(proposedName));
}

LocalDbSelForm::~LocalDbSelForm() = default;

QChar LocalDbSelForm::invalidNameChar(const QString& name)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|\n\r\t");
    for (const QChar c : name) {
        if (forbidden.contains(c))
            return c;
    }
    return QChar();
}

QString LocalDbSelForm::acceptableName(QString proposed)
{
    for (QChar& c : proposed) {
        if (!invalidNameChar(QString(c)).isNull())
            c = QLatin1Char('_');
    }
    return proposed;
}

void LocalDbSelForm::onBtnOkPress()
{
    dbName = ui->cbLocalDbNames->currentText();
    if (dbName.trimmed().isEmpty()) {
        Tips::warning(tr("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME"));
        return;
    }
    if (!invalidNameChar(dbName).isNull()) {
        Tips::warning(tr("IDS_INVALID_LOCALDB_NAME"));
        return;
    }
    accept();
}

QString LocalDbSelForm::execGetDbName()
{
    if (exec() != QDialog::Accepted || dbName.isEmpty())
        return QString();
    if (dbName.endsWith(QStringLiteral(".db")))
        return dbName;
    return dbName + QStringLiteral(".db");
}
