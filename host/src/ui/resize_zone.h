// Which border zone of the frameless main window a point is in.
#ifndef PIXBRIDGE_HOST_RESIZE_ZONE_H
#define PIXBRIDGE_HOST_RESIZE_ZONE_H

#include <QPoint>
#include <QRect>
#include <Qt>

enum ResizeZone : int {
    kZoneNone = 0,
    kZoneLeft = 10,
    kZoneRight = 11,
    kZoneTop = 12,
    kZoneTopLeft = 13,
    kZoneTopRight = 14,
    kZoneBottom = 15,
    kZoneBottomLeft = 16,
    kZoneBottomRight = 17,
};

// Edge bands of 3 pixels win over corner squares of 8 pixels (not scaled).
ResizeZone HitTestZone(const QPoint& point, const QRect& client);
Qt::Edges EdgesOfZone(ResizeZone zone);
Qt::CursorShape CursorOfZone(ResizeZone zone);

#endif  // PIXBRIDGE_HOST_RESIZE_ZONE_H
