#include "Frame.h"

#include <cstring>
#include <limits>
#include <stdexcept>

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
    {9, "java/lang/UnknownError"},         {0, "java/lang/UnknownError"},
};

void throwByPath(JNIEnv* env, const char* path, const char* message) {
  jclass cls = env->FindClass(path);
  if (cls != nullptr) env->ThrowNew(cls, message);
}
}  // namespace

void throwJava(JNIEnv* env, int code, const char* message) {
  const JavaClassRow* row = kJavaClasses;
  while (row->code != code && row->code != 0) ++row;
  env->ExceptionClear();
  throwByPath(env, row->path, message);
}

void throwGenTL(JNIEnv* env, const GenTLException& e) {
#define GRABKIT_TRANSLATE(name, code, message)  \
  if (dynamic_cast<const name*>(&e) != nullptr) \
    throwByPath(env, GRABKIT_JAVA_PACKAGE "/" #name, e.what());
  GRABKIT_EXCEPTIONS(GRABKIT_TRANSLATE)
#undef GRABKIT_TRANSLATE
}

std::string toString(JNIEnv* env, jstring s) {
  if (s == nullptr) raiseJava(env, kJavaNullPointerException, "null string");
  const char* chars = env->GetStringUTFChars(s, nullptr);
  if (chars == nullptr) throw JavaExceptionPending{};
  std::string copy(chars);
  env->ReleaseStringUTFChars(s, chars);
  return copy;
}

jstring toJava(JNIEnv* env, const std::string& s) {
  return env->NewStringUTF(s.c_str());
}

DirectMemory toDirect(JNIEnv* env, jobject buffer) {
  void* data = nullptr;
  jlong capacity = 0;
  if (buffer != nullptr) {
    data = env->GetDirectBufferAddress(buffer);
    capacity = env->GetDirectBufferCapacity(buffer);
  }
  if (data == nullptr) raiseJava(env, kJavaRuntimeException, "ByteBuffer must be direct.");
  return DirectMemory{data, static_cast<size_t>(capacity)};
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
