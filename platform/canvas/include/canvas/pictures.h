// Pictures for the screen they are shown on. Every picture of the program is
// drawn twice: "name.png" for one device pixel per layout pixel and
// "name@2x.png", twice the size, for desktops and settings that scale up.
#ifndef CANVAS_PICTURES_H
#define CANVAS_PICTURES_H

#include "canvas_export.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace Utils {

// Device pixels per layout pixel when the program lays out at `layoutScale`
// (its "DPI" scale) over Qt's own scaling: that scale times the largest
// device pixel ratio of the screens, so a window moved to the sharper
// screen stays crisp.
CANVAS_EXPORT qreal DeviceScale(float layoutScale);

// The file to read for `path` at `deviceScale`: its "@2x" twin above 1 when
// that file exists, else `path` itself.
CANVAS_EXPORT QString PicturePath(const QString& path, qreal deviceScale);

// The picture of `path` at `deviceScale`, with its device pixel ratio set
// (2 for an "@2x" file). A twin that does not read falls back to the plain
// file; null when that does not read either.
CANVAS_EXPORT QImage LoadPicture(const QString& path, qreal deviceScale);

// The size a picture covers in layout pixels: its pixel size over its device
// pixel ratio. An empty size for a null picture.
CANVAS_EXPORT QSize PictureSize(const QImage* image);

}  // namespace Utils

#endif  // CANVAS_PICTURES_H
