// Tracing and the standard-error capture. The capture has no frame: it throws
// nothing.
#include "../diag/StdErrCapture.h"
#include "../diag/Trace.h"
#include "Frame.h"

using namespace Grabkit::Jni;

GRABKIT_JNI(void, enableTracing)(JNIEnv* env, jclass, jboolean on) {
  frame(env, [&] { Grabkit::enableTracing(on != JNI_FALSE); });
}

GRABKIT_JNI(jint, StdErrRedirectStart)(JNIEnv*, jclass) {
  return Grabkit::stdErrRedirectStart();
}

GRABKIT_JNI(jstring, StdErrRedirectStop)(JNIEnv* env, jclass) {
  return toJava(env, Grabkit::stdErrRedirectStop());
}
