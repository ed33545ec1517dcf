// korvo_render_icon SVG PNG SIZE: renders Korvo's icon at one of the fixed sizes of the icon theme.
// Built with Qt Svg, which Korvo needs anyway, so no drawing program has to be installed to package it.
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: korvo_render_icon SVG PNG SIZE\n");
        return 2;
    }
    char* end = nullptr;
    const long size = std::strtol(argv[3], &end, 10);
    if (end == argv[3] || *end != '\0' || size < 1 || size > 4096) {
        std::fprintf(stderr, "korvo_render_icon: bad size \"%s\"\n", argv[3]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "korvo_render_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(static_cast<int>(size), static_cast<int>(size), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "korvo_render_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
