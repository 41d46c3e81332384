#pragma once

#include <jni.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace xmlpellor::saxon {

// A local reference, deleted when it goes: a job makes thousands of them on
// one attached thread, which keeps every one until it detaches otherwise.
struct LocalDeleter {
  JNIEnv* env = nullptr;
  void operator()(jobject object) const noexcept {
    if (env != nullptr && object != nullptr) env->DeleteLocalRef(object);
  }
};
template <class T>
using Local = std::unique_ptr<std::remove_pointer_t<T>, LocalDeleter>;

// A global reference, for what outlives one call (the processor between
// the warm-up and the job, the classes looked up once).
struct GlobalDeleter {
  JavaVM* vm = nullptr;
  void operator()(jobject object) const noexcept;
};
template <class T>
using Global = std::unique_ptr<std::remove_pointer_t<T>, GlobalDeleter>;

// Java strings are UTF-16; the program's texts are UTF-8. Unpaired
// surrogates and bytes that are no UTF-8 become U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);
std::u16string Utf16FromUtf8(std::string_view text);

// The Java VM of this process, with Saxon and the engine's Java part on its
// class path. libjvm is loaded at run time, so the engine starts (and says
// what is missing) on a system without Java.
class JavaVm {
 public:
  struct Options {
    std::string libjvm;                  // the library's path
    std::vector<std::string> classPath;  // jars
    std::vector<std::string> arguments;  // -Xmx... and the like
    // What the VM prints (its fatal error report among it), and its last
    // call before it aborts; null: its own.
    jint (*print)(FILE*, const char*, va_list) = nullptr;
    void (*abort)() = nullptr;
  };
  // Throws RuntimeError with what the VM said when it does not start.
  explicit JavaVm(const Options& options);
  // The VM ends with the process: DestroyJavaVM would wait for every
  // thread of Java's own, and a job that was given up may still run.
  ~JavaVm() = default;
  JavaVm(const JavaVm&) = delete;
  JavaVm& operator=(const JavaVm&) = delete;

  JavaVM* vm() const noexcept { return m_vm; }
  // The thread that created the VM is attached for good.
  JNIEnv* MainEnv() const noexcept { return m_mainEnv; }
  // The product version the VM reports ("17.0.15+6-Debian-1deb12u1").
  std::string Version();

 private:
  JavaVM* m_vm = nullptr;
  JNIEnv* m_mainEnv = nullptr;
};

// Attaches the calling thread to the VM for its scope.
class AttachedThread {
 public:
  explicit AttachedThread(JavaVM* vm);
  ~AttachedThread();
  AttachedThread(const AttachedThread&) = delete;
  AttachedThread& operator=(const AttachedThread&) = delete;
  JNIEnv* env() const noexcept { return m_env; }

 private:
  JavaVM* m_vm;
  JNIEnv* m_env = nullptr;
};

// Calls into Java from C++. Every call checks for a Java exception: one
// that is pending becomes a RuntimeError with the exception's text, and the
// throwable is kept for the caller to look at (Thrown()).
class Jni {
 public:
  explicit Jni(JNIEnv* env) noexcept : m_env(env) {}
  JNIEnv* env() const noexcept { return m_env; }

  Local<jclass> Class(const char* name);
  template <class T>
  Local<T> Own(T object) const noexcept {
    return Local<T>(object, LocalDeleter{m_env});
  }
  template <class T>
  Global<T> MakeGlobal(T object) const;

  template <class... Args>
  Local<jobject> New(jclass type, const char* signature, Args... args) {
    const jmethodID constructor = Method(type, "<init>", signature);
    return Checked(m_env->NewObject(type, constructor, args...));
  }
  template <class... Args>
  Local<jobject> CallObject(jobject object, const char* name, const char* signature, Args... args) {
    const jmethodID method = Method(ClassOf(object).get(), name, signature);
    return Checked(m_env->CallObjectMethod(object, method, args...));
  }
  template <class... Args>
  void CallVoid(jobject object, const char* name, const char* signature, Args... args) {
    const jmethodID method = Method(ClassOf(object).get(), name, signature);
    m_env->CallVoidMethod(object, method, args...);
    Check();
  }
  template <class... Args>
  bool CallBoolean(jobject object, const char* name, const char* signature, Args... args) {
    const jmethodID method = Method(ClassOf(object).get(), name, signature);
    const jboolean value = m_env->CallBooleanMethod(object, method, args...);
    Check();
    return value != JNI_FALSE;
  }
  template <class... Args>
  Local<jobject> CallStatic(jclass type, const char* name, const char* signature, Args... args) {
    const jmethodID method = StaticMethod(type, name, signature);
    return Checked(m_env->CallStaticObjectMethod(type, method, args...));
  }
  template <class... Args>
  void CallStaticVoid(jclass type, const char* name, const char* signature, Args... args) {
    const jmethodID method = StaticMethod(type, name, signature);
    m_env->CallStaticVoidMethod(type, method, args...);
    Check();
  }
  Local<jobject> StaticField(jclass type, const char* name, const char* signature);

  Local<jstring> String(std::string_view utf8);
  // "" for null.
  std::string Utf8(jstring text);
  std::string ToString(jobject object);
  bool IsInstance(jobject object, const char* className);

  // Throws when an exception is pending.
  void Check();
  // The last exception a call threw, taken off the thread; null when none.
  jthrowable Thrown() const noexcept { return m_thrown.get(); }
  Local<jthrowable> TakeThrown() noexcept { return std::move(m_thrown); }

 private:
  Local<jclass> ClassOf(jobject object);
  jmethodID Method(jclass type, const char* name, const char* signature);
  jmethodID StaticMethod(jclass type, const char* name, const char* signature);
  template <class T>
  Local<T> Checked(T object) {
    Local<T> owned = Own(object);
    Check();
    return owned;
  }

  JNIEnv* m_env;
  Local<jthrowable> m_thrown{nullptr, LocalDeleter{m_env}};
};

template <class T>
Global<T> Jni::MakeGlobal(T object) const {
  JavaVM* vm = nullptr;
  m_env->GetJavaVM(&vm);
  return Global<T>(static_cast<T>(m_env->NewGlobalRef(object)), GlobalDeleter{vm});
}

// Inside a native method, the other way round: a failure on the C++ side
// becomes a Java exception of `className` with `text`, thrown when the
// method returns.
void ThrowJava(JNIEnv* env, const char* className, const std::string& text) noexcept;

}  // namespace xmlpellor::saxon
