// pixbridge-install-update PACKAGE SHA256: installs an update of Quillmarsh
// Pix Bridge that the program has downloaded. The program starts it through
// pkexec, under the package's own polkit action, which asks for the
// administrator's password every time.
#include "package_install.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3 || strcmp(argv[1], "--help") == 0) {
        fprintf(stderr,
                "usage: %s PACKAGE SHA256\n"
                "Installs an update of Quillmarsh Pix Bridge, as root: a copy of PACKAGE whose\n"
                "SHA-256 is SHA256 and whose name is %s.\n",
                argc > 0 ? argv[0] : "pixbridge-install-update", package_install::kPackageName);
        return package_install::kBadArguments;
    }
    if (geteuid() != 0) {
        fprintf(stderr, "pixbridge-install-update: needs root; the program starts it through pkexec\n");
        return package_install::kBadArguments;
    }
    // Whatever the helper makes is root's alone.
    umask(077);
    return package_install::Install(argv[1], argv[2], package_install::SystemTools());
}
