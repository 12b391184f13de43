#include "spare_helper.h"

#include <cstdlib>
#include <mutex>
#include <utility>

#include "codec_log.h"
#include "worker_client.h"

namespace photocodec::spare_helper {

namespace {

// Only the real helper is worth keeping: a stand-in may behave
// differently with every test.
bool keepable(const std::string& program)
{
    return program == bundledWorkerPath();
}

// A helper named in the environment is wanted afresh for every decoder.
bool wantedAfresh()
{
    const char* chosen = std::getenv("PIXBRIDGE_HEIF_WORKER");
    return chosen != nullptr && *chosen != 0;
}

// The place for the spare. It ends with the library (at the program's
// exit, or when the module is unloaded): the spare is asked to leave then.
struct Place {
    std::mutex lock;
    HelperProcess helper;
};

Place& place()
{
    static Place instance;
    return instance;
}

}  // namespace

void prepare()
{
    const std::string program = workerProgramPath();
    if (wantedAfresh() || !keepable(program)) {
        return;
    }
    Place& p = place();
    std::lock_guard<std::mutex> guard(p.lock);
    if (p.helper.running()) {
        return;
    }
    std::string error;
    p.helper = HelperProcess::launch(program, error);
    if (!p.helper.running()) {
        // The first photo starts its own and reports why, if it fails again.
        logLine(LogLevel::Warning, "cannot start a helper ahead of need: " + error);
    }
}

HelperProcess take(const std::string& program)
{
    if (wantedAfresh() || !keepable(program)) {
        return {};
    }
    HelperProcess helper;
    {
        Place& p = place();
        std::lock_guard<std::mutex> guard(p.lock);
        helper = std::move(p.helper);
    }
    std::string ended;
    if (helper.running() && !helper.alive(ended)) {
        logLine(LogLevel::Warning, ended + " while it waited as the spare");
    }
    return helper;
}

void giveBack(HelperProcess helper)
{
    if (!keepable(helper.program()) || !helper.fitForReuse()) {
        return;
    }
    Place& p = place();
    std::lock_guard<std::mutex> guard(p.lock);
    if (!p.helper.running()) {
        p.helper = std::move(helper);
    }
    // A helper not kept ends as this returns, after the lock is let go: it
    // may take a moment to leave.
}

}  // namespace photocodec::spare_helper
