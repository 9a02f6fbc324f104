// Wine's side doors for drives: host and Windows paths of one another, and drive letters defined
// and removed while programs run. Every call answers "nothing" away from Wine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dv {

// The host path of a Windows path under Wine ("Z:\tmp\x" -> "/tmp/x"); empty away from Wine or when
// the path cannot be converted.
std::string WineHostPathOf(std::u16string_view windowsPath);
// The Windows path of a host path under Wine ("/tmp/x" -> "Z:\tmp\x"); empty away from Wine.
std::u16string WineWindowsPathOf(std::string_view hostPath);

// Wine's mount manager (what winecfg uses): defines the letter as a drive of `driveType` whose root
// is the host folder, or removes it for an empty folder. Every process sees the change at once.
// False away from Wine or when the manager refuses.
bool DefineWineDrive(char16_t letter, std::uint32_t driveType, std::string_view hostFolder);

}  // namespace dv
