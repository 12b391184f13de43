#include "wire_protocol.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace photocodec::wire {

namespace {

class Writer {
public:
    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint16_t v)
    {
        for (int i = 0; i < 2; ++i) {
            bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    void u32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    void u64(uint64_t v)
    {
        for (int i = 0; i < 8; ++i) {
            bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
    void blob(const void* data, size_t size)
    {
        u32(static_cast<uint32_t>(size));
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

// Every read checks the remaining length, so a short or garbled payload
// yields nothing instead of reading past the buffer.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool u8(uint8_t& v)
    {
        if (!have(1)) {
            return false;
        }
        v = bytes_[pos_++];
        return true;
    }
    bool u16(uint16_t& v)
    {
        uint64_t x = 0;
        if (!little(2, x)) {
            return false;
        }
        v = static_cast<uint16_t>(x);
        return true;
    }
    bool u32(uint32_t& v)
    {
        uint64_t x = 0;
        if (!little(4, x)) {
            return false;
        }
        v = static_cast<uint32_t>(x);
        return true;
    }
    bool u64(uint64_t& v) { return little(8, v); }
    bool i32(int32_t& v)
    {
        uint32_t x = 0;
        if (!u32(x)) {
            return false;
        }
        v = static_cast<int32_t>(x);
        return true;
    }
    bool i64(int64_t& v)
    {
        uint64_t x = 0;
        if (!u64(x)) {
            return false;
        }
        v = static_cast<int64_t>(x);
        return true;
    }
    bool text(std::string& s)
    {
        uint32_t size = 0;
        if (!u32(size) || !have(size)) {
            return false;
        }
        s.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), size);
        pos_ += size;
        return true;
    }
    bool bytes(std::vector<uint8_t>& out)
    {
        uint32_t size = 0;
        if (!u32(size) || !have(size)) {
            return false;
        }
        out.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + size));
        pos_ += size;
        return true;
    }
    bool atEnd() const { return pos_ == bytes_.size(); }

private:
    bool have(size_t n) const { return n <= bytes_.size() - pos_; }
    bool little(int n, uint64_t& v)
    {
        if (!have(static_cast<size_t>(n))) {
            return false;
        }
        v = 0;
        for (int i = 0; i < n; ++i) {
            v |= static_cast<uint64_t>(bytes_[pos_++]) << (8 * i);
        }
        return true;
    }

    const std::vector<uint8_t>& bytes_;
    size_t pos_ = 0;
};

int remainingMs(const std::optional<Clock::time_point>& deadline)
{
    if (!deadline) {
        return -1;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    if (left <= 0) {
        return 0;
    }
    return left > 1000000000 ? 1000000000 : static_cast<int>(left);
}

void takeFds(msghdr& msg, std::vector<UniqueFd>& fds)
{
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) {
            continue;
        }
        size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        const unsigned char* data = CMSG_DATA(c);
        for (size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, data + i * sizeof(int), sizeof(int));
            fds.emplace_back(fd);
        }
    }
}

ReadStatus readExact(int socket, uint8_t* out, size_t size, const std::optional<Clock::time_point>& deadline,
                     std::vector<UniqueFd>& fds)
{
    size_t done = 0;
    while (done < size) {
        pollfd p{socket, POLLIN, 0};
        int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadStatus::Failed;
        }
        if (ready == 0) {
            return ReadStatus::TimedOut;
        }
        iovec iov{out + done, size - done};
        alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int) * kMaxFdsPerFrame)];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        ssize_t n = ::recvmsg(socket, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            return errno == ECONNRESET ? ReadStatus::Closed : ReadStatus::Failed;
        }
        takeFds(msg, fds);
        if ((msg.msg_flags & MSG_CTRUNC) != 0) {
            return ReadStatus::Malformed;
        }
        if (n == 0) {
            return ReadStatus::Closed;
        }
        done += static_cast<size_t>(n);
    }
    return ReadStatus::Ok;
}

}  // namespace

std::vector<uint8_t> encode(const Request& request)
{
    Writer w;
    w.u32(request.sequence);
    w.u8(static_cast<uint8_t>(request.operation));
    w.i32(request.quality);
    w.u8(request.keepExif ? 1 : 0);
    w.i32(request.thumbnailSize);
    w.u8(static_cast<uint8_t>(request.decoders));
    w.i32(request.entrySize);
    w.blob(request.keys.uri.data(), request.keys.uri.size());
    w.i64(request.keys.modifiedSeconds);
    w.i64(request.keys.fileBytes);
    w.blob(request.keys.software.data(), request.keys.software.size());
    w.i32(request.maxEdge);
    return w.take();
}

std::vector<uint8_t> encode(const Hello& hello)
{
    Writer w;
    w.u32(hello.processId);
    w.blob(hello.decoders.data(), hello.decoders.size());
    return w.take();
}

std::vector<uint8_t> encode(const Progress& progress)
{
    Writer w;
    w.u32(progress.sequence);
    w.u64(progress.pixelCount);
    return w.take();
}

std::vector<uint8_t> encode(const Result& result)
{
    Writer w;
    w.u32(result.sequence);
    w.u8(result.ok ? 1 : 0);
    w.u8(result.flags);
    w.i32(result.width);
    w.i32(result.height);
    w.blob(result.message.data(), result.message.size());
    w.blob(result.payload.data(), result.payload.size());
    return w.take();
}

std::vector<uint8_t> encodeLog(const std::string& line)
{
    Writer w;
    w.blob(line.data(), line.size());
    return w.take();
}

std::optional<Request> decodeRequest(const std::vector<uint8_t>& payload)
{
    Reader r(payload);
    Request q;
    uint8_t op = 0;
    uint8_t keep = 0;
    uint8_t decoders = 0;
    if (!r.u32(q.sequence) || !r.u8(op) || !r.i32(q.quality) || !r.u8(keep) || !r.i32(q.thumbnailSize) || !r.u8(decoders) ||
        !r.i32(q.entrySize) || !r.text(q.keys.uri) || !r.i64(q.keys.modifiedSeconds) || !r.i64(q.keys.fileBytes) ||
        !r.text(q.keys.software) || !r.i32(q.maxEdge) || !r.atEnd()) {
        return std::nullopt;
    }
    if (op < static_cast<uint8_t>(Operation::ConvertJpeg) || op > static_cast<uint8_t>(Operation::MatchEntry) ||
        decoders > static_cast<uint8_t>(DecoderChoice::Libde265Only) || keep > 1 || q.maxEdge < 0 ||
        q.maxEdge > kMaxEdge) {
        return std::nullopt;
    }
    q.operation = static_cast<Operation>(op);
    q.keepExif = keep != 0;
    q.decoders = static_cast<DecoderChoice>(decoders);
    return q;
}

std::optional<Hello> decodeHello(const std::vector<uint8_t>& payload)
{
    Reader r(payload);
    Hello h;
    if (!r.u32(h.processId) || !r.text(h.decoders) || !r.atEnd()) {
        return std::nullopt;
    }
    return h;
}

std::optional<Progress> decodeProgress(const std::vector<uint8_t>& payload)
{
    Reader r(payload);
    Progress p;
    if (!r.u32(p.sequence) || !r.u64(p.pixelCount) || !r.atEnd()) {
        return std::nullopt;
    }
    return p;
}

std::optional<Result> decodeResult(const std::vector<uint8_t>& payload)
{
    Reader r(payload);
    Result result;
    uint8_t ok = 0;
    if (!r.u32(result.sequence) || !r.u8(ok) || ok > 1 || !r.u8(result.flags) || !r.i32(result.width) ||
        !r.i32(result.height) || !r.text(result.message) || !r.bytes(result.payload) || !r.atEnd()) {
        return std::nullopt;
    }
    result.ok = ok != 0;
    return result;
}

std::optional<std::string> decodeLog(const std::vector<uint8_t>& payload)
{
    Reader r(payload);
    std::string line;
    if (!r.text(line) || !r.atEnd()) {
        return std::nullopt;
    }
    return line;
}

bool sendFrame(int socket, MessageType type, const std::vector<uint8_t>& payload, const std::vector<int>& fds)
{
    if (payload.size() > kMaxPayloadBytes || fds.size() > kMaxFdsPerFrame) {
        return false;
    }
    Writer header;
    header.u32(kMagic);
    header.u16(static_cast<uint16_t>(type));
    header.u16(kVersion);
    header.u32(static_cast<uint32_t>(payload.size()));
    std::vector<uint8_t> frame = header.take();
    frame.insert(frame.end(), payload.begin(), payload.end());

    size_t done = 0;
    bool fdsSent = fds.empty();
    while (done < frame.size()) {
        iovec iov{frame.data() + done, frame.size() - done};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int) * kMaxFdsPerFrame)];
        if (!fdsSent) {
            std::memset(control, 0, sizeof(control));
            msg.msg_control = control;
            msg.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
            cmsghdr* c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
            std::memcpy(CMSG_DATA(c), fds.data(), sizeof(int) * fds.size());
        }
        ssize_t n = ::sendmsg(socket, &msg, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd p{socket, POLLOUT, 0};
                if (::poll(&p, 1, -1) < 0 && errno != EINTR) {
                    return false;
                }
                continue;
            }
            return false;
        }
        fdsSent = true;
        done += static_cast<size_t>(n);
    }
    return true;
}

ReadStatus readFrame(int socket, const std::optional<Clock::time_point>& deadline, Frame& frame)
{
    frame.payload.clear();
    frame.fds.clear();
    uint8_t header[kHeaderBytes];
    ReadStatus status = readExact(socket, header, sizeof(header), deadline, frame.fds);
    if (status != ReadStatus::Ok) {
        return status;
    }
    std::vector<uint8_t> headerBytes(header, header + sizeof(header));
    Reader r(headerBytes);
    uint32_t magic = 0;
    uint16_t type = 0;
    uint16_t version = 0;
    uint32_t size = 0;
    r.u32(magic);
    r.u16(type);
    r.u16(version);
    r.u32(size);
    if (magic != kMagic || version != kVersion || size > kMaxPayloadBytes ||
        type < static_cast<uint16_t>(MessageType::Hello) || type > static_cast<uint16_t>(MessageType::Result)) {
        return ReadStatus::Malformed;
    }
    frame.type = static_cast<MessageType>(type);
    frame.payload.resize(size);
    if (size > 0) {
        status = readExact(socket, frame.payload.data(), size, deadline, frame.fds);
    }
    return status;
}

}  // namespace photocodec::wire
