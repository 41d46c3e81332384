#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/xml/OutputDocuments.h"
#include "platform/xml/OutputFormat.h"
#include "platform/xml/ParseError.h"
#include "platform/xml/StylesheetParameter.h"
#include "platform/xml/XmlJob.h"

namespace xmlpellor::transform {

using JobPhase = xml::XmlPhase;

// One transformation: what the window asks of the XSLT engine.
struct JobRequest {
  std::string xml;
  std::string xsl;
  // Alternating names and values, as the caller gave them (an odd count
  // fails where the missing value is needed).
  std::vector<std::string> params;
  // The caller's parameter argument was not an array: the job fails where
  // it would set the parameters.
  bool paramsNotArray = false;
  // When set, the job may read only files in `readableFolders`; a request
  // reads nothing unless it says what.
  bool restrictReads = true;
  std::vector<std::string> readableFolders;
  // Global parameters set through libxslt, as xsltproc's --stringparam and
  // --param set them: apart from `params`, which writes into the stylesheet.
  std::vector<xml::GlobalParameter> globals = {};
  // How many files, and how many bytes in all, the stylesheet may write
  // beside its output.
  std::uint64_t maxDocuments = xml::kDefaultMaxOutputDocuments;
  std::uint64_t maxDocumentBytes = xml::kDefaultMaxOutputBytes;
};

// What a job that ran to its end gives back: the output and its kind, or
// why a document did not load.
struct JobResult {
  std::string output;
  xml::OutputKind kind = xml::OutputKind::kHtml;
  std::string encoding = "UTF-8";  // of the output's bytes
  // Set when a document did not load, with the location it was loaded from.
  std::optional<xml::ParseError> notLoaded;
  std::string notLoadedLocation;
  // The files the stylesheet wrote beside the output, in the order written.
  std::vector<xml::OutputDocument> documents;
};

// What a job tells as it runs, on the thread that runs it.
using JobEvents = xml::XmlJobObserver;

// Puts each message of a job on stderr as it comes, one line each, as
// xsltproc prints it: a stylesheet's xsl:message is how its author follows
// what it does, also in a run that fails or is stopped later. Control
// characters are made visible: the terminal is the user's, not the job's.
class PrintedMessages : public JobEvents {
 public:
  void Message(const std::string& line) override;
};

// The library part of a transformation: loads the document, then the
// stylesheet, sets the parameters, compiles, transforms and serialises.
// A failure of the libraries is a RuntimeError. Runs in the XSLT engine's
// process; needs a deep stack (see IWorker::kStackBytes).
JobResult RunJob(const JobRequest& request, JobEvents& events);

// Limits the calling process's memory to `memoryLimit` bytes (0: no limit)
// and confines it for good to what `request` may do: no writing of files,
// no network, no programs, and reads only as the request allows. Call it
// while the process has one thread, before anything the user named is read.
// Returns what was applied, in words.
std::string ConfineForJob(const JobRequest& request, std::uint64_t memoryLimit);

}  // namespace xmlpellor::transform
