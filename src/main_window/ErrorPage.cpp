#include "main_window/ErrorPage.h"

#include "error_handling/ErrorHandling.h"
#include "transform/Transform.h"

namespace xmlpellor {

std::string MessagesHtml(const std::vector<std::string>& messages) {
  if (messages.empty()) return {};
  std::string html = "\n<h2>Messages of this run</h2>\n<pre style=\"white-space: pre-wrap\">";
  for (const auto& line : messages) html += transform::EscapeMarkup(line) + "\n";
  return html + "</pre>\n";
}

std::string ErrorPage(const ErrorRecord& error, const std::vector<std::string>& messages) {
  std::string text = ErrorHandling::Prompt(error.number, error.description, error.source);
  // The box's line breaks are CR LF; a page wants one of them.
  std::string lines;
  for (const char c : text) {
    if (c != '\r') lines += c;
  }
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Error</title></head>\n"
         "<body><pre style=\"white-space: pre-wrap\">" +
         transform::EscapeMarkup(lines) + "</pre>" + MessagesHtml(messages) + "</body></html>\n";
}

}  // namespace xmlpellor
