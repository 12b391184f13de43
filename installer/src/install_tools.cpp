// The tools the install helper runs. The shipped helper names the system's
// own by fixed path: it runs as root, and nothing in its environment may
// choose what runs. The test build (PIXBRIDGE_TEST_TOOLS) takes apt-get and
// dpkg from the folder that PIXBRIDGE_TEST_TOOLS_DIR names, and without it
// from a folder that does not exist, so that no test can ever install
// anything on the machine; dpkg-deb only reads the package and stays the
// system's.
#include "package_install.h"

#include <cstdlib>

namespace package_install {

#ifdef PIXBRIDGE_TEST_TOOLS

Tools SystemTools() {
    const char* dir = getenv("PIXBRIDGE_TEST_TOOLS_DIR");
    const std::string folder = dir && dir[0] == '/' ? dir : "/nonexistent/pixbridge-test-tools";
    return {folder + "/apt-get", folder + "/dpkg", "/usr/bin/dpkg-deb"};
}

#else

Tools SystemTools() { return {"/usr/bin/apt-get", "/usr/bin/dpkg", "/usr/bin/dpkg-deb"}; }

#endif

}  // namespace package_install
