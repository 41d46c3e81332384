#include "platform/TerminalText.h"

#include <cstdio>

namespace xmlpellor {

namespace {

// The length of the UTF-8 sequence that starts at `at`, or 0 when the bytes
// there are not one (a stray continuation byte, a cut or overlong sequence).
std::size_t SequenceLength(const std::string& text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  unsigned minimum = 0;
  unsigned code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string TerminalText(const std::string& text) {
  std::string visible;
  visible.reserve(text.size());
  char escaped[16];
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F) {
        visible += '^';
        visible += static_cast<char>(byte ^ 0x40u);
      } else {
        visible += static_cast<char>(byte);
      }
      ++at;
      continue;
    }
    const std::size_t length = SequenceLength(text, at);
    if (length == 0) {
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      visible += escaped;
      ++at;
      continue;
    }
    // U+0080 to U+009F, C1 controls: a terminal takes U+009B as ESC [.
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (byte == 0xC2 && second < 0xA0) {
      std::snprintf(escaped, sizeof escaped, "<U+%04X>", second);
      visible += escaped;
    } else {
      visible.append(text, at, length);
    }
    at += length;
  }
  return visible;
}

}  // namespace xmlpellor
