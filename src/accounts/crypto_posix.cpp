#include <openssl/evp.h>
#include <sys/random.h>

#include <cerrno>

#include "accounts/crypto.h"
#include "platform/os_error.h"

namespace dv {

std::array<std::uint8_t, 16> Md5Digest(std::string_view bytes) {
    std::array<std::uint8_t, 16> digest{};
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_md5(), nullptr) != 1 || size != 16) {
        RaiseOSError(0);
    }
    return digest;
}

void CryptoRandomBytes(std::uint8_t* buffer, std::size_t size) {
    while (size > 0) {
        const ssize_t got = getrandom(buffer, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            RaiseOSError(0);
        }
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
}

}  // namespace dv
