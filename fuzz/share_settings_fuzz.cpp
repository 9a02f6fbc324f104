// The drive configuration file as a drive may bring it: loading and saving it (as an attach does)
// through a real file. Loading never yields an address (ping or done) past the length limit, a save
// begins with the header line, the next load reads what was saved, and the saved file is a fixed
// point: loaded and saved again its bytes stay the same.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "platform/errors.h"
#include "settings/share_settings.h"

namespace dv {
namespace {

bool IsProfileBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x1A;
}

std::vector<std::u16string> Fields(const TShareSettings& s) {
    std::vector<std::u16string> fields = {s.FShareName, s.FShareUserName, s.FShareDescription,
                                          s.FAutoRemove ? u"True" : u"False", s.FEncrypt ? u"True" : u"False"};
    // The addresses that are called, in their order: a slot left empty by an overlong line is closed
    // up by the next load, which changes no call.
    for (std::size_t slot = 0; slot < kPingUrlSlots; ++slot) {
        if (!s.PingUrl(slot).empty()) fields.push_back(s.PingUrl(slot));
    }
    fields.emplace_back(u"done:");  // the done addresses likewise, apart from the others
    for (std::size_t slot = 0; slot < kPingUrlSlots; ++slot) {
        if (!s.DonePingUrl(slot).empty()) fields.push_back(s.DonePingUrl(slot));
    }
    return fields;
}

// Values that a save writes as they are and a load reads back unchanged. Left out: what the code page
// cannot hold, what the reader trims or unquotes, the skip marker, and text holding the address key,
// which the on-disk form of the addresses rewrites wherever it stands.
bool Stable(std::u16string_view value) {
    if (value.empty()) return true;
    if (FromAnsi(ToAnsi(value)) != value || value == kSkipMarker) return false;
    if (IsProfileBlank(value.front()) || IsProfileBlank(value.back())) return false;
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
        return false;
    }
    return value.find(u"PingURL") == std::u16string_view::npos;
}

// A numbered address key written by hand anywhere in the file is unnumbered by the first save and
// then counts as an address line of its own; one without "=" hides the address of its slot from the
// first load, and the first save drops it.
bool HoldsNumberedKey(std::u16string_view fileText) {
    const std::u16string text = UpperCase(fileText);  // keys are found regardless of letter case
    for (std::size_t at = text.find(u"PINGURL"); at != std::u16string::npos; at = text.find(u"PINGURL", at + 1)) {
        if (at + 7 < text.size() && text[at + 7] >= u'1' && text[at + 7] <= u'8') return true;
    }
    return false;
}

std::string FileBytes(const std::u16string& path) {
    std::string bytes;
    FUZZ_CHECK(fs::ReadWholeFile(path, bytes).ok());
    return bytes;
}

}  // namespace
}  // namespace dv

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dv;
    const std::u16string path = fuzz::WorkFolder() + u"velmora.conf";
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(fs::WriteNewFile(path, input).ok());

    TShareSettings first(path);
    try {
        first.Load();
    } catch (const EFOpenError&) {
        // A file that cannot be read as text (UTF-16 of an odd length, too large) is refused with its
        // reason and stays as it was.
        FUZZ_CHECK(FileBytes(path) == input);
        return 0;
    }
    for (std::size_t slot = 0; slot < kPingUrlSlots; ++slot) {
        FUZZ_CHECK(first.PingUrl(slot).size() <= 1024);
        FUZZ_CHECK(first.DonePingUrl(slot).size() <= 1024);
    }
    first.Save();
    const std::string saved = FileBytes(path);
    // In the file's own encoding: a file that came with a byte-order mark keeps it in front.
    FUZZ_CHECK(DecodeFileText(saved).starts_with(GeneratedFileHeader() + u"\r\n"));

    const std::vector<std::u16string> fields = Fields(first);
    bool stable = !HoldsNumberedKey(DecodeFileText(input));
    for (const auto& field : fields) stable = stable && Stable(field);

    TShareSettings second(path);
    second.Load();
    second.Save();
    if (stable) {
        FUZZ_CHECK(Fields(second) == fields);
        FUZZ_CHECK(FileBytes(path) == saved);
    }
    return 0;
}
