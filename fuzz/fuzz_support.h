// Shared by the fuzz targets: a failed property stops the run like a crash, a work folder for the
// targets that go through real files, and the ways outside bytes become text.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/text.h"

// Unlike assert, never compiled out: libFuzzer saves the input that broke the property.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)

namespace dv::fuzz {

// A folder of this process's own, as the application spells paths, removed when the process ends
// normally. On tmpfs where there is one: the core flushes every file it replaces to the medium.
inline const std::u16string& WorkFolder() {
    static const std::u16string folder = [] {
        const char* base = std::getenv("DOCKVANE_FUZZ_TMP");
        std::string pattern =
            std::string(base && *base ? base : (fs::DirectoryExists(u"/dev/shm") ? "/dev/shm" : "/tmp")) +
            "/dockvane-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        static std::string made;
        made = pattern;
        std::atexit([] { std::filesystem::remove_all(made); });
        return FromUtf8(pattern) + u"/";
    }();
    return folder;
}

// Raw bytes as UTF-16 code units (little-endian pairs; lone surrogates included), as a volume label
// or a decoded file may carry them.
inline std::u16string CodeUnits(std::string_view bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return text;
}

// Whether every surrogate in the text belongs to a pair.
inline bool IsWellFormed(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace dv::fuzz
