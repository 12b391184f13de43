// Draws the title bar's caption buttons as PNG files in the look of the
// host's own close button (draw_tools::CaptionButton): 24 x 24, round-capped
// 1.8 px strokes in a muted grey, and for the pressed (and hovered) state a
// soft disc behind the glyph drawn in the darker ink. Each also at 48 x 48 as
// "name@2x.png", for screens that scale up.
//
//   titlebar_draw_images <Resources folder>
#include "render_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdio>

namespace {

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <Resources folder>\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const struct {
        const char* name;
        draw_tools::Drawing glyph;
    } glyphs[] = {
        {"menu", Menu}, {"minimize", Minimize}, {"maximize", Maximize}, {"restore", Restore}, {"close", draw_tools::CloseGlyph},
    };
    int failures = 0;
    for (const auto& glyph : glyphs) {
        for (bool pressed : {false, true}) {
            const QString name = QStringLiteral("caption/%1-%2.png").arg(glyph.name, pressed ? "pressed" : "normal");
            for (int k : {1, 2}) {
                const auto button = [&](QPainter& p) { draw_tools::CaptionButton(p, pressed, glyph.glyph); };
                if (!draw_tools::Render(out, name, 24, 24, k, button)) ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
