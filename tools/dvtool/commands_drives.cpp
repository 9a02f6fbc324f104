// Commands of the removable drives.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "drives/byte_size.h"
#include "drives/usb_drive_mgmt.h"
#include "drives/volume_query.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace dv::tool {
namespace {

double ParseSize(std::u16string_view text) {
    const std::string utf8 = ToUtf8(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(utf8.c_str(), &end);
    if (utf8.empty() || end != utf8.c_str() + utf8.size() || errno == ERANGE || !std::isfinite(value)) {
        throw EConvertError(u"'" + std::u16string(text) + u"' is not a valid floating point value");
    }
    return value;
}

// Prints a size in bytes the way the application shows it.
int ByteSize(const Args& args, std::ostream& out) {
    if (args.size() != 2) throw UsageError();
    PrintLine(out, FormatByteSize(args[0], ParseSize(args[1])));
    return 0;
}

// Lists the USB drives as the application sees them: letter, label, capacity.
int Drives(const Args& args, std::ostream& out) {
    if (!args.empty()) throw UsageError();
    TUSBDriveManager manager(SystemVolumeQuery(), SystemDeviceEject());
    std::vector<std::u16string> letters;
    manager.GetUsbDrives(letters);
    for (const auto& letter : letters) {
        TUSBDrvInfo info;
        manager.GetUSBDiskDriveInfo(letter[0], info);
        PrintLine(out, letter + u"\t" + info.VolLabel + u"\t" + info.Capacity);
    }
    return 0;
}

}  // namespace

void AddDrivesCommands(std::vector<Command>& commands) {
    commands.push_back({"bytesize", "GB|MB|KB|B|\"\"|-1|0 SIZE", ByteSize});
    commands.push_back({"drives", "", Drives});
}

}  // namespace dv::tool
