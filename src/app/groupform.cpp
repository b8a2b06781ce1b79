// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/groupform.h"

#include <QCompleter>

#include <exception>

#include "app/applog.h"
#include "model/localdb.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "ui_groupform.h"

GroupForm::GroupForm(QSharedPointer<LocalDb> db, QWidget* parent)
    : QDialog(parent)
    , m_movable(this)
    , ui(std::make_unique<Ui_GroupForm>())
    , m_db(std::move(db))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet(QStringLiteral(":res/style.css")));
    connect(ui->btnOK, &QPushButton::pressed, this, &GroupForm::onBtnOKPressed);
    // The window carries the question it asks, where a task switcher or a
    // screen reader names it; the prompt's closing punctuation is no title's.
    QString prompt = ui->label->text().trimmed();
    while (prompt.endsWith(QLatin1Char(':')) || prompt.endsWith(QLatin1Char(';')))
        prompt.chop(1);
    setWindowTitle(prompt);
    // The combo would otherwise turn a typed "family" into the listed
    // "Family" when the field loses focus; the name is taken as typed.
    if (QCompleter* completer = ui->cbGroups->completer())
        completer->setCaseSensitivity(Qt::CaseSensitive);

    try {
        if (m_db) {
            const QList<pim::_Group> groups = m_db->groups();
            for (const pim::_Group& group : groups)
                ui->cbGroups->addItem(group.name, QVariant::fromValue(quint64(group.id)));
        }
    } catch (const std::exception& e) {
        qCWarning(lcApp) << "cannot list groups:" << e.what();
        ui->cbGroups->clear();
        Tips::error(QString::fromUtf8(e.what()));
        reject();
    }
    if (ui->cbGroups->count() > 0)
        ui->cbGroups->setCurrentIndex(0);
}

GroupForm::~GroupForm() = default;

void GroupForm::onBtnOKPressed()
{
    groupName = ui->cbGroups->currentText().trimmed();
    if (!groupName.isEmpty()) {
        for (int i = 0; i < ui->cbGroups->count(); ++i) {
            if (ui->cbGroups->itemText(i) == groupName) {
                groupId = ui->cbGroups->itemData(i).toULongLong();
                break;
            }
        }
        accept();
        return;
    }
    if (Tips::question(tr("IDS_CONFIRM_UNGROUP_CONTACTS")))
        accept();
}
