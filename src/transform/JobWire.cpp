#include "transform/JobWire.h"

#include "platform/Process.h"

namespace xmlpellor::transform::wire {

namespace {

[[noreturn]] void Malformed() {
  throw RuntimeError(err::kInternalError, "The XSLT engine sent a message that cannot be read");
}

}  // namespace

Writer::Writer(Tag tag) {
  m_bytes.push_back(static_cast<char>(kVersion));
  m_bytes.push_back(static_cast<char>(tag));
}

Writer& Writer::Number(std::uint64_t value) {
  for (int i = 0; i < 8; ++i) m_bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return *this;
}

Writer& Writer::Text(std::string_view value) {
  Number(value.size());
  m_bytes.append(value);
  return *this;
}

Reader::Reader(std::string_view message) : m_rest(message) {
  if (m_rest.size() < 2 || static_cast<std::uint8_t>(m_rest[0]) != kVersion) Malformed();
  m_tag = static_cast<Tag>(m_rest[1]);
  m_rest.remove_prefix(2);
}

std::uint64_t Reader::Number() {
  if (m_rest.size() < 8) Malformed();
  std::uint64_t value = 0;
  for (int i = 0; i < 8; ++i) {
    value |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(m_rest[i])) << (8 * i);
  }
  m_rest.remove_prefix(8);
  return value;
}

std::string Reader::Text() {
  const std::uint64_t size = Number();
  if (size > m_rest.size()) Malformed();
  std::string text(m_rest.substr(0, size));
  m_rest.remove_prefix(size);
  return text;
}

std::string EncodeRequest(const EngineRequest& request) {
  const JobRequest& job = request.job;
  Writer writer(Tag::kRequest);
  writer.Text(job.xml).Text(job.xsl).Number(job.paramsNotArray ? 1 : 0).Number(job.params.size());
  for (const auto& param : job.params) writer.Text(param);
  writer.Number(job.restrictReads ? 1 : 0).Number(job.readableFolders.size());
  for (const auto& folder : job.readableFolders) writer.Text(folder);
  writer.Number(request.memoryLimit).Number(job.maxDocuments).Number(job.maxDocumentBytes);
  writer.Number(job.globals.size());
  for (const auto& global : job.globals) {
    writer.Text(global.name).Text(global.value).Number(global.xpath ? 1 : 0);
  }
  return writer.Bytes();
}

EngineRequest DecodeRequest(std::string_view message) {
  Reader reader(message);
  if (reader.tag() != Tag::kRequest) Malformed();
  EngineRequest request;
  JobRequest& job = request.job;
  job.xml = reader.Text();
  job.xsl = reader.Text();
  job.paramsNotArray = reader.Number() != 0;
  for (std::uint64_t n = reader.Number(); n > 0; --n) job.params.push_back(reader.Text());
  job.restrictReads = reader.Number() != 0;
  for (std::uint64_t n = reader.Number(); n > 0; --n) job.readableFolders.push_back(reader.Text());
  request.memoryLimit = reader.Number();
  job.maxDocuments = reader.Number();
  job.maxDocumentBytes = reader.Number();
  for (std::uint64_t n = reader.Number(); n > 0; --n) {
    xml::GlobalParameter global;
    global.name = reader.Text();
    global.value = reader.Text();
    global.xpath = reader.Number() != 0;
    job.globals.push_back(std::move(global));
  }
  return request;
}

std::string EncodeParameters(const std::vector<xml::DeclaredParameter>& declared) {
  constexpr std::size_t kBudget = kMaxChannelMessage / 2;
  std::size_t size = 0;
  std::size_t count = 0;
  for (; count < declared.size(); ++count) {
    size += 16 + declared[count].name.size() + declared[count].defaultText.size();
    if (size > kBudget) break;
  }
  Writer writer(Tag::kParameters);
  writer.Number(count);
  for (std::size_t i = 0; i < count; ++i) {
    writer.Text(declared[i].name).Text(declared[i].defaultText);
  }
  return writer.Bytes();
}

std::vector<xml::DeclaredParameter> DecodeParameters(Reader& reader) {
  std::vector<xml::DeclaredParameter> declared;
  for (std::uint64_t n = reader.Number(); n > 0; --n) {
    xml::DeclaredParameter parameter;
    parameter.name = reader.Text();
    parameter.defaultText = reader.Text();
    declared.push_back(std::move(parameter));
  }
  return declared;
}

std::string EncodeError(const ErrorRecord& record) {
  return Writer(Tag::kFailed)
      .Number(static_cast<std::uint32_t>(record.number))
      .Text(record.description)
      .Text(record.source)
      .Text(record.helpFile)
      .Number(static_cast<std::uint32_t>(record.helpContext))
      .Bytes();
}

ErrorRecord DecodeError(Reader& reader) {
  ErrorRecord record;
  record.number = static_cast<std::int32_t>(static_cast<std::uint32_t>(reader.Number()));
  record.description = reader.Text();
  record.source = reader.Text();
  record.helpFile = reader.Text();
  record.helpContext = static_cast<std::int32_t>(static_cast<std::uint32_t>(reader.Number()));
  return record;
}

}  // namespace xmlpellor::transform::wire
