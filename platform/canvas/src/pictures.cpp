#include "canvas/pictures.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <cmath>

namespace Utils {

qreal DeviceScale(float layoutScale) {
    const qreal ratio = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? qApp->devicePixelRatio() : 1.0;
    const qreal scale = static_cast<qreal>(layoutScale) * ratio;
    return std::isfinite(scale) && scale > 0 ? scale : 1.0;
}

QString PicturePath(const QString& path, qreal deviceScale) {
    if (!(deviceScale > 1.0)) return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString twin = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("@2x") +
                         (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
    return QFileInfo::exists(twin) ? twin : path;
}

QImage LoadPicture(const QString& path, qreal deviceScale) {
    const QString chosen = PicturePath(path, deviceScale);
    QImage image;
    if (chosen != path && image.load(chosen)) {
        image.setDevicePixelRatio(2.0);
        return image;
    }
    image = QImage();
    if (image.load(path)) image.setDevicePixelRatio(1.0);
    return image;
}

QSize PictureSize(const QImage* image) {
    if (!image || image->isNull()) return QSize();
    return image->deviceIndependentSize().toSize();
}

}  // namespace Utils
