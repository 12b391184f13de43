// Draws the title bar's caption buttons as PNG files in the style of the
// host's own close button: 24 x 24, round-capped 1.8 px strokes in a muted
// grey, and for the pressed (and hovered) state a soft disc behind the glyph
// drawn in the darker ink. Each also at 48 x 48 as "name@2x.png", for
// screens that scale up.
//
//   titlebar_draw_images <Resources folder>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdio>
#include <functional>

namespace {

const QColor kInk(0x3C, 0x46, 0x55);
const QColor kMuted(0x8A, 0x94, 0xA3);

using Glyph = std::function<void(QPainter&)>;

bool Render(const QString& folder, const QString& name, bool pressed, const Glyph& glyph, int k) {
    QImage image(24 * k, 24 * k, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.scale(k, k);
        if (pressed) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 28));
            p.drawEllipse(QRectF(1, 1, 22, 22));
        }
        QPen pen(pressed ? kInk : kMuted, 1.8);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        glyph(p);
    }
    const QString path = folder + "/caption/" + name + (pressed ? "-pressed" : "-normal") + (k == 1 ? "" : "@2x") + ".png";
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    printf("%s\n", qPrintable(path));
    return true;
}

void Menu(QPainter& p) {
    for (qreal y : {7.5, 12.0, 16.5}) p.drawLine(QPointF(7, y), QPointF(17, y));
}

void Minimize(QPainter& p) { p.drawLine(QPointF(7, 12.5), QPointF(17, 12.5)); }

void Maximize(QPainter& p) { p.drawRoundedRect(QRectF(7.5, 7.5, 9, 9), 1.5, 1.5); }

// Two windows, the front one whole and the one behind showing its corner.
void Restore(QPainter& p) {
    p.drawRoundedRect(QRectF(6.5, 9.5, 8, 8), 1.5, 1.5);
    QPainterPath back;
    back.moveTo(9.5, 9.5);
    back.lineTo(9.5, 7.5);
    back.quadTo(9.5, 6.5, 10.5, 6.5);
    back.lineTo(16.5, 6.5);
    back.quadTo(17.5, 6.5, 17.5, 7.5);
    back.lineTo(17.5, 13.5);
    back.quadTo(17.5, 14.5, 16.5, 14.5);
    back.lineTo(14.5, 14.5);
    p.drawPath(back);
}

// The host's close glyph, so the two close buttons look alike.
void Close(QPainter& p) {
    p.drawLine(QPointF(8, 8), QPointF(16, 16));
    p.drawLine(QPointF(16, 8), QPointF(8, 16));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <Resources folder>\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const struct {
        const char* name;
        Glyph glyph;
    } glyphs[] = {{"menu", Menu}, {"minimize", Minimize}, {"maximize", Maximize}, {"restore", Restore}, {"close", Close}};
    int failures = 0;
    for (const auto& glyph : glyphs) {
        for (bool pressed : {false, true}) {
            for (int k : {1, 2}) {
                if (!Render(out, glyph.name, pressed, glyph.glyph, k)) ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
