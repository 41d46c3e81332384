#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/xml/StylesheetParameter.h"

namespace xmlpellor {
class ReadPolicy;
}

namespace xmlpellor::xml {

// What a transformation is doing.
enum class XmlPhase { kReadingDocument, kReadingStylesheet, kCompiling, kTransforming, kWriting };

// Hears what a running job does, as it happens, on the job's thread.
class XmlJobObserver {
 public:
  virtual ~XmlJobObserver() = default;
  virtual void Phase(XmlPhase) {}
  // A file the job reads (after the read policy let it).
  virtual void Reading(const std::string& /*path*/) {}
  // How much of the document has been read, of its size in bytes.
  virtual void Progress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
  // A message of the transformation (xsl:message, a warning), one line.
  virtual void Message(const std::string& /*line*/) {}
  // The engine that runs the job ("Saxon-HE"), said before anything else.
  virtual void Engine(const std::string& /*name*/) {}
  // The global parameters of the stylesheet, once it has compiled.
  virtual void Parameters(const std::vector<DeclaredParameter>& /*declared*/) {}
};

// For its lifetime, every file the libraries open on this thread is checked
// against `policy` and told to `observer`, and so is what the
// transformation says. Scopes nest; the innermost holds.
class XmlJobScope {
 public:
  XmlJobScope(const ReadPolicy& policy, XmlJobObserver& observer) noexcept;
  ~XmlJobScope();
  XmlJobScope(const XmlJobScope&) = delete;
  XmlJobScope& operator=(const XmlJobScope&) = delete;

  static XmlJobScope* Current() noexcept;
  const ReadPolicy& policy;
  XmlJobObserver& observer;

 private:
  XmlJobScope* m_outer;
};

}  // namespace xmlpellor::xml
