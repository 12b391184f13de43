// What the workbench's views draw with: the host's fonts by name (over the
// bus), the module's colours and images, and its translated texts.
#ifndef WORKBENCH_VIEW_RESOURCES_H
#define WORKBENCH_VIEW_RESOURCES_H

#include <module_kit/module_bus.h>

#include <QColor>
#include <QFont>
#include <QString>

#include <map>
#include <string>

class BASUserDefaults;
class ModuleImages;
class QImage;

class ViewResources {
public:
    ViewResources(ModuleBus bus, const BASUserDefaults* store, const ModuleImages* images, float dpiScale);

    // A host font ("font:gdiplus:16:normal", "font:16:normal"); the
    // application's default font when the host has none of that name.
    const QFont& Font(const char* name) const;
    // A colour of the module's store, or the fallback.
    QColor Colour(const char* key, const QColor& fallback) const;
    // A module image; never null (an empty image when missing).
    const QImage* Image(const char* key) const;
    // An image of the host's cache ("alert.png"); may be null.
    const QImage* HostImage(const char* name) const;
    static QString Tr(const char16_t* key);
    float DpiScale() const { return dpiScale_; }
    // n times the display scale, fraction dropped.
    int D(double n) const { return static_cast<int>(n * dpiScale_); }
    ModuleBus Bus() const { return bus_; }

private:
    ModuleBus bus_;
    const BASUserDefaults* store_ = nullptr;
    const ModuleImages* images_ = nullptr;
    float dpiScale_ = 1.0f;
    mutable std::map<std::string, const QFont*> fonts_;
};

#endif  // WORKBENCH_VIEW_RESOURCES_H
