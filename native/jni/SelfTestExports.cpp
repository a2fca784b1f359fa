// Natives of org.grabkit.gentl.NativeSelfTest: they drive the frame's
// translation paths directly, so that a Java program (and our tests) can check
// that every failure of this build reaches Java as the right exception.
#include <stdexcept>

#include "Frame.h"
#include "Holders.h"

#define GRABKIT_SELF_TEST(type, method) \
  extern "C" JNIEXPORT type JNICALL Java_org_grabkit_gentl_NativeSelfTest_##method

using namespace Grabkit::Jni;

GRABKIT_SELF_TEST(jint, checkError)(JNIEnv* env, jclass, jint code) {
  return frame(env, [&] {
    Grabkit::checkError(code);
    return code;
  });
}

GRABKIT_SELF_TEST(jstring, throwStdException)(JNIEnv* env, jclass, jstring what) {
  return frame(env, [&]() -> jstring { throw std::runtime_error(toString(env, what)); });
}

GRABKIT_SELF_TEST(jstring, throwAnything)(JNIEnv* env, jclass) {
  return frame(env, [&]() -> jstring { throw 42; });
}

GRABKIT_SELF_TEST(jlong, unsignedResult)(JNIEnv* env, jclass, jlong bits) {
  return frame(env, [&] { return checkedUnsigned(static_cast<uint64_t>(bits)); });
}

GRABKIT_SELF_TEST(jlong, directCapacity)(JNIEnv* env, jclass, jobject buffer) {
  return frame(env, [&] { return static_cast<jlong>(toDirect(env, buffer).size); });
}

GRABKIT_SELF_TEST(jstring, echo)(JNIEnv* env, jclass, jstring s) {
  return frame(env, [&] { return toJava(env, toString(env, s)); });
}

GRABKIT_SELF_TEST(jlong, liveHolders)(JNIEnv* env, jclass) {
  return frame(env, [] { return static_cast<jlong>(liveHolders.load()); });
}
