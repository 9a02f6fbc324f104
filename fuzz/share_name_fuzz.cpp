// The share name proposed for a volume label, and the account name made from a share name. A label
// is whatever the volume carries (any UTF-16 code units); the proposal keeps at most 12 characters,
// none of those a share name cannot hold, in the label's order. Neither name ever keeps half of a
// character that its source holds whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "accounts/user_manager.h"
#include "dialogs/drive_settings_dialog.h"
#include "fuzz_support.h"
#include "settings/share_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Labels as code units, and as dvtool takes them (UTF-8 on its command line).
    for (const std::u16string& label : {fuzz::CodeUnits(bytes), FromUtf8(bytes)}) {
        const std::u16string name = ShareNameFromLabel(label);
        FUZZ_CHECK(name.size() <= kMaxShareNameLength);
        FUZZ_CHECK(name.find_first_of(u" \"*,./:;<>?\\|") == std::u16string::npos);
        // What is kept comes from the label in its order.
        auto from = label.begin();
        for (const char16_t c : name) {
            from = std::find(from, label.end(), c);
            FUZZ_CHECK(from != label.end());
            ++from;
        }
        if (fuzz::IsWellFormed(label)) FUZZ_CHECK(fuzz::IsWellFormed(name));

        // The proposal, and a share name of any length as a configuration file may hold it.
        for (const std::u16string& shareName : {name, label}) {
            const std::u16string user = GenerateUserNameByShareName(shareName);
            FUZZ_CHECK(user.starts_with(kPerDriveUserPrefix));
            FUZZ_CHECK(user.size() <= kMaxUserNameLength);
            if (fuzz::IsWellFormed(shareName)) FUZZ_CHECK(fuzz::IsWellFormed(user));
        }
    }
    return 0;
}
