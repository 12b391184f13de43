// The thread rule of the host's commands: each entry of the command table
// says on which thread its work runs and what a deferred copy of the record
// must keep, and Dispatch enforces it for every command alike.
#ifndef PIXBRIDGE_HOST_COMMAND_THREADS_H
#define PIXBRIDGE_HOST_COMMAND_THREADS_H

#include <pixbridge/module_contract.h>

namespace command_threads {

using Handler = void (*)(ModuleCommand*);

// On which thread a command's work runs; said once per command in the
// command table, enforced by Dispatch, so no handler decides it for itself.
enum class Thread {
    kNone,      // subscribed, no action
    kDirect,    // on the posting thread, before the post returns (no widgets)
    kMainOnly,  // on the main thread; posted from any other thread it is dropped
    kMain,      // on the main thread at once; posted elsewhere, moved there as a deferred copy
    kDeferred,  // always later on the main thread, from a deferred copy
};

// What a deferred copy duplicates so that the work never reads the poster's memory.
enum class Copy { kNothing, kWideText, kText, kDataText, kDataJson, kTexts, kId };

struct Entry {
    const char* name;
    Thread thread;
    Copy copy;
    Handler handler;
    // Called instead of the handler when a deferred copy can never run (the
    // main window is gone), to release what the poster handed over.
    Handler dropped = nullptr;
};

// Runs the entry's handler for `command` where its entry says: at once on
// this thread, on the main thread, or later there from a deferred copy.
void Dispatch(const Entry& entry, ModuleCommand* command);

}  // namespace command_threads

#endif  // PIXBRIDGE_HOST_COMMAND_THREADS_H
