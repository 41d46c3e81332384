#pragma once

// What every engine process does around its job, whichever processor runs
// it.
namespace xmlpellor::engine {

// The output goes into memory, not into a file, so the limit the window's
// files have does not bound it; the window's own write still meets it.
void LiftFileSizeLimit();

// Blocks until `doneFd` is readable, true, or until the window has gone,
// false, in which case the engine has nobody left to work for.
bool WaitUnlessAbandoned(int doneFd);

}  // namespace xmlpellor::engine
