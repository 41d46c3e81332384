#include "wire/JobWire.h"

#include <algorithm>

#include "platform/Channel.h"

namespace xmlpellor::wire {

namespace {

// A line of a stylesheet's message longer than this is cut: the channel
// carries whole messages of a bounded size.
constexpr std::size_t kMaxLine = 64 * 1024;

// Each origin entry's texts are cut to this, so any entry fits in a piece.
constexpr std::size_t kMaxOriginText = 16 * 1024;
constexpr std::size_t kOriginBudget = kMaxChannelMessage / 2;

[[noreturn]] void Malformed() {
  throw RuntimeError(err::kInternalError,
                     "A message between the window and the XSLT engine cannot be read");
}

// The policy as the window resolved it: its places and its advice. The
// engine takes it as it is, so both sides judge by the same value.
void EncodePolicy(Writer& writer, const ReadPolicy& reads) {
  if (!reads.RestrictsReads()) {
    throw RuntimeError(err::kInternalError,
                       "An unrestricted read policy may not be given to the XSLT engine");
  }
  writer.Number(reads.Places().size());
  for (const ReadPlace& place : reads.Places()) {
    writer.Text(place.path).Number(place.folder ? 1 : 0);
  }
  writer.Text(reads.Advice());
}

ReadPolicy DecodePolicy(Reader& reader) {
  std::vector<ReadPlace> places;
  for (std::uint64_t n = reader.Number(); n > 0; --n) {
    ReadPlace place;
    place.path = reader.Text();
    place.folder = reader.Number() != 0;
    // Resolved places only: a relative one would be judged against
    // whatever folder the engine happens to run in.
    if (place.path.empty() || place.path.front() != '/' ||
        place.path.find('\0') != std::string::npos) {
      Malformed();
    }
    places.push_back(std::move(place));
  }
  std::string advice = reader.Text();
  return ReadPolicy::OfPlaces(std::move(places), std::move(advice));
}

Confined DecodeConfined(Reader& reader) {
  return {reader.Text()};
}

Phase DecodePhase(Reader& reader) {
  const std::uint64_t phase = reader.Number();
  if (phase > static_cast<std::uint64_t>(JobPhase::kWriting)) Malformed();
  return {static_cast<JobPhase>(phase)};
}

Reading DecodeReading(Reader& reader) {
  return {reader.Text()};
}

Progress DecodeProgress(Reader& reader) {
  Progress progress;
  progress.done = reader.Number();
  progress.total = reader.Number();
  return progress;
}

Message DecodeMessage(Reader& reader) {
  return {reader.Text()};
}

Parameters DecodeParameters(Reader& reader) {
  Parameters parameters;
  for (std::uint64_t n = reader.Number(); n > 0; --n) {
    xml::DeclaredParameter parameter;
    parameter.name = reader.Text();
    parameter.defaultText = reader.Text();
    parameters.declared.push_back(std::move(parameter));
  }
  return parameters;
}

Document DecodeDocument(Reader& reader) {
  Document document;
  document.path = reader.Text();
  document.size = reader.Number();
  return document;
}

Output DecodeOutput(Reader& reader) {
  Output output;
  const std::uint64_t kind = reader.Number();
  if (kind > static_cast<std::uint64_t>(xml::OutputKind::kText)) {
    throw RuntimeError(err::kInternalError, "The XSLT engine named no known kind of output");
  }
  output.kind = static_cast<xml::OutputKind>(kind);
  output.size = reader.Number();
  output.encoding = reader.Text();
  return output;
}

NotLoaded DecodeNotLoaded(Reader& reader) {
  NotLoaded notLoaded;
  notLoaded.error.Line = static_cast<std::int64_t>(reader.Number());
  notLoaded.error.reason = reader.Text();
  notLoaded.location = reader.Text();
  return notLoaded;
}

Failed DecodeFailed(Reader& reader) {
  ErrorRecord record;
  record.number = static_cast<std::int32_t>(static_cast<std::uint32_t>(reader.Number()));
  record.description = reader.Text();
  record.source = reader.Text();
  record.helpFile = reader.Text();
  record.helpContext = static_cast<std::int32_t>(static_cast<std::uint32_t>(reader.Number()));
  return {std::move(record)};
}

ProfileTimes DecodeProfileTimes(Reader& reader) {
  ProfileTimes times;
  times.times.documentMicros = reader.Number();
  times.times.stylesheetMicros = reader.Number();
  times.times.compileMicros = reader.Number();
  times.times.transformMicros = reader.Number();
  return times;
}

ProfileTemplate DecodeProfileTemplate(Reader& reader) {
  ProfileTemplate message;
  xml::TemplateProfile& t = message.profile;
  t.match = reader.Text();
  t.name = reader.Text();
  t.mode = reader.Text();
  t.file = reader.Text();
  t.line = static_cast<long>(reader.Number());
  t.calls = reader.Number();
  t.selfMicros = reader.Number();
  t.totalMicros = reader.Number();
  return message;
}

std::string_view Cut(const std::string& text) {
  return std::string_view(text).substr(0, kMaxOriginText);
}

// An index written as its value plus one, so that none is 0.
std::uint64_t IndexNumber(std::int64_t index) {
  return index < 0 ? 0 : static_cast<std::uint64_t>(index) + 1;
}

std::int64_t IndexOf(std::uint64_t number, std::size_t count) {
  if (number > count) Malformed();
  return static_cast<std::int64_t>(number) - 1;
}

// Writes the entries of `list` into as many messages as they need.
template <class Entry, class Write>
void EncodeList(Tag tag, const std::vector<Entry>& list, std::vector<std::string>& messages,
                Write write) {
  std::size_t at = 0;
  while (at < list.size()) {
    Writer entries(tag);
    std::size_t count = 0;
    while (at < list.size() && entries.Bytes().size() < kOriginBudget) {
      write(entries, list[at]);
      ++at;
      ++count;
    }
    messages.push_back(Writer(tag).Number(count).Bytes() + entries.Bytes().substr(2));
  }
}

OriginPiece DecodeOriginPiece(Reader& reader) {
  OriginPiece piece;
  xml::OriginTable& table = piece.entries;
  for (std::uint64_t n = reader.Number(); n > 0; --n) {
    switch (reader.tag()) {
      case Tag::kOriginTemplates: {
        xml::OriginTemplate& entry = table.templates.emplace_back();
        entry.match = reader.Text();
        entry.name = reader.Text();
        entry.mode = reader.Text();
        entry.priority = reader.Text();
        entry.file = reader.Text();
        entry.line = static_cast<std::int64_t>(reader.Number());
        break;
      }
      case Tag::kOriginInstructions: {
        xml::OriginInstruction& entry = table.instructions.emplace_back();
        entry.name = reader.Text();
        entry.file = reader.Text();
        entry.line = static_cast<std::int64_t>(reader.Number());
        break;
      }
      case Tag::kOriginSources: {
        xml::OriginSource& entry = table.sources.emplace_back();
        entry.path = reader.Text();
        entry.file = reader.Text();
        entry.line = static_cast<std::int64_t>(reader.Number());
        break;
      }
      default: {
        xml::Origin& entry = table.origins.emplace_back();
        entry.element = reader.Number();
        const std::uint64_t part = reader.Number();
        if (part > static_cast<std::uint64_t>(xml::OriginPart::kText)) Malformed();
        entry.part = static_cast<xml::OriginPart>(part);
        entry.label = reader.Text();
        // Checked against the whole table once the piece is in it.
        entry.templ = static_cast<std::int64_t>(reader.Number()) - 1;
        entry.instruction = static_cast<std::int64_t>(reader.Number()) - 1;
        entry.source = static_cast<std::int64_t>(reader.Number()) - 1;
        break;
      }
    }
  }
  return piece;
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
  EncodePolicy(writer, job.reads);
  writer.Number(request.memoryLimit).Number(job.maxDocuments).Number(job.maxDocumentBytes);
  writer.Number(job.globals.size());
  for (const auto& global : job.globals) {
    writer.Text(global.name).Text(global.value).Number(global.xpath ? 1 : 0);
  }
  writer.Number(static_cast<std::uint64_t>(job.instrument));
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
  job.reads = DecodePolicy(reader);
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
  const std::uint64_t instrument = reader.Number();
  if (instrument > static_cast<std::uint64_t>(Instrument::kProfile)) Malformed();
  job.instrument = static_cast<Instrument>(instrument);
  return request;
}

std::string Encode(const Confined& message) {
  return Writer(Tag::kConfined).Text(message.description).Bytes();
}

std::string Encode(const Phase& message) {
  return Writer(Tag::kPhase).Number(static_cast<std::uint64_t>(message.phase)).Bytes();
}

std::string Encode(const Reading& message) {
  return Writer(Tag::kReading).Text(message.path).Bytes();
}

std::string Encode(const Progress& message) {
  return Writer(Tag::kProgress).Number(message.done).Number(message.total).Bytes();
}

std::string Encode(const Message& message) {
  return Writer(Tag::kMessage).Text(std::string_view(message.line).substr(0, kMaxLine)).Bytes();
}

std::string Encode(const OverLimit&) {
  return Writer(Tag::kOverLimit).Bytes();
}

std::string Encode(const Parameters& message) {
  constexpr std::size_t kBudget = kMaxChannelMessage / 2;
  const auto& declared = message.declared;
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

std::string Encode(const Document& message) {
  return Writer(Tag::kDocument).Text(message.path).Number(message.size).Bytes();
}

std::string Encode(const Output& message) {
  return Writer(Tag::kOutput)
      .Number(static_cast<std::uint64_t>(message.kind))
      .Number(message.size)
      .Text(message.encoding)
      .Bytes();
}

std::string Encode(const NotLoaded& message) {
  return Writer(Tag::kNotLoaded)
      .Number(static_cast<std::uint64_t>(message.error.Line))
      .Text(message.error.reason)
      .Text(message.location)
      .Bytes();
}

std::string Encode(const ProfileTimes& message) {
  const xml::TransformProfile& t = message.times;
  return Writer(Tag::kProfileTimes)
      .Number(t.documentMicros)
      .Number(t.stylesheetMicros)
      .Number(t.compileMicros)
      .Number(t.transformMicros)
      .Bytes();
}

std::string Encode(const ProfileTemplate& message) {
  // A match pattern may be long; four texts and the numbers still fit.
  constexpr std::size_t kMaxText = kMaxLine / 4;
  const xml::TemplateProfile& t = message.profile;
  const auto cut = [](const std::string& text) {
    return std::string_view(text).substr(0, kMaxText);
  };
  return Writer(Tag::kProfileTemplate)
      .Text(cut(t.match))
      .Text(cut(t.name))
      .Text(cut(t.mode))
      .Text(cut(t.file))
      .Number(static_cast<std::uint64_t>(std::max(t.line, 0L)))
      .Number(t.calls)
      .Number(t.selfMicros)
      .Number(t.totalMicros)
      .Bytes();
}

std::vector<std::string> EncodeProfile(const xml::TransformProfile& profile) {
  std::vector<std::string> messages{Encode(ProfileTimes{{profile.documentMicros,
                                                         profile.stylesheetMicros,
                                                         profile.compileMicros,
                                                         profile.transformMicros,
                                                         {}}})};
  for (const auto& t : profile.templates) messages.push_back(Encode(ProfileTemplate{t}));
  return messages;
}

std::string Encode(const Failed& message) {
  const ErrorRecord& record = message.record;
  return Writer(Tag::kFailed)
      .Number(static_cast<std::uint32_t>(record.number))
      .Text(record.description)
      .Text(record.source)
      .Text(record.helpFile)
      .Number(static_cast<std::uint32_t>(record.helpContext))
      .Bytes();
}

std::vector<std::string> EncodeOrigins(const xml::OriginTable& table) {
  std::vector<std::string> messages;
  EncodeList(Tag::kOriginTemplates, table.templates, messages,
             [](Writer& writer, const xml::OriginTemplate& entry) {
               writer.Text(Cut(entry.match))
                   .Text(Cut(entry.name))
                   .Text(Cut(entry.mode))
                   .Text(Cut(entry.priority))
                   .Text(Cut(entry.file))
                   .Number(static_cast<std::uint64_t>(entry.line));
             });
  EncodeList(Tag::kOriginInstructions, table.instructions, messages,
             [](Writer& writer, const xml::OriginInstruction& entry) {
               writer.Text(Cut(entry.name))
                   .Text(Cut(entry.file))
                   .Number(static_cast<std::uint64_t>(entry.line));
             });
  EncodeList(Tag::kOriginSources, table.sources, messages,
             [](Writer& writer, const xml::OriginSource& entry) {
               writer.Text(Cut(entry.path))
                   .Text(Cut(entry.file))
                   .Number(static_cast<std::uint64_t>(entry.line));
             });
  EncodeList(Tag::kOrigins, table.origins, messages, [](Writer& writer, const xml::Origin& entry) {
    writer.Number(entry.element)
        .Number(static_cast<std::uint64_t>(entry.part))
        .Text(Cut(entry.label))
        .Number(IndexNumber(entry.templ))
        .Number(IndexNumber(entry.instruction))
        .Number(IndexNumber(entry.source));
  });
  return messages;
}

void AppendOrigins(xml::OriginTable& table, OriginPiece&& piece) {
  xml::OriginTable& entries = piece.entries;
  for (auto& entry : entries.templates) table.templates.push_back(std::move(entry));
  for (auto& entry : entries.instructions) table.instructions.push_back(std::move(entry));
  for (auto& entry : entries.sources) table.sources.push_back(std::move(entry));
  for (auto& entry : entries.origins) {
    // An element's parts follow it, so the element is already in.
    if (entry.element > table.origins.size()) Malformed();
    IndexOf(IndexNumber(entry.templ), table.templates.size());
    IndexOf(IndexNumber(entry.instruction), table.instructions.size());
    IndexOf(IndexNumber(entry.source), table.sources.size());
    table.origins.push_back(std::move(entry));
  }
}

EngineMessage Decode(std::string_view message) {
  Reader reader(message);
  switch (reader.tag()) {
    case Tag::kConfined: return DecodeConfined(reader);
    case Tag::kPhase: return DecodePhase(reader);
    case Tag::kReading: return DecodeReading(reader);
    case Tag::kProgress: return DecodeProgress(reader);
    case Tag::kMessage: return DecodeMessage(reader);
    case Tag::kOverLimit: return OverLimit{};
    case Tag::kParameters: return DecodeParameters(reader);
    case Tag::kDocument: return DecodeDocument(reader);
    case Tag::kOutput: return DecodeOutput(reader);
    case Tag::kNotLoaded: return DecodeNotLoaded(reader);
    case Tag::kFailed: return DecodeFailed(reader);
    case Tag::kProfileTimes: return DecodeProfileTimes(reader);
    case Tag::kProfileTemplate: return DecodeProfileTemplate(reader);
    case Tag::kOriginTemplates:
    case Tag::kOriginInstructions:
    case Tag::kOriginSources:
    case Tag::kOrigins: return DecodeOriginPiece(reader);
    case Tag::kRequest: break;
  }
  Malformed();
}

}  // namespace xmlpellor::wire
