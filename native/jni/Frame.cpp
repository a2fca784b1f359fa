#include "Frame.h"

#include <atomic>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "../producer/Producer.h"

namespace Grabkit::Jni {

namespace {
struct JavaClassRow {
  int code;
  const char* path;
};
// Searched in order; the last row ends the search and names the class of an
// unknown code.
constexpr JavaClassRow kJavaClasses[] = {
    {1, "java/lang/OutOfMemoryError"},     {2, "java/io/IOException"},
    {3, "java/lang/RuntimeException"},     {4, "java/lang/IndexOutOfBoundsException"},
    {5, "java/lang/ArithmeticException"},  {6, "java/lang/IllegalArgumentException"},
    {7, "java/lang/NullPointerException"}, {8, "java/lang/RuntimeException"},
    {9, "java/lang/UnknownError"},         {10, "java/lang/IllegalStateException"},
    {0, "java/lang/UnknownError"},
};

void throwByPath(JNIEnv* env, const char* path, const char* message) {
  jclass cls = env->FindClass(path);
  if (cls != nullptr) env->ThrowNew(cls, message);
}

// The classes of GRABKIT_EXCEPTIONS by kind, with their (String) constructor,
// made on the first throw of each kind and kept as global references: later
// failures cost no class or method lookup, and a start that never fails loads
// none of them. A fixed text is made into a String once, too.
constexpr const char* kGenTLClasses[] = {
#define GRABKIT_PATH(name, code, message) GRABKIT_JAVA_PACKAGE "/" #name,
    GRABKIT_EXCEPTIONS(GRABKIT_PATH)
#undef GRABKIT_PATH
};
static_assert(sizeof(kGenTLClasses) / sizeof(kGenTLClasses[0]) == kErrorKinds);

struct JavaKind {
  jclass cls;
  jmethodID init;
  jstring fixedText;  // null until a fixed text of the kind was thrown
};
std::atomic<JavaKind*> javaKinds[kErrorKinds] = {};

// The kind's class and constructor, or null with a Java exception pending.
JavaKind* javaKind(JNIEnv* env, int kind) {
  JavaKind* k = javaKinds[kind].load(std::memory_order_acquire);
  if (k != nullptr) return k;
  jclass local = env->FindClass(kGenTLClasses[kind]);
  if (local == nullptr) return nullptr;
  jmethodID init = env->GetMethodID(local, "<init>", "(Ljava/lang/String;)V");
  auto global = static_cast<jclass>(env->NewGlobalRef(local));
  env->DeleteLocalRef(local);
  if (init == nullptr || global == nullptr) return nullptr;
  jstring fixed = nullptr;
  if (const char* text = fixedErrorText(kind)) {
    jstring localText = env->NewStringUTF(text);
    if (localText == nullptr) return nullptr;
    fixed = static_cast<jstring>(env->NewGlobalRef(localText));
    env->DeleteLocalRef(localText);
  }
  auto* made = new JavaKind{global, init, fixed};
  JavaKind* expected = nullptr;
  if (javaKinds[kind].compare_exchange_strong(expected, made)) return made;
  // Another thread was first: its entry serves, this one goes.
  env->DeleteGlobalRef(global);
  if (fixed != nullptr) env->DeleteGlobalRef(fixed);
  delete made;
  return expected;
}

// `text` null: the kind's fixed text.
void throwKind(JNIEnv* env, int kind, const char* text) {
  if (kind < 0 || kind >= kErrorKinds) return;
  JavaKind* k = javaKind(env, kind);
  if (k == nullptr) return;
  jstring message = text == nullptr ? k->fixedText : env->NewStringUTF(text);
  if (message == nullptr) return;
  auto e = static_cast<jthrowable>(env->NewObject(k->cls, k->init, message));
  if (e != nullptr) env->Throw(e);
}
}  // namespace

void throwJava(JNIEnv* env, int code, const char* message) {
  if (code == kJavaReadOnlyBufferException) {
    // The class has no constructor that takes a message.
    env->ExceptionClear();
    jclass cls = env->FindClass("java/nio/ReadOnlyBufferException");
    if (cls == nullptr) return;
    jmethodID init = env->GetMethodID(cls, "<init>", "()V");
    if (init == nullptr) return;
    auto e = static_cast<jthrowable>(env->NewObject(cls, init));
    if (e != nullptr) env->Throw(e);
    return;
  }
  const JavaClassRow* row = kJavaClasses;
  while (row->code != code && row->code != 0) ++row;
  env->ExceptionClear();
  throwByPath(env, row->path, message);
}

void throwGenTL(JNIEnv* env, const GenTLException& e) {
  throwKind(env, e.kind(), e.what());
}

bool failed(JNIEnv* env, int32_t code) {
  if (code == 0) return false;
  int kind = errorKind(code);
  if (kind < 0 || strictInScope()) {
    checkError(code);  // throws where the code is a failure
    return false;
  }
  throwKind(env, kind, nullptr);
  return true;
}

std::string toString(JNIEnv* env, jstring s) {
  if (s == nullptr) raiseJava(env, kJavaNullPointerException, "null string");
  const char* chars = env->GetStringUTFChars(s, nullptr);
  if (chars == nullptr) throw JavaExceptionPending{};
  std::string copy(chars);
  env->ReleaseStringUTFChars(s, chars);
  return copy;
}

std::string toBytes(JNIEnv* env, jbyteArray bytes) {
  if (bytes == nullptr) raiseJava(env, kJavaNullPointerException, "null path");
  jsize n = env->GetArrayLength(bytes);
  std::string copy(static_cast<size_t>(n), '\0');
  env->GetByteArrayRegion(bytes, 0, n, reinterpret_cast<jbyte*>(copy.data()));
  if (env->ExceptionCheck()) throw JavaExceptionPending{};
  return copy;
}

std::u16string decodeUtf8(const std::string& s) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const unsigned char* end = p + strnlen(s.data(), s.size());
  out.reserve(static_cast<size_t>(end - p));
  while (p < end) {
    unsigned char b = *p;
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    uint32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && end - p > extra;
    for (int i = 1; ok && i <= extra; ++i) {
      ok = (p[i] & 0xC0) == 0x80;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are invalid too.
    static constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    ok = ok && cp >= kMinimum[extra] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    if (!ok) {
      out.push_back(u'\uFFFD');
      ++p;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    p += extra + 1;
  }
  return out;
}

jstring toJava(JNIEnv* env, const std::string& s) {
  return toJava(env, s.c_str(), strnlen(s.data(), s.size()));
}

jstring toJava(JNIEnv* env, const char* text, size_t length) {
  // ASCII without NULs means the same in modified UTF-8: the VM decodes it
  // without a copy of ours.
  bool ascii = true;
  for (size_t i = 0; i < length; ++i) ascii = ascii && static_cast<unsigned char>(text[i]) < 0x80;
  if (ascii) return env->NewStringUTF(text);
  std::u16string utf16 = decodeUtf8(std::string(text, length));
  return env->NewString(reinterpret_cast<const jchar*>(utf16.data()),
                        static_cast<jsize>(utf16.size()));
}

DirectMemory toDirect(JNIEnv* env, jobject buffer, bool writable) {
  void* data = nullptr;
  jlong capacity = 0;
  if (buffer != nullptr) {
    data = env->GetDirectBufferAddress(buffer);
    capacity = env->GetDirectBufferCapacity(buffer);
  }
  if (data == nullptr) raiseJava(env, kJavaRuntimeException, "ByteBuffer must be direct.");
  if (writable) {
    static jmethodID isReadOnly = [env] {
      jclass cls = env->FindClass("java/nio/Buffer");
      return cls == nullptr ? nullptr : env->GetMethodID(cls, "isReadOnly", "()Z");
    }();
    if (isReadOnly == nullptr) throw JavaExceptionPending{};
    jboolean readOnly = env->CallBooleanMethod(buffer, isReadOnly);
    if (env->ExceptionCheck()) throw JavaExceptionPending{};
    if (readOnly) raiseJava(env, kJavaReadOnlyBufferException, "");
  }
  return DirectMemory{data, static_cast<size_t>(capacity)};
}

std::shared_ptr<void> keepReachable(JNIEnv* env, jobject object) {
  JavaVM* vm = nullptr;
  if (env->GetJavaVM(&vm) != JNI_OK) throw std::runtime_error("no Java VM");
  jobject ref = env->NewGlobalRef(object);
  if (ref == nullptr) throw JavaExceptionPending{};
  return std::shared_ptr<void>(ref, [vm](void* r) {
    JNIEnv* e = nullptr;
    // Released by a Java thread (a native call or the Cleaner's); a thread
    // the VM doesn't know would have to leave the reference behind.
    if (vm->GetEnv(reinterpret_cast<void**>(&e), JNI_VERSION_1_6) == JNI_OK) {
      e->DeleteGlobalRef(static_cast<jobject>(r));
    }
  });
}

jlong checkedUnsigned(uint64_t value) {
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<jlong>::max());
  if (value > kMax) {
    throw std::runtime_error("Value " + std::to_string(value) + " exceeds max (" +
                             std::to_string(kMax) + ")");
  }
  return static_cast<jlong>(value);
}

}  // namespace Grabkit::Jni
