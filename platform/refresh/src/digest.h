// MD5 and SHA-256 of a stream, computed as the bytes arrive.
#ifndef REFRESH_DIGEST_H
#define REFRESH_DIGEST_H

#include <cstddef>
#include <memory>
#include <string>

class Digest {
public:
    enum class Kind { kMd5, kSha256 };
    explicit Digest(Kind kind);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    void Update(const void* data, size_t size);
    // Lower-case hex; the digest cannot be updated afterwards.
    std::string FinishHex();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

#endif  // REFRESH_DIGEST_H
