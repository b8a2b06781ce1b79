// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/datasourceselform.h"

#include <QIcon>

#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "ui_datasourceselform.h"

DataSourceSelForm::DataSourceSelForm(QWidget* parent)
    : QDialog(parent)
    , m_movable(this)
    , ui(std::make_unique<Ui_DataSourceSelForm>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet(QStringLiteral(":res/style.css")));
    connect(ui->btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
}

DataSourceSelForm::~DataSourceSelForm() = default;

void* DataSourceSelForm::execSel(QString title, QList<DataSourceSelForm::_SelItem> items)
{
    ui->lbSelDevice->setText(title);
    // The window carries the question it asks, where a task switcher or a
    // screen reader names it.
    setWindowTitle(title);
    for (const _SelItem& item : items)
        ui->cbDevice->addItem(QIcon(item.icon), item.text, QVariant::fromValue(qint64(quintptr(item.data))));
    if (exec() != QDialog::Accepted || ui->cbDevice->currentIndex() < 0)
        return nullptr;
    return reinterpret_cast<void*>(quintptr(ui->cbDevice->currentData().toLongLong()));
}

void DataSourceSelForm::onBtnOkPressed()
{
    if (ui->cbDevice->currentIndex() == -1) {
        Tips::warning(tr("IDS_PLEASE_SELECT_ONE_DATASOURCE"));
        return;
    }
    accept();
}
