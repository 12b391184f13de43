#include "canvas/utils.h"

#include <bedrock/bas_utility_string.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <string>

namespace Utils {

std::u16string GetDllModuleDir(void* instanceOrAddress) {
    std::string path;
    Dl_info info{};
    link_map* map = nullptr;
    static void* const programHandle = dlopen(nullptr, RTLD_NOW);
    // An address inside a loaded object is found by dladdr; a dlopen handle
    // is not such an address (it lives in the loader's heap), so it is asked
    // for its link map instead. The program's own handle means the program.
    if (instanceOrAddress && instanceOrAddress != programHandle) {
        if (dladdr(instanceOrAddress, &info) && info.dli_fname && *info.dli_fname) {
            path = info.dli_fname;
        } else if (dlinfo(instanceOrAddress, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) {
            path = map->l_name;
        }
    }
    if (path.empty()) {
        char buf[4096];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0) path.assign(buf, static_cast<size_t>(n));
    }
    const size_t slash = path.rfind('/');
    return BASUtilityString::Utf8ToUtf16(slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1));
}

QFont* GetHFONT(int heightPx, int languageFlag, bool bold, const char* face) {
    auto* font = new QFont();
    QStringList families{QString::fromUtf8(face && *face ? face : "Arial"), QStringLiteral("Liberation Sans")};
    families << (languageFlag == 0 ? QStringLiteral("Noto Sans CJK SC") : QStringLiteral("Noto Sans CJK JP"));
    families << QStringLiteral("Noto Sans CJK TC");
    font->setFamilies(families);
    font->setPixelSize(heightPx > 0 ? heightPx : 1);
    font->setWeight(bold ? QFont::Bold : QFont::Normal);
    font->setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont* GetFont(QPaintDevice*, int heightPx, int languageFlag, bool bold, const char* face) {
    return GetHFONT(heightPx, languageFlag, bold, face);
}

void DrawImage(QPainter& painter, const QImage* image, const QRect& rect) {
    if (!image || image->isNull() || rect.isEmpty()) return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(rect, *image);
    painter.restore();
}

void DrawTextInRect(QPainter& painter, const QString& text, const QFont* font, const QColor& color, const QRect& rect,
                    int alignment, bool wrap) {
    painter.save();
    if (font) painter.setFont(*font);
    painter.setPen(color);
    if (wrap) {
        painter.drawText(rect, alignment | Qt::TextWordWrap, text);
    } else {
        const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, rect.width());
        painter.drawText(rect, alignment | Qt::TextSingleLine, shown);
    }
    painter.restore();
}

void DrawTextCenter(QPainter& painter, const QString& text, const QFont* font, const QColor& color, const QRect& rect) {
    DrawTextInRect(painter, text, font, color, rect, Qt::AlignCenter, false);
}

void DrawTextW(QPainter& painter, const QString& text, const QFont* font, const QColor& color, int x, int y) {
    painter.save();
    if (font) painter.setFont(*font);
    painter.setPen(color);
    painter.drawText(QPoint(x, y + painter.fontMetrics().ascent()), text);
    painter.restore();
}

QPainterPath CreateRoundRect(const QRectF& rect, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

}  // namespace Utils
