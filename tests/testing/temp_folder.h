// Test helpers: a temporary folder that goes away with the test, and whole-file access.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace dv::testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder as the application spells paths.
    std::u16string File(std::u16string_view name) const;
    std::u16string Path() const;

private:
    std::filesystem::path path_;
};

std::u16string ToAppPath(const std::filesystem::path& path);
std::filesystem::path ToFsPath(std::u16string_view appPath);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

}  // namespace dv::testing
