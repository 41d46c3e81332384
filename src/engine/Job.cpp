#include "engine/Job.h"

#include <sys/resource.h>

#include <libxml/tree.h>

#include "engine/Confinement.h"
#include "platform/RuntimeError.h"
#include "platform/Sanitizer.h"
#include "platform/Worker.h"
#include "platform/xml/DomDocument.h"

namespace xmlpellor::engine {

namespace {

constexpr const char* kXsltNamespace = "http://www.w3.org/1999/XSL/Transform";
constexpr const char* kXsltNamespaceDeclaration =
    "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"";

// Writes each name/value pair into the first xsl:param of that name, in
// document order. The name is looked up as data: it never becomes part of a
// query, so no name can select anything but an xsl:param element.
void SetParameters(xml::DOMDocument& xslDoc, const std::vector<std::string>& params) {
  xml::DOMNode param;
  for (std::size_t i = 0; i < params.size(); i += 2) {
    const std::string& name = params[i];
    if (xmlValidateQName(reinterpret_cast<const xmlChar*>(name.c_str()), 0) != 0) {
      throw RuntimeError(xml::kXmlComponentError,
                         "The parameter name '" + name + "' is not a valid XML name",
                         xml::kXmlComponentSource);
    }
    param = xslDoc.firstElementWithAttribute(kXsltNamespace, "param", "name", name);
    if (i + 1 >= params.size())
      throw RuntimeError(err::kSubscriptOutOfRange, "Subscript out of range");
    param.text(params[i + 1]);
  }
}

// Loads `doc` from `location` for reading only, without validation; when it
// does not load, `result` says why.
bool Load(xml::DOMDocument& doc, const std::string& location, JobResult& result) {
  doc.async(false);
  doc.validateOnParse(false);
  if (doc.load(location)) return true;
  result.notLoaded = doc.parseError();
  result.notLoadedLocation = location;
  return false;
}

}  // namespace

std::string ConfineForJob(const JobRequest& request, std::uint64_t memoryLimit) {
  // The data segment (heap and thread stacks, which is what a transformation
  // grows) may take the limit, beside the job's deep stack and the
  // libraries' own. A sanitizer's shadow memory counts as data too, so there
  // the limit is left to the sanitizer.
  std::string limited;
  if (memoryLimit != 0 && !kUnderAddressSanitizer) {
    const rlim_t data =
        static_cast<rlim_t>(memoryLimit) + IWorker::kStackBytes + (rlim_t{64} << 20);
    const rlimit bounds{data, data};
    if (::setrlimit(RLIMIT_DATA, &bounds) == 0) limited = ", memory limited";
  }
  return Confine(request.reads).Describe() + limited;
}

JobResult RunJob(const JobRequest& request, JobEvents& events) {
  const xml::XmlJobScope scope(request.reads, events);
  JobResult result;

  const bool profiled = request.instrument == wire::Instrument::kProfile;
  xml::TransformProfile profile;
  xml::Stopwatch stopwatch;

  events.Phase(JobPhase::kReadingDocument);
  xml::DOMDocument xmlDoc;
  xmlDoc.compactText(true);
  if (!Load(xmlDoc, request.xml, result)) return result;
  profile.documentMicros = stopwatch.Lap();

  events.Phase(JobPhase::kReadingStylesheet);
  xml::DOMDocument xslDoc;
  if (!Load(xslDoc, request.xsl, result)) return result;
  profile.stylesheetMicros = stopwatch.Lap();
  xslDoc.setProperty("SelectionLanguage", "XPath");
  xslDoc.setProperty("SelectionNamespaces", kXsltNamespaceDeclaration);
  if (request.paramsNotArray) throw RuntimeError(err::kTypeMismatch, "Type mismatch");
  SetParameters(xslDoc, request.params);

  xml::OutputFormat format;
  xml::OutputDocuments documents{request.maxDocuments, request.maxDocumentBytes, {}};
  const bool origins = request.instrument == wire::Instrument::kOrigin;
  result.output = std::move(xmlDoc).transformNode(
      xslDoc.documentElement(), &format, request.globals, &documents, profiled ? &profile : nullptr,
      origins ? &result.origins : nullptr);
  if (profiled) result.profile = std::move(profile);
  result.kind = format.kind;
  result.documents = std::move(documents.files);
  result.encoding = format.encoding;
  return result;
}

}  // namespace xmlpellor::engine
