#include "main_window/ErrorPage.h"

#include "error_handling/ErrorHandling.h"
#include "transform/Transform.h"

namespace xmlpellor {

std::string ErrorPage(const ErrorRecord& error) {
  std::string text = ErrorHandling::Prompt(error.number, error.description, error.source);
  // The box's line breaks are CR LF; a page wants one of them.
  std::string lines;
  for (const char c : text) {
    if (c != '\r') lines += c;
  }
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Error</title></head>\n"
         "<body><pre style=\"white-space: pre-wrap\">" +
         transform::EscapeMarkup(lines) + "</pre></body></html>\n";
}

}  // namespace xmlpellor
