#include "accounts/crypto.h"
#include "platform/handles_win.h"
#include "platform/os_error.h"
#include "platform/windows_include.h"

#include <bcrypt.h>

namespace dv {
namespace {

struct AlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::BCryptCloseAlgorithmProvider(handle, 0); }
};
struct HashTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::BCryptDestroyHash(handle); }
};

void Check(NTSTATUS status) {
    if (status < 0) RaiseOSError(static_cast<std::uint32_t>(status));
}

}  // namespace

std::array<std::uint8_t, 16> Md5Digest(std::string_view bytes) {
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    Check(BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0));
    UniqueHandle<AlgorithmTraits> algorithm(rawAlgorithm);
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    Check(BCryptCreateHash(algorithm.get(), &rawHash, nullptr, 0, nullptr, 0, 0));
    UniqueHandle<HashTraits> hash(rawHash);
    // BCryptHashData does not write through its input pointer; the parameter is merely not const.
    auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
    Check(BCryptHashData(hash.get(), data, static_cast<ULONG>(bytes.size()), 0));
    std::array<std::uint8_t, 16> digest{};
    Check(BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
    return digest;
}

void CryptoRandomBytes(std::uint8_t* buffer, std::size_t size) {
    Check(BCryptGenRandom(nullptr, buffer, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace dv
