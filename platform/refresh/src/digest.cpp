#include "digest.h"

#include <openssl/evp.h>

struct Digest::Context {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(md); }
};

Digest::Digest(Kind kind) : context_(std::make_unique<Context>()) {
    EVP_DigestInit_ex(context_->md, kind == Kind::kMd5 ? EVP_md5() : EVP_sha256(), nullptr);
}

Digest::~Digest() = default;

void Digest::Update(const void* data, size_t size) { EVP_DigestUpdate(context_->md, data, size); }

std::string Digest::FinishHex() {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_->md, value, &length) != 1) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[value[i] >> 4];
        hex += kHex[value[i] & 15];
    }
    return hex;
}
