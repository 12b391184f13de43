// One running pixbridge-heif-worker and the library's end of its socket.
// Starting one costs tens of milliseconds on one core, most of it loading
// the HEVC decoders' libraries, so a start can go ahead of the photo that
// needs it and the greeting be waited for only then.
#ifndef PHOTOCODEC_HELPER_PROCESS_H
#define PHOTOCODEC_HELPER_PROCESS_H

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "unique_fd.h"

namespace photocodec {

class HelperProcess {
public:
    // How long a helper that was asked to leave may take before it is killed.
    static constexpr int64_t kExitGraceMs = 2000;

    HelperProcess() = default;
    // Asks the helper to leave and reaps it.
    ~HelperProcess();
    HelperProcess(HelperProcess&& other) noexcept;
    HelperProcess& operator=(HelperProcess&& other) noexcept;
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // Starts `program` without waiting for it to be ready. An empty helper
    // (and `error` set) when it cannot be started.
    static HelperProcess launch(const std::string& program, std::string& error);

    // Waits for the helper's greeting, once; false, with the helper ended,
    // when it does not come in time.
    bool awaitReady(std::string& error);

    bool running() const { return pid_ > 0; }
    int socket() const { return socket_.get(); }
    const std::string& program() const { return program_; }

    // True while the helper lives; a helper that died is reaped, with why
    // in `ended`.
    bool alive(std::string& ended);
    // Alive, greeted and with nothing unread on its socket: fit to take a
    // new conversation.
    bool fitForReuse();

    // Closes the socket and reaps the helper, killing it if it has not
    // left within `graceMs`; says how it ended.
    std::string stop(int64_t graceMs = 0);

private:
    pid_t pid_ = -1;
    UniqueFd socket_;
    std::string program_;
    bool greeted_ = false;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_HELPER_PROCESS_H
