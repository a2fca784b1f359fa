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
  decltype(&GrabkitTest_setAnswer) setAnswer = nullptr;
  decltype(&GrabkitTest_callLog) callLog = nullptr;
  decltype(&GrabkitTest_argumentLog) argumentLog = nullptr;
  decltype(&GrabkitTest_setReportedSize) setReportedSize = nullptr;
  decltype(&GrabkitTest_hold) hold = nullptr;
  decltype(&GrabkitTest_release) release = nullptr;
  decltype(&GrabkitTest_entered) entered = nullptr;
  decltype(&GrabkitTest_awaitEntered) awaitEntered = nullptr;
  decltype(&GrabkitTest_setWaitForKill) setWaitForKill = nullptr;
} control;

template <typename Function>
void bind(void* module, Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(module, name));
}

std::string utf(JNIEnv* env, jstring s) {
  const char* chars = env->GetStringUTFChars(s, nullptr);
  std::string copy(chars == nullptr ? "" : chars);
  if (chars != nullptr) env->ReleaseStringUTFChars(s, chars);
  return copy;
}

jstring logText(JNIEnv* env, decltype(&GrabkitTest_callLog) log) {
  std::string text(log(nullptr, 0), '\0');
  log(text.data(), text.size());
  text.resize(text.size() - 1);
  return env->NewStringUTF(text.c_str());
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
  bind(module, control.reset, "GrabkitTest_reset");
  bind(module, control.setResult, "GrabkitTest_setResult");
  bind(module, control.setAnswer, "GrabkitTest_setAnswer");
  bind(module, control.callLog, "GrabkitTest_callLog");
  bind(module, control.argumentLog, "GrabkitTest_argumentLog");
  bind(module, control.setReportedSize, "GrabkitTest_setReportedSize");
  bind(module, control.hold, "GrabkitTest_hold");
  bind(module, control.release, "GrabkitTest_release");
  bind(module, control.entered, "GrabkitTest_entered");
  bind(module, control.awaitEntered, "GrabkitTest_awaitEntered");
  bind(module, control.setWaitForKill, "GrabkitTest_setWaitForKill");
  control.reset();
}

GRABKIT_CONTROL(void, reset)(JNIEnv* env, jclass) {
  if (ready(env)) control.reset();
}

GRABKIT_CONTROL(void, setResult)(JNIEnv* env, jclass, jstring function, jint code) {
  if (ready(env)) control.setResult(utf(env, function).c_str(), code);
}

GRABKIT_CONTROL(void, setAnswer)
(JNIEnv* env, jclass, jstring function, jlong selector, jint code, jbyteArray output) {
  if (!ready(env)) return;
  std::string bytes;
  if (output != nullptr) {
    bytes.resize(env->GetArrayLength(output));
    env->GetByteArrayRegion(output, 0, bytes.size(), reinterpret_cast<jbyte*>(bytes.data()));
  }
  control.setAnswer(utf(env, function).c_str(), selector, code,
                    output == nullptr ? nullptr : bytes.data(), bytes.size());
}

GRABKIT_CONTROL(void, setReportedSize)
(JNIEnv* env, jclass, jstring function, jlong selector, jlong size) {
  if (ready(env)) control.setReportedSize(utf(env, function).c_str(), selector, size);
}

GRABKIT_CONTROL(void, hold)(JNIEnv* env, jclass, jstring function) {
  if (ready(env)) control.hold(utf(env, function).c_str());
}

GRABKIT_CONTROL(void, release)(JNIEnv* env, jclass, jstring function) {
  if (ready(env)) control.release(utf(env, function).c_str());
}

GRABKIT_CONTROL(jint, entered)(JNIEnv* env, jclass, jstring function) {
  return ready(env) ? control.entered(utf(env, function).c_str()) : 0;
}

GRABKIT_CONTROL(jboolean, awaitEntered)
(JNIEnv* env, jclass, jstring function, jint count, jlong timeoutMs) {
  return ready(env) && control.awaitEntered(utf(env, function).c_str(), count, timeoutMs);
}

GRABKIT_CONTROL(void, setWaitForKill)(JNIEnv* env, jclass, jboolean wait) {
  if (ready(env)) control.setWaitForKill(wait == JNI_TRUE);
}

GRABKIT_CONTROL(jstring, callLog)(JNIEnv* env, jclass) {
  return ready(env) ? logText(env, control.callLog) : nullptr;
}

GRABKIT_CONTROL(jstring, argumentLog)(JNIEnv* env, jclass) {
  return ready(env) ? logText(env, control.argumentLog) : nullptr;
}

// Lets a test script a buffer's base address as the producer would report it.
GRABKIT_CONTROL(jlong, addressOf)(JNIEnv* env, jclass, jobject buffer) {
  return static_cast<jlong>(reinterpret_cast<intptr_t>(env->GetDirectBufferAddress(buffer)));
}
