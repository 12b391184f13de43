// The application manifest: which modules load at start-up, and where each
// module's window goes inside the main view.
#ifndef PIXBRIDGE_HOST_MANIFEST_WINDOWS_H
#define PIXBRIDGE_HOST_MANIFEST_WINDOWS_H

#include <rapidjson/document.h>

#include <string>

class QWidget;

namespace manifest {

// The "manifest" object when its "windows::version" is 1, else null.
const rapidjson::Value* Manifest();

// Loads every listed module, in order; a module that fails is skipped.
void LoadModules();

// One number of "rect"/"offset": a size variable when allowed, else the
// leading decimal digits times the DPI scale, truncated.
int RectNumber(const rapidjson::Value& value, bool variablesAllowed, int viewWidth, int viewHeight, float dpiScale);

// The create payload of one module entry: {"rect": [l, t, w, h], "extra": ...}.
std::string CreatePayload(const rapidjson::Value& entry, int viewWidth, int viewHeight, float dpiScale);

// Asks each loaded module of the manifest to create its window in `mainView`.
void CreateModuleWindows(QWidget* mainView, float dpiScale);

}  // namespace manifest

#endif  // PIXBRIDGE_HOST_MANIFEST_WINDOWS_H
