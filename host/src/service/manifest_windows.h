// The application manifest: which modules load at start-up, and where each
// module's window goes inside the main view.
#ifndef PIXBRIDGE_HOST_MANIFEST_WINDOWS_H
#define PIXBRIDGE_HOST_MANIFEST_WINDOWS_H

#include <rapidjson/document.h>

#include <string>
#include <vector>

class QWidget;

namespace manifest {

// A module of the manifest that did not load, and why (for an alert and the
// log). The manifest itself failing is reported under the name
// "ApplicationManifest.json".
struct LoadFailure {
    std::string module;
    std::string reason;
};

// The "manifest" object when its "windows::version" is 1, else null.
const rapidjson::Value* Manifest();

// The name of the failure reported when the install folder's path is not
// valid UTF-8.
constexpr const char* kInstallFolderName = "(install folder)";

// Loads every listed module from the install's "Plugins/", in order; a module
// that fails is skipped, logged, and listed in the result. A missing,
// corrupt or unreadable manifest, or one without modules, gives one failure;
// so does an install folder whose path is not valid UTF-8 (then nothing is
// tried).
std::vector<LoadFailure> LoadModules();
// The same from another plug-ins folder ("/"-terminated), for tests.
std::vector<LoadFailure> LoadModulesFrom(const std::u16string& pluginsFolder);
// False when the install folder's path is not valid UTF-8: then no module,
// image or catalogue can be found, and the user should be told so.
bool InstallFolderIsValidUtf8();
// A manifest module name must name one folder inside "Plugins/".
bool IsPlainModuleName(const std::string& name);

// One number of "rect"/"offset": a size variable when allowed, else the
// leading decimal digits times the DPI scale, truncated.
int RectNumber(const rapidjson::Value& value, bool variablesAllowed, int viewWidth, int viewHeight, float dpiScale);

// The create payload of one module entry: {"rect": [l, t, w, h], "extra": ...}.
std::string CreatePayload(const rapidjson::Value& entry, int viewWidth, int viewHeight, float dpiScale);

// Asks each loaded module of the manifest to create its window in `mainView`.
void CreateModuleWindows(QWidget* mainView, float dpiScale);

}  // namespace manifest

#endif  // PIXBRIDGE_HOST_MANIFEST_WINDOWS_H
