#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/xml/Profile.h"

namespace xmlpellor {

// What a profiled run of the last Apply's job found, or why it found
// nothing.
struct ProfileReport {
  std::string stylesheet;
  std::string engine;  // the engine that ran it ("libxslt")
  std::optional<xml::TransformProfile> profile;
  // Set when there is no profile: the run failed, was stopped, or the
  // engine cannot profile.
  std::string problem;
};

// "0.042", "12.500", "1234.000": milliseconds with three decimals.
std::string MillisText(std::uint64_t micros);

// The report for the terminal: the times of the steps, then one line for
// each template that ran, the longest first, as xsltproc --profile lists
// them; ends in a line break. What the stylesheet named (a match, a mode,
// a file) is made safe for the terminal.
std::string ProfileText(const ProfileReport& report);

// "match=\"item\"", "name=\"down\"", or both, as a template is told apart.
std::string TemplateLabel(const xml::TemplateProfile& profile);

}  // namespace xmlpellor
