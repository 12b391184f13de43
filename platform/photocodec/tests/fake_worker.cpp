// A stand-in for pixbridge-heif-worker that misbehaves on purpose, chosen
// by PIXBRIDGE_FAKE_WORKER_MODE: it lets the tests see the library survive
// a helper that crashes, hangs, talks nonsense or dies in mid-message.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "wire_protocol.h"

namespace wire = photocodec::wire;

namespace {

// "Converts" each photo into a minimal file that looks like a JPEG, except
// a source that starts with "CRASH": with it in hand the helper takes the
// next request too, if one comes within a moment, and then aborts, so
// that two photos are under way when it dies.
int crashMarked(int socket)
{
    std::vector<wire::Frame> inHand;
    for (;;) {
        wire::Frame frame;
        const bool waiting = !inHand.empty();
        const auto deadline = wire::Clock::now() + std::chrono::milliseconds(300);
        wire::ReadStatus status =
            wire::readFrame(socket, waiting ? std::optional<wire::Clock::time_point>(deadline) : std::nullopt, frame);
        if (status == wire::ReadStatus::Ok) {
            inHand.push_back(std::move(frame));
        } else if (!(waiting && status == wire::ReadStatus::TimedOut)) {
            return 0;
        }
        if (inHand.size() == 2 || status == wire::ReadStatus::TimedOut) {
            std::abort();
        }
        wire::Frame& request = inHand.back();
        char head[5] = {};
        if (request.fds.size() == 2 && ::pread(request.fds[0].get(), head, 5, 0) == 5 &&
            std::memcmp(head, "CRASH", 5) == 0) {
            continue;
        }
        const unsigned char jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xD9};
        wire::Result result;
        result.sequence = wire::decodeRequest(request.payload).value_or(wire::Request()).sequence;
        result.ok = request.fds.size() == 2 && ::write(request.fds[1].get(), jpeg, sizeof(jpeg)) == sizeof(jpeg);
        inHand.clear();
        if (!wire::sendFrame(socket, wire::MessageType::Result, wire::encode(result))) {
            return 0;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    int socket = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--socket-fd=", 12) == 0) {
            socket = std::atoi(argv[i] + 12);
        }
    }
    const char* modeText = std::getenv("PIXBRIDGE_FAKE_WORKER_MODE");
    const std::string mode = modeText != nullptr ? modeText : "";
    if (mode == "no-hello") {
        return 1;
    }
    wire::Hello hello;
    hello.processId = static_cast<uint32_t>(::getpid());
    wire::sendFrame(socket, wire::MessageType::Hello, wire::encode(hello));

    if (mode == "crash-marked") {
        return crashMarked(socket);
    }

    wire::Frame frame;
    if (wire::readFrame(socket, std::nullopt, frame) != wire::ReadStatus::Ok) {
        return 0;
    }
    const uint32_t sequence = wire::decodeRequest(frame.payload).value_or(wire::Request()).sequence;
    if (mode == "write-then-abort" && frame.fds.size() >= 2) {
        // Half an output file, then the end of the helper.
        const char junk[] = "\xFF\xD8\xFF\xE0 half a file";
        ssize_t ignored = ::write(frame.fds[1].get(), junk, sizeof(junk));
        (void)ignored;
        std::abort();
    }
    if (mode == "abort") {
        std::abort();
    }
    if (mode == "hang") {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(10));
        }
    }
    if (mode == "garbage") {
        const char junk[] = "this is not the protocol at all";
        ssize_t ignored = ::write(socket, junk, sizeof(junk));
        (void)ignored;
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;
    }
    if (mode == "half-result") {
        wire::Result result;
        result.sequence = sequence;
        result.ok = true;
        result.payload.assign(1000, 0xAB);
        std::vector<uint8_t> payload = wire::encode(result);
        // A frame header that promises the whole payload, then half of it.
        uint8_t header[wire::kHeaderBytes] = {};
        uint32_t values[] = {wire::kMagic};
        std::memcpy(header, values, 4);
        header[4] = static_cast<uint8_t>(wire::MessageType::Result);
        header[6] = static_cast<uint8_t>(wire::kVersion);
        uint32_t size = static_cast<uint32_t>(payload.size());
        std::memcpy(header + 8, &size, 4);
        ssize_t ignored = ::write(socket, header, sizeof(header));
        ignored = ::write(socket, payload.data(), payload.size() / 2);
        (void)ignored;
        return 0;
    }
    if (mode == "false-success") {
        // Claims success for a conversion without writing anything.
        wire::Result result;
        result.sequence = sequence;
        result.ok = true;
        wire::sendFrame(socket, wire::MessageType::Result, wire::encode(result));
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;
    }
    return 0;
}
