#include "main_window/ProfileReport.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/TerminalText.h"

namespace xmlpellor {
namespace {

std::string Padded(std::string text, std::size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string pad(width - text.size(), ' ');
  return right ? pad + text : text + pad;
}

// A stylesheet's names on one line of the terminal, control characters shown.
std::string OneLine(const std::string& text) {
  std::string line = TerminalText(text);
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::replace(line.begin(), line.end(), '\t', ' ');
  return line;
}

}  // namespace

std::string MillisText(std::uint64_t micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu", static_cast<unsigned long long>(micros / 1000),
                static_cast<unsigned long long>(micros % 1000));
  return text;
}

std::string TemplateLabel(const xml::TemplateProfile& profile) {
  std::string label;
  if (!profile.match.empty()) label = "match=\"" + profile.match + "\"";
  if (!profile.name.empty()) {
    if (!label.empty()) label += ' ';
    label += "name=\"" + profile.name + "\"";
  }
  return label;
}

std::string ProfileText(const ProfileReport& report) {
  std::string text = "xmlpellor: profile of " + OneLine(report.stylesheet);
  if (!report.engine.empty()) text += " (" + OneLine(report.engine) + ")";
  if (!report.profile) return text + ": " + OneLine(report.problem) + "\n";
  const xml::TransformProfile& p = *report.profile;
  text += "\n  reading the document " + MillisText(p.documentMicros) + " ms, the stylesheet " +
          MillisText(p.stylesheetMicros) + " ms; compiling " + MillisText(p.compileMicros) +
          " ms; transforming " + MillisText(p.transformMicros) + " ms\n";

  std::vector<const xml::TemplateProfile*> ran;
  std::uint64_t allSelf = 0;
  for (const auto& t : p.templates) {
    if (t.calls == 0) continue;
    ran.push_back(&t);
    allSelf += t.selfMicros;
  }
  // The longest first, and among equals in the order they stand, as
  // xsltproc ranks them.
  std::stable_sort(ran.begin(), ran.end(),
                   [](const auto* a, const auto* b) { return a->selfMicros > b->selfMicros; });
  text += "  " + Padded("calls", 8, true) + Padded("self ms", 12, true) +
          Padded("+callees ms", 13, true) + Padded("avg ms", 10, true) + Padded("share", 8, true) +
          "  template, mode, file:line\n";
  for (const auto* t : ran) {
    char share[16];
    std::snprintf(share, sizeof share, "%.1f%%",
                  allSelf == 0
                      ? 0.0
                      : 100.0 * static_cast<double>(t->selfMicros) / static_cast<double>(allSelf));
    std::string line = "  " + Padded(std::to_string(t->calls), 8, true) +
                       Padded(MillisText(t->selfMicros), 12, true) +
                       Padded(MillisText(t->totalMicros), 13, true) +
                       Padded(MillisText(t->selfMicros / t->calls), 10, true) +
                       Padded(share, 8, true) + "  " + OneLine(TemplateLabel(*t));
    if (!t->mode.empty()) line += " mode=\"" + OneLine(t->mode) + "\"";
    line += "  " + OneLine(t->file) + ":" + std::to_string(t->line);
    text += line + "\n";
  }
  if (ran.size() < p.templates.size()) {
    text += "  (" + std::to_string(p.templates.size() - ran.size()) + " templates did not run)\n";
  }
  return text;
}

}  // namespace xmlpellor
