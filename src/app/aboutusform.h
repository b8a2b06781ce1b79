// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

#include "kit/winmovable.h"

class Ui_AboutUsForm;

// The about box: the product title with its version, the icon, and the
// maker's notice and home page link when those are configured.
class AboutUsForm : public QDialog {
    Q_OBJECT
public:
    explicit AboutUsForm(QWidget* parent = nullptr);
    ~AboutUsForm() override;

    // The maker's one-line notice and home page; both empty by default, and
    // an empty one is not shown, so the box never offers a dead link.
    static QString makerNotice();
    static QString homePageUrl();
    static QString homePageText();

private:
    WinMovable m_movable;
    std::unique_ptr<Ui_AboutUsForm> ui;
};
