// The drives the simulation has plugged in: letter and the host folder that is the drive's root,
// kept in "usb-drives.tsv" of the simulation folder (UTF-8, one "LETTER<TAB>FOLDER" line each), so
// that the control tool and Dockvane agree on which letters are USB drives.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

inline constexpr std::u16string_view kSimDrivesFile = u"usb-drives.tsv";

// Letter ('A'..'Z') -> host folder.
using TPluggedDrives = std::map<char16_t, std::u16string>;

std::string EncodePluggedDrives(const TPluggedDrives& drives);
// Raises EConvertError for a line it cannot read.
TPluggedDrives DecodePluggedDrives(std::string_view text);

// The list as the folder holds it now (empty when there is none yet). Raises EFOpenError or
// EConvertError.
TPluggedDrives LoadPluggedDrives(std::u16string_view simulationFolder);
// Replaces the list as a whole. Raises EFCreateError.
void SavePluggedDrives(std::u16string_view simulationFolder, const TPluggedDrives& drives);

// The process that is to refuse the next eject of a drive, kept in "eject-blocks.tsv" (UTF-8, one
// "LETTER<TAB>PROCESS<TAB>PID<TAB>ATTEMPTS" line each; a tab, line break or backslash in the
// process written \t, \n, \r, \\). An eject asks the system several times: the block refuses
// that many requests and is then gone.
inline constexpr std::u16string_view kSimEjectBlocksFile = u"eject-blocks.tsv";
struct TSimEjectBlock {
    std::u16string Process;
    std::uint32_t ProcessId = 0;
    int AttemptsLeft = 0;
    bool operator==(const TSimEjectBlock&) const = default;
};
using TSimEjectBlocks = std::map<char16_t, TSimEjectBlock>;

std::string EncodeEjectBlocks(const TSimEjectBlocks& blocks);
// Raises EConvertError for a line it cannot read.
TSimEjectBlocks DecodeEjectBlocks(std::string_view text);
TSimEjectBlocks LoadEjectBlocks(std::u16string_view simulationFolder);
void SaveEjectBlocks(std::u16string_view simulationFolder, const TSimEjectBlocks& blocks);

// The simulation's system log of refused removals: "pnp-events.txt", one rendered event per line,
// oldest first, the newest kSimEventsKept of them.
inline constexpr std::u16string_view kSimPnpEventsFile = u"pnp-events.txt";
inline constexpr std::size_t kSimEventsKept = 32;
// Newest first, as the system log is read.
std::vector<std::u16string> LoadSimEvents(std::u16string_view simulationFolder);
void AppendSimEvent(std::u16string_view simulationFolder, std::u16string_view renderedEvent);

// "E", "e", "E:" and "E:\" name drive E; nothing else names a drive (0).
char16_t DriveLetterOf(std::u16string_view text);

}  // namespace dv
