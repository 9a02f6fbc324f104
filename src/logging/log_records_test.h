// What a test reads back from a log file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "logging/logs.h"
#include "platform/files.h"

namespace dv::testing {

// The file's records after its header, each as "title|description"; none when there is no file.
inline std::vector<std::u16string> LogRecords(std::u16string_view path) {
    std::vector<std::u16string> records;
    const std::optional<std::vector<std::u16string>> lines = fs::ReadTextLines(path);
    if (!lines) return records;
    for (std::size_t i = 1; i < lines->size(); ++i) {
        const std::optional<TLogRecord> record = ParseLogLine((*lines)[i]);
        records.push_back(record ? record->Title + u"|" + record->Description : (*lines)[i]);
    }
    return records;
}

// The application log goes to `folder` for the life of this object.
class ScopedAppLogFolder {
public:
    explicit ScopedAppLogFolder(std::u16string folder) { SetAppLogFolder(std::move(folder)); }
    ~ScopedAppLogFolder() { SetAppLogFolder(u""); }
    ScopedAppLogFolder(const ScopedAppLogFolder&) = delete;
    ScopedAppLogFolder& operator=(const ScopedAppLogFolder&) = delete;
};

}  // namespace dv::testing
