// What every export of gentlJNI shares: the exception frame, the conversions
// of Java values, and the holders that hand shared objects to Java.
//
// An export is one line of glue:
//   GRABKIT_JNI(jint, GCInitLib)(JNIEnv* env, jclass, jstring path) {
//     return frame(env, [&] { return Grabkit::GCInitLib(toString(env, path)); });
//   }
#ifndef GRABKIT_JNI_FRAME_H
#define GRABKIT_JNI_FRAME_H

#include <jni.h>

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "../producer/Errors.h"
#include "Holders.h"
#include "Lists.h"

// The Java package of the binding, as a class path and as a symbol prefix.
#define GRABKIT_JAVA_PACKAGE "org/grabkit/gentl"
#define GRABKIT_JNI(type, method) \
  extern "C" JNIEXPORT type JNICALL Java_org_grabkit_gentl_gentlJNI_##method

namespace Grabkit::Jni {

static_assert(std::is_same_v<jlong, int64_t>, "holders and lists are Java longs");

// Codes of the standard Java exceptions the library throws.
enum JavaError : int {
  kJavaOutOfMemoryError = 1,
  kJavaIOException = 2,
  kJavaRuntimeException = 3,
  kJavaIndexOutOfBoundsException = 4,
  kJavaArithmeticException = 5,
  kJavaIllegalArgumentException = 6,
  kJavaNullPointerException = 7,
  kJavaUnknownError = 9,
  kJavaIllegalStateException = 10,
  kJavaReadOnlyBufferException = 11,
};

// Drops a pending Java exception and throws the standard one of `code`.
void throwJava(JNIEnv* env, int code, const char* message);
// Throws the binding's class of a GenTLException with its full text.
void throwGenTL(JNIEnv* env, const GenTLException& e);
// For a producer's code without a C++ exception: false for success; true
// once the Java exception that checkError's would become is pending. The
// strict loads' texts and producer-specific codes take checkError's way.
bool failed(JNIEnv* env, int32_t code);

// Leaves an operation once a Java exception is pending; the frame returns the
// zero value without throwing anything else.
struct JavaExceptionPending {};

[[noreturn]] inline void raiseJava(JNIEnv* env, int code, const char* message) {
  throwJava(env, code, message);
  throw JavaExceptionPending{};
}

// Runs `op` and turns whatever it throws into a pending Java exception; the
// result is then the zero value of op's result type.
template <typename Op>
auto frame(JNIEnv* env, Op&& op) noexcept -> decltype(op()) {
  using R = decltype(op());
  try {
    return op();
  } catch (const JavaExceptionPending&) {
  } catch (const IndexOutOfRange& e) {
    throwJava(env, kJavaIndexOutOfBoundsException, e.what());
  } catch (const StaleObject& e) {
    throwJava(env, kJavaIllegalStateException, e.what());
  } catch (const NullObject& e) {
    throwJava(env, kJavaNullPointerException, e.what());
  } catch (const GenTLException& e) {
    throwGenTL(env, e);
  } catch (const std::exception& e) {
    throwJava(env, kJavaRuntimeException, (std::string("C++ std::exception: ") + e.what()).c_str());
  } catch (...) {
    throwJava(env, kJavaUnknownError, "C++ anonymous exception");
  }
  if constexpr (!std::is_void_v<R>) return R{};
}

// Java String → bytes (modified UTF-8 as the VM gives them, up to a NUL).
std::string toString(JNIEnv* env, jstring s);
// Java byte[] → the same bytes (a path as UTF-8 from Java's own encoder).
std::string toBytes(JNIEnv* env, jbyteArray bytes);
// Bytes up to the first NUL, decoded as UTF-8 with U+FFFD for each invalid
// byte → Java String (null if the VM fails). Producers hand us bytes, not the
// VM's modified UTF-8, so nothing they send can cut a string short.
jstring toJava(JNIEnv* env, const std::string& s);
// The same for `length` bytes at `text`, which are followed by a NUL.
jstring toJava(JNIEnv* env, const char* text, size_t length);
// The UTF-16 of toJava, for tests without a VM.
std::u16string decodeUtf8(const std::string& s);

struct DirectMemory {
  void* data;
  size_t size;
};
// A direct ByteBuffer's whole capacity; position and limit are not read.
// `writable`: the library or the producer writes into it, so a read-only
// buffer is refused with ReadOnlyBufferException.
DirectMemory toDirect(JNIEnv* env, jobject buffer, bool writable = false);
// Keeps a Java object reachable while the result lives (a global reference).
std::shared_ptr<void> keepReachable(JNIEnv* env, jobject object);

// Unsigned 64-bit results must fit in a Java long.
jlong checkedUnsigned(uint64_t value);

}  // namespace Grabkit::Jni

#endif
