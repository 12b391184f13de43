// The small framed protocol between libPhotoCodec and its helper process.
// Only paths' descriptors and small results cross it, never pixels: the
// helper reads the source through a descriptor, writes the output through
// another and sends back a status (and, for thumbnails, the JPEG bytes).
// Entries of the desktop's thumbnail cache are read and written by the
// helper too: what other programs wrote there is parsed only here.
// Several requests may be under way at once; each carries a sequence
// number that its progress and its result repeat, and results come back
// in the order the requests were sent.
#ifndef PHOTOCODEC_WIRE_PROTOCOL_H
#define PHOTOCODEC_WIRE_PROTOCOL_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "unique_fd.h"

namespace photocodec::wire {

constexpr uint32_t kMagic = 0x43425850;  // "PXBC" read as little-endian bytes
constexpr uint16_t kVersion = 4;
constexpr size_t kHeaderBytes = 12;
// Bigger than any thumbnail we make; anything larger is a broken stream.
constexpr uint32_t kMaxPayloadBytes = 64u << 20;
constexpr size_t kMaxFdsPerFrame = 4;

enum class MessageType : uint16_t {
    Hello = 1,     // helper -> library, once at start
    Request = 2,   // library -> helper, with the source and output descriptors
    Progress = 3,  // helper -> library: the photo's size, to scale the time limit
    Log = 4,       // helper -> library: one log line
    Result = 5,    // helper -> library: the end of one request
};

enum class Operation : uint8_t {
    ConvertJpeg = 1,      // descriptors: the photo, the output
    ConvertPng = 2,       // the photo, the output
    Thumbnail = 3,        // the photo, and the new cache entry to write when entrySize > 0
    CachedThumbnail = 4,  // a cache entry, and the photo for its size when the entry does not tell it
    MatchEntry = 5,       // a cache entry (a failure's): answered ok when its keys are the photo's
};

enum class DecoderChoice : uint8_t {
    PreferFfmpeg = 0,  // FFmpeg first, then libde265 if it fails
    Libde265Only = 1,  // after FFmpeg took the helper down with it
};

// The photo as the thumbnail cache knows it: written into a new entry and
// compared with a stored one.
struct EntryKeys {
    std::string uri;
    int64_t modifiedSeconds = 0;
    int64_t fileBytes = 0;
    std::string software;  // written only
};

struct Request {
    uint32_t sequence = 0;
    Operation operation = Operation::ConvertJpeg;
    int32_t quality = 90;
    bool keepExif = false;
    int32_t thumbnailSize = 256;
    DecoderChoice decoders = DecoderChoice::PreferFfmpeg;
    // The longer side of the cache entry's size folder: the entry to make,
    // or the most a stored one may hold.
    int32_t entrySize = 0;
    EntryKeys keys;
    // Conversions: the longer side of the result at most, 0 for the
    // photo's own size (0..kMaxEdge).
    int32_t maxEdge = 0;
};
constexpr int32_t kMaxEdge = 65535;

struct Hello {
    uint32_t processId = 0;
    std::string decoders;  // the HEVC decoder ids libheif loaded, comma separated
};

struct Progress {
    uint32_t sequence = 0;
    uint64_t pixelCount = 0;
};

struct Result {
    // What a failure or a thumbnail says beyond ok.
    static constexpr uint8_t kFileAtFault = 1;   // the file itself is no photo we can read
    static constexpr uint8_t kEntryWritten = 2;  // the new cache entry is complete

    uint32_t sequence = 0;
    bool ok = false;
    uint8_t flags = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::string message;           // why it failed, for the log
    std::vector<uint8_t> payload;  // thumbnail JPEG bytes
};

struct Frame {
    MessageType type = MessageType::Hello;
    std::vector<uint8_t> payload;
    std::vector<UniqueFd> fds;
};

std::vector<uint8_t> encode(const Request& request);
std::vector<uint8_t> encode(const Hello& hello);
std::vector<uint8_t> encode(const Progress& progress);
std::vector<uint8_t> encode(const Result& result);
std::vector<uint8_t> encodeLog(const std::string& line);
std::optional<Request> decodeRequest(const std::vector<uint8_t>& payload);
std::optional<Hello> decodeHello(const std::vector<uint8_t>& payload);
std::optional<Progress> decodeProgress(const std::vector<uint8_t>& payload);
std::optional<Result> decodeResult(const std::vector<uint8_t>& payload);
std::optional<std::string> decodeLog(const std::vector<uint8_t>& payload);

using Clock = std::chrono::steady_clock;

// Writes one whole frame (retrying short writes and EINTR, never raising
// SIGPIPE), passing `fds` along with its first byte. False when the peer is
// gone or the socket failed.
bool sendFrame(int socket, MessageType type, const std::vector<uint8_t>& payload,
               const std::vector<int>& fds = {});

enum class ReadStatus {
    Ok,
    Closed,     // the peer closed the stream or died
    TimedOut,
    Malformed,  // not our protocol: a broken or foreign peer
    Failed,     // the socket itself failed
};

// Reads one whole frame. Without a deadline it waits as long as it takes.
ReadStatus readFrame(int socket, const std::optional<Clock::time_point>& deadline, Frame& frame);

}  // namespace photocodec::wire

#endif  // PHOTOCODEC_WIRE_PROTOCOL_H
