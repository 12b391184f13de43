// Drawing, font and path helpers shared by the host's and the modules' windows.
#ifndef CANVAS_UTILS_H
#define CANVAS_UTILS_H

#include "canvas_export.h"

#include <QColor>
#include <QPainterPath>
#include <QRect>
#include <QString>

#include <string>
#include <vector>

class QFont;
class QImage;
class QPainter;
class QPaintDevice;

// The height of the box a word-wrapped text is measured in: tall enough for
// any text, small enough that no coordinate overflows.
inline constexpr int kUnboundedHeight = 1 << 20;

namespace Utils {

// The folder of the library whose handle (dlopen) or any address inside it
// is given, with a trailing "/".
CANVAS_EXPORT std::u16string GetDllModuleDir(void* instanceOrAddress);

// A new font of `heightPx` pixels, owned by the caller. The face "Arial" resolves to its metric
// twin; CJK text falls back to Noto CJK, Simplified Chinese first when
// `languageFlag` is 0 (the Simplified Chinese interface).
CANVAS_EXPORT QFont* GetFont(QPaintDevice* device, int heightPx, int languageFlag, bool bold, const char* face);
CANVAS_EXPORT QFont* GetHFONT(int heightPx, int languageFlag, bool bold, const char* face);

// An image drawn scaled into `rect`; a null or empty image draws nothing.
CANVAS_EXPORT void DrawImage(QPainter& painter, const QImage* image, const QRect& rect);
// Text centred in `rect` on one line, elided at the right if it does not fit.
CANVAS_EXPORT void DrawTextCenter(QPainter& painter, const QString& text, const QFont* font, const QColor& color, const QRect& rect);
// Text in `rect` with Qt alignment flags; word-wrapped when `wrap`, else elided.
CANVAS_EXPORT void DrawTextInRect(QPainter& painter, const QString& text, const QFont* font, const QColor& color,
                                  const QRect& rect, int alignment, bool wrap);
// Text with its top-left corner at (x, y).
CANVAS_EXPORT void DrawTextW(QPainter& painter, const QString& text, const QFont* font, const QColor& color, int x, int y);
// A rounded rectangle path with corner radius `radius`.
CANVAS_EXPORT QPainterPath CreateRoundRect(const QRectF& rect, qreal radius);

// The visible text of a message with link mark-up (<A HREF="...">text</A>,
// any case): the mark-up removed, the link texts kept. Empty when the
// message has no link.
CANVAS_EXPORT std::u16string PickLinkShowContent(const std::u16string& markup);
// The same message as Qt rich text for a QLabel: plain text escaped, each
// link an <a href>.
CANVAS_EXPORT QString LinkMarkupToHtml(const std::u16string& markup);
// The first match of the regular expression `pattern` in `text`; empty when
// there is none or the pattern is not valid.
CANVAS_EXPORT std::u16string FindIfMatchW(const std::u16string& text, const std::u16string& pattern);

// The frames of an animated image file and each frame's delay in
// milliseconds (the frame timer's unit); a frame without a delay gets 100 ms.
// False when the file cannot be read.
CANVAS_EXPORT bool StoreGifInternal(const QString& path, std::vector<QImage>* frames, std::vector<int>* delaysMs);

}  // namespace Utils

#endif  // CANVAS_UTILS_H
