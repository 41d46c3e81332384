#include "engine/saxon/Jni.h"

#include <dlfcn.h>

#include "platform/RuntimeError.h"

namespace xmlpellor::saxon {

namespace {

RuntimeError JavaFailure(const std::string& text) {
  return RuntimeError(err::kInternalError, text, "Saxon-HE");
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

void GlobalDeleter::operator()(jobject object) const noexcept {
  if (vm == nullptr || object == nullptr) return;
  JNIEnv* env = nullptr;
  // A thread that is not attached cannot delete it; the process's end does.
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_8) == JNI_OK) {
    env->DeleteGlobalRef(object);
  }
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    int length = 0;
    char32_t c = 0;
    if (byte < 0x80) {
      length = 1;
      c = byte;
    } else if ((byte & 0xE0) == 0xC0) {
      length = 2;
      c = byte & 0x1F;
    } else if ((byte & 0xF0) == 0xE0) {
      length = 3;
      c = byte & 0x0F;
    } else if ((byte & 0xF8) == 0xF0) {
      length = 4;
      c = byte & 0x07;
    }
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms and surrogates are no characters of UTF-8.
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) {
      valid = false;
    }
    if (!valid) {
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += static_cast<std::size_t>(length);
  }
  return out;
}

JavaVm::JavaVm(const Options& options) {
  // The library stays loaded for the process's life, as the VM does.
  void* library = ::dlopen(options.libjvm.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) throw JavaFailure(std::string("Cannot load the Java VM: ") + ::dlerror());
  using CreateVm = jint (*)(JavaVM**, void**, void*);
  const auto create = reinterpret_cast<CreateVm>(::dlsym(library, "JNI_CreateJavaVM"));
  if (create == nullptr) throw JavaFailure("Not a Java VM: " + options.libjvm);

  std::vector<std::string> texts;
  std::string classPath = "-Djava.class.path=";
  for (std::size_t i = 0; i < options.classPath.size(); ++i) {
    classPath += (i == 0 ? "" : ":") + options.classPath[i];
  }
  texts.push_back(classPath);
  texts.insert(texts.end(), options.arguments.begin(), options.arguments.end());
  std::vector<JavaVMOption> vmOptions;
  for (std::string& text : texts) vmOptions.push_back({text.data(), nullptr});
  std::string print = "vfprintf", abort = "abort";
  if (options.print != nullptr) {
    vmOptions.push_back({print.data(), reinterpret_cast<void*>(options.print)});
  }
  if (options.abort != nullptr) {
    vmOptions.push_back({abort.data(), reinterpret_cast<void*>(options.abort)});
  }
  JavaVMInitArgs arguments{};
  arguments.version = JNI_VERSION_1_8;
  arguments.nOptions = static_cast<jint>(vmOptions.size());
  arguments.options = vmOptions.data();
  arguments.ignoreUnrecognized = JNI_FALSE;
  const jint created =
      create(&m_vm, reinterpret_cast<void**>(&m_mainEnv), static_cast<void*>(&arguments));
  if (created != JNI_OK) {
    throw JavaFailure("The Java VM did not start (JNI error " + std::to_string(created) + ")");
  }
}

std::string JavaVm::Version() {
  Jni jni(m_mainEnv);
  const Local<jclass> system = jni.Class("java/lang/System");
  const Local<jstring> name = jni.String("java.runtime.version");
  const Local<jobject> version = jni.CallStatic(
      system.get(), "getProperty", "(Ljava/lang/String;)Ljava/lang/String;", name.get());
  return jni.Utf8(static_cast<jstring>(version.get()));
}

AttachedThread::AttachedThread(JavaVM* vm) : m_vm(vm) {
  JavaVMAttachArgs arguments{JNI_VERSION_1_8, const_cast<char*>("xmlpellor-job"), nullptr};
  if (m_vm->AttachCurrentThread(reinterpret_cast<void**>(&m_env), &arguments) != JNI_OK) {
    throw JavaFailure("The job's thread could not join the Java VM");
  }
}

AttachedThread::~AttachedThread() {
  m_vm->DetachCurrentThread();
}

Local<jclass> Jni::Class(const char* name) {
  return Checked(m_env->FindClass(name));
}

Local<jclass> Jni::ClassOf(jobject object) {
  return Own(m_env->GetObjectClass(object));
}

jmethodID Jni::Method(jclass type, const char* name, const char* signature) {
  const jmethodID method = m_env->GetMethodID(type, name, signature);
  Check();
  return method;
}

jmethodID Jni::StaticMethod(jclass type, const char* name, const char* signature) {
  const jmethodID method = m_env->GetStaticMethodID(type, name, signature);
  Check();
  return method;
}

Local<jobject> Jni::StaticField(jclass type, const char* name, const char* signature) {
  const jfieldID field = m_env->GetStaticFieldID(type, name, signature);
  Check();
  return Checked(m_env->GetStaticObjectField(type, field));
}

Local<jstring> Jni::String(std::string_view utf8) {
  const std::u16string text = Utf16FromUtf8(utf8);
  return Checked(m_env->NewString(reinterpret_cast<const jchar*>(text.data()),
                                  static_cast<jsize>(text.size())));
}

std::string Jni::Utf8(jstring text) {
  if (text == nullptr) return {};
  const jsize length = m_env->GetStringLength(text);
  std::u16string units(static_cast<std::size_t>(length), u'\0');
  m_env->GetStringRegion(text, 0, length, reinterpret_cast<jchar*>(units.data()));
  Check();
  return Utf8FromUtf16(units);
}

std::string Jni::ToString(jobject object) {
  if (object == nullptr) return {};
  const Local<jobject> text = CallObject(object, "toString", "()Ljava/lang/String;");
  return Utf8(static_cast<jstring>(text.get()));
}

bool Jni::IsInstance(jobject object, const char* className) {
  const Local<jclass> type = Class(className);
  return object != nullptr && m_env->IsInstanceOf(object, type.get()) != JNI_FALSE;
}

void Jni::Check() {
  if (m_env->ExceptionCheck() == JNI_FALSE) return;
  m_thrown = Own(m_env->ExceptionOccurred());
  m_env->ExceptionClear();
  std::string text = "A Java exception";
  // Its text is asked for without a check of its own: a throwable whose
  // toString throws again says no more.
  const Local<jclass> type = Own(m_env->GetObjectClass(m_thrown.get()));
  const jmethodID toString = m_env->GetMethodID(type.get(), "toString", "()Ljava/lang/String;");
  if (toString != nullptr) {
    const auto said = Own(static_cast<jstring>(m_env->CallObjectMethod(m_thrown.get(), toString)));
    if (m_env->ExceptionCheck() == JNI_FALSE && said) {
      const jsize length = m_env->GetStringLength(said.get());
      std::u16string units(static_cast<std::size_t>(length), u'\0');
      m_env->GetStringRegion(said.get(), 0, length, reinterpret_cast<jchar*>(units.data()));
      text = Utf8FromUtf16(units);
    }
  }
  m_env->ExceptionClear();
  throw JavaFailure(text);
}

void ThrowJava(JNIEnv* env, const char* className, const std::string& text) noexcept {
  if (env->ExceptionCheck() != JNI_FALSE) return;  // the first one stands
  const jclass type = env->FindClass(className);
  if (type == nullptr) return;  // FindClass left its own exception pending
  const std::u16string units = Utf16FromUtf8(text);
  const jstring message = env->NewString(reinterpret_cast<const jchar*>(units.data()),
                                         static_cast<jsize>(units.size()));
  if (message == nullptr) return;
  const jmethodID constructor = env->GetMethodID(type, "<init>", "(Ljava/lang/String;)V");
  if (constructor != nullptr) {
    const auto thrown = static_cast<jthrowable>(env->NewObject(type, constructor, message));
    if (thrown != nullptr) env->Throw(thrown);
  }
}

}  // namespace xmlpellor::saxon
