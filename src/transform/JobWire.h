#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RuntimeError.h"
#include "transform/Job.h"

namespace xmlpellor::transform::wire {

// The messages between the window and the XSLT engine's process, one per
// channel message: a version byte, a tag, then the fields (numbers as 8
// little-endian bytes, texts with their length first). One request goes
// in; what the job does and then its one outcome come out.
inline constexpr std::uint8_t kVersion = 3;

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
};

// What the engine needs beside the request.
struct EngineRequest {
  JobRequest job;
  std::uint64_t memoryLimit = 0;  // bytes; 0: none
};

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

std::string EncodeRequest(const EngineRequest& request);
EngineRequest DecodeRequest(std::string_view message);

// The declared parameters, as many as fit in one message with room to
// spare; the rest are left out.
std::string EncodeParameters(const std::vector<xml::DeclaredParameter>& declared);
std::vector<xml::DeclaredParameter> DecodeParameters(Reader& reader);

std::string EncodeError(const ErrorRecord& record);
ErrorRecord DecodeError(Reader& reader);

}  // namespace xmlpellor::transform::wire
