#include "engine/saxon/SaxonJob.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <utility>

#include "engine/saxon/SaxonOutput.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/RuntimeError.h"
#include "platform/xml/DomDocument.h"
#include "platform/xml/FirstAndLast.h"
#include "platform/xml/Origins.h"
#include "platform/xml/OutputDocuments.h"
#include "platform/LocalPath.h"
#include "platform/ReadPolicy.h"
#include "platform/xml/XmlLibrary.h"

namespace xmlpellor::saxon {

namespace {

using wire::JobEvents;
using wire::JobPhase;
using wire::JobRequest;
using wire::JobResult;

constexpr const char* kXsltNamespace = "http://www.w3.org/1999/XSL/Transform";
// The main document's progress is told this often at most: each message
// crosses the channel.
constexpr std::uint64_t kProgressStep = 256 * 1024;
// What the kind of the output is judged by: where its root element starts.
constexpr std::size_t kHeadBytes = 4096;
constexpr std::size_t kDescribedAtEachEnd = 6;

// What the one job of the process is doing, for the native methods Saxon
// calls back on the job's thread. Null outside a job (the warm-up).
struct JobState {
  JobState(const ReadPolicy& readPolicy, JobEvents& jobEvents, std::uint64_t maxFiles,
           std::uint64_t maxBytes) noexcept
      : policy(readPolicy), events(jobEvents), documents{maxFiles, maxBytes, {}} {}
  const ReadPolicy& policy;
  JobEvents& events;
  // The files xsl:result-document writes, held until the output is written
  // because their bytes follow the output's in the file the window reads.
  xml::OutputDocuments documents;
  std::uint64_t documentBytes = 0;
  // The limit the job went past, in words; empty when none.
  std::string overflow;
  xml::FirstAndLast<std::string> errors{kDescribedAtEachEnd, kDescribedAtEachEnd};
  std::vector<std::string> refusals;
  bool advised = false;
  // While a document is built the parser's errors make the reason it did
  // not load; they are not told as messages as well.
  bool quiet = false;
  std::string lastReport;
  std::optional<std::string> terminated;
  int documentFd = -1;
  std::uint64_t documentSize = 0;
  std::uint64_t documentRead = 0;
  std::uint64_t progressTold = 0;
  std::string head;
  std::uint64_t written = 0;
};
JobState* gJob = nullptr;

// While a document is built its parser's errors are the reason it did not
// load, not messages of the job.
class QuietScope {
 public:
  explicit QuietScope(JobState& state) noexcept : m_state(state) { m_state.quiet = true; }
  ~QuietScope() { m_state.quiet = false; }
  QuietScope(const QuietScope&) = delete;
  QuietScope& operator=(const QuietScope&) = delete;

 private:
  JobState& m_state;
};

// file:///a and file:/a name one file; Java writes the second.
std::string ModuleKey(std::string uri) {
  if (uri.rfind("file:///", 0) == 0) uri.erase(5, 2);
  return uri;
}

class JobScope {
 public:
  explicit JobScope(JobState& state) noexcept { gJob = &state; }
  ~JobScope() { gJob = nullptr; }
  JobScope(const JobScope&) = delete;
  JobScope& operator=(const JobScope&) = delete;
};

std::string Text(JNIEnv* env, jstring text) {
  if (text == nullptr) return {};
  const jsize length = env->GetStringLength(text);
  std::u16string units(static_cast<std::size_t>(length), u'\0');
  env->GetStringRegion(text, 0, length, reinterpret_cast<jchar*>(units.data()));
  return Utf8FromUtf16(units);
}

// The one refusal text of the libxslt engine's loader for a read of the
// network, and its "only local files" for any other scheme.
std::string PathOfUri(const std::string& uri) {
  for (const char* scheme : {"http:", "https:", "ftp:"}) {
    if (uri.size() >= std::strlen(scheme) &&
        strncasecmp(uri.c_str(), scheme, std::strlen(scheme)) == 0) {
      throw RuntimeError(err::kPermissionDenied,
                         "Refused: a stylesheet may not read from the network (" + uri + ")");
    }
  }
  return LocalPathOf(uri);
}

// Refuses a read with the loader's words; the advice on allowing a folder
// follows the first refusal it would help, once.
void Refuse(JobState& job, std::string text, bool allowingHelps) {
  if (allowingHelps && !job.advised) {
    job.advised = true;
    text += ". " + job.policy.Advice();
  }
  if (std::find(job.refusals.begin(), job.refusals.end(), text) == job.refusals.end()) {
    job.refusals.push_back(text);
  }
  throw RuntimeError(err::kPermissionDenied, text);
}

jint JNICALL Open(JNIEnv* env, jclass, jstring uriText, jboolean document) {
  if (gJob == nullptr) {
    ThrowJava(env, "java/io/IOException", "No job is running");
    return -1;
  }
  JobState& job = *gJob;
  try {
    const std::string uri = Text(env, uriText);
    std::string path;
    try {
      path = PathOfUri(uri);
    } catch (const RuntimeError& e) {
      Refuse(job, e.record().description, false);
    }
    OpenedFile opened = job.policy.Open(path);
    switch (opened.outcome) {
      case OpenedFile::Outcome::kOpened: break;
      case OpenedFile::Outcome::kRefused: Refuse(job, opened.reason, opened.allowingHelps); break;
      case OpenedFile::Outcome::kMissing:
        ThrowJava(env, "java/io/FileNotFoundException",
                  "The file cannot be opened: " + path + " (" + std::strerror(ENOENT) + ")");
        return -1;
      case OpenedFile::Outcome::kFailed:
        ThrowJava(env, "java/io/IOException",
                  "The file cannot be opened: " + path + " (" + opened.reason + ")");
        return -1;
    }
    job.events.Reading(path);
    if (document != JNI_FALSE) {
      job.documentFd = opened.fd.get();
      job.documentSize = opened.size;
      job.events.Progress(0, opened.size);
    }
    // Java's stream owns the descriptor from here and closes it through Close.
    return opened.fd.release();
  } catch (const std::exception& e) {
    ThrowJava(env, "java/io/IOException", e.what());
    return -1;
  }
}

jstring JNICALL Catalog(JNIEnv* env, jclass, jstring publicIdText, jstring systemIdText) {
  try {
    const std::string publicId = Text(env, publicIdText);
    const std::string systemId = Text(env, systemIdText);
    const std::string found = xml::ThroughCatalogs(systemId.empty() ? nullptr : systemId.c_str(),
                                                   publicId.empty() ? nullptr : publicId.c_str());
    if (found.empty() || found == systemId) return systemIdText;
    Jni jni(env);
    return static_cast<jstring>(env->NewLocalRef(jni.String(found).get()));
  } catch (const std::exception&) {
    // Looked up as named: the read policy still judges it.
    return systemIdText;
  }
}

jint JNICALL Read(JNIEnv* env, jclass, jint fd, jbyteArray buffer, jint offset, jint length) {
  thread_local std::vector<jbyte> chunk;
  try {
    chunk.resize(static_cast<std::size_t>(std::min(length, jint{1} << 20)));
    ssize_t n;
    do {
      n = ::read(fd, chunk.data(), chunk.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      ThrowJava(env, "java/io/IOException", std::strerror(errno));
      return -1;
    }
    if (n == 0) return -1;
    env->SetByteArrayRegion(buffer, offset, static_cast<jsize>(n), chunk.data());
    if (gJob != nullptr && fd == gJob->documentFd) {
      JobState& job = *gJob;
      job.documentRead += static_cast<std::uint64_t>(n);
      if (job.documentRead - job.progressTold >= kProgressStep ||
          job.documentRead == job.documentSize) {
        job.progressTold = job.documentRead;
        job.events.Progress(job.documentRead, job.documentSize);
      }
    }
    return static_cast<jint>(n);
  } catch (const std::exception& e) {
    ThrowJava(env, "java/io/IOException", e.what());
    return -1;
  }
}

void JNICALL Close(JNIEnv*, jclass, jint fd) {
  if (gJob != nullptr && fd == gJob->documentFd) gJob->documentFd = -1;
  ::close(fd);
}

void JNICALL Write(JNIEnv* env, jclass, jbyteArray buffer, jint offset, jint length) {
  thread_local std::vector<jbyte> chunk;
  try {
    chunk.resize(static_cast<std::size_t>(length));
    env->GetByteArrayRegion(buffer, offset, length, chunk.data());
    if (env->ExceptionCheck() != JNI_FALSE) return;
    const std::string_view bytes(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    WriteAll(kHelperOutputFd, bytes, "the output");
    if (gJob != nullptr) {
      JobState& job = *gJob;
      if (job.head.size() < kHeadBytes)
        job.head.append(bytes.substr(0, kHeadBytes - job.head.size()));
      job.written += bytes.size();
    }
  } catch (const std::exception& e) {
    ThrowJava(env, "java/io/IOException", e.what());
  }
}

// The same rules as exsl:document's in the libxslt engine: an href relative
// to the main output, below its folder, within the job's limits.
jint JNICALL OpenDocument(JNIEnv* env, jclass, jstring hrefText) {
  if (gJob == nullptr) {
    ThrowJava(env, "java/io/IOException", "No job is running");
    return -1;
  }
  JobState& job = *gJob;
  try {
    if (!job.overflow.empty()) throw RuntimeError(err::kPermissionDenied, job.overflow);
    const std::string href = Text(env, hrefText);
    const std::optional<std::string> path = xml::ResolveOutputHref(href, {});
    if (!path) Refuse(job, xml::OutputRefusalText(href), false);
    auto& files = job.documents.files;
    auto it = std::find_if(files.begin(), files.end(),
                           [&](const xml::OutputDocument& d) { return d.path == *path; });
    if (it == files.end()) {
      if (files.size() >= job.documents.maxFiles) {
        job.overflow = xml::TooManyFilesText(job.documents);
        throw RuntimeError(err::kPermissionDenied, job.overflow);
      }
      files.push_back({*path, {}});
      it = files.end() - 1;
    } else {
      // Written again: the new bytes replace the old, as on a disk.
      job.documentBytes -= it->bytes.size();
      it->bytes.clear();
    }
    return static_cast<jint>(it - files.begin());
  } catch (const std::exception& e) {
    ThrowJava(env, "java/io/IOException", e.what());
    return -1;
  }
}

void JNICALL WriteDocument(JNIEnv* env, jclass, jint document, jbyteArray buffer, jint offset,
                           jint length) {
  if (gJob == nullptr || document < 0 ||
      static_cast<std::size_t>(document) >= gJob->documents.files.size() || length < 0) {
    ThrowJava(env, "java/io/IOException", "No such result document");
    return;
  }
  JobState& job = *gJob;
  try {
    const auto size = static_cast<std::uint64_t>(length);
    if (job.documentBytes + size > job.documents.maxBytes) {
      job.overflow = xml::TooManyBytesText(job.documents);
      throw RuntimeError(err::kPermissionDenied, job.overflow);
    }
    std::string& bytes = job.documents.files[static_cast<std::size_t>(document)].bytes;
    const std::size_t at = bytes.size();
    bytes.resize(at + size);
    env->GetByteArrayRegion(buffer, offset, length, reinterpret_cast<jbyte*>(bytes.data() + at));
    if (env->ExceptionCheck() != JNI_FALSE) {
      bytes.resize(at);
      return;
    }
    job.documentBytes += size;
  } catch (const std::exception& e) {
    ThrowJava(env, "java/io/IOException", e.what());
  }
}

void JNICALL Message(JNIEnv* env, jclass, jstring textObject, jboolean terminate) {
  if (gJob == nullptr) return;
  try {
    const std::string text = Text(env, textObject);
    std::size_t start = 0;
    do {
      const std::size_t end = text.find('\n', start);
      gJob->events.Message(text.substr(start, end == std::string::npos ? end : end - start));
      start = end == std::string::npos ? end : end + 1;
    } while (start != std::string::npos && start < text.size());
    if (terminate != JNI_FALSE) gJob->terminated = text;
  } catch (const std::exception&) {
    // A message that cannot be told is lost; the job goes on.
  }
}

void JNICALL Report(JNIEnv* env, jclass, jint severity, jstring code, jstring text,
                    jstring systemId, jint line, jint column) {
  if (gJob == nullptr) return;
  try {
    SaxonReport report;
    report.error = severity != 0;
    report.code = Text(env, code);
    report.text = Text(env, text);
    report.file = PlaceName(Text(env, systemId));
    report.line = std::max(line, 0);
    report.column = std::max(column, 0);
    // Saxon names a resolver's failure without its words; the refusal has them.
    if (report.text.rfind("Exception thrown by URIResolver", 0) == 0 && !gJob->refusals.empty()) {
      report.text = gJob->refusals.back();
    }
    std::string said = ReportLine(report);
    // Saxon reports some errors twice, through error() and fatalError().
    if (said == gJob->lastReport || gJob->quiet) return;
    // Told as they come, as the libxslt engine tells its own.
    gJob->events.Message(said);
    if (report.error) gJob->errors.Add(said);
    gJob->lastReport = std::move(said);
  } catch (const std::exception&) {
  }
}

// The folder a collection URI names, with an optional ?select= pattern (by
// default the XML files), as Saxon's own collections read one.
jobjectArray JNICALL Collection(JNIEnv* env, jclass, jstring uriText) {
  if (gJob == nullptr) return nullptr;
  JobState& job = *gJob;
  try {
    std::string uri = Text(env, uriText);
    std::string pattern = "*.xml";
    if (const std::size_t query = uri.find('?'); query != std::string::npos) {
      const std::string parameters = uri.substr(query + 1);
      uri.resize(query);
      if (const std::size_t select = parameters.find("select="); select != std::string::npos) {
        pattern = parameters.substr(select + 7, parameters.find(';', select) - select - 7);
      }
    }
    std::string folder;
    try {
      folder = PathOfUri(uri);
    } catch (const RuntimeError& e) {
      Refuse(job, e.record().description, false);
    }
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr) {
      ThrowJava(env, "java/io/IOException",
                "The collection's folder cannot be opened: " + folder + " (" +
                    std::strerror(errno) + ")");
      return nullptr;
    }
    if (!job.policy.Contains(resolved)) Refuse(job, job.policy.RefusalText(folder, resolved), true);
    std::vector<std::string> members;
    {
      std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(resolved), &::closedir);
      if (!listing) ThrowFileError(errno, folder);
      while (const dirent* entry = ::readdir(listing.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name.front() == '.') continue;
        if (::fnmatch(pattern.c_str(), name.c_str(), 0) != 0) continue;
        const std::string path = std::string(resolved) + "/" + name;
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        if (job.policy.Allows(path)) members.push_back(FileUri(path));
      }
    }
    std::sort(members.begin(), members.end());
    Jni jni(env);
    const Local<jclass> stringClass = jni.Class("java/lang/String");
    const auto array = jni.Own(
        env->NewObjectArray(static_cast<jsize>(members.size()), stringClass.get(), nullptr));
    jni.Check();
    for (std::size_t i = 0; i < members.size(); ++i) {
      const Local<jstring> member = jni.String(members[i]);
      env->SetObjectArrayElement(array.get(), static_cast<jsize>(i), member.get());
      jni.Check();
    }
    return static_cast<jobjectArray>(env->NewLocalRef(array.get()));
  } catch (const std::exception& e) {
    ThrowJava(env, "java/io/IOException", e.what());
    return nullptr;
  }
}

void RegisterHost(Jni& jni) {
  const Local<jclass> host = jni.Class("xmlpellor/saxon/Host");
  const JNINativeMethod methods[] = {
      {const_cast<char*>("open"), const_cast<char*>("(Ljava/lang/String;Z)I"),
       reinterpret_cast<void*>(&Open)},
      {const_cast<char*>("catalog"),
       const_cast<char*>("(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"),
       reinterpret_cast<void*>(&Catalog)},
      {const_cast<char*>("read"), const_cast<char*>("(I[BII)I"), reinterpret_cast<void*>(&Read)},
      {const_cast<char*>("close"), const_cast<char*>("(I)V"), reinterpret_cast<void*>(&Close)},
      {const_cast<char*>("write"), const_cast<char*>("([BII)V"), reinterpret_cast<void*>(&Write)},
      {const_cast<char*>("openDocument"), const_cast<char*>("(Ljava/lang/String;)I"),
       reinterpret_cast<void*>(&OpenDocument)},
      {const_cast<char*>("writeDocument"), const_cast<char*>("(I[BII)V"),
       reinterpret_cast<void*>(&WriteDocument)},
      {const_cast<char*>("message"), const_cast<char*>("(Ljava/lang/String;Z)V"),
       reinterpret_cast<void*>(&Message)},
      {const_cast<char*>("report"),
       const_cast<char*>("(ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;II)V"),
       reinterpret_cast<void*>(&Report)},
      {const_cast<char*>("collection"),
       const_cast<char*>("(Ljava/lang/String;)[Ljava/lang/String;"),
       reinterpret_cast<void*>(&Collection)},
  };
  if (jni.env()->RegisterNatives(host.get(), methods, std::size(methods)) != JNI_OK) jni.Check();
}

std::string AbsolutePath(const std::string& location) {
  std::string path = LocalPathOf(location);
  if (!path.empty() && path.front() != '/') {
    char folder[PATH_MAX];
    if (::getcwd(folder, sizeof folder) != nullptr) path = std::string(folder) + "/" + path;
  }
  return path;
}

RuntimeError SaxonError(const std::string& description) {
  return RuntimeError(xml::kXmlComponentError, description, kSaxonSource);
}

// The first line, then what Saxon said: the first and the last errors, and
// any refusal that Saxon's own words left out.
std::string Described(const std::string& what, const JobState& job) {
  std::vector<std::string> lines = xml::KeptLines(job.errors);
  for (const std::string& refusal : job.refusals) {
    const bool said = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(refusal) != std::string::npos;
    });
    if (!said) lines.push_back(refusal);
  }
  std::string text = what;
  if (!lines.empty()) text += ":";
  for (const std::string& line : lines) text += "\n" + line;
  return text;
}

class Job {
 public:
  Job(Jni& jni, jobject processor, jobject reads, jobject listener, JobState& state)
      : m_jni(jni), m_processor(processor), m_reads(reads), m_listener(listener), m_state(state) {}

  JobResult Run(const JobRequest& request) {
    JobResult result;
    if (request.paramsNotArray) throw RuntimeError(err::kTypeMismatch, "Type mismatch");
    if (request.params.size() % 2 != 0) {
      throw RuntimeError(err::kSubscriptOutOfRange, "Subscript out of range");
    }
    const bool profiled = request.instrument == wire::Instrument::kProfile;
    const bool marked = request.instrument == wire::Instrument::kOrigin;
    xml::TransformProfile profile;
    xml::Stopwatch stopwatch;
    m_state.events.Phase(JobPhase::kReadingDocument);
    const Local<jobject> builder = m_jni.CallObject(m_processor, "newDocumentBuilder",
                                                    "()Lnet/sf/saxon/s9api/DocumentBuilder;");
    m_jni.CallVoid(builder.get(), "setLineNumbering", "(Z)V", JNI_TRUE);
    const Local<jobject> document = Build(builder.get(), request.xml, true, result);
    if (!document) return result;
    profile.documentMicros = stopwatch.Lap();
    m_state.events.Phase(JobPhase::kReadingStylesheet);
    const Local<jobject> stylesheet = Build(builder.get(), request.xsl, false, result);
    if (!stylesheet) return result;
    profile.stylesheetMicros = stopwatch.Lap();

    m_state.events.Phase(JobPhase::kCompiling);
    const Local<jobject> executable = Compile(stylesheet.get(), profiled || marked);
    profile.compileMicros = stopwatch.Lap();
    m_state.events.Parameters(Declared(executable.get(), stylesheet.get()));

    m_state.events.Phase(JobPhase::kTransforming);
    const Local<jobject> transformer =
        m_jni.CallObject(executable.get(), "load30", "()Lnet/sf/saxon/s9api/Xslt30Transformer;");
    m_jni.CallVoid(transformer.get(), "setErrorListener", "(Ljavax/xml/transform/ErrorListener;)V",
                   m_listener);
    m_jni.CallVoid(transformer.get(), "setMessageListener",
                   "(Lnet/sf/saxon/s9api/MessageListener;)V", m_listener);
    m_jni.CallVoid(transformer.get(), "setURIResolver", "(Ljavax/xml/transform/URIResolver;)V",
                   m_reads);
    const Local<jobject> controller = m_jni.CallObject(transformer.get(), "getUnderlyingController",
                                                       "()Lnet/sf/saxon/trans/XsltController;");
    m_jni.CallVoid(controller.get(), "setResultDocumentResolver",
                   "(Lnet/sf/saxon/lib/ResultDocumentResolver;)V", m_reads);
    SetParameters(request, executable.get(), transformer.get(), document.get());
    Local<jobject> profiler = m_jni.Own<jobject>(nullptr);
    if (profiled) {
      const Local<jclass> profilerClass = m_jni.Class("xmlpellor/saxon/Profiler");
      profiler = m_jni.New(profilerClass.get(), "()V");
      m_jni.CallVoid(transformer.get(), "setTraceListener", "(Lnet/sf/saxon/lib/TraceListener;)V",
                     profiler.get());
    }
    Local<jobject> origins = m_jni.Own<jobject>(nullptr);
    if (marked) {
      const Local<jclass> originsClass = m_jni.Class("xmlpellor/saxon/Origins");
      origins = m_jni.New(originsClass.get(), "()V");
      m_jni.CallVoid(transformer.get(), "setTraceListener", "(Lnet/sf/saxon/lib/TraceListener;)V",
                     origins.get());
    }

    const Local<jclass> outputClass = m_jni.Class("xmlpellor/saxon/NativeOutput");
    const Local<jobject> output = m_jni.New(outputClass.get(), "()V");
    const Local<jobject> serializer =
        m_jni.CallObject(transformer.get(), "newSerializer",
                         "(Ljava/io/OutputStream;)Lnet/sf/saxon/s9api/Serializer;", output.get());
    // The marks go in between the transformation and the serializer, which
    // still says what the stylesheet asked of the output.
    const Local<jobject> destination =
        marked
            ? m_jni.CallObject(origins.get(), "mark",
                               "(Lnet/sf/saxon/s9api/Serializer;)Lnet/sf/saxon/s9api/Destination;",
                               serializer.get())
            : m_jni.Own<jobject>(m_jni.env()->NewLocalRef(serializer.get()));
    try {
      m_jni.CallVoid(transformer.get(), "setGlobalContextItem", "(Lnet/sf/saxon/s9api/XdmItem;)V",
                     document.get());
      m_jni.CallVoid(transformer.get(), "applyTemplates",
                     "(Lnet/sf/saxon/s9api/XdmValue;Lnet/sf/saxon/s9api/Destination;)V",
                     document.get(), destination.get());
    } catch (const RuntimeError& e) {
      ThrowIfOutOfMemory();
      if (!m_state.overflow.empty()) throw SaxonError(m_state.overflow);
      if (std::string(e.what()).find("StackOverflowError") != std::string::npos ||
          std::string(e.what()).find("StackTraceElement") != std::string::npos) {
        throw SaxonError(
            "The transformation was stopped: functions or templates called each other too deeply "
            "for the stack, so the stylesheet most likely recurses without end");
      }
      ReportThrown();
      if (m_state.terminated) {
        throw SaxonError(Described(
            "The transformation was ended by xsl:message terminate=\"yes\": " + *m_state.terminated,
            m_state));
      }
      throw SaxonError(Described("The transformation failed", m_state));
    }
    if (profiled) {
      profile.transformMicros = stopwatch.Lap();
      profile.templates = Templates(profiler.get());
      result.profile = std::move(profile);
    }
    if (marked) result.origins = OriginsOf(origins.get());
    // A refusal or a limit the stylesheet caught (xsl:try) still ends the job.
    if (!m_state.overflow.empty()) throw SaxonError(m_state.overflow);
    if (!m_state.refusals.empty())
      throw SaxonError(Described("The transformation failed", m_state));

    const Local<jclass> property = m_jni.Class("net/sf/saxon/s9api/Serializer$Property");
    const char* propertyType = "Lnet/sf/saxon/s9api/Serializer$Property;";
    const Local<jobject> method = m_jni.StaticField(property.get(), "METHOD", propertyType);
    const Local<jobject> encoding = m_jni.StaticField(property.get(), "ENCODING", propertyType);
    const char* get = "(Lnet/sf/saxon/s9api/Serializer$Property;)Ljava/lang/String;";
    const Local<jobject> methodName =
        m_jni.CallObject(serializer.get(), "getOutputProperty", get, method.get());
    const Local<jobject> encodingName =
        m_jni.CallObject(serializer.get(), "getOutputProperty", get, encoding.get());
    result.kind = KindOfOutput(m_jni.Utf8(static_cast<jstring>(methodName.get())), m_state.head);
    const std::string named = m_jni.Utf8(static_cast<jstring>(encodingName.get()));
    result.encoding = named.empty() ? "UTF-8" : named;
    return result;
  }

 private:
  // The document at `location` as a tree, or null with `result` saying
  // why it did not load, in the words the libxslt engine uses.
  Local<jobject> Build(jobject builder, const std::string& location, bool document,
                       JobResult& result) {
    const auto notLoaded = [&](std::int64_t line, std::string reason) {
      result.notLoaded = xml::ParseError{line, std::move(reason)};
      result.notLoadedLocation = location;
      return m_jni.Own<jobject>(nullptr);
    };
    if (location.empty()) return notLoaded(0, "No document location was given.");
    std::string path;
    try {
      path = AbsolutePath(location);
    } catch (const RuntimeError& e) {
      return notLoaded(0, e.what());
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      return notLoaded(0, "The location names a folder, not a file.");
    }
    const Local<jclass> reads = m_jni.Class("xmlpellor/saxon/Reads");
    const Local<jstring> uri = m_jni.String(FileUri(path));
    const QuietScope quiet(m_state);
    try {
      const Local<jobject> source = m_jni.CallStatic(
          reads.get(), "open", "(Ljava/lang/String;Z)Ljavax/xml/transform/stream/StreamSource;",
          uri.get(), document ? JNI_TRUE : JNI_FALSE);
      return m_jni.CallObject(builder, "build",
                              "(Ljavax/xml/transform/Source;)Lnet/sf/saxon/s9api/XdmNode;",
                              source.get());
    } catch (const RuntimeError&) {
      ThrowIfOutOfMemory();
    }
    // The parser's own exception holds the line and its reason.
    Local<jthrowable> thrown = m_jni.TakeThrown();
    Local<jobject> cause = m_jni.Own<jobject>(m_jni.env()->NewLocalRef(thrown.get()));
    for (int depth = 0; cause && depth < 8; ++depth) {
      if (m_jni.IsInstance(cause.get(), "org/xml/sax/SAXParseException")) {
        const Local<jclass> type = m_jni.Class("org/xml/sax/SAXParseException");
        const jint line = m_jni.env()->CallIntMethod(
            cause.get(), m_jni.env()->GetMethodID(type.get(), "getLineNumber", "()I"));
        const jint column = m_jni.env()->CallIntMethod(
            cause.get(), m_jni.env()->GetMethodID(type.get(), "getColumnNumber", "()I"));
        const Local<jobject> message =
            m_jni.CallObject(cause.get(), "getMessage", "()Ljava/lang/String;");
        std::string reason = m_jni.Utf8(static_cast<jstring>(message.get()));
        if (column > 0) reason += " (column " + std::to_string(column) + ")";
        return notLoaded(std::max(line, 0), std::move(reason));
      }
      if (m_jni.IsInstance(cause.get(), "java/io/IOException")) break;
      Local<jobject> next = m_jni.CallObject(cause.get(), "getCause", "()Ljava/lang/Throwable;");
      if (!next) break;
      cause = std::move(next);
    }
    const Local<jobject> message =
        m_jni.CallObject(cause.get(), "getMessage", "()Ljava/lang/String;");
    std::string reason = m_jni.Utf8(static_cast<jstring>(message.get()));
    if (reason.empty()) reason = m_jni.ToString(cause.get());
    return notLoaded(0, std::move(reason));
  }

  // With `tracing`, each template tells a trace listener as it begins and
  // ends, for the profile; Saxon leaves that out of a plain compile.
  Local<jobject> Compile(jobject stylesheet, bool tracing) {
    const Local<jobject> compiler =
        m_jni.CallObject(m_processor, "newXsltCompiler", "()Lnet/sf/saxon/s9api/XsltCompiler;");
    if (tracing) m_jni.CallVoid(compiler.get(), "setCompileWithTracing", "(Z)V", JNI_TRUE);
    m_jni.CallVoid(compiler.get(), "setErrorListener", "(Ljavax/xml/transform/ErrorListener;)V",
                   m_listener);
    m_jni.CallVoid(compiler.get(), "setURIResolver", "(Ljavax/xml/transform/URIResolver;)V",
                   m_reads);
    const Local<jobject> source =
        m_jni.CallObject(stylesheet, "asSource", "()Ljavax/xml/transform/Source;");
    try {
      return m_jni.CallObject(compiler.get(), "compile",
                              "(Ljavax/xml/transform/Source;)Lnet/sf/saxon/s9api/XsltExecutable;",
                              source.get());
    } catch (const RuntimeError&) {
      ThrowIfOutOfMemory();
      if (m_state.errors.Count() == 0) ReportThrown();
      throw SaxonError(Described("The stylesheet could not be compiled", m_state));
    }
  }

  // Where the walk over the stylesheet's modules is. Each module is read
  // once; the walk ends once every parameter has its declaration.
  struct ModuleWalk {
    Local<jobject> builder;
    Local<jobject> params;  // the XPath of a module's parameters
    Local<jobject> links;   // and of its xsl:include and xsl:import
    std::set<std::string> wanted;
    std::map<std::string, std::string> defaults;
    std::set<std::string> visited;
    bool Done() const { return defaults.size() == wanted.size(); }
  };

  // The stylesheet's global parameters, each with the default of the
  // declaration that wins (its select expression, else its text).
  std::vector<xml::DeclaredParameter> Declared(jobject executable, jobject stylesheet) {
    const Local<jobject> parameters =
        m_jni.CallObject(executable, "getGlobalParameters", "()Ljava/util/HashMap;");
    const Local<jobject> names = m_jni.CallObject(parameters.get(), "keySet", "()Ljava/util/Set;");
    const Local<jobject> array = m_jni.CallObject(names.get(), "toArray", "()[Ljava/lang/Object;");
    const auto items = static_cast<jobjectArray>(array.get());
    ModuleWalk walk{m_jni.CallObject(m_processor, "newDocumentBuilder",
                                     "()Lnet/sf/saxon/s9api/DocumentBuilder;"),
                    XPath("for $p in /*/*[local-name() = 'param' and namespace-uri() = '" +
                          std::string(kXsltNamespace) +
                          "'] return (string($p/@name), if ($p/@select) then string($p/@select) "
                          "else string($p))"),
                    XPath("for $m in /*/*[local-name() = ('include', 'import') and "
                          "namespace-uri() = '" +
                          std::string(kXsltNamespace) +
                          "'] return (local-name($m), string($m/@href), string(base-uri($m)))"),
                    {},
                    {},
                    {}};
    for (jsize i = 0; i < m_jni.env()->GetArrayLength(items); ++i) {
      const Local<jobject> name = m_jni.Own(m_jni.env()->GetObjectArrayElement(items, i));
      walk.wanted.insert(m_jni.ToString(name.get()));
    }
    const Local<jobject> base = m_jni.CallObject(stylesheet, "getBaseURI", "()Ljava/net/URI;");
    walk.visited.insert(ModuleKey(m_jni.ToString(base.get())));
    WalkLevel(stylesheet, walk);
    std::vector<xml::DeclaredParameter> declared;
    for (const std::string& name : walk.wanted) {
      xml::DeclaredParameter parameter;
      parameter.name = name;
      if (const auto found = walk.defaults.find(name); found != walk.defaults.end()) {
        parameter.defaultText = found->second;
      }
      declared.push_back(std::move(parameter));
    }
    return declared;
  }

  // One stylesheet level (`top` and the modules it includes), then the
  // levels it imports, the last first: XSLT's import precedence, highest
  // first, so the first declaration found wins.
  void WalkLevel(jobject top, ModuleWalk& walk) {
    std::vector<std::pair<std::string, std::string>> imports;  // href, base
    WalkModule(top, walk, imports);
    for (auto it = imports.rbegin(); it != imports.rend() && !walk.Done(); ++it) {
      if (const Local<jobject> module = ReadModule(it->first, it->second, walk)) {
        WalkLevel(module.get(), walk);
      }
    }
  }

  // An included module's imports count as if written where it is included.
  void WalkModule(jobject module, ModuleWalk& walk,
                  std::vector<std::pair<std::string, std::string>>& imports) {
    const std::vector<std::string> params = Strings(Select(walk.params.get(), module).get());
    for (std::size_t k = 0; k + 1 < params.size(); k += 2) {
      if (walk.wanted.count(params[k]) != 0) walk.defaults.emplace(params[k], params[k + 1]);
    }
    const std::vector<std::string> links = Strings(Select(walk.links.get(), module).get());
    for (std::size_t k = 0; k + 2 < links.size() && !walk.Done(); k += 3) {
      if (links[k] == "import") {
        imports.emplace_back(links[k + 1], links[k + 2]);
      } else if (const Local<jobject> included = ReadModule(links[k + 1], links[k + 2], walk)) {
        WalkModule(included.get(), walk, imports);
      }
    }
  }

  // A module read as the compile reads one, through the same resolver and so
  // the same read policy; null when it cannot be read, or was read already.
  // What the compile skipped (use-when) may be refused here, and that is no
  // failure of the job.
  Local<jobject> ReadModule(const std::string& href, const std::string& base, ModuleWalk& walk) {
    const std::size_t refusals = m_state.refusals.size();
    const bool advised = m_state.advised;
    const QuietScope quiet(m_state);
    Local<jobject> module = m_jni.Own<jobject>(nullptr);
    try {
      const Local<jstring> hrefText = m_jni.String(href);
      const Local<jstring> baseText = m_jni.String(base);
      const Local<jclass> reads = m_jni.Class("xmlpellor/saxon/Reads");
      const Local<jobject> uri = m_jni.CallStatic(
          reads.get(), "absolute", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;",
          hrefText.get(), baseText.get());
      if (walk.visited.insert(ModuleKey(m_jni.Utf8(static_cast<jstring>(uri.get())))).second) {
        const Local<jobject> source =
            m_jni.CallObject(m_reads, "resolve",
                             "(Ljava/lang/String;Ljava/lang/String;)Ljavax/xml/transform/Source;",
                             hrefText.get(), baseText.get());
        module = m_jni.CallObject(walk.builder.get(), "build",
                                  "(Ljavax/xml/transform/Source;)Lnet/sf/saxon/s9api/XdmNode;",
                                  source.get());
      }
    } catch (const RuntimeError&) {
      ThrowIfOutOfMemory();
      m_jni.TakeThrown();
    }
    m_state.refusals.resize(refusals);
    m_state.advised = advised;
    return module;
  }

  Local<jobject> XPath(const std::string& expression) {
    const Local<jobject> compiler =
        m_jni.CallObject(m_processor, "newXPathCompiler", "()Lnet/sf/saxon/s9api/XPathCompiler;");
    const Local<jstring> text = m_jni.String(expression);
    return m_jni.CallObject(compiler.get(), "compile",
                            "(Ljava/lang/String;)Lnet/sf/saxon/s9api/XPathExecutable;", text.get());
  }

  Local<jobject> Select(jobject xpath, jobject item) {
    const Local<jobject> selector =
        m_jni.CallObject(xpath, "load", "()Lnet/sf/saxon/s9api/XPathSelector;");
    m_jni.CallVoid(selector.get(), "setContextItem", "(Lnet/sf/saxon/s9api/XdmItem;)V", item);
    return m_jni.CallObject(selector.get(), "evaluate", "()Lnet/sf/saxon/s9api/XdmValue;");
  }

  // What the profiler counted of each template that ran.
  std::vector<xml::TemplateProfile> Templates(jobject profiler) {
    const std::vector<std::string> fields = Texts(profiler, "rows");
    const auto number = [](const std::string& text) {
      return static_cast<std::uint64_t>(std::strtoull(text.c_str(), nullptr, 10));
    };
    std::vector<xml::TemplateProfile> templates;
    for (std::size_t i = 0; i + 8 <= fields.size(); i += 8) {
      xml::TemplateProfile t;
      t.match = fields[i];
      t.name = fields[i + 1];
      t.mode = fields[i + 2];
      t.file = fields[i + 3];
      try {
        // Saxon names a file "file:/path", which is no file: URL of ours.
        if (t.file.rfind("file:/", 0) == 0 && t.file.rfind("file://", 0) != 0) {
          t.file = PercentDecoded(t.file.substr(5));
        } else {
          t.file = LocalPathOf(t.file);
        }
      } catch (const RuntimeError&) {
      }
      t.line = static_cast<long>(number(fields[i + 4]));
      t.calls = number(fields[i + 5]);
      t.selfMicros = number(fields[i + 6]);
      t.totalMicros = number(fields[i + 7]);
      templates.push_back(std::move(t));
    }
    return templates;
  }

  // The table the marker filled, its texts as the libxslt engine's are.
  xml::OriginTable OriginsOf(jobject marker) {
    xml::OriginTable table;
    const auto number = [](const std::string& text) {
      return static_cast<std::int64_t>(std::strtoll(text.c_str(), nullptr, 10));
    };
    const std::vector<std::string> templates = Texts(marker, "templates");
    for (std::size_t i = 0; i + 6 <= templates.size(); i += 6) {
      table.templates.push_back({templates[i], templates[i + 1], templates[i + 2], templates[i + 3],
                                 PlaceName(templates[i + 4]), number(templates[i + 5])});
    }
    const std::vector<std::string> instructions = Texts(marker, "instructions");
    for (std::size_t i = 0; i + 3 <= instructions.size(); i += 3) {
      table.instructions.push_back(
          {instructions[i], PlaceName(instructions[i + 1]), number(instructions[i + 2])});
    }
    const std::vector<std::string> sources = Texts(marker, "sources");
    for (std::size_t i = 0; i + 3 <= sources.size(); i += 3) {
      table.sources.push_back({sources[i], PlaceName(sources[i + 1]), number(sources[i + 2])});
    }
    const std::vector<std::string> labels = Texts(marker, "labels");
    const Local<jobject> array = m_jni.CallObject(marker, "origins", "()[I");
    const auto numbers = static_cast<jintArray>(array.get());
    std::vector<jint> fields(static_cast<std::size_t>(m_jni.env()->GetArrayLength(numbers)));
    m_jni.env()->GetIntArrayRegion(numbers, 0, static_cast<jsize>(fields.size()), fields.data());
    m_jni.Check();
    table.origins.reserve(fields.size() / 5);
    for (std::size_t i = 0; i + 5 <= fields.size() && i / 5 < labels.size(); i += 5) {
      xml::Origin& origin = table.origins.emplace_back();
      origin.element = static_cast<std::uint64_t>(fields[i]);
      origin.part = static_cast<xml::OriginPart>(fields[i + 1]);
      origin.label = xml::OriginLabel(labels[i / 5]);
      origin.templ = fields[i + 2];
      origin.instruction = fields[i + 3];
      origin.source = fields[i + 4];
    }
    return table;
  }

  std::vector<std::string> Texts(jobject object, const char* method) {
    const Local<jobject> array = m_jni.CallObject(object, method, "()[Ljava/lang/String;");
    const auto texts = static_cast<jobjectArray>(array.get());
    std::vector<std::string> fields;
    for (jsize i = 0; i < m_jni.env()->GetArrayLength(texts); ++i) {
      const Local<jobject> text = m_jni.Own(m_jni.env()->GetObjectArrayElement(texts, i));
      fields.push_back(m_jni.Utf8(static_cast<jstring>(text.get())));
    }
    return fields;
  }

  std::vector<std::string> Strings(jobject value) {
    std::vector<std::string> strings;
    const Local<jclass> type = m_jni.Class("net/sf/saxon/s9api/XdmValue");
    const jint size =
        m_jni.env()->CallIntMethod(value, m_jni.env()->GetMethodID(type.get(), "size", "()I"));
    m_jni.Check();
    for (jint i = 0; i < size; ++i) {
      const Local<jobject> item =
          m_jni.CallObject(value, "itemAt", "(I)Lnet/sf/saxon/s9api/XdmItem;", i);
      const Local<jobject> text =
          m_jni.CallObject(item.get(), "getStringValue", "()Ljava/lang/String;");
      strings.push_back(m_jni.Utf8(static_cast<jstring>(text.get())));
    }
    return strings;
  }

  // --stringparam values are untyped, as a value from outside the
  // stylesheet is in XSLT 2.0 and 3.0; --param values are XPath, evaluated
  // with the document as the context, as xsltproc evaluates them.
  void SetParameters(const JobRequest& request, jobject executable, jobject transformer,
                     jobject document) {
    const Local<jclass> mapClass = m_jni.Class("java/util/HashMap");
    const Local<jobject> map = m_jni.New(mapClass.get(), "()V");
    const Local<jobject> declared =
        m_jni.CallObject(executable, "getGlobalParameters", "()Ljava/util/HashMap;");
    const auto put = [&](const std::string& name, const std::string& value, bool xpath) {
      const Local<jobject> qname = QName(name);
      if (!qname) return;
      if (!m_jni.CallBoolean(declared.get(), "containsKey", "(Ljava/lang/Object;)Z", qname.get())) {
        m_state.events.Message("Warning: the stylesheet declares no global parameter '" + name +
                               "'; its value is ignored");
        return;
      }
      const Local<jobject> item = xpath ? Evaluate(name, value, document) : Untyped(value);
      m_jni.CallObject(map.get(), "put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;",
                       qname.get(), item.get());
    };
    for (std::size_t i = 0; i + 1 < request.params.size(); i += 2) {
      put(request.params[i], request.params[i + 1], false);
    }
    for (const xml::GlobalParameter& global : request.globals) {
      put(global.name, global.value, global.xpath);
    }
    try {
      m_jni.CallVoid(transformer, "setStylesheetParameters", "(Ljava/util/Map;)V", map.get());
    } catch (const RuntimeError&) {
      ReportThrown();
      throw SaxonError(Described("The stylesheet parameters could not be set", m_state));
    }
  }

  // A parameter's name: plain, or Q{uri}local for one in a namespace.
  Local<jobject> QName(const std::string& name) {
    const Local<jclass> type = m_jni.Class("net/sf/saxon/s9api/QName");
    const Local<jstring> text = m_jni.String(name);
    if (name.rfind("Q{", 0) == 0) {
      return m_jni.CallStatic(type.get(), "fromEQName",
                              "(Ljava/lang/String;)Lnet/sf/saxon/s9api/QName;", text.get());
    }
    if (name.find(':') != std::string::npos) {
      throw SaxonError("The parameter name '" + name +
                       "' has a prefix, which names no namespace outside the stylesheet: give it "
                       "as Q{namespace}" +
                       name.substr(name.find(':') + 1));
    }
    return m_jni.New(type.get(), "(Ljava/lang/String;)V", text.get());
  }

  Local<jobject> Untyped(const std::string& value) {
    const Local<jclass> itemType = m_jni.Class("net/sf/saxon/s9api/ItemType");
    const Local<jobject> untyped =
        m_jni.StaticField(itemType.get(), "UNTYPED_ATOMIC", "Lnet/sf/saxon/s9api/ItemType;");
    const Local<jclass> atomic = m_jni.Class("net/sf/saxon/s9api/XdmAtomicValue");
    const Local<jstring> text = m_jni.String(value);
    return m_jni.New(atomic.get(), "(Ljava/lang/String;Lnet/sf/saxon/s9api/ItemType;)V", text.get(),
                     untyped.get());
  }

  Local<jobject> Evaluate(const std::string& name, const std::string& expression,
                          jobject document) {
    const Local<jobject> xpath =
        m_jni.CallObject(m_processor, "newXPathCompiler", "()Lnet/sf/saxon/s9api/XPathCompiler;");
    const Local<jstring> text = m_jni.String(expression);
    try {
      return m_jni.CallObject(
          xpath.get(), "evaluate",
          "(Ljava/lang/String;Lnet/sf/saxon/s9api/XdmItem;)Lnet/sf/saxon/s9api/XdmValue;",
          text.get(), document);
    } catch (const RuntimeError&) {
      ThrowIfOutOfMemory();
      ReportThrown();
      throw SaxonError(Described(
          "The value of the parameter '" + name + "' (" + expression + ") could not be evaluated",
          m_state));
    }
  }

  // What the last call threw, told through the listener as Saxon tells its
  // own errors, unless the listener already heard it.
  void ReportThrown() {
    Local<jthrowable> thrown = m_jni.TakeThrown();
    if (!thrown) return;
    Local<jobject> failure = m_jni.Own<jobject>(m_jni.env()->NewLocalRef(thrown.get()));
    // The s9api's exception wraps Saxon's own, which has the code and place.
    if (m_jni.IsInstance(failure.get(), "net/sf/saxon/s9api/SaxonApiException")) {
      Local<jobject> cause = m_jni.CallObject(failure.get(), "getCause", "()Ljava/lang/Throwable;");
      if (cause) failure = std::move(cause);
    }
    const std::size_t before = m_state.errors.Count();
    const Local<jclass> listener = m_jni.Class("xmlpellor/saxon/Listener");
    // Saxon reports a dynamic error to the listener before it throws it.
    if (before > 0 && m_jni.IsInstance(failure.get(), "net/sf/saxon/trans/XPathException")) {
      const Local<jclass> type = m_jni.Class("net/sf/saxon/trans/XPathException");
      const jboolean reported = m_jni.env()->CallBooleanMethod(
          failure.get(), m_jni.env()->GetMethodID(type.get(), "hasBeenReported", "()Z"));
      m_jni.env()->ExceptionClear();
      if (reported != JNI_FALSE) return;
    }
    m_jni.CallStaticVoid(listener.get(), "report", "(ILjava/lang/Throwable;)V", jint{1},
                         failure.get());
  }

  void ThrowIfOutOfMemory() {
    if (m_jni.Thrown() != nullptr &&
        m_jni.IsInstance(m_jni.Thrown(), "java/lang/OutOfMemoryError")) {
      throw std::bad_alloc();
    }
  }

  Jni& m_jni;
  jobject m_processor;
  jobject m_reads;
  jobject m_listener;
  JobState& m_state;
};

// Grouping, maps, regular expressions, dates and text value templates: most
// of what a 3.0 stylesheet's first run loads.
constexpr const char* kWarmUpStylesheet = R"xsl(<xsl:stylesheet version="3.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform" expand-text="yes"
    xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:map="http://www.w3.org/2005/xpath-functions/map">
  <xsl:output method="html" html-version="5"/>
  <xsl:template name="xsl:initial-template" match="/">
    <xsl:variable name="m" select="map { 'a': 1, 'b': 2 }"/>
    <html><body>
      <xsl:for-each-group select="('x', 'y', 'x')" group-by=".">
        <p>{current-grouping-key()} {count(current-group())} {map:size($m)}</p>
      </xsl:for-each-group>
      <xsl:iterate select="1 to 3"><xsl:param name="t" select="0"/>
        <xsl:on-completion><p>{$t}</p></xsl:on-completion>
        <xsl:next-iteration><xsl:with-param name="t" select="$t + ."/></xsl:next-iteration>
      </xsl:iterate>
      <xsl:analyze-string select="'a1b22'" regex="[0-9]+">
        <xsl:matching-substring><i>{.}</i></xsl:matching-substring>
      </xsl:analyze-string>
      <p>{format-date(xs:date('2024-02-29'), '[D1] [MNn] [Y]')} {upper-case('x')}</p>
    </body></html>
  </xsl:template>
</xsl:stylesheet>)xsl";

}  // namespace

SaxonProcessor::SaxonProcessor(JNIEnv* env) {
  Jni jni(env);
  RegisterHost(jni);
  const Local<jclass> processorClass = jni.Class("net/sf/saxon/s9api/Processor");
  const Local<jobject> processor = jni.New(processorClass.get(), "(Z)V", JNI_FALSE);
  // Saxon-HE has no reflexive calls into Java, so a stylesheet reaches no Java of its own; Saxon's
  // switch for them stays on because switching it off also refuses xsl:result-document, which the
  // resolver below hands to the process instead.
  const Local<jclass> readsClass = jni.Class("xmlpellor/saxon/Reads");
  const Local<jobject> reads = jni.New(readsClass.get(), "()V");
  const Local<jclass> listenerClass = jni.Class("xmlpellor/saxon/Listener");
  const Local<jobject> listener = jni.New(listenerClass.get(), "()V");
  const Local<jobject> config = jni.CallObject(processor.get(), "getUnderlyingConfiguration",
                                               "()Lnet/sf/saxon/Configuration;");
  jni.CallVoid(config.get(), "setURIResolver", "(Ljavax/xml/transform/URIResolver;)V", reads.get());
  jni.CallVoid(config.get(), "setUnparsedTextURIResolver",
               "(Lnet/sf/saxon/lib/UnparsedTextURIResolver;)V", reads.get());
  jni.CallVoid(config.get(), "setCollectionFinder", "(Lnet/sf/saxon/lib/CollectionFinder;)V",
               reads.get());
  jni.CallVoid(config.get(), "setErrorListener", "(Ljavax/xml/transform/ErrorListener;)V",
               listener.get());
  // The parser's DTDs and external entities come through the same door.
  const Local<jobject> parseOptions =
      jni.CallObject(config.get(), "getParseOptions", "()Lnet/sf/saxon/lib/ParseOptions;");
  jni.CallVoid(parseOptions.get(), "setEntityResolver", "(Lorg/xml/sax/EntityResolver;)V",
               reads.get());
  m_processor = jni.MakeGlobal(processor.get());
  m_reads = jni.MakeGlobal(reads.get());
  m_listener = jni.MakeGlobal(listener.get());
}

void SaxonProcessor::WarmUp(JNIEnv* env) {
  Jni jni(env);
  const Local<jobject> compiler =
      jni.CallObject(m_processor.get(), "newXsltCompiler", "()Lnet/sf/saxon/s9api/XsltCompiler;");
  jni.CallVoid(compiler.get(), "setErrorListener", "(Ljavax/xml/transform/ErrorListener;)V",
               m_listener.get());
  const Local<jclass> readerClass = jni.Class("java/io/StringReader");
  const Local<jstring> text = jni.String(kWarmUpStylesheet);
  const Local<jobject> reader = jni.New(readerClass.get(), "(Ljava/lang/String;)V", text.get());
  const Local<jclass> sourceClass = jni.Class("javax/xml/transform/stream/StreamSource");
  const Local<jobject> source = jni.New(sourceClass.get(), "(Ljava/io/Reader;)V", reader.get());
  const Local<jobject> executable = jni.CallObject(
      compiler.get(), "compile",
      "(Ljavax/xml/transform/Source;)Lnet/sf/saxon/s9api/XsltExecutable;", source.get());
  const Local<jobject> transformer =
      jni.CallObject(executable.get(), "load30", "()Lnet/sf/saxon/s9api/Xslt30Transformer;");
  const Local<jclass> sinkClass = jni.Class("java/io/ByteArrayOutputStream");
  const Local<jobject> sink = jni.New(sinkClass.get(), "()V");
  const Local<jobject> serializer =
      jni.CallObject(transformer.get(), "newSerializer",
                     "(Ljava/io/OutputStream;)Lnet/sf/saxon/s9api/Serializer;", sink.get());
  const Local<jclass> qnameClass = jni.Class("net/sf/saxon/s9api/QName");
  const Local<jstring> initial =
      jni.String("Q{http://www.w3.org/1999/XSL/Transform}initial-template");
  const Local<jobject> name =
      jni.CallStatic(qnameClass.get(), "fromEQName",
                     "(Ljava/lang/String;)Lnet/sf/saxon/s9api/QName;", initial.get());
  jni.CallVoid(transformer.get(), "callTemplate",
               "(Lnet/sf/saxon/s9api/QName;Lnet/sf/saxon/s9api/Destination;)V", name.get(),
               serializer.get());
}

std::string SaxonProcessor::Product(JNIEnv* env) {
  Jni jni(env);
  const Local<jobject> version =
      jni.CallObject(m_processor.get(), "getSaxonProductVersion", "()Ljava/lang/String;");
  return std::string(kSaxonSource) + " " + jni.Utf8(static_cast<jstring>(version.get()));
}

JobResult SaxonProcessor::Run(JNIEnv* env, const JobRequest& request, JobEvents& events,
                              std::uint64_t& written) {
  JobState state{request.reads, events, request.maxDocuments, request.maxDocumentBytes};
  const JobScope scope(state);
  Jni jni(env);
  // A job makes many local references; they go with this frame.
  if (env->PushLocalFrame(64) != JNI_OK) throw std::bad_alloc();
  struct FramePopper {
    JNIEnv* env;
    ~FramePopper() { env->PopLocalFrame(nullptr); }
  } popper{env};
  Job job(jni, m_processor.get(), m_reads.get(), m_listener.get(), state);
  JobResult result = job.Run(request);
  written = state.written;
  result.documents = std::move(state.documents.files);
  return result;
}

}  // namespace xmlpellor::saxon
