// Draws every picture of the workbench module as a PNG, in one flat style:
// rounded shapes, 1.5 px strokes on operator icons, the accent blue of
// Converter.json for active states and neutral greys elsewhere. Each is drawn
// again at twice its size as "name@2x.png", for screens that scale up.
//
//   workbench_draw_images <Resources folder>
#include "render_picture.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QtMath>

#include <cstdio>

namespace {

const QColor kAccent(0x2F, 0x6F, 0xEB);
const QColor kAccentSoft(0xE6, 0xEE, 0xFD);
const QColor kAccentMid(0x8E, 0xB1, 0xF5);
const QColor kInk(0x5F, 0x6B, 0x7A);
const QColor kLine(0xB4, 0xBC, 0xC8);
const QColor kMist(0xEE, 0xF1, 0xF5);
const QColor kStone(0xB8, 0xC2, 0xCF);
const QColor kSwitchOff(0xC9, 0xD0, 0xDA);
const QColor kSuccess(0x22, 0xA0, 0x6B);
const QColor kSuccessSoft(0xE3, 0xF5, 0xEC);
const QColor kWhite(0xFF, 0xFF, 0xFF);

using draw_tools::Drawing;

QPen Stroke(const QColor& color, qreal width = 1.5) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// An open arrow head at the end of a counter-clockwise arc of `radius`
// around `centre` that ends at `endDegrees` (Qt's angles: counter-clockwise
// from three o'clock).
void ArcArrowHead(QPainter& p, QPointF centre, qreal radius, qreal endDegrees, qreal size) {
    const qreal t = qDegreesToRadians(endDegrees);
    const QPointF tip(centre.x() + radius * qCos(t), centre.y() - radius * qSin(t));
    // Direction of travel on screen at the arc's end.
    const QPointF dir(-qSin(t), -qCos(t));
    auto rotated = [](QPointF v, qreal degrees) {
        const qreal a = qDegreesToRadians(degrees);
        return QPointF(v.x() * qCos(a) - v.y() * qSin(a), v.x() * qSin(a) + v.y() * qCos(a));
    };
    QPainterPath head;
    head.moveTo(tip - rotated(dir, 40) * size);
    head.lineTo(tip);
    head.lineTo(tip - rotated(dir, -40) * size);
    p.drawPath(head);
}

// A small filled circle with a white plus: the "add" mark of the operator
// icons.
void PlusBadge(QPainter& p, QPointF centre, qreal radius, const QColor& color) {
    p.setPen(QPen(kWhite, 1.5));
    p.setBrush(color);
    p.drawEllipse(centre, radius, radius);
    p.setPen(Stroke(kWhite, 1.5));
    const qreal arm = radius * 0.5;
    p.drawLine(QPointF(centre.x() - arm, centre.y()), QPointF(centre.x() + arm, centre.y()));
    p.drawLine(QPointF(centre.x(), centre.y() - arm), QPointF(centre.x(), centre.y() + arm));
}

// A landscape (two hills and a sun) inside `frame`.
void Landscape(QPainter& p, const QRectF& frame, const QColor& hills, const QColor& sun) {
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(frame, frame.width() * 0.08, frame.width() * 0.08);
    p.setClipPath(clip);
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    const qreal r = frame.height() * 0.11;
    p.drawEllipse(QPointF(frame.left() + frame.width() * 0.70, frame.top() + frame.height() * 0.30), r, r);

    QPainterPath back;
    back.moveTo(frame.left() + frame.width() * 0.38, frame.bottom());
    back.lineTo(frame.left() + frame.width() * 0.66, frame.top() + frame.height() * 0.50);
    back.lineTo(frame.right() + frame.width() * 0.05, frame.bottom());
    back.closeSubpath();
    QColor lighter = hills;
    lighter.setAlphaF(0.6);
    p.setBrush(lighter);
    p.drawPath(back);

    QPainterPath front;
    front.moveTo(frame.left() - frame.width() * 0.05, frame.bottom());
    front.lineTo(frame.left() + frame.width() * 0.32, frame.top() + frame.height() * 0.42);
    front.lineTo(frame.left() + frame.width() * 0.72, frame.bottom());
    front.closeSubpath();
    p.setBrush(hills);
    p.drawPath(front);
    p.restore();
}

// A photo card: white with a border and a landscape inside.
void PhotoCard(QPainter& p, const QRectF& card, const QColor& border, const QColor& fill, const QColor& hills,
               const QColor& sun, qreal borderWidth) {
    const qreal radius = card.width() * 0.09;
    p.setPen(QPen(border, borderWidth));
    p.setBrush(fill);
    p.drawRoundedRect(card, radius, radius);
    const qreal inset = card.width() * 0.12;
    Landscape(p, card.adjusted(inset, inset, -inset, -inset), hills, sun);
}

void AddFile(QPainter& p, const QColor& ink) {
    QPainterPath page;
    page.moveTo(4.75, 3.25);
    page.lineTo(11.25, 3.25);
    page.lineTo(15.25, 7.25);
    page.lineTo(15.25, 16.75);
    page.quadTo(15.25, 17.75, 14.25, 17.75);
    page.lineTo(5.75, 17.75);
    page.quadTo(4.75, 17.75, 4.75, 16.75);
    page.closeSubpath();
    p.setPen(Stroke(ink));
    p.setBrush(Qt::NoBrush);
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(11.25, 3.25);
    fold.lineTo(11.25, 7.25);
    fold.lineTo(15.25, 7.25);
    p.drawPath(fold);
    PlusBadge(p, QPointF(14.5, 14.5), 4.5, ink);
}

void AddFolder(QPainter& p, const QColor& ink) {
    QPainterPath folder;
    folder.moveTo(2.75, 5.75);
    folder.quadTo(2.75, 4.25, 4.25, 4.25);
    folder.lineTo(7.75, 4.25);
    folder.lineTo(9.5, 6.0);
    folder.lineTo(15.75, 6.0);
    folder.quadTo(17.25, 6.0, 17.25, 7.5);
    folder.lineTo(17.25, 14.75);
    folder.quadTo(17.25, 16.25, 15.75, 16.25);
    folder.lineTo(4.25, 16.25);
    folder.quadTo(2.75, 16.25, 2.75, 14.75);
    folder.closeSubpath();
    p.setPen(Stroke(ink));
    p.setBrush(Qt::NoBrush);
    p.drawPath(folder);
    p.drawLine(QPointF(2.75, 8.5), QPointF(17.25, 8.5));
    PlusBadge(p, QPointF(14.5, 14.5), 4.5, ink);
}

void Delete(QPainter& p, const QColor& ink) {
    p.setPen(Stroke(ink));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(3.75, 5.75), QPointF(16.25, 5.75));
    QPainterPath handle;
    handle.moveTo(7.75, 5.75);
    handle.lineTo(7.75, 4.25);
    handle.quadTo(7.75, 3.25, 8.75, 3.25);
    handle.lineTo(11.25, 3.25);
    handle.quadTo(12.25, 3.25, 12.25, 4.25);
    handle.lineTo(12.25, 5.75);
    p.drawPath(handle);
    QPainterPath body;
    body.moveTo(5.25, 5.75);
    body.lineTo(6.0, 16.0);
    body.quadTo(6.1, 17.0, 7.1, 17.0);
    body.lineTo(12.9, 17.0);
    body.quadTo(13.9, 17.0, 14.0, 16.0);
    body.lineTo(14.75, 5.75);
    p.drawPath(body);
    p.drawLine(QPointF(8.5, 8.75), QPointF(8.75, 14.0));
    p.drawLine(QPointF(11.5, 8.75), QPointF(11.25, 14.0));
}

void ClearAll(QPainter& p, const QColor& ink) {
    p.setPen(Stroke(ink));
    p.drawLine(QPointF(3.25, 5.25), QPointF(16.75, 5.25));
    p.drawLine(QPointF(3.25, 9.25), QPointF(12.25, 9.25));
    p.drawLine(QPointF(3.25, 13.25), QPointF(9.25, 13.25));
    // A cross badge: everything goes.
    p.setPen(QPen(kWhite, 1.5));
    p.setBrush(ink);
    const QPointF c(14.5, 14.5);
    p.drawEllipse(c, 4.5, 4.5);
    p.setPen(Stroke(kWhite, 1.5));
    p.drawLine(QPointF(c.x() - 1.8, c.y() - 1.8), QPointF(c.x() + 1.8, c.y() + 1.8));
    p.drawLine(QPointF(c.x() + 1.8, c.y() - 1.8), QPointF(c.x() - 1.8, c.y() + 1.8));
}

void Search(QPainter& p) {
    p.setPen(Stroke(kInk, 1.75));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8.75, 8.75), 5.25, 5.25);
    p.drawLine(QPointF(12.75, 12.75), QPointF(16.5, 16.5));
}

void CheckBox(QPainter& p, bool checked) {
    const QRectF box(1.5, 1.5, 13.0, 13.0);
    if (checked) {
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawRoundedRect(box.adjusted(-0.5, -0.5, 0.5, 0.5), 3.5, 3.5);
        QPainterPath tick;
        tick.moveTo(4.6, 8.2);
        tick.lineTo(7.0, 10.6);
        tick.lineTo(11.6, 5.6);
        p.setPen(Stroke(kWhite, 1.9));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    } else {
        p.setPen(QPen(kLine, 1.0));
        p.setBrush(kWhite);
        p.drawRoundedRect(box, 3.0, 3.0);
    }
}

void Switch(QPainter& p, bool on) {
    const QRectF track(1.0, 2.0, 34.0, 16.0);
    p.setPen(Qt::NoPen);
    p.setBrush(on ? kAccent : kSwitchOff);
    p.drawRoundedRect(track, 8.0, 8.0);
    const QPointF knob(on ? 27.0 : 9.0, 10.0);
    // A faint shadow under the knob lifts it off the track.
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(knob + QPointF(0, 0.6), 6.4, 6.4);
    p.setBrush(kWhite);
    p.drawEllipse(knob, 6.0, 6.0);
}

void Converting(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kAccentSoft);
    p.drawEllipse(QPointF(32, 32), 30, 30);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(32, 32), 22, 22);
    // Two arcs chasing each other, each with an arrow head.
    const QRectF ring(21, 21, 22, 22);
    p.setPen(Stroke(kWhite, 3.0));
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, 20 * 16, 140 * 16);
    p.drawArc(ring, 200 * 16, 140 * 16);
    ArcArrowHead(p, QPointF(32, 32), 11, 160, 5.0);
    ArcArrowHead(p, QPointF(32, 32), 11, 340, 5.0);
}

void Complete(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kSuccessSoft);
    p.drawEllipse(QPointF(32, 32), 30, 30);
    p.setBrush(kSuccess);
    p.drawEllipse(QPointF(32, 32), 22, 22);
    QPainterPath tick;
    tick.moveTo(22.5, 32.5);
    tick.lineTo(29.0, 39.0);
    tick.lineTo(41.5, 25.5);
    p.setPen(Stroke(kWhite, 3.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

void MainAddImage(QPainter& p) {
    // A soft backdrop disc, two cards fanned out, and the add badge.
    p.setPen(Qt::NoPen);
    p.setBrush(kAccentSoft);
    p.drawEllipse(QPointF(80, 66), 60, 56);

    p.save();
    p.translate(66, 62);
    p.rotate(-10);
    PhotoCard(p, QRectF(-36, -30, 72, 58), kAccentMid, QColor(0xF4, 0xF7, 0xFE), kAccentMid, kAccentSoft, 2.0);
    p.restore();

    p.save();
    p.translate(92, 68);
    p.rotate(6);
    PhotoCard(p, QRectF(-38, -31, 76, 62), kAccent, kWhite, kAccent, kAccentMid, 2.5);
    p.restore();

    p.setPen(QPen(kWhite, 3.0));
    p.setBrush(kAccent);
    const QPointF c(124, 98);
    p.drawEllipse(c, 16, 16);
    p.setPen(Stroke(kWhite, 3.5));
    p.drawLine(QPointF(c.x() - 7, c.y()), QPointF(c.x() + 7, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 7), QPointF(c.x(), c.y() + 7));
}

// A small circular arrow: the "convert" mark of the entry pictures.
void ConvertBadge(QPainter& p, QPointF centre, qreal radius) {
    p.setPen(QPen(kWhite, 2.0));
    p.setBrush(kAccent);
    p.drawEllipse(centre, radius, radius);
    const qreal r = radius * 0.52;
    const QRectF ring(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
    p.setPen(Stroke(kWhite, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, 90 * 16, 270 * 16);
    ArcArrowHead(p, centre, r, 360, radius * 0.38);
}

void SingleConversion(QPainter& p) {
    PhotoCard(p, QRectF(5, 8, 34, 30), kAccent, kWhite, kAccent, kAccentMid, 2.0);
    ConvertBadge(p, QPointF(36, 36), 9);
}

void BatchConversion(QPainter& p) {
    PhotoCard(p, QRectF(13, 3, 30, 26), kAccentMid, QColor(0xF4, 0xF7, 0xFE), kAccentMid, kAccentSoft, 1.6);
    PhotoCard(p, QRectF(9, 8, 30, 26), kAccentMid, QColor(0xF4, 0xF7, 0xFE), kAccentMid, kAccentSoft, 1.6);
    PhotoCard(p, QRectF(5, 13, 30, 26), kAccent, kWhite, kAccent, kAccentMid, 2.0);
    ConvertBadge(p, QPointF(36, 37), 9);
}

void PhotoPlaceholder(QPainter& p) {
    const QRectF frame(3, 7, 42, 34);
    p.setPen(QPen(QColor(0xD5, 0xDB, 0xE3), 1.0));
    p.setBrush(kMist);
    p.drawRoundedRect(frame, 5, 5);
    Landscape(p, frame.adjusted(5, 5, -5, -5), kStone, QColor(0xCD, 0xD5, 0xDF));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <Resources folder>\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    struct Picture {
        const char* name;
        int width;
        int height;
        Drawing draw;
    };
    const Picture pictures[] = {
        {"converting.png", 64, 64, Converting},
        {"complete.png", 64, 64, Complete},
        {"entry/main-add-image.png", 160, 128, MainAddImage},
        {"entry/batch-image-conversion.png", 48, 48, BatchConversion},
        {"entry/single-image-conversion.png", 48, 48, SingleConversion},
        {"operator/add-file-normal.png", 20, 20, [](QPainter& p) { AddFile(p, kInk); }},
        {"operator/add-file-pressed.png", 20, 20, [](QPainter& p) { AddFile(p, kAccent); }},
        {"operator/add-folder-normal.png", 20, 20, [](QPainter& p) { AddFolder(p, kInk); }},
        {"operator/add-folder-pressed.png", 20, 20, [](QPainter& p) { AddFolder(p, kAccent); }},
        {"operator/delete-normal.png", 20, 20, [](QPainter& p) { Delete(p, kInk); }},
        {"operator/delete-pressed.png", 20, 20, [](QPainter& p) { Delete(p, kAccent); }},
        {"operator/clear-all-normal.png", 20, 20, [](QPainter& p) { ClearAll(p, kInk); }},
        {"operator/clear-all-pressed.png", 20, 20, [](QPainter& p) { ClearAll(p, kAccent); }},
        {"operator/operate-search.png", 20, 20, Search},
        {"check-yes.png", 16, 16, [](QPainter& p) { CheckBox(p, true); }},
        {"check-no.png", 16, 16, [](QPainter& p) { CheckBox(p, false); }},
        {"content-photo-thumbnail.png", 48, 48, PhotoPlaceholder},
        {"right/on.png", 36, 20, [](QPainter& p) { Switch(p, true); }},
        {"right/off.png", 36, 20, [](QPainter& p) { Switch(p, false); }},
    };
    int failures = 0;
    for (const Picture& picture : pictures) {
        for (int k : {1, 2}) {
            if (!draw_tools::Render(out, picture.name, picture.width, picture.height, k, picture.draw)) ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
