// Blocks and callback objects that modules hand to the host's dialog commands.
#ifndef PIXBRIDGE_HOST_PAYLOADS_H
#define PIXBRIDGE_HOST_PAYLOADS_H

#include <functional>
#include <string>

// `result` of LIBPLATFORM_COMMAND_START_PROGRESS: called once when the user
// cancels the job, with the two values given here; the logo is a QImage*.
typedef void (*ProgressCancelFn)(void* value1, void* value2);
struct ProgressStartBlock {
    ProgressCancelFn cancelFunction;
    void* cancelValue1;
    void* cancelValue2;
    void* logo;
};

// `result` of LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE: a heap object (new)
// that the host calls with the outcome and deletes, from whatever thread it
// was posted (off the main thread it is the only way to learn the outcome).
using ConfirmCallback = std::function<void(bool confirmed)>;

// `result` of LIBPLATFORM_COMMAND_OPEN_LINK_ALERT_MESSAGE: called with a
// clicked link; true ends the dialog as confirmed. The host copies it and
// deletes the poster's object.
using LinkClickCallback = std::function<bool(const std::string& url)>;

#endif  // PIXBRIDGE_HOST_PAYLOADS_H
