// Commands of the dialogs: the share name the drive settings dialog proposes for a volume label.
#include "commands.h"
#include "dialogs/drive_settings_dialog.h"

#include <vector>

namespace dv::tool {
namespace {

int ShareName(const Args& args, std::ostream& out) {
    if (args.size() != 1) throw UsageError();
    PrintLine(out, ShareNameFromLabel(args[0]));
    return 0;
}

}  // namespace

void AddDialogsCommands(std::vector<Command>& commands) {
    commands.push_back({"sharename", "LABEL", ShareName});
}

}  // namespace dv::tool
