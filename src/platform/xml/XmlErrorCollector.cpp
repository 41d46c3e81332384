#include "platform/xml/XmlErrorCollector.h"

#include <cstdarg>
#include <cstdio>

#include <libxml/xmlerror.h>
#include <libxslt/xsltutils.h>

#include "platform/xml/FirstAndLast.h"

namespace xmlpellor::xml {

namespace {

thread_local XmlErrorCollector* tCurrent = nullptr;

constexpr std::size_t kDescribedAtEachEnd = 6;

std::string WithoutTrailingBreaks(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string Line(const XmlMessage& m) {
  std::string line;
  if (!m.file.empty()) {
    line += m.file;
    if (m.line > 0) line += ":" + std::to_string(m.line);
    if (m.column > 0) line += ":" + std::to_string(m.column);
    line += ": ";
  }
  return line + m.text;
}

}  // namespace

XmlErrorCollector::XmlErrorCollector() noexcept
    : m_outer(tCurrent),
      m_savedStructured(xmlStructuredError),
      m_savedStructuredContext(xmlStructuredErrorContext),
      m_savedGeneric(xmlGenericError),
      m_savedGenericContext(xmlGenericErrorContext),
      m_savedXsltGeneric(xsltGenericError),
      m_savedXsltGenericContext(xsltGenericErrorContext) {
  xmlSetStructuredErrorFunc(this, &XmlErrorCollector::OnStructured);
  // A few corners of libxml2 still print through the generic handler even
  // when a structured one is installed.
  xmlSetGenericErrorFunc(this, &XmlErrorCollector::OnGeneric);
  xsltSetGenericErrorFunc(this, &XmlErrorCollector::OnGeneric);
  tCurrent = this;
}

XmlErrorCollector::~XmlErrorCollector() {
  tCurrent = m_outer;
  xsltSetGenericErrorFunc(m_savedXsltGenericContext, m_savedXsltGeneric);
  xmlSetGenericErrorFunc(m_savedGenericContext, m_savedGeneric);
  xmlSetStructuredErrorFunc(m_savedStructuredContext, m_savedStructured);
}

void XmlErrorCollector::Attach(xsltTransformContext* context) noexcept {
  xsltSetTransformErrorFunc(context, this, &XmlErrorCollector::OnGeneric);
}

XmlErrorCollector* XmlErrorCollector::Current() noexcept {
  return tCurrent;
}

void XmlErrorCollector::RecordRefusal(std::string what, int line,
                                      const std::string& advice) noexcept {
  m_refused = true;
  FlushPending();
  try {
    for (const auto& known : m_refusals) {
      if (known == what) return;
    }
    m_refusals.push_back(what);
    if (!advice.empty() && !m_advised) {
      m_advised = true;
      what += ". " + advice;
    }
  } catch (...) {
  }
  Append({true, 0, 0, {}, line, 0, std::move(what)});
}

void XmlErrorCollector::RecordLoadFailure(int code, bool error, std::string what,
                                          int line) noexcept {
  FlushPending();
  Append({error, XML_FROM_IO, code, {}, line, 0, std::move(what)});
}

void XmlErrorCollector::Warn(std::string text) noexcept {
  FlushPending();
  Append({false, 0, 0, {}, 0, 0, std::move(text)});
}

const std::vector<XmlMessage>& XmlErrorCollector::Messages() noexcept {
  FlushPending();
  return m_messages;
}

bool XmlErrorCollector::Contains(const std::string& text) noexcept {
  for (const auto& m : Messages()) {
    if (m.text.find(text) != std::string::npos) return true;
  }
  return false;
}

const XmlMessage* XmlErrorCollector::FirstError() noexcept {
  const auto& messages = Messages();
  for (const auto& m : messages) {
    if (m.error) return &m;
  }
  return messages.empty() ? nullptr : &messages.front();
}

std::string XmlErrorCollector::Describe() noexcept {
  // A message box has room for a few lines: the first say what went wrong
  // (after a runaway recursion libxslt adds a long dump of its template
  // stack), the last how the run ended.
  std::string out;
  try {
    const auto& messages = Messages();
    auto add = [&out](const std::string& line) {
      if (!out.empty()) out += '\n';
      out += line;
    };
    if (m_count <= 2 * kDescribedAtEachEnd) {
      for (const auto& m : messages) add(Line(m));
      return out;
    }
    for (std::size_t i = 0; i < kDescribedAtEachEnd; ++i) add(Line(messages[i]));
    add(MoreMessagesLine(m_count - 2 * kDescribedAtEachEnd));
    for (const auto& m : m_last) add(Line(m));
  } catch (...) {
  }
  return out;
}

void XmlErrorCollector::OnStructured(void* self, xmlError* error) noexcept {
  if (self == nullptr || error == nullptr) return;
  auto* collector = static_cast<XmlErrorCollector*>(self);
  try {
    collector->FlushPending();
    collector->Append({error->level != XML_ERR_WARNING, error->domain, error->code,
                       error->file ? error->file : "", error->line, error->int2,
                       WithoutTrailingBreaks(error->message ? error->message : "")});
  } catch (...) {
  }
}

void XmlErrorCollector::OnGeneric(void* self, const char* format, ...) noexcept {
  if (self == nullptr || format == nullptr) return;
  char small[1024];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  auto* collector = static_cast<XmlErrorCollector*>(self);
  try {
    if (needed < 0) {
      collector->AppendGeneric(format);
    } else if (static_cast<std::size_t>(needed) < sizeof small) {
      collector->AppendGeneric(small);
    } else {
      std::string big(static_cast<std::size_t>(needed) + 1, '\0');
      std::vsnprintf(big.data(), big.size(), format, again);
      big.resize(static_cast<std::size_t>(needed));
      collector->AppendGeneric(big.c_str());
    }
  } catch (...) {
  }
  va_end(again);
}

void XmlErrorCollector::Append(XmlMessage message) noexcept {
  try {
    if (m_stream != nullptr) m_stream->Message(Line(message));
    // A runaway stylesheet can raise the same message without end; the
    // first few hundred say what went wrong, the last few how it ended.
    constexpr std::size_t kMaxMessages = 200;
    ++m_count;
    if (m_last.size() == kDescribedAtEachEnd) m_last.pop_front();
    m_last.push_back(message);
    if (m_messages.size() < kMaxMessages) m_messages.push_back(std::move(message));
  } catch (...) {
  }
}

void XmlErrorCollector::AppendGeneric(const char* text) noexcept {
  try {
    m_pending += text;
    std::size_t start = 0;
    for (std::size_t nl = m_pending.find('\n'); nl != std::string::npos;
         nl = m_pending.find('\n', start)) {
      std::string line = WithoutTrailingBreaks(m_pending.substr(start, nl - start));
      // libxslt heads a message without a node by a line that only says "error".
      if (!line.empty() && line != "error") Append({true, 0, 0, {}, 0, 0, std::move(line)});
      start = nl + 1;
    }
    m_pending.erase(0, start);
  } catch (...) {
  }
}

void XmlErrorCollector::FlushPending() noexcept {
  try {
    if (!m_pending.empty()) Append({true, 0, 0, {}, 0, 0, WithoutTrailingBreaks(m_pending)});
    m_pending.clear();
  } catch (...) {
  }
}

}  // namespace xmlpellor::xml
