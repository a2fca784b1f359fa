// JNI side of org.grabkit.gentl.TestProducerControl. It opens the test
// producer by the same path as the library does, so both share one loaded copy
// and its scripted state, which survives the library's GCCloseLib.
#include <dlfcn.h>
#include <jni.h>

#include <string>

#include "TestControl.h"

namespace {
struct Control {
  void* module = nullptr;
  decltype(&GrabkitTest_reset) reset = nullptr;
  decltype(&GrabkitTest_setResult) setResult = nullptr;
  decltype(&GrabkitTest_callLog) callLog = nullptr;
} control;

std::string utf(JNIEnv* env, jstring s) {
  const char* chars = env->GetStringUTFChars(s, nullptr);
  std::string copy(chars == nullptr ? "" : chars);
  if (chars != nullptr) env->ReleaseStringUTFChars(s, chars);
  return copy;
}

bool ready(JNIEnv* env) {
  if (control.module != nullptr) return true;
  env->ThrowNew(env->FindClass("java/lang/IllegalStateException"), "no test producer attached");
  return false;
}
}  // namespace

#define GRABKIT_CONTROL(type, method) \
  extern "C" JNIEXPORT type JNICALL Java_org_grabkit_gentl_TestProducerControl_##method

GRABKIT_CONTROL(void, attach)(JNIEnv* env, jclass, jstring path) {
  void* module = dlopen(utf(env, path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    env->ThrowNew(env->FindClass("java/lang/IllegalArgumentException"), dlerror());
    return;
  }
  if (control.module != nullptr) dlclose(control.module);
  control.module = module;
  control.reset = reinterpret_cast<decltype(control.reset)>(dlsym(module, "GrabkitTest_reset"));
  control.setResult =
      reinterpret_cast<decltype(control.setResult)>(dlsym(module, "GrabkitTest_setResult"));
  control.callLog =
      reinterpret_cast<decltype(control.callLog)>(dlsym(module, "GrabkitTest_callLog"));
  control.reset();
}

GRABKIT_CONTROL(void, reset)(JNIEnv* env, jclass) {
  if (ready(env)) control.reset();
}

GRABKIT_CONTROL(void, setResult)(JNIEnv* env, jclass, jstring function, jint code) {
  if (ready(env)) control.setResult(utf(env, function).c_str(), code);
}

GRABKIT_CONTROL(jstring, callLog)(JNIEnv* env, jclass) {
  if (!ready(env)) return nullptr;
  std::string text(control.callLog(nullptr, 0), '\0');
  control.callLog(text.data(), text.size());
  text.resize(text.size() - 1);
  return env->NewStringUTF(text.c_str());
}
