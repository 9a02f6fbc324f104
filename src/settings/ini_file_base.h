// The common base of the settings records: a record bound to its INI file.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/ini_file.h"
#include "settings/ini_persist.h"

namespace dv {

class TIniFileBase : public TPersistable {
public:
    explicit TIniFileBase(std::u16string settingsFile) : settingsFile_(std::move(settingsFile)) {}

    // Writes every persisted property and puts the generated-file header line at the top. The file
    // is replaced as a whole, never left half-written.
    virtual void Save();
    // Reads every persisted property; an absent file yields the defaults.
    virtual void Load();

    const std::u16string& SettingsFile() const { return settingsFile_; }

protected:
    // For records whose keys stand on disk in another form than the one they are read and written
    // in: turns the file's lines into the readable form (before a load and before a save), and back
    // (before the save writes them).
    virtual void ToReadableForm(std::vector<std::u16string>& lines) { (void)lines; }
    virtual void ToStoredForm(std::vector<std::u16string>& lines) { (void)lines; }

    // Replaces the file with the lines. A file that cannot be replaced is a failed settings write:
    // EIniFileException "Unable to write to <file>".
    virtual void ReplaceSettingsFile(const IniFile& file);

    // A record that took over a legacy key: the next save writes a fresh file, so the legacy line is
    // dropped together with everything else the record does not map.
    void StartFreshFileOnNextSave() { startFresh_ = true; }

private:
    std::u16string settingsFile_;
    bool startFresh_ = false;
    // The file's encoding at the last load: a fresh file is written in it too.
    TextEncoding loadedEncoding_ = TextEncoding::SystemCodePage;
};

}  // namespace dv
