#include "window/titlebar_layout.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <cstdint>

namespace titlebar {

int Scaled(int n, float scale) { return static_cast<int>(static_cast<float>(n) * scale); }

Layout ComputeLayout(int width, float scale) {
    Layout layout;
    // Buttons grow with the scale until the caption row is full.
    const int side = std::min(Scaled(24, scale), kCaptionRowPx - 4);
    const int top = (kCaptionRowPx - side) / 2;
    const int margin = Scaled(8, scale);
    const int step = side + Scaled(4, scale);
    layout.close = QRect(width - margin - side, top, side, side);
    layout.maximize = layout.close.translated(-step, 0);
    layout.minimize = layout.maximize.translated(-step, 0);
    layout.menu = layout.minimize.translated(-step, 0);

    const int iconSide = std::min(Scaled(20, scale), kCaptionRowPx - 8);
    layout.icon = QRect(Scaled(12, scale), (kCaptionRowPx - iconSide) / 2, iconSide, iconSide);
    const int titleLeft = layout.icon.right() + 1 + Scaled(8, scale);
    const int titleRight = layout.menu.left() - Scaled(12, scale);
    layout.title = QRect(titleLeft, 0, std::max(0, titleRight - titleLeft), kCaptionRowPx);
    return layout;
}

QPoint RestoredOrigin(const QPoint& cursor, const QPoint& pressInWindow, int maximisedWidth, int restoredWidth) {
    int64_t x = restoredWidth / 2;
    if (maximisedWidth > 0) {
        const int64_t pressX = std::clamp(pressInWindow.x(), 0, maximisedWidth);
        x = pressX * restoredWidth / maximisedWidth;
    }
    return QPoint(cursor.x() - static_cast<int>(x), cursor.y() - pressInWindow.y());
}

bool ParseCreateRect(const char* json, QRect* rect) {
    if (json == nullptr || rect == nullptr) return false;
    rapidjson::Document doc;
    doc.Parse(json);
    if (doc.HasParseError() || !doc.IsObject()) return false;
    auto it = doc.FindMember("rect");
    if (it == doc.MemberEnd() || !it->value.IsArray() || it->value.Size() != 4) return false;
    int v[4];
    for (rapidjson::SizeType i = 0; i < 4; ++i) {
        if (!it->value[i].IsInt()) return false;
        v[i] = it->value[i].GetInt();
    }
    // Window lengths: anything outside this range is a broken manifest.
    constexpr int kLimit = 1 << 20;
    for (int n : v) {
        if (n < -kLimit || n > kLimit) return false;
    }
    if (v[2] < 0 || v[3] < 0) return false;
    *rect = QRect(v[0], v[1], v[2], v[3]);
    return true;
}

}  // namespace titlebar
