// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/androidwifiform.h"

#include "android/androidlog.h"
#include "android/androidwificonnector.h"
#include "android/simpleprotocol.h"
#include "kit/progressform.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "kit/workerrun.h"
#include "platform/error.h"
#include "platform/threadcancel.h"

#include <QEventLoop>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>

#include <memory>

AndroidWIFIForm::AndroidWIFIForm(QWidget* parent)
    : QDialog(parent)
    , m_movable(this)
{
    ui.setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet(QStringLiteral(":res/style.css"))
        + QStringLiteral(" #lbTipsDownloadWifiConnection { font-size:9px; color:#767B7C; margin:0 10px;}"));
    // Both buttons act when pressed, not when released.
    connect(ui.btnConnect, &QPushButton::pressed, this, &AndroidWIFIForm::onBtnConnect);
}

AndroidWIFIForm::~AndroidWIFIForm() = default;

AndroidWifiConnector* AndroidWIFIForm::execGetConnector()
{
    return exec() == QDialog::Accepted ? m_connector : nullptr;
}

QString AndroidWIFIForm::ipv4Address(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return QString();
    // A part above 255 would otherwise be looked up as a host name; \d also
    // takes digits of other scripts, which no address holds.
    QStringList parts = match.captured(1).split(QLatin1Char('.'));
    for (QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || value > 255)
            return QString();
        part = QString::number(value);
    }
    return parts.join(QLatin1Char('.'));
}

QString AndroidWIFIForm::connectingText(const QString& address)
{
    return tr("Connecting to the phone at %1...").arg(address);
}

QString AndroidWIFIForm::refusedText(const QString& address)
{
    // A refusal comes at once and is no time-out: nothing listens on the
    // service's port at that address.
    return tr("Nothing at %1 accepts connections: Quorvantile Contacts Sync is not open on the phone, or the "
              "WiFi connection info typed is wrong. Open the app on the phone, click its Connection button and "
              "type the info it shows.")
        .arg(address);
}

void AndroidWIFIForm::onBtnConnect()
{
    const QString address = ipv4Address(ui.txtWifiSocket->text());
    if (address.isEmpty()) {
        Tips::warning(tr("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE"));
        return;
    }
    // A mistyped address may swallow the connection request, or a host may
    // take it and never answer: the greeting waits on a worker under a
    // dialog that cancels it at once.
    auto connector = std::make_shared<AndroidWifiConnector>();
    ProgressForm progress(QString(), this);
    progress.updateProgress(connectingText(address), -1, QStringLiteral(" "));
    std::unique_ptr<QThread> worker(QThread::create([connector, address, reporter = &progress] {
        const WorkEnd end = runWorkerJob<simpleprotocol::OperationCancelled>(
            *reporter, tr("Connecting to the phone stopped on an unexpected error."), [&] {
                ThreadCancelScope scope([reporter] { return reporter->isCancelled(); });
                try {
                    connector->initialize(address);
                } catch (const WifiServiceRefusedException&) {
                    throw Error(refusedText(address));
                } catch (const WifiServiceTimeoutException&) {
                    throw Error(QObject::tr("IDS_WIFI_CONNECTOR_CONNECT_TIMEOUT"));
                }
                reporter->invokeSucceed(QString());
            });
        if (end == WorkEnd::Cancelled)
            qCInfo(lcAndroid) << "connecting over WiFi cancelled";
    }));
    worker->start();
    const bool connected = progress.exec() == 1 && !progress.isCancelled();
    // After a cancel the worker's waits end within one slice; the window
    // keeps drawing meanwhile, and takes no input.
    if (!worker->isFinished()) {
        QEventLoop loop;
        connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
        if (!worker->isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    worker->wait();
    if (!connected)
        return;
    delete m_connector;
    m_connector = new AndroidWifiConnector(*connector);
    accept();
}
