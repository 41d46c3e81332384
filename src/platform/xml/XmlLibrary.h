#pragma once

#include <string>

namespace xmlpellor::xml {

// Parser options every document of the program is read with: entities
// substituted and default attributes filled in from a local DTD, as XSLT
// expects, and never anything fetched over the network.
int ParseOptions(bool validate) noexcept;

// Sets libxml2 and libxslt up once per process: the parser, the EXSLT
// extension functions and the security preferences (no file writes, no
// folder creation, no network). Safe to call from every entry point.
void EnsureXmlLibraryInitialised() noexcept;

// What the system's catalogs make of an input named by `url` (and `id`, its
// public identifier, or null), as every input of libxml2 and libxslt is
// looked up; the other engine looks up its reads the same way.
std::string ThroughCatalogs(const char* url, const char* id);

// Has `onFailure` called whenever libxml2 or libxslt could not get memory,
// before they go on to report it. Only before the first initialisation: a
// process that limits its memory uses it to tell the limit from a fault.
using XmlAllocationFailed = void (*)();
void WatchAllocations(XmlAllocationFailed onFailure) noexcept;

}  // namespace xmlpellor::xml
