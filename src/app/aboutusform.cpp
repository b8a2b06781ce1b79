// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/aboutusform.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPixmap>

#include "kit/productinfo.h"
#include "kit/stylesheet.h"
#include "ui_aboutusform.h"

namespace {

const int kIconHeight = 64;

} // namespace

QString AboutUsForm::makerNotice()
{
    return QString::fromUtf8(product::kMakerNotice);
}

QString AboutUsForm::homePageUrl()
{
    return QString::fromUtf8(product::kMakerSite);
}

QString AboutUsForm::homePageText()
{
    const QString text = QString::fromUtf8(product::kMakerSiteText);
    return text.isEmpty() ? homePageUrl() : text;
}

AboutUsForm::AboutUsForm(QWidget* parent)
    : QDialog(parent)
    , m_movable(this)
    , ui(std::make_unique<Ui_AboutUsForm>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet(QStringLiteral(":/res/style.css")));

    ui->lbProduct->setText(QStringLiteral("%1 v%2").arg(product::title(), QString::fromLatin1(product::kVersion)));

    auto* scene = new QGraphicsScene(this);
    scene->addPixmap(QPixmap(QStringLiteral(":/main_icon")).scaledToHeight(kIconHeight, Qt::FastTransformation));
    ui->picApp->setStyleSheet(QStringLiteral("background:Transparent;border:0;"));
    ui->picApp->setScene(scene);

    ui->label->setText(makerNotice());
    ui->label->setVisible(!makerNotice().isEmpty());

    ui->lbHomePage->setOpenExternalLinks(true);
    const QString url = homePageUrl();
    if (url.isEmpty()) {
        ui->lbHomePage->clear();
        ui->lbHomePage->hide();
    } else {
        ui->lbHomePage->setTextFormat(Qt::RichText);
        ui->lbHomePage->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                                    .arg(url.toHtmlEscaped(), homePageText().toHtmlEscaped()));
    }
}

AboutUsForm::~AboutUsForm() = default;
