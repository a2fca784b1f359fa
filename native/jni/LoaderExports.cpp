// Loading and closing the producer.
#include "../producer/Producer.h"
#include "Frame.h"

using namespace Grabkit::Jni;

GRABKIT_JNI(jint, GCInitLib)(JNIEnv* env, jclass, jstring path) {
  return frame(env, [&] { return Grabkit::GCInitLib(toString(env, path)); });
}

GRABKIT_JNI(jint, GCCloseLib)(JNIEnv* env, jclass) {
  return frame(env, [&] { return Grabkit::GCCloseLib(); });
}

GRABKIT_JNI(jboolean, GCLibIsInited)(JNIEnv* env, jclass) {
  return frame(env, [&] { return jboolean(Grabkit::GCLibIsInited()); });
}
