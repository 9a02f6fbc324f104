// Commands of the share accounts: derived and scrambled passwords, per-drive account names.
#include "accounts/user_manager.h"
#include "commands.h"

#include <vector>

namespace dv::tool {
namespace {

// The password of an account outside domain mode for SALT (the master account's salt, or the salt
// followed by a per-drive account's name); with --domain, the domain password that TEXT stores.
int Password(const Args& args, std::ostream& out) {
    if (args.size() == 1 && args[0] != u"--domain") {
        PrintLine(out, DerivePassword(args[0]));
    } else if (args.size() == 2 && args[0] == u"--domain") {
        PrintLine(out, DecodePassword(args[1]));
    } else {
        throw UsageError();
    }
    return 0;
}

// The stored form of a domain password.
int Scramble(const Args& args, std::ostream& out) {
    if (args.size() != 1) throw UsageError();
    PrintLine(out, EncodePassword(args[0]));
    return 0;
}

// The per-drive account name proposed for a share name.
int UserName(const Args& args, std::ostream& out) {
    if (args.size() != 1) throw UsageError();
    PrintLine(out, GenerateUserNameByShareName(args[0]));
    return 0;
}

}  // namespace

void AddAccountsCommands(std::vector<Command>& commands) {
    commands.push_back({"password", "SALT | --domain TEXT", Password});
    commands.push_back({"scramble", "TEXT", Scramble});
    commands.push_back({"username", "SHARENAME", UserName});
}

}  // namespace dv::tool
