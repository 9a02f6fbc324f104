// The drive configuration file in a drive's root.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_file_base.h"

namespace dv {

inline constexpr std::u16string_view kDriveConfigFileName = u"velmora.conf";
inline constexpr std::u16string_view kInactiveDriveConfigFileName = u"velmora.conf.inactive";
inline constexpr std::size_t kPingUrlSlots = 8;
// The longest share name that the drive settings write, and the characters that none of the share
// or volume names they write may hold (control characters aside): what a person can type there.
inline constexpr std::size_t kMaxShareNameLength = 12;
inline constexpr std::u16string_view kRefusedNameCharacters = u" \"*,./:;<>?[\\]|";

class TShareSettings : public TIniFileBase {
public:
    explicit TShareSettings(std::u16string settingsFile);

    // Reads the file; a share name under the older key "Name" is taken over, and the next save writes
    // a fresh file without that key.
    void Load() override;

    std::vector<TPersistedProperty> PersistedProperties() override;

    const std::u16string& PingUrl(std::size_t slot) const { return FPingUrls.at(slot); }
    const std::u16string& DonePingUrl(std::size_t slot) const { return FDonePingUrls.at(slot); }

    std::u16string SettingsFileName;

    std::u16string FShareName;
    std::u16string FShareUserName;
    std::u16string FOldShareName;
    std::u16string FShareDescription;
    bool FAutoRemove = false;
    std::array<std::u16string, kPingUrlSlots> FPingUrls;      // PingURL1 ... PingURL8
    std::array<std::u16string, kPingUrlSlots> FDonePingUrls;  // DonePingURL1 ... DonePingURL8
    // Whether the share is to carry SMB encryption. A file that lacks the key keeps lacking it until
    // the value becomes true: files of earlier versions stay as they are, byte for byte.
    bool FEncrypt = false;

protected:
    // Saves write the ping addresses as unnumbered "PingURL=" lines, each where its slot's key stood;
    // the done addresses ("DonePingURL=") likewise.
    void ToReadableForm(std::vector<std::u16string>& lines) override { NumberPingUrls(lines); }
    void ToStoredForm(std::vector<std::u16string>& lines) override { UnnumberPingUrls(lines); }
    // A file that cannot be replaced (read-only, in use, on a medium that refuses writes, on a drive
    // that is gone) raises EFCreateError with the file and the system's reason: the sign of a drive
    // that cannot be written, which the attach stops at quietly. The file stays as it was.
    void ReplaceSettingsFile(const IniFile& file) override;

private:
    // The file holds the addresses as repeated "PingURL=" lines; these turn them into the numbered
    // keys PingURL1 ... PingURL8 (lines past the eighth, and lines that grow past 1024 characters,
    // become empty) and back (lines left as "PingURL=", the empty slots, go). The "DonePingURL="
    // lines get the same, counted on their own: the "PingURL=" inside them is not a ping address.
    static void NumberPingUrls(std::vector<std::u16string>& lines);
    static void UnnumberPingUrls(std::vector<std::u16string>& lines);

    // The key "Encrypt" as the file holds it (the skip marker when it has none) and as a save writes it.
    void ReadEncrypt(const std::u16string& text);
    std::u16string EncryptToWrite() const;

    bool encryptKeyInFile_ = false;
};

}  // namespace dv
