// SPDX-License-Identifier: GPL-3.0-or-later
#include "modaldialoganswerer.h"

#include "kit/kitlog.h"

#include <QApplication>
#include <QDialog>

namespace {
constexpr int kPollMs = 10;
}

ModalDialogAnswerer::ModalDialogAnswerer(Action action, int timeoutMs, QObject* parent)
    : QObject(parent)
    , m_action(std::move(action))
    , m_timeoutMs(timeoutMs)
{
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &ModalDialogAnswerer::poll);
    m_timer.start();
}

void ModalDialogAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible() && (!m_match || m_match(modal))) {
        m_timer.stop();
        m_answered = true;
        m_action(modal);
        return;
    }
    m_waitedMs += kPollMs;
    if (m_waitedMs >= m_timeoutMs) {
        m_timer.stop();
        m_timedOut = true;
        qCWarning(lcKit) << "no modal dialog to answer within" << m_timeoutMs << "ms";
        if (auto* dlg = qobject_cast<QDialog*>(modal))
            dlg->done(QDialog::Rejected);
    }
}
