// PixbridgeManager: the host program. HostApplication runs the life of the
// process: one instance only, workers, settings and language, logging, the
// window system, crash reporting, the main window and its modules, the
// message loop, then an ordered shutdown.
#include "host_application.h"

int main(int argc, char** argv) {
    HostApplication host(argc, argv);
    const int exitCode = host.Run();
    return exitCode;
}
