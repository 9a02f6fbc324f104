#include "drives/plugged_drives_sim.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "accounts/accounts_store_sim.h"
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
    ReplaceSimStateFile(std::u16string(simulationFolder) + u"\\" + std::u16string(kSimDrivesFile),
                        EncodePluggedDrives(drives));
}

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

std::u16string StatePath(std::u16string_view folder, std::u16string_view file) {
    return std::u16string(folder) + u"\\" + std::u16string(file);
}

}  // namespace

std::string EncodeEjectBlocks(const TSimEjectBlocks& blocks) {
    std::string text = "# Ejects to refuse: LETTER PROCESS PID ATTEMPTS\n";
    for (const auto& [letter, block] : blocks) {
        text += ToUtf8(std::u16string(1, letter) + u"\t" + EscapedSimField(block.Process) + u"\t" +
                       IntToStr(block.ProcessId) + u"\t" + IntToStr(block.AttemptsLeft)) +
                "\n";
    }
    return text;
}

TSimEjectBlocks DecodeEjectBlocks(std::string_view text) {
    TSimEjectBlocks blocks;
    std::size_t lineNumber = 0;
    for (const std::string_view line : Lines(text)) {
        ++lineNumber;
        if (line.empty() || line.front() == '#') continue;
        std::vector<std::u16string> fields;
        std::size_t begin = 0;
        while (true) {
            const std::size_t tab = line.find('\t', begin);
            fields.push_back(FromUtf8(line.substr(begin, tab == std::string_view::npos ? line.npos : tab - begin)));
            if (tab == std::string_view::npos) break;
            begin = tab + 1;
        }
        const char16_t letter = fields.size() == 4 ? DriveLetterOf(fields[0]) : 0;
        const std::optional<std::u16string> process = fields.size() == 4 ? UnescapedSimField(fields[1]) : std::nullopt;
        const std::optional<std::int32_t> pid = fields.size() == 4 ? TryStrToInt(fields[2]) : std::nullopt;
        const std::optional<std::int32_t> attempts = fields.size() == 4 ? TryStrToInt(fields[3]) : std::nullopt;
        if (letter == 0 || !process || !pid || *pid < 0 || !attempts || *attempts < 0) {
            throw EConvertError(u"Simulation state " + std::u16string(kSimEjectBlocksFile) + u", line " +
                                IntToStr(static_cast<std::int64_t>(lineNumber)) + u": not a blocked eject");
        }
        blocks[letter] = {*process, static_cast<std::uint32_t>(*pid), *attempts};
    }
    return blocks;
}

TSimEjectBlocks LoadEjectBlocks(std::u16string_view simulationFolder) {
    const auto text = fs::ReadReplaceableFile(StatePath(simulationFolder, kSimEjectBlocksFile));
    return text ? DecodeEjectBlocks(*text) : TSimEjectBlocks{};
}

void SaveEjectBlocks(std::u16string_view simulationFolder, const TSimEjectBlocks& blocks) {
    ReplaceSimStateFile(StatePath(simulationFolder, kSimEjectBlocksFile), EncodeEjectBlocks(blocks));
}

std::vector<std::u16string> LoadSimEvents(std::u16string_view simulationFolder) {
    std::vector<std::u16string> events;
    const auto text = fs::ReadReplaceableFile(StatePath(simulationFolder, kSimPnpEventsFile));
    if (!text) return events;
    for (const std::string_view line : Lines(*text)) {
        if (!line.empty()) events.insert(events.begin(), FromUtf8(line));
    }
    return events;
}

void AppendSimEvent(std::u16string_view simulationFolder, std::u16string_view renderedEvent) {
    std::vector<std::u16string> events = LoadSimEvents(simulationFolder);  // newest first
    events.insert(events.begin(), std::u16string(renderedEvent));
    if (events.size() > kSimEventsKept) events.resize(kSimEventsKept);
    std::string text;
    for (auto event = events.rbegin(); event != events.rend(); ++event) {
        // One event, one line.
        std::u16string line = *event;
        std::erase_if(line, [](char16_t c) { return c == u'\r' || c == u'\n'; });
        text += ToUtf8(line) + "\n";
    }
    ReplaceSimStateFile(StatePath(simulationFolder, kSimPnpEventsFile), text);
}

char16_t DriveLetterOf(std::u16string_view text) {
    const std::optional<TDriveLetter> drive = TDriveLetter::Parse(text);
    return drive ? drive->Letter() : 0;
}

}  // namespace dv
