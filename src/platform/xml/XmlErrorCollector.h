#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include <libxslt/xsltInternals.h>

#include "platform/xml/XmlJob.h"

namespace xmlpellor::xml {

// One message libxml2 or libxslt raised. `line` and `column` are 0 when the
// library gave none.
struct XmlMessage {
  bool error = true;  // false for a warning
  int domain = 0;     // libxml2's xmlErrorDomain, 0 for libxslt's messages
  int code = 0;       // libxml2's xmlParserErrors
  std::string file;
  int line = 0;
  int column = 0;
  std::string text;  // without the trailing line break
};

// Catches every message libxml2 and libxslt raise on this thread while it
// lives, instead of letting them reach stderr, and puts the handlers that
// were installed before back when it goes. One collector per operation
// (a load, a query, a transformation); collectors nest.
class XmlErrorCollector {
 public:
  XmlErrorCollector() noexcept;
  ~XmlErrorCollector();
  XmlErrorCollector(const XmlErrorCollector&) = delete;
  XmlErrorCollector& operator=(const XmlErrorCollector&) = delete;

  // libxslt reports through the transformation context, not the globals.
  void Attach(xsltTransformContext* context) noexcept;

  // The collector messages go to right now on this thread, if any.
  static XmlErrorCollector* Current() noexcept;

  // A refusal by the security preferences (a file write, a network read)
  // or by the read policy, at `line` of the input being read when known.
  // The same refusal is kept once, and `advice` (how to allow it) follows
  // only the first refusal that has any: a stylesheet that imports ten files
  // from a folder that is not allowed should not say so ten times over.
  void RecordRefusal(std::string what, int line = 0, const std::string& advice = {}) noexcept;
  // An input the loader could not read, said as libxml2 itself would say it
  // (`code` one of its xmlParserErrors).
  void RecordLoadFailure(int code, bool error, std::string what, int line) noexcept;
  bool Refused() const noexcept { return m_refused; }
  // A warning of the program's own about the operation, told and kept like
  // the libraries' messages.
  void Warn(std::string text) noexcept;

  const std::vector<XmlMessage>& Messages() noexcept;
  // The first error, else the first message of any kind; null when none.
  const XmlMessage* FirstError() noexcept;
  bool Contains(const std::string& text) noexcept;
  // Each message on its own line, with file and line where known: the
  // first and the last few, with how many were left out between.
  std::string Describe() noexcept;
  // From now on, every message also goes to `observer` as it comes, one
  // line each and all of them: a stylesheet's xsl:message is how its author
  // follows what it does, also in a run that fails later.
  void StreamTo(XmlJobObserver* observer) noexcept { m_stream = observer; }

  // Entry points handed to the libraries.
  static void OnStructured(void* self, xmlError* error) noexcept;
  static void OnGeneric(void* self, const char* format, ...) noexcept;

 private:
  void Append(XmlMessage message) noexcept;
  void AppendGeneric(const char* text) noexcept;
  void FlushPending() noexcept;

  std::vector<XmlMessage> m_messages;  // the first ones
  std::deque<XmlMessage> m_last;       // and the last ones
  std::size_t m_count = 0;
  XmlJobObserver* m_stream = nullptr;
  std::string m_pending;  // generic messages arrive in pieces until a line break
  bool m_refused = false;
  bool m_advised = false;
  std::vector<std::string> m_refusals;

  XmlErrorCollector* m_outer;
  xmlStructuredErrorFunc m_savedStructured;
  void* m_savedStructuredContext;
  xmlGenericErrorFunc m_savedGeneric;
  void* m_savedGenericContext;
  xmlGenericErrorFunc m_savedXsltGeneric;
  void* m_savedXsltGenericContext;
};

}  // namespace xmlpellor::xml
