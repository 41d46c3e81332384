#pragma once

#include <cstdint>
#include <string>

#include "wire/JobWire.h"

namespace xmlpellor::engine {

using wire::JobEvents;
using wire::JobPhase;
using wire::JobRequest;
using wire::JobResult;

// The library part of a transformation: loads the document, then the
// stylesheet, sets the parameters, compiles, transforms and serialises.
// A failure of the libraries is a RuntimeError. Runs in the XSLT engine's
// process; needs a deep stack (see IWorker::kStackBytes).
JobResult RunJob(const JobRequest& request, JobEvents& events);

// Limits the calling process's memory to `memoryLimit` bytes (0: no limit)
// and confines it for good to what `request` may do: no writing of files,
// no network, no programs, and reads only as the request allows. Call it
// while the process has one thread, before anything the user named is read.
// Returns what was applied, in words.
std::string ConfineForJob(const JobRequest& request, std::uint64_t memoryLimit);

}  // namespace xmlpellor::engine
