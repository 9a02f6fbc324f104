#include "settings/ini_file_base.h"

#include <exception>

#include "platform/errors.h"
#include "settings/ini_file.h"

namespace dv {

void TIniFileBase::Load() {
    IniFile file = ReadIniFile(settingsFile_);
    loadedEncoding_ = file.Encoding();
    ToReadableForm(file.Lines());
    TIniPersist::Load(file, *this);
}

void TIniFileBase::Save() {
    IniFile file = startFresh_ ? IniFile({}, loadedEncoding_) : ReadIniFile(settingsFile_);
    ToReadableForm(file.Lines());

    // Keys written before a property that cannot be converted stay written; the header step then
    // does not run.
    std::exception_ptr failure;
    try {
        TIniPersist::Save(file, *this);
    } catch (const Exception&) {
        failure = std::current_exception();
    }

    std::vector<std::u16string>& lines = file.Lines();
    if (!failure) {
        if (lines.empty()) {
            failure = std::make_exception_ptr(EStringListError(u"List index out of bounds (0)"));
        } else if (lines.front() != GeneratedFileHeader()) {
            // A header further down does not count: a second one goes on top.
            lines.insert(lines.begin(), GeneratedFileHeader());
        }
    }
    ToStoredForm(lines);
    ReplaceSettingsFile(file);
    startFresh_ = false;
    if (failure) std::rethrow_exception(failure);
}

void TIniFileBase::ReplaceSettingsFile(const IniFile& file) {
    WriteIniFile(settingsFile_, file);
}

}  // namespace dv
