#include "sha256.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

#include "plugin_library.h"

namespace ostrivel {

namespace {

class Digest {
public:
    Digest() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
        if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1)
            throw HostError("cannot start a SHA-256 digest");
    }
    void add(const char* data, size_t size) { EVP_DigestUpdate(context_.get(), data, size); }
    std::string hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_DigestFinal_ex(context_.get(), digest, &size);
        static const char kDigits[] = "0123456789abcdef";
        std::string text;
        for (unsigned int k = 0; k < size; ++k) {
            text += kDigits[digest[k] >> 4];
            text += kDigits[digest[k] & 15];
        }
        return text;
    }

private:
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context_;
};

}  // namespace

std::string sha256OfFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw HostError("cannot read " + path + ": " + std::strerror(errno));
    Digest digest;
    char buffer[1 << 16];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) digest.add(buffer, file.gcount());
    if (file.bad()) throw HostError("cannot read " + path + ": read error");
    return digest.hex();
}

std::string sha256OfText(const std::string& text) {
    Digest digest;
    digest.add(text.data(), text.size());
    return digest.hex();
}

}  // namespace ostrivel
