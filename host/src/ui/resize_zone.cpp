#include "resize_zone.h"

ResizeZone HitTestZone(const QPoint& p, const QRect& client) {
    constexpr int kBand = 3, kCorner = 8;
    // QRect's right()/bottom() are the last pixel; the edges of the area are
    // one past them.
    const int left = client.left(), top = client.top();
    const int right = client.left() + client.width(), bottom = client.top() + client.height();
    const int x = p.x(), y = p.y();
    if (x <= left + kBand) return kZoneLeft;
    if (x >= right - kBand) return kZoneRight;
    if (y <= top + kBand) return kZoneTop;
    if (y >= bottom - kBand) return kZoneBottom;
    if (x <= left + kCorner && y <= top + kCorner) return kZoneTopLeft;
    if (x >= right - kCorner && y <= top + kCorner) return kZoneTopRight;
    if (x <= left + kCorner && y >= bottom - kCorner) return kZoneBottomLeft;
    if (x >= right - kCorner && y >= bottom - kCorner) return kZoneBottomRight;
    return kZoneNone;
}

Qt::Edges EdgesOfZone(ResizeZone zone) {
    switch (zone) {
    case kZoneLeft: return Qt::LeftEdge;
    case kZoneRight: return Qt::RightEdge;
    case kZoneTop: return Qt::TopEdge;
    case kZoneTopLeft: return Qt::TopEdge | Qt::LeftEdge;
    case kZoneTopRight: return Qt::TopEdge | Qt::RightEdge;
    case kZoneBottom: return Qt::BottomEdge;
    case kZoneBottomLeft: return Qt::BottomEdge | Qt::LeftEdge;
    case kZoneBottomRight: return Qt::BottomEdge | Qt::RightEdge;
    default: return {};
    }
}

Qt::CursorShape CursorOfZone(ResizeZone zone) {
    switch (zone) {
    case kZoneLeft:
    case kZoneRight: return Qt::SizeHorCursor;
    case kZoneTop:
    case kZoneBottom: return Qt::SizeVerCursor;
    case kZoneTopLeft:
    case kZoneBottomRight: return Qt::SizeFDiagCursor;
    case kZoneTopRight:
    case kZoneBottomLeft: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
    }
}
