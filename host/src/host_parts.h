// The host's parts, owned in one place: settings, images, fonts and windows
// by name, the progress job and the context the commands reach. The program
// has one (inside HostApplication); a test builds its own.
#ifndef PIXBRIDGE_HOST_HOST_PARTS_H
#define PIXBRIDGE_HOST_HOST_PARTS_H

#include "app/host_settings.h"
#include "service/host_context.h"
#include "service/host_tables.h"
#include "service/image_cache.h"
#include "service/progress_counters.h"

// Made in this order and ended in the reverse: the context (with the
// dialogs) first, the settings last.
struct HostParts {
    HostSettings settings;
    ImageCache images;
    HostTables tables;
    ProgressCounters progress;
    HostContext context;
};

#endif  // PIXBRIDGE_HOST_HOST_PARTS_H
