#include "testing/temp_folder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace dv::testing {
namespace {

std::atomic<unsigned> counter{0};

}  // namespace

TempFolder::TempFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        path_ = std::filesystem::temp_directory_path() /
                ("dockvane-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Read-only files a test left behind must not stop the clean-up.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::u16string TempFolder::File(std::u16string_view name) const {
    return ToAppPath(path_ / std::filesystem::path(name));
}

std::u16string TempFolder::Path() const {
    return ToAppPath(path_);
}

std::u16string ToAppPath(const std::filesystem::path& path) {
    std::filesystem::path preferred(path);
    return preferred.make_preferred().u16string();
}

std::filesystem::path ToFsPath(std::u16string_view appPath) {
    return std::filesystem::path(std::u16string(appPath));
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace dv::testing
