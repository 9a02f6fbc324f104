// The platform's cryptography: the MD5 digest and the cryptographic random generator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dv {

// RFC 1321.
std::array<std::uint8_t, 16> Md5Digest(std::string_view bytes);
// Fills the buffer from the operating system's cryptographic generator; raises EOSError when it
// cannot.
void CryptoRandomBytes(std::uint8_t* buffer, std::size_t size);

}  // namespace dv
