#pragma once

#include <string_view>

namespace dv {

// Names the calling thread for debuggers and crash dumps.
void SetCurrentThreadName(std::u16string_view name);

}  // namespace dv
