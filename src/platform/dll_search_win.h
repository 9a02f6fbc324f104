// Where the libraries that a program loads by name come from.
#pragma once

namespace dv {

// From here on, a library loaded by name (LoadLibraryW and the delay-loads of the system's own
// libraries) comes from System32 only: never from the program's folder, the current folder or the
// search path, which a standard user may be able to write. Every program of ours that runs elevated
// calls it first thing. False where the system cannot restrict the search (Windows 7 without its
// update KB2533623).
bool RestrictLibrarySearchToSystem32();

}  // namespace dv
