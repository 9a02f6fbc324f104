// Away from Windows there is no message table: the texts Windows gives for the codes that the
// accounts and shares code meets, so that messages read the same in tests and tools.
#include "platform/os_error.h"

namespace dv {

std::u16string FormatOSMessage(std::uint32_t code, bool networkRange) {
    const bool network = networkRange && code >= kNerrBase && code <= kMaxNerr;
    switch (code) {
        case 2: return u"The system cannot find the file specified.\r\n";
        case 5: return u"Access is denied.\r\n";
        case 50: return u"The request is not supported.\r\n";
        case 86: return u"The specified network password is not correct.\r\n";
        case 87: return u"The parameter is incorrect.\r\n";
        case 122: return u"The data area passed to a system call is too small.\r\n";
        case 124: return u"The system call level is not correct.\r\n";
        case 1332: return u"No mapping between account names and security IDs was done.\r\n";
        case 1337: return u"The security ID structure is invalid.\r\n";
        default: break;
    }
    if (!network) return {};
    switch (code) {
        case 2118: return u"The share name is already in use on this server.\r\n";
        case 2221: return u"The user name could not be found.\r\n";
        case 2224: return u"The account already exists.\r\n";
        case 2245:
            return u"The password does not meet the password policy requirements. Check the minimum password "
                   u"length, password complexity and password history requirements.\r\n";
        case 2310: return u"This shared resource does not exist.\r\n";
        default: return {};
    }
}

}  // namespace dv
