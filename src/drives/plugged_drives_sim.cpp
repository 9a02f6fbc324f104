#include "drives/plugged_drives_sim.h"

#include <cstddef>
#include <cstdint>

#include "platform/drive_letter.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace dv {

std::string EncodePluggedDrives(const TPluggedDrives& drives) {
    std::string text = "# Drives plugged in by the simulation: LETTER FOLDER\n";
    for (const auto& [letter, folder] : drives) text += ToUtf8(std::u16string(1, letter) + u"\t" + folder) + "\n";
    return text;
}

TPluggedDrives DecodePluggedDrives(std::string_view text) {
    TPluggedDrives drives;
    std::size_t lineNumber = 0;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(begin, end - begin);
        begin = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::size_t tab = line.find('\t');
        const char16_t letter = tab == std::string_view::npos ? 0 : DriveLetterOf(FromUtf8(line.substr(0, tab)));
        if (letter == 0 || tab + 1 == line.size()) {
            throw EConvertError(u"Simulation state " + std::u16string(kSimDrivesFile) + u", line " +
                                IntToStr(static_cast<std::int64_t>(lineNumber)) + u": not a drive");
        }
        drives[letter] = FromUtf8(line.substr(tab + 1));
    }
    return drives;
}

TPluggedDrives LoadPluggedDrives(std::u16string_view simulationFolder) {
    const auto text =
        fs::ReadReplaceableFile(std::u16string(simulationFolder) + u"\\" + std::u16string(kSimDrivesFile));
    return text ? DecodePluggedDrives(*text) : TPluggedDrives{};
}

void SavePluggedDrives(std::u16string_view simulationFolder, const TPluggedDrives& drives) {
    fs::ReplaceFileContents(std::u16string(simulationFolder) + u"\\" + std::u16string(kSimDrivesFile),
                            EncodePluggedDrives(drives));
}

char16_t DriveLetterOf(std::u16string_view text) {
    const std::optional<TDriveLetter> drive = TDriveLetter::Parse(text);
    return drive ? drive->Letter() : 0;
}

}  // namespace dv
