#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/ReadPolicy.h"
#include "platform/RuntimeError.h"
#include "platform/xml/OutputDocuments.h"
#include "platform/xml/OutputFormat.h"
#include "platform/xml/Origins.h"
#include "platform/xml/ParseError.h"
#include "platform/xml/Profile.h"
#include "platform/xml/StylesheetParameter.h"
#include "platform/xml/XmlJob.h"

// The one door between the window and the XSLT engine's process: what goes
// in (one request), what comes out (what the job does, then its outcome),
// and how each of them is written on the channel. Both sides link this pair
// and nothing else of each other.
namespace xmlpellor::wire {

using JobPhase = xml::XmlPhase;

// A second run of a job that watches what the first did not: where each
// element came from, or where the time went.
enum class Instrument : std::uint8_t { kNone = 0, kOrigin = 1, kProfile = 2 };

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
  // What the job may read: the one policy of this Apply, as the window built
  // it (IEngine::PolicyFor) and gave its page too. A request that names
  // none reads nothing, not even its own document.
  ReadPolicy reads;
  // Global parameters set through libxslt, as xsltproc's --stringparam and
  // --param set them: apart from `params`, which writes into the stylesheet.
  std::vector<xml::GlobalParameter> globals = {};
  // How many files, and how many bytes in all, the stylesheet may write
  // beside its output.
  std::uint64_t maxDocuments = xml::kDefaultMaxOutputDocuments;
  std::uint64_t maxDocumentBytes = xml::kDefaultMaxOutputBytes;
  Instrument instrument = Instrument::kNone;
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
  // For a job run with Instrument::kProfile, by an engine that can.
  std::optional<xml::TransformProfile> profile;
  // With Instrument::kOrigin, where each element of the output came from;
  // empty when the engine cannot tell.
  xml::OriginTable origins;
};

// What a job tells as it runs, on the thread that runs it.
using JobEvents = xml::XmlJobObserver;

// One message per channel message: a version byte, a tag, then the fields
// (numbers as 8 little-endian bytes, texts with their length first).
inline constexpr std::uint8_t kVersion = 5;

enum class Tag : std::uint8_t {
  kRequest = 1,
  // From the engine while it runs.
  kConfined,   // text: the confinement that was applied
  kPhase,      // number: JobPhase
  kReading,    // text: a file the job reads
  kMessage,    // text: one line the transformation said
  kOverLimit,  // the engine could not get memory within its limit
  kProgress,   // numbers: bytes read of a file, its size
  // The outcome.
  kOutput,     // numbers: output kind, size of the output in the shared file; text: its encoding
  kNotLoaded,  // number: line; texts: reason, location
  kFailed,     // an ErrorRecord
  // Before kOutput, one for each file the stylesheet wrote: text: its path
  // (see xml::IsOutputPath); number: its size. Its bytes follow the
  // output's in the shared file, in the order of these messages.
  kDocument,
  // From the engine once the stylesheet has compiled.
  kParameters,  // number: count; then texts: name, default, for each
  // Before kOutput, for a profiled job: numbers: microseconds reading the
  // document, reading the stylesheet, compiling, transforming.
  kProfileTimes,
  // After kProfileTimes, one for each template: texts: match, name, mode,
  // file; numbers: line, calls, microseconds of its own, with its callees.
  kProfileTemplate,
  // Before kOutput of a job run for origins, in as many messages as they
  // take, each a count and then the entries in the table's order.
  kOriginTemplates,     // texts: match, name, mode, priority, file; number: line
  kOriginInstructions,  // texts: name, file; number: line
  kOriginSources,       // texts: path, file; number: line
  kOrigins,  // numbers: element, part; text: label; numbers: template, instruction, source (+1)
};

// What the engine needs beside the request.
struct EngineRequest {
  JobRequest job;
  std::uint64_t memoryLimit = 0;  // bytes; 0: none
};

// What the engine says, one kind of value for each tag.
struct Confined {
  std::string description;
};
struct Phase {
  JobPhase phase = JobPhase::kReadingDocument;
};
struct Reading {
  std::string path;
};
struct Progress {
  std::uint64_t done = 0;
  std::uint64_t total = 0;
};
struct Message {
  std::string line;
};
struct OverLimit {};
struct Parameters {
  std::vector<xml::DeclaredParameter> declared;
};
struct Document {
  std::string path;
  std::uint64_t size = 0;
};
struct Output {
  xml::OutputKind kind = xml::OutputKind::kHtml;
  std::uint64_t size = 0;
  std::string encoding;
};
struct NotLoaded {
  xml::ParseError error;
  std::string location;
};
struct Failed {
  ErrorRecord record;
};
struct ProfileTimes {
  xml::TransformProfile times;  // without templates
};
struct ProfileTemplate {
  xml::TemplateProfile profile;
};
// A piece of a job's origin table: entries to append to each list.
struct OriginPiece {
  xml::OriginTable entries;
};
using EngineMessage =
    std::variant<Confined, Phase, Reading, Progress, Message, OverLimit, Parameters, Document,
                 Output, NotLoaded, Failed, ProfileTimes, ProfileTemplate, OriginPiece>;

class Writer {
 public:
  explicit Writer(Tag tag);
  Writer& Number(std::uint64_t value);
  Writer& Text(std::string_view value);
  const std::string& Bytes() const noexcept { return m_bytes; }

 private:
  std::string m_bytes;
};

// Reads the fields of one message in order; a message that ends early or
// comes from another version is a RuntimeError.
class Reader {
 public:
  explicit Reader(std::string_view message);
  Tag tag() const noexcept { return m_tag; }
  std::uint64_t Number();
  std::string Text();

 private:
  std::string_view m_rest;
  Tag m_tag{};
};

// An unrestricted read policy never crosses to the engine: encoding one is
// a RuntimeError, as is a request whose places are not absolute paths.
std::string EncodeRequest(const EngineRequest& request);
EngineRequest DecodeRequest(std::string_view message);

std::string Encode(const Confined& message);
std::string Encode(const Phase& message);
std::string Encode(const Reading& message);
std::string Encode(const Progress& message);
// A line longer than fits in one message is cut.
std::string Encode(const Message& message);
std::string Encode(const OverLimit& message);
// As many of the declared parameters as fit in one message with room to
// spare; the rest are left out.
std::string Encode(const Parameters& message);
std::string Encode(const Document& message);
std::string Encode(const Output& message);
std::string Encode(const NotLoaded& message);
std::string Encode(const Failed& message);
std::string Encode(const ProfileTimes& message);
// Texts longer than fit in one message are cut.
std::string Encode(const ProfileTemplate& message);
// A profile as the messages that carry it, in the order they go: the times,
// then one for each template.
std::vector<std::string> EncodeProfile(const xml::TransformProfile& profile);
// The whole table, in pieces that each fit in a message.
std::vector<std::string> EncodeOrigins(const xml::OriginTable& table);
// Appends a piece to `table`; one that names an entry the table does not
// have (once the piece is in) is a RuntimeError.
void AppendOrigins(xml::OriginTable& table, OriginPiece&& piece);
// Any message of the engine's; one that cannot be read, or that names an
// output kind this side does not know, is a RuntimeError.
EngineMessage Decode(std::string_view message);

}  // namespace xmlpellor::wire
