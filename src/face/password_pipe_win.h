// A password handed to one process that this face started (dockvane-cli's --password-pipe), never on
// a command line, where every process could read it.
#pragma once

#include <string>
#include <string_view>

#include "platform/handles_win.h"

namespace dv::face {

class TPasswordPipe {
public:
    // Makes the pipe: one instance, made first by this process, under a name nobody can guess.
    TPasswordPipe();

    // Empty when the pipe could not be made.
    const std::wstring& Name() const { return name_; }
    // Gives `password`, as one line, to `process` once it connects (its process id checked: anyone
    // else who connects first gets nothing, and the pipe is gone). A worker that owns the pipe, the
    // process and a copy of the password does it, and gives up when the process ends first or after
    // two minutes. The pipe is no longer this object's afterwards.
    void GiveTo(UniqueKernelHandle process, std::u16string_view password);

private:
    std::wstring name_;
    UniqueFileHandle pipe_;
};

}  // namespace dv::face
