// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/errorreport.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

// The field encoding of the error report: Base64 of the UTF-8 bytes, then
// "/" -> "!" and "=" -> "-" ("+" stays).
QString base64_var(const QString& text);

// Posts an error report to the maker's server after every error box: the
// product title, the version and the error text, as a form. Nothing waits
// for the server and no reply is read; a failure goes unnoticed. With no
// server configured (kit/makerconfig.h) nothing is sent. GUI thread only.
class ErrorReportSender : public QObject {
    Q_OBJECT
public:
    explicit ErrorReportSender(QObject* parent = nullptr);
    // Removes its hook again when it is still the one installed.
    ~ErrorReportSender() override;

    // Makes this sender the error box's report hook.
    void install();
    // Starts the POST of `err` and returns at once.
    void send(const QString& err);

    // The error text as the server gets it: line-break tags ("<br>", "<br/>",
    // any case, blanks allowed) become CR LF, then "<" and ">" entities.
    static QString reportText(const QString& err);
    // The form body, UTF-8: prod=...&ver=...&err=...
    static QByteArray body(const QString& err);

    static constexpr int kTimeoutMs = 20000;

private:
    bool m_installed = false;
    ErrorReportHook m_previous;
    QNetworkAccessManager m_network;
};
