// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the picture sources under resources/res/src to the bitmaps the
// program embeds (the format follows the output name's extension).
//   render_svg SOURCE.svg OUTPUT.(png|jpg) [scale]
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc < 3) {
        err << "usage: render_svg SOURCE.svg OUTPUT.(png|jpg) [scale]\n";
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        err << "not a readable SVG: " << argv[1] << '\n';
        return 1;
    }
    const double scale = argc > 3 ? QString::fromLocal8Bit(argv[3]).toDouble() : 1.0;
    QImage image((renderer.defaultSize() * scale), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    const QString out = QString::fromLocal8Bit(argv[2]);
    const bool jpeg = out.endsWith(QLatin1String(".jpg"));
    if (!(jpeg ? image.convertToFormat(QImage::Format_RGB32) : image).save(out, jpeg ? "JPEG" : "PNG", jpeg ? 90 : -1)) {
        err << "cannot write " << out << '\n';
        return 1;
    }
    return 0;
}
