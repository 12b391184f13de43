// The install helper's work: installing a downloaded update of the product,
// and nothing else. It runs as root (pkexec starts it), on a path and a
// SHA-256 that the program passes. The package is copied into a folder that
// only root can enter, and the copy is checked before it is installed: its
// SHA-256 must be the one from the update feed, and it must be a package of
// ours. Whatever happens to the user's file after the copy cannot reach
// what is installed.
#ifndef PIXBRIDGE_INSTALLER_PACKAGE_INSTALL_H
#define PIXBRIDGE_INSTALLER_PACKAGE_INSTALL_H

#include <string>

namespace package_install {

constexpr const char* kPackageName = "quillmarsh-pix-bridge";

// The helper's exit codes.
enum Outcome : int {
    kInstalled = 0,
    kBadArguments = 1,    // not two arguments, a SHA-256 that is not 64 hex digits, not root
    kUnreadable = 2,      // missing, a link, not a regular file, too large, or the copy failed
    kDigestMismatch = 3,  // the copy is not what the feed published
    kNotOurPackage = 4,   // not a Debian package, or one of another name
    kInstallFailed = 5,   // apt-get or dpkg failed, or neither is there
};

// The programs the helper runs, by absolute path.
struct Tools {
    std::string aptGet;
    std::string dpkg;
    std::string dpkgDeb;
};

// This build's tools: the system's own in the shipped helper, stand-ins in
// the test build (install_tools.cpp).
Tools SystemTools();

// Copies `package`, checks the copy and installs it with apt-get (dpkg
// where there is no apt-get). `sha256` is 64 hex digits. Says what went
// wrong on standard error.
Outcome Install(const std::string& package, const std::string& sha256, const Tools& tools);

}  // namespace package_install

#endif  // PIXBRIDGE_INSTALLER_PACKAGE_INSTALL_H
