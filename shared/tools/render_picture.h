// What the drawing tools share (host/tools/draw_host_images,
// modules/*/tools/draw_images): a picture drawn on a transparent canvas at
// one or two device pixels per layout pixel and saved as PNG, the twice as
// fine one as "name@2x.png", as canvas/pictures.h reads them.
#ifndef PIXBRIDGE_TOOLS_RENDER_PICTURE_H
#define PIXBRIDGE_TOOLS_RENDER_PICTURE_H

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdio>
#include <functional>

namespace draw_tools {

using Drawing = std::function<void(QPainter&)>;

// A transparent picture of width x height layout pixels, `scale` device
// pixels each, with `draw` painted on it in layout pixels, antialiased.
inline QImage Draw(int width, int height, qreal scale, const Drawing& draw) {
    QImage image(qRound(width * scale), qRound(height * scale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(scale, scale);
    draw(p);
    return image;
}

// Writes `image` to `path` as PNG, making its folder; names the file on
// standard output, or on standard error when it cannot be written.
inline bool Save(const QImage& image, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    printf("%s (%dx%d)\n", qPrintable(path), image.width(), image.height());
    return true;
}

// Draws `name` ("folder/x.png" below `root`) at width x height layout
// pixels, k device pixels each; the k = 2 picture goes into "x@2x.png".
inline bool Render(const QString& root, const QString& name, int width, int height, int k, const Drawing& draw) {
    QString path = root + "/" + name;
    if (k != 1) path.insert(path.lastIndexOf(QLatin1Char('.')), QStringLiteral("@%1x").arg(k));
    return Save(Draw(width, height, k, draw), path);
}

// The look of the small caption buttons (the host's dialog close button, the
// title bar's): a 24 x 24 glyph in round-capped 1.8 px strokes of muted
// grey; pressed (and hovered), in the darker ink on a soft disc.
inline void CaptionButton(QPainter& p, bool pressed, const Drawing& glyph) {
    if (pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 28));
        p.drawEllipse(QRectF(1, 1, 22, 22));
    }
    QPen pen(pressed ? QColor(0x3C, 0x46, 0x55) : QColor(0x8A, 0x94, 0xA3), 1.8);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    glyph(p);
}

// The close glyph of every caption close button.
inline void CloseGlyph(QPainter& p) {
    p.drawLine(QPointF(8, 8), QPointF(16, 16));
    p.drawLine(QPointF(16, 8), QPointF(8, 16));
}

}  // namespace draw_tools

#endif  // PIXBRIDGE_TOOLS_RENDER_PICTURE_H
