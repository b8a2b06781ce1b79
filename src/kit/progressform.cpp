// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/progressform.h"

#include "kit/kitlog.h"
#include "kit/productinfo.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "ui_progressform.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

ProgressForm::ProgressForm(QString title, QWidget* parent)
    : QDialog(parent)
    , m_movable(this)
    , ui(std::make_unique<Ui_ProgressForm>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet(QStringLiteral(":/res/style.css")));
    connect(this, &QDialog::finished, this, &ProgressForm::onFinish);
    connect(ui->btnCancel, &QPushButton::pressed, this, &ProgressForm::cancel);
    // A window without a title would be named by the program's file name
    // in the window list; an operation without one is named by the product.
    setWindowTitle(title.isEmpty() ? product::title() : title);
    ui->lbStatus->setText(title);
    ui->btnCancel->setFocusPolicy(Qt::NoFocus);
}

ProgressForm::~ProgressForm() = default;

bool ProgressForm::invokeUpdateProgress(QString status, int curProgress, QString progressText)
{
    return QMetaObject::invokeMethod(this, "updateProgress", Qt::AutoConnection, Q_ARG(QString, status),
        Q_ARG(int, curProgress), Q_ARG(QString, progressText));
}

bool ProgressForm::invokeErrorOccurred(QString err)
{
    return QMetaObject::invokeMethod(this, "errorOccurred", Qt::AutoConnection, Q_ARG(QString, err));
}

bool ProgressForm::invokeSucceed(QString tipsStr)
{
    return QMetaObject::invokeMethod(this, "succeed", Qt::AutoConnection, Q_ARG(QString, tipsStr));
}

bool ProgressForm::invokeTipsWait(QString info)
{
    m_tipsWaiting.store(true, std::memory_order_release);
    return QMetaObject::invokeMethod(this, "tipsWait", Qt::AutoConnection, Q_ARG(QString, info));
}

bool ProgressForm::invokeSetCancelBtnText(const QString& text)
{
    return QMetaObject::invokeMethod(this, "setCancelBtnText", Qt::AutoConnection, Q_ARG(QString, text));
}

void ProgressForm::setCancelable(bool cancelable)
{
    ui->btnCancel->setEnabled(cancelable);
}

bool ProgressForm::runWorker(QThread& worker)
{
    worker.start(QThread::InheritPriority);
    const int result = exec();
    worker.wait();
    return result == 1 && !isCancelled();
}

bool ProgressForm::waitForThread(QThread& thread, bool force)
{
    for (;;) {
        if (thread.wait(1000))
            return true;
        if (force && isCancelled()) {
            qCWarning(lcKit) << "terminating a worker that did not stop after the dialog closed";
            thread.terminate();
            return thread.wait(1000);
        }
    }
}

void ProgressForm::updateProgress(QString status, int curProgress, QString progressText)
{
    if (!status.isEmpty())
        ui->lbStatus->setText(status);
    int value = curProgress < 0 ? ui->progressBar->value() : curProgress;
    // The bar ignores values outside its range; keep the text in step with it.
    value = qBound(ui->progressBar->minimum(), value, ui->progressBar->maximum());
    ui->progressBar->setValue(value);
    if (progressText.isEmpty())
        progressText = tr("Progress:%1%").arg(value);
    ui->lbProgress->setText(progressText);
}

void ProgressForm::errorOccurred(QString err)
{
    if (outcomeDecided()) {
        qCWarning(lcKit) << "error after the outcome was decided, dropped:" << err;
        return;
    }
    // The outcome is shown alone, not over the progress it ends.
    hide();
    m_ending = true;
    closeCancelQuestion();
    // Worker texts come as rich text, made by g_messageText() where they
    // carry data, like the success text: escaping them again would show
    // their line breaks as "<br/>".
    Tips::error(BoxText::markup(err));
    done(0);
}

void ProgressForm::succeed(QString tipsStr)
{
    if (outcomeDecided()) {
        qCWarning(lcKit) << "success after the outcome was decided, dropped";
        return;
    }
    hide();
    m_ending = true;
    closeCancelQuestion();
    if (!tipsStr.isEmpty())
        Tips::info(BoxText::markup(tipsStr));
    done(1);
}

void ProgressForm::onFinish(int result)
{
    m_finished = true;
    m_cancelled.store(result == 0, std::memory_order_release);
}

void ProgressForm::tipsWait(QString info)
{
    if (!m_finished)
        Tips::info(BoxText::markup(info));
    m_tipsWaiting.store(false, std::memory_order_release);
}

void ProgressForm::cancel()
{
    if (!ui->btnCancel->isEnabled() || outcomeDecided())
        return;
    m_asking = true;
    const bool yes = Tips::question(tr("Are You Sure You Want To Cancel?"));
    m_asking = false;
    if (!yes)
        return;
    // The worker's success or error may have been shown while the question
    // was open; its result stands and the cancel is dropped.
    if (outcomeDecided())
        return;
    emit userCacel();
    done(0);
}

void ProgressForm::closeCancelQuestion()
{
    // The question runs in a box of its own, modal above this dialog; it is
    // the active modal widget while it is open and nothing is stacked on it.
    if (!m_asking)
        return;
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    // The box holds the question as it was given to it: escaped rich text.
    if (box && box->text() == BoxText(tr("Are You Sure You Want To Cancel?")).html())
        box->done(QMessageBox::No);
}

void ProgressForm::setCancelBtnText(QString text)
{
    ui->btnCancel->setText(text);
}
