#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace xmlpellor::xml {

// One template of a profiled transformation, from the engine's own count
// and timing of its templates. Times are in microseconds.
struct TemplateProfile {
  std::string match;  // empty for a named template only
  std::string name;
  std::string mode;
  std::string file;  // the stylesheet module it stands in
  long line = 0;
  std::uint64_t calls = 0;  // recursive calls included, as xsltproc counts
  // In the template's own instructions, its callees' templates left out.
  std::uint64_t selfMicros = 0;
  // With the templates it called: its own time and, of each template it
  // called, the share of that one's time its calls make of all calls to it
  // from other templates (the engine times templates, not calls, so a
  // callee that is also called from elsewhere is shared out by call counts,
  // as gprof does). Recursion adds nothing twice.
  std::uint64_t totalMicros = 0;
};

// A profiled run: the parse and compile times, then its templates.
struct TransformProfile {
  std::uint64_t documentMicros = 0;    // reading and parsing the document
  std::uint64_t stylesheetMicros = 0;  // reading and parsing the stylesheet
  std::uint64_t compileMicros = 0;
  std::uint64_t transformMicros = 0;  // the whole transformation, all templates
  std::vector<TemplateProfile> templates;
};

// The time of each phase of a profiled job, one after another: each Lap
// gives the microseconds since the one before (or since the start).
class Stopwatch {
 public:
  std::uint64_t Lap() {
    const auto now = std::chrono::steady_clock::now();
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(now - m_last);
    m_last = now;
    return static_cast<std::uint64_t>(took.count());
  }

 private:
  std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
};

// Fills in totalMicros from the self times and the calls between templates:
// `callers[i]` holds, for template i, each template that called it and how
// often (as libxslt keeps them).
struct CallerCount {
  std::size_t caller = 0;
  std::uint64_t count = 0;
};
void AddCalleeTimes(std::vector<TemplateProfile>& templates,
                    const std::vector<std::vector<CallerCount>>& callers);

}  // namespace xmlpellor::xml
