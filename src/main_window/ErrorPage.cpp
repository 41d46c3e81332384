#include "main_window/ErrorPage.h"

#include <algorithm>
#include <regex>

#include "platform/Editor.h"
#include "platform/LocalPath.h"
#include "platform/RuntimeError.h"
#include "platform/TerminalText.h"
#include "transform/Transform.h"

namespace xmlpellor {

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void RemoveOnce(std::vector<std::string>& lines, const std::string& line) {
  const auto found = std::find(lines.begin(), lines.end(), line);
  if (found != lines.end()) lines.erase(found);
}

std::string Escaped(const std::string& text) {
  return transform::EscapeMarkup(text);
}

}  // namespace

ErrorParts PartsOf(const ErrorRecord& error, const std::vector<std::string>& messages) {
  // libxslt heads an error with where it happened, then says what on the
  // next line; libxml2's errors carry "file:line:column: " before their text.
  static const std::regex kHeader(
      R"(^(?:compilation|runtime) error: file (.*) line (\d+) element (.*)$)");
  static const std::regex kPlaced(R"(^(.+):(\d+)(?::(\d+))?: (.*)$)");
  static const std::regex kMore(R"(^\(\d+ more messages?\)$)");

  ErrorParts parts;
  std::vector<std::string> lines = Lines(error.description);
  parts.reason = lines.front();
  if (!parts.reason.empty() && parts.reason.back() == ':') parts.reason.pop_back();
  lines.erase(lines.begin());

  std::vector<std::string> used;
  std::smatch match;
  // libstdc++ matches by recursion, one level a character: a long line (an
  // xsl:message of a whole document) would exhaust the stack. The library's
  // own lines are short.
  constexpr std::size_t kLongestMatched = 2000;
  const auto matches = [&](const std::string& line, const std::regex& pattern) {
    return line.size() <= kLongestMatched && std::regex_match(line, match, pattern);
  };
  for (std::size_t i = 0; i < lines.size() && used.empty(); ++i) {
    if (matches(lines[i], kHeader)) {
      parts.file = match[1];
      parts.line = match[2];
      parts.element = match[3];
      used.push_back(lines[i]);
      if (i + 1 < lines.size()) {
        parts.text = lines[i + 1];
        used.push_back(lines[i + 1]);
      }
    }
  }
  for (std::size_t i = 0; i < lines.size() && used.empty(); ++i) {
    if (matches(lines[i], kPlaced)) {
      parts.file = match[1];
      parts.line = match[2];
      parts.column = match[3];
      parts.text = match[4];
      used.push_back(lines[i]);
    }
  }
  std::vector<std::string> rest;
  for (const std::string& line : lines) {
    if (!line.empty() && !(line.size() <= kLongestMatched && std::regex_match(line, kMore))) {
      rest.push_back(line);
    }
  }
  if (used.empty() && !rest.empty()) {
    // A stop without a place is the stylesheet's own: its last message
    // (xsl:message terminate="yes") is why.
    parts.text = parts.reason == "The transformation was stopped" ? rest.back() : rest.front();
    used.push_back(parts.text);
  }
  for (const std::string& line : rest) {
    if (!Contains(used, line) && !Contains(messages, line)) parts.details.push_back(line);
  }
  parts.messages = messages;
  for (const std::string& line : used) RemoveOnce(parts.messages, line);
  return parts;
}

std::optional<ErrorPlace> PlaceOf(const ErrorParts& parts) {
  if (parts.file.empty() || parts.line.empty()) return std::nullopt;
  std::string file;
  try {
    file = LocalPathOf(parts.file);
  } catch (const RuntimeError&) {
    return std::nullopt;
  }
  if (file.empty() || file.front() != '/') return std::nullopt;
  long line = 0;
  for (const char digit : parts.line) {
    if (digit < '0' || digit > '9' || line > 100000000) return std::nullopt;
    line = line * 10 + (digit - '0');
  }
  return ErrorPlace{std::move(file), line};
}

std::string PlaceLinkHtml(const ErrorPlace& place) {
  return "\n<p><a href=\"" + Escaped(LineLink(place.file, place.line)) +
         "\" title=\"Open in the editor\">Open " + Escaped(place.file) + " at line " +
         std::to_string(place.line) + " in the editor</a></p>\n";
}

std::string MessagesHtml(const std::vector<std::string>& messages) {
  if (messages.empty()) return {};
  std::string html = "\n<h2>Messages of this run</h2>\n<pre style=\"white-space: pre-wrap\">";
  for (const auto& line : messages) html += Escaped(line) + "\n";
  return html + "</pre>\n";
}

std::string ErrorPage(const ErrorRecord& error, const std::vector<std::string>& messages) {
  const ErrorParts parts = PartsOf(error, messages);
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Error</title></head>\n"
      "<body>\n<h1 style=\"font-size: 1.3em\">" +
      Escaped(parts.reason) + "</h1>\n";
  if (!parts.text.empty()) {
    html += "<p style=\"white-space: pre-wrap\"><b>" + Escaped(parts.text) + "</b></p>\n";
  }
  if (!parts.file.empty()) {
    std::string place =
        "File <code>" + Escaped(parts.file) + "</code>, line " + Escaped(parts.line);
    if (!parts.column.empty()) place += ", column " + Escaped(parts.column);
    // The window opens the link's file in the editor (frmMain::OpenAtLine);
    // the page itself never goes there.
    if (const auto at = PlaceOf(parts)) {
      place = "<a href=\"" + Escaped(LineLink(at->file, at->line)) +
              "\" title=\"Open in the editor\">" + place + "</a>";
    }
    html += "<p>" + place;
    if (!parts.element.empty()) html += " (element <code>" + Escaped(parts.element) + "</code>)";
    html += "</p>\n";
  }
  if (!parts.details.empty()) {
    html += "<pre style=\"white-space: pre-wrap\">";
    for (const auto& line : parts.details) html += Escaped(line) + "\n";
    html += "</pre>\n";
  }
  html += MessagesHtml(parts.messages);
  html += "<p style=\"margin-top: 2em; color: gray\"><small>[" + Escaped(error.source) +
          "] Run-time error '" + std::to_string(error.number) + "'</small></p>\n";
  return html + "</body></html>\n";
}

std::string VisibleLine(const std::string& text) {
  // One line: a line feed would let a job start a line of its own.
  std::string line = TerminalText(text);
  for (std::size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n', at)) {
    line.replace(at, 1, "^J");
  }
  return line;
}

std::string ErrorLine(const ErrorRecord& error, const std::vector<std::string>& messages) {
  const ErrorParts parts = PartsOf(error, messages);
  std::string line;
  if (!parts.file.empty()) {
    line += parts.file + ":" + parts.line;
    if (!parts.column.empty()) line += ":" + parts.column;
    line += ": ";
  }
  line += parts.reason;
  if (!parts.text.empty()) line += ": " + parts.text;
  for (const auto& detail : parts.details) {
    if (detail != parts.text) line += "; " + detail;
  }
  return VisibleLine(line);
}

}  // namespace xmlpellor
