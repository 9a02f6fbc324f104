// The drives the simulation has plugged in: letter and the host folder that is the drive's root,
// kept in "usb-drives.tsv" of the simulation folder (UTF-8, one "LETTER<TAB>FOLDER" line each), so
// that the control tool and Dockvane agree on which letters are USB drives.
#pragma once

#include <map>
#include <string>
#include <string_view>

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

// "E", "e", "E:" and "E:\" name drive E; nothing else names a drive (0).
char16_t DriveLetterOf(std::u16string_view text);

}  // namespace dv
