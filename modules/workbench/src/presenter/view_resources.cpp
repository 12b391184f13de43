#include "presenter/view_resources.h"

#include "module/module_catalog.h"
#include "module/module_images.h"

#include <bedrock/bas_user_defaults.h>
#include <pixbridge/command_names.h>

#include <QImage>

#include <cstring>

ViewResources::ViewResources(ModuleBus bus, const BASUserDefaults* store, const ModuleImages* images, float dpiScale)
    : bus_(bus), store_(store), images_(images), dpiScale_(dpiScale > 0 ? dpiScale : 1.0f) {}

const QFont& ViewResources::Font(const char* name) const {
    static const QFont fallback;
    auto it = fonts_.find(name);
    if (it != fonts_.end()) return it->second ? *it->second : fallback;
    const QFont* font = nullptr;
    if (bus_.IsOpen()) {
        // The GDI+ and GDI families have their own commands; the host owns both.
        const bool gdiplus = std::strncmp(name, "font:gdiplus:", 13) == 0;
        ModuleCommand command =
            MakeCommand(gdiplus ? LIBPLATFORM_COMMAND_GET_GDIPLUS_FONT : LIBPLATFORM_COMMAND_GET_FONT);
        command.text = const_cast<char*>(name);
        bus_.Post(command);
        font = static_cast<const QFont*>(command.result);
    }
    fonts_[name] = font;
    return font ? *font : fallback;
}

QColor ViewResources::Colour(const char* key, const QColor& fallback) const {
    if (!store_ || !store_->HasMember(key)) return fallback;
    return QColor::fromRgb(store_->GetRGB(key, fallback.rgb() & 0xFFFFFF));
}

const QImage* ViewResources::Image(const char* key) const {
    static const QImage empty;
    const QImage* image = images_ ? images_->Find(key) : nullptr;
    return image ? image : &empty;
}

const QImage* ViewResources::HostImage(const char* name) const {
    if (!bus_.IsOpen()) return nullptr;
    ModuleCommand command = MakeCommand(LIBPLATFORM_COMMAND_FIND_IMAGE);
    command.text = const_cast<char*>(name);
    bus_.Post(command);
    return static_cast<const QImage*>(command.result);
}

QString ViewResources::Tr(const char16_t* key) { return QString::fromStdU16String(TranslateConverter(key)); }
