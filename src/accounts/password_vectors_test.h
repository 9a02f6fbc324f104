// Known answers shared by the native and the Windows tests, so that both sides of the digest are held
// to the same values.
#pragma once

#include <string_view>

namespace dv::testing {

struct DigestCase {
    std::u16string_view input;
    std::u16string_view md5;
};

// The test suite of RFC 1321, appendix A.5.
inline constexpr DigestCase kRfc1321Suite[] = {
    {u"", u"D41D8CD98F00B204E9800998ECF8427E"},
    {u"a", u"0CC175B9C0F1B6A831C399E269772661"},
    {u"abc", u"900150983CD24FB0D6963F7D28E17F72"},
    {u"message digest", u"F96B697D7CB7938D525A2F31AAF161D0"},
    {u"abcdefghijklmnopqrstuvwxyz", u"C3FCD3D76192E4007DFB496CCA67E13B"},
    {u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", u"D174AB98D277D9F5A5611C2C9F419D9F"},
    {u"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     u"57EDF4A22BE3C955AC49DA2E2107B67A"},
};

struct PasswordCase {
    std::u16string_view salt;
    std::u16string_view password;
};

// Derived passwords outside domain mode: a master salt, a per-drive account's salt, a character
// outside US-ASCII (hashed as "?").
inline constexpr PasswordCase kDerivedPasswords[] = {
    {u"", u"RDQxRDhDRDk4"},
    {u"abc", u"OTAwMTUwOTgz"},
    {u"01234567890123456789012345678901", u"Mjk4QkYwMTk3"},
    {u"01234567890123456789012345678901extdisk_photos", u"QzdGMDczMTE5"},
    {u"caf\u00E9", u"MzMzMDI3QjE0"},
};

}  // namespace dv::testing
