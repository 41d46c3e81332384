#include "transform/EngineChoice.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <utility>

#include "platform/LocalPath.h"
#include "platform/RuntimeError.h"
#include "platform/xml/DomDocument.h"
#include "platform/ReadPolicy.h"
#include "platform/xml/XmlErrorCollector.h"
#include "platform/xml/XmlPtr.h"

#include <libxml/parser.h>

namespace xmlpellor::transform {

namespace {

constexpr const char* kXsltNamespace = "http://www.w3.org/1999/XSL/Transform";
// A root further in than this (a prolog of comments, a long internal DTD) is
// taken for none: the stylesheet runs in libxslt, which says what it finds.
constexpr std::uint64_t kMostRead = 1 << 20;

// Catches the root's start tag and stops the parser there.
struct RootVersion {
  std::string version;
  bool found = false;
};

void OnStartElement(void* context, const xmlChar* local, const xmlChar* /*prefix*/,
                    const xmlChar* uri, int /*namespaces*/, const xmlChar** /*declared*/,
                    int attributeCount, int /*defaulted*/, const xmlChar** attributes) {
  auto* parser = static_cast<xmlParserCtxt*>(context);
  auto* root = static_cast<RootVersion*>(parser->_private);
  const bool xslt = uri != nullptr && xmlStrEqual(uri, BAD_CAST kXsltNamespace);
  const bool declaration =
      xslt && (xmlStrEqual(local, BAD_CAST "stylesheet") ||
               xmlStrEqual(local, BAD_CAST "transform") || xmlStrEqual(local, BAD_CAST "package"));
  // Each attribute is five pointers: local name, prefix, namespace, value and its end.
  for (int i = 0; i < attributeCount; ++i) {
    const xmlChar** attribute = attributes + 5 * i;
    const bool inXslt =
        attribute[2] != nullptr && xmlStrEqual(attribute[2], BAD_CAST kXsltNamespace);
    if (xmlStrEqual(attribute[0], BAD_CAST "version") && inXslt != declaration) {
      root->version.assign(reinterpret_cast<const char*>(attribute[3]),
                           static_cast<std::size_t>(attribute[4] - attribute[3]));
    }
  }
  root->found = true;
  xmlStopParser(parser);
}

}  // namespace

std::optional<XsltEngine> ParseXsltEngine(std::string_view text) {
  if (text == "auto") return XsltEngine::kAuto;
  if (text == "libxslt") return XsltEngine::kLibxslt;
  if (text == "saxon") return XsltEngine::kSaxon;
  return std::nullopt;
}

const char* EngineName(XsltEngine engine) {
  return engine == XsltEngine::kSaxon ? "Saxon-HE" : "libxslt";
}

std::string DeclaredXsltVersion(const std::string& xsl, const ReadPolicy& policy) {
  std::string path;
  try {
    path = LocalPathOf(xsl);
  } catch (const RuntimeError&) {
    return {};
  }
  const OpenedFile opened = policy.Open(path);
  if (opened.outcome != OpenedFile::Outcome::kOpened) return {};
  // The engine reports what is wrong with the file; this read says nothing.
  const xml::XmlErrorCollector quiet;
  xmlSAXHandler handler{};
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = &OnStartElement;
  // No DTD, no entity and nothing from the network: the root's start tag
  // is all that is read, so what follows it need not even be well-formed.
  xml::XmlPtr<xmlParserCtxt> parser(
      xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, path.c_str()));
  if (!parser) return {};
  xmlCtxtUseOptions(parser.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  RootVersion root;
  parser->_private = &root;
  // The handler is given the parser itself, to stop it.
  parser->userData = parser.get();
  char chunk[4096];
  for (std::uint64_t total = 0; !root.found && total < kMostRead;) {
    const ssize_t n = ::read(opened.fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<std::uint64_t>(n);
    if (xmlParseChunk(parser.get(), chunk, static_cast<int>(n), 0) != 0 && !root.found) break;
  }
  // With no handler for them, libxml2 keeps an internal subset's entity
  // declarations in a document of its own, which the parser does not free.
  const xml::XmlPtr<xmlDoc> declarations(std::exchange(parser->myDoc, nullptr));
  return root.version;
}

XsltEngine EngineFor(XsltEngine choice, std::string_view version) {
  if (choice != XsltEngine::kAuto) return choice;
  const auto first = version.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return XsltEngine::kLibxslt;
  version.remove_prefix(first);
  double number = 0;
  const auto [end, error] =
      std::from_chars(version.data(), version.data() + version.size(), number);
  const std::string_view rest = version.substr(static_cast<std::size_t>(end - version.data()));
  if (error != std::errc() || rest.find_first_not_of(" \t\r\n") != std::string_view::npos) {
    return XsltEngine::kLibxslt;
  }
  return number >= 2.0 ? XsltEngine::kSaxon : XsltEngine::kLibxslt;
}

namespace {

bool Readable(const std::string& xsl) noexcept {
  try {
    return ::access(LocalPathOf(xsl).c_str(), R_OK) == 0;
  } catch (...) {
    return false;
  }
}

std::vector<std::string> SaxonArguments(const EngineSettings& settings) {
  const std::uint64_t limit =
      settings.memoryLimit != 0 ? settings.memoryLimit : DefaultMemoryLimit();
  return {"--memory-limit=" + std::to_string(limit)};
}

}  // namespace

ChoosingEngine::ChoosingEngine(IProcessLauncher& launcher, std::string libxsltProgram,
                               std::string saxonProgram, EngineSettings settings)
    : m_settings(settings),
      m_saxonProgram(saxonProgram),
      m_libxslt(launcher, std::move(libxsltProgram), settings),
      m_saxon(launcher, std::move(saxonProgram), settings, SaxonArguments(settings)) {}

XsltEngine ChoosingEngine::Choose(const std::string& xml, const std::string& xsl) const {
  if (m_settings.xsltEngine != XsltEngine::kAuto) return m_settings.xsltEngine;
  const ReadPolicy policy = JobReadPolicy(xml, xsl, m_settings);
  return EngineFor(XsltEngine::kAuto, DeclaredXsltVersion(xsl, policy));
}

void ChoosingEngine::Prepare(const std::string& xsl) noexcept {
  try {
    if (Choose({}, xsl) == XsltEngine::kSaxon) {
      if (::access(m_saxonProgram.c_str(), X_OK) == 0) m_saxon.Prepare();
    } else {
      // A waiting Saxon engine holds tens of megabytes; once the box names
      // a stylesheet for libxslt it has no job to come. A path half typed
      // or not there yet says nothing, and keeps it.
      if (Readable(xsl)) m_saxon.Release();
      m_libxslt.Prepare();
    }
  } catch (...) {
    // The Apply tries again and reports what keeps the engine from starting.
  }
}

JobResult ChoosingEngine::Run(const JobRequest& request, JobEvents& events) {
  const XsltEngine engine = Choose(request.xml, request.xsl);
  events.Engine(EngineName(engine));
  if (m_settings.verbose)
    std::fprintf(stderr, "xmlpellor: the stylesheet runs in %s\n", EngineName(engine));
  if (engine == XsltEngine::kLibxslt) return m_libxslt.Run(request, events);
  if (::access(m_saxonProgram.c_str(), X_OK) != 0) {
    throw RuntimeError(xml::kXmlComponentError,
                       "XSLT 2.0 and 3.0 stylesheets run in Saxon-HE, and this XMLPellor was "
                       "built without its Saxon engine (" +
                           m_saxonProgram +
                           "): build it with a JDK (default-jdk-headless) and install the packages "
                           "libsaxonhe-java and default-jre-headless",
                       "Saxon-HE");
  }
  return m_saxon.Run(request, events);
}

ReadPolicy ChoosingEngine::PolicyFor(const std::string& xml, const std::string& xsl) const {
  return m_libxslt.PolicyFor(xml, xsl);
}

}  // namespace xmlpellor::transform
