#pragma once

#include <cstdint>
#include <string>

#include "engine/saxon/Jni.h"
#include "wire/JobWire.h"

namespace xmlpellor::saxon {

// The name the window shows for this engine.
inline constexpr const char* kSaxonSource = "Saxon-HE";

// Saxon-HE's processor, made once when the engine's process starts, with
// every read of a job going through the job's read policy, no file written,
// no Java called from a stylesheet, and messages and errors passed on as
// they come.
class SaxonProcessor {
 public:
  // Registers the Java part's native methods and makes the processor.
  explicit SaxonProcessor(JNIEnv* env);

  // Compiles and runs a small stylesheet that touches what most jobs use
  // (grouping, maps, regular expressions, dates, the serializer), so that
  // Saxon's classes are loaded and warm before a job comes.
  void WarmUp(JNIEnv* env);
  // "Saxon-HE 9.9.1.5".
  std::string Product(JNIEnv* env);

  // Runs one job on the calling thread, which is attached to the VM. The
  // output goes straight into the helper's output file as Saxon writes it;
  // `written` says how many bytes. Throws std::bad_alloc when the heap ran
  // out.
  wire::JobResult Run(JNIEnv* env, const wire::JobRequest& request, wire::JobEvents& events,
                      std::uint64_t& written);

 private:
  Global<jobject> m_processor;
  Global<jobject> m_reads;
  Global<jobject> m_listener;
};

}  // namespace xmlpellor::saxon
