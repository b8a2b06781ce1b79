// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/winmovable.h"
#include "ui_androidwifiform.h"

#include <QDialog>

class AndroidWifiConnector;

// Lets the user connect an Android phone over the local network by typing
// the address that the companion app shows. GUI thread only.
class AndroidWIFIForm : public QDialog {
    Q_OBJECT
public:
    explicit AndroidWIFIForm(QWidget* parent);
    ~AndroidWIFIForm() override;

    // Runs the dialog. Returns the greeted connector when the user connected
    // a phone, null when the dialog was cancelled. The caller owns it.
    AndroidWifiConnector* execGetConnector();

    // The dotted IPv4 address in text (trimmed, each part 0 to 255), or
    // empty text when it is none.
    static QString ipv4Address(const QString& text);
    // The progress dialog's line while the phone at `address` is greeted.
    static QString connectingText(const QString& address);

public slots:
    // Greets the service at the typed address; accepts on success, otherwise
    // tells the user why and stays open.
    void onBtnConnect();

private:
    // Why nothing could be greeted at `address` when it refused at once.
    static QString refusedText(const QString& address);

    Ui_AndroidWIFIForm ui;
    WinMovable m_movable;
    AndroidWifiConnector* m_connector = nullptr;
};
