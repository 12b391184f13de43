#include "dialog_resources.h"

#include "service/host_tables.h"
#include "service/image_cache.h"

#include <bedrock/bas_user_defaults.h>
#include <lingua/wx_locale.h>

#include <QApplication>
#include <QImage>
#include <QThread>

#include <glog/logging.h>

namespace dialog_resources {

const QFont& Font(const char* name) {
    if (const QFont* font = HostTables::Get().FindGdiplusFont(name)) return *font;
    if (const QFont* font = HostTables::Get().FindFont(name)) return *font;
    static const QFont fallback;
    return fallback;
}

QColor StoreColor(const char* key, const QColor& fallback) {
    const BASUserDefaults* store = BASUserDefaults::GetUserDefaults("url");
    if (!store || !store->IsOk() || !store->HasMember(key)) return fallback;
    return QColor::fromRgb(store->GetRGB(key, fallback.rgb() & 0xFFFFFF));
}

QColor TextOn(const QColor& background) {
    // Relative luminance, as contrast rules reckon it, on the 0..1 scale.
    const double luminance = (0.2126 * background.redF() + 0.7152 * background.greenF() + 0.0722 * background.blueF());
    return luminance > 0.6 ? QColor(0x25, 0x33, 0x4A) : QColor(Qt::white);
}

const QImage* Image(const char* name) {
    static const QImage empty;
    const QImage* image = ImageCache::Get().Find(name);
    return image ? image : &empty;
}

QString Tr(const char16_t* key) { return QString::fromStdU16String(Tr16(key)); }

std::u16string Tr16(const char16_t* key) {
    const char16_t* text = wxGetTranslation(key, u"Platform");
    return text ? std::u16string(text) : std::u16string(key);
}

void AssertMainThread(const char* where) {
    // Qt's own rule: widgets belong to the thread of the application object.
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()) return;
    LOG(ERROR) << where << " called off the main thread";
    DCHECK(false) << where << ": widgets are touched on the main thread only";
}

}  // namespace dialog_resources
