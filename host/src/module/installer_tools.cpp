// The tools of the installer hand-over. Not part of the host library: each
// program that links it compiles this file itself, so that only test
// programs can replace the tools, and a program that chooses nothing does
// not link.
//
// The shipped program names the system's own tools by fixed path, and the
// package's helper only when it runs from the package itself: a program run
// from its build tree hands the package to the desktop's installer instead.
// Test programs are compiled with PIXBRIDGE_TEST_TOOLS and take every tool
// from the folder that PIXBRIDGE_TEST_TOOLS_DIR names; without it, from a
// folder that does not exist, so that no test can ever start the real
// pkexec.
#include "installer_handover.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>

#include <cstdlib>

namespace installer_handover {

#ifdef PIXBRIDGE_TEST_TOOLS

Tools SystemTools() {
    const char* dir = getenv("PIXBRIDGE_TEST_TOOLS_DIR");
    const std::string folder = dir && dir[0] == '/' ? dir : "/nonexistent/pixbridge-test-tools";
    return {folder + "/pkexec", folder + "/pixbridge-install-update", folder + "/xdg-open"};
}

#else

Tools SystemTools() {
    constexpr const char* kPackageFolder = "/usr/lib/pixbridge/";
    const bool fromPackage = BASUtilityString::Utf16ToUtf8(BASUtilityApp::GetProductInstallDir()) == kPackageFolder;
    return {"/usr/bin/pkexec", fromPackage ? std::string(kPackageFolder) + "pixbridge-install-update" : std::string(),
            "/usr/bin/xdg-open"};
}

#endif

}  // namespace installer_handover
