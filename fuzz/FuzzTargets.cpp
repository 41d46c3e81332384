#include "FuzzTargets.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "error_handling/ErrorHandling.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Worker.h"
#include "engine/Job.h"
#include "platform/ReadPolicy.h"
#include "platform/xml/DomDocument.h"
#include "platform/xml/XmlJob.h"
#include "transform/Engine.h"
#include "transform/Transform.h"

namespace xmlpellor::fuzz {

namespace {

// The report's collaborators, all in memory: a fuzzing run must not write a
// log beside the executable or open a window.
class QuietApplication final : public IApplication {
 public:
  std::string Title() const override { return "Yab Xml Pellor"; }
  std::string Path() const override { return "/nonexistent"; }
  std::int32_t LogMode() const override { return 0; }
  void StartLogging(const std::string&, std::int32_t) override {}
  void LogEvent(const std::string&, std::int32_t) override {}
};

class CountingMessageBox final : public IMessageBox {
 public:
  int shown = 0;
  std::string last;
  int Show(const std::string& prompt, std::int32_t, const std::string&, const std::string&,
           std::int32_t) override {
    ++shown;
    last = prompt;
    return 1;
  }
};

class EpochClock final : public IClock {
 public:
  std::tm Now() const override { return std::tm{}; }
};

// Runs each job in this process under a policy that reads anything: the
// inputs are no user's and live where no job's folder is (memfds under
// /proc).
class FuzzEngine final : public transform::IEngine {
 public:
  transform::JobResult Run(const transform::JobRequest& request,
                           transform::JobEvents& events) override {
    return engine::RunJob(request, events);
  }
  ReadPolicy PolicyFor(const std::string&, const std::string&) const override {
    return ReadPolicy::Unrestricted();
  }
};

struct Reports {
  QuietApplication app;
  CountingMessageBox box;
  EpochClock clock;
  ErrorHandling errors{app, box, clock};
  BlockingWorker worker;
  FuzzEngine engine;
};

// Set-up failures of the harness itself, not findings.
[[noreturn]] void Broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz harness: %s %s\n", what, detail.c_str());
  std::abort();
}

std::string Finding(const char* what, const std::string& detail) {
  return detail.empty() ? std::string(what) : std::string(what) + ": " + detail;
}

// An in-memory file the parser can open by name; its content is replaced
// for every input, so nothing touches the disk.
class MemoryFile {
 public:
  explicit MemoryFile(const char* name) : m_fd(::memfd_create(name, MFD_CLOEXEC)) {
    if (!m_fd) Broken("memfd_create failed", name);
    m_path = "/proc/self/fd/" + std::to_string(m_fd.get());
  }
  const std::string& Put(std::string_view bytes) {
    if (::ftruncate(m_fd.get(), 0) != 0) Broken("ftruncate failed", m_path);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n =
          ::pwrite(m_fd.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
      if (n <= 0) Broken("pwrite failed", m_path);
      done += static_cast<std::size_t>(n);
    }
    return m_path;
  }
  const std::string& path() const { return m_path; }

 private:
  FileDescriptor m_fd;
  std::string m_path;
};

constexpr const char* kDocument =
    "<?xml version=\"1.0\"?>\n"
    "<orders><order id=\"1\" customer=\"b\"><item price=\"2.5\">pen</item></order>"
    "<order id=\"2\" customer=\"a\"><item price=\"10\">ink &amp; paper</item></order></orders>\n";

// Stylesheets that between them walk the whole tree, copy it, sort, group
// with a key and number: the document-side inputs meet most of the
// processor this way.
constexpr const char* kStylesheets[] = {
    R"xsl(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="@*|node()"><xsl:copy><xsl:apply-templates select="@*|node()"/></xsl:copy></xsl:template>
</xsl:stylesheet>)xsl",
    R"xsl(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html"/>
  <xsl:key name="by-name" match="*" use="name()"/>
  <xsl:template match="/">
    <html><body><ul>
      <xsl:for-each select="//*[generate-id() = generate-id(key('by-name', name())[1])]">
        <xsl:sort select="name()"/>
        <li><xsl:value-of select="name()"/>: <xsl:value-of select="count(key('by-name', name()))"/></li>
      </xsl:for-each>
    </ul></body></html>
  </xsl:template>
</xsl:stylesheet>)xsl",
    R"xsl(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:for-each select="//@*|//text()">
      <xsl:sort select="." data-type="number"/>
      <xsl:number level="any" format="1. "/><xsl:value-of select="normalize-space(.)"/>
      <xsl:text>&#10;</xsl:text>
    </xsl:for-each>
  </xsl:template>
</xsl:stylesheet>)xsl",
};
constexpr std::size_t kStylesheetCount = sizeof kStylesheets / sizeof kStylesheets[0];

struct Files {
  MemoryFile input{"fuzz-input"};
  MemoryFile document{"fuzz-document"};
  MemoryFile stylesheets[kStylesheetCount] = {MemoryFile("fuzz-xsl-0"), MemoryFile("fuzz-xsl-1"),
                                              MemoryFile("fuzz-xsl-2")};
  Files() {
    document.Put(kDocument);
    for (std::size_t i = 0; i < kStylesheetCount; ++i) stylesheets[i].Put(kStylesheets[i]);
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

}  // namespace

std::string LoadOne(const std::uint8_t* data, std::size_t size) {
  const std::string& path = TheFiles().input.Put({reinterpret_cast<const char*>(data), size});
  Reports r;
  // Outside a job the loader reads nothing: the input is read as a job of
  // the fuzz engine's reads it.
  xml::XmlJobObserver quiet;
  const ReadPolicy anything = r.engine.PolicyFor(path, path);
  const xml::XmlJobScope scope(anything, quiet);
  xml::DOMDocument doc;
  doc.async(false);
  doc.validateOnParse(false);
  if (doc.load(path)) {
    if (doc.documentElement().IsNothing())
      return Finding("a loaded document has no root element", "");
    return {};
  }
  const Variant text = transform::XMLError(r.errors, doc.parseError(), path);
  if (r.box.shown != 0) return Finding("the parse-error text was reported", r.box.last);
  const auto* s = std::get_if<std::string>(&text);
  if (s == nullptr) return Finding("the parse-error text is not text", "");
  const std::string head =
      "Error in line " + std::to_string(doc.parseError().Line) + " of " + path + "<br />";
  if (s->rfind(head, 0) != 0)
    return Finding("the parse-error text does not begin as it should", *s);
  if (s->find('<', head.size()) != std::string::npos)
    return Finding("the reason carries markup", *s);
  return {};
}

std::string TransformOne(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  Files& files = TheFiles();
  const std::size_t role = data[0] % (kStylesheetCount + 1);
  const std::string& input = files.input.Put({reinterpret_cast<const char*>(data + 1), size - 1});
  Reports r;
  const Variant result =
      role < kStylesheetCount
          ? transform::CreateHTMLFromXMLXSL(r.errors, r.worker, r.engine, input,
                                            files.stylesheets[role].path(), {})
          : transform::CreateHTMLFromXMLXSL(r.errors, r.worker, r.engine, files.document.path(), input, {});
  if (r.box.shown > 1) return Finding("one transformation gave more than one report", r.box.last);
  const bool text = std::holds_alternative<std::string>(result);
  if (text == (r.box.shown == 1)) {
    return Finding(text ? "a report and a result" : "neither a result nor a report", r.box.last);
  }
  return {};
}

}  // namespace xmlpellor::fuzz
