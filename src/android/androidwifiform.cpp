// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/androidwifiform.h"

#include "android/androidwificonnector.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"

#include <QPushButton>
#include <QRegularExpression>

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

void AndroidWIFIForm::onBtnConnect()
{
    const QString address = ipv4Address(ui.txtWifiSocket->text());
    if (address.isEmpty()) {
        Tips::warning(tr("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE"));
        return;
    }
    auto connector = std::make_unique<AndroidWifiConnector>();
    try {
        connector->initialize(address);
    } catch (const WifiServiceTimeoutException&) {
        Tips::error(QObject::tr("IDS_WIFI_CONNECTOR_CONNECT_TIMEOUT"));
        return;
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }
    delete m_connector;
    m_connector = connector.release();
    accept();
}
