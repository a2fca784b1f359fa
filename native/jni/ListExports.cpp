// StringList, DeviceInfoList and InterfaceInfoList. The three share every
// operation but the element conversions, so one macro makes the shared ones.
// Every export runs in the frame: a negative or huge size becomes a Java
// RuntimeException instead of an exception leaving the library.
#include "../model/DeviceInfo.h"
#include "../model/InterfaceInfo.h"
#include "Frame.h"

using namespace Grabkit::Jni;

#define GRABKIT_LIST_EXPORTS(Name, List)                                                \
  GRABKIT_JNI(jlong, new_1##Name##_1_1SWIG_10)(JNIEnv * env, jclass) {                  \
    return frame(env, [&] { return newList<List>(0); });                                \
  }                                                                                     \
  GRABKIT_JNI(jlong, new_1##Name##_1_1SWIG_11)(JNIEnv * env, jclass, jlong n) {         \
    return frame(env, [&] { return newList<List>(static_cast<uint64_t>(n)); });         \
  }                                                                                     \
  GRABKIT_JNI(jlong, Name##_1size)(JNIEnv * env, jclass, jlong l, jobject) {            \
    return frame(env, [&] { return static_cast<jlong>(list<List>(l)->size()); });       \
  }                                                                                     \
  GRABKIT_JNI(jlong, Name##_1capacity)(JNIEnv * env, jclass, jlong l, jobject) {        \
    return frame(env, [&] { return static_cast<jlong>(list<List>(l)->capacity()); });   \
  }                                                                                     \
  GRABKIT_JNI(void, Name##_1reserve)(JNIEnv * env, jclass, jlong l, jobject, jlong n) { \
    frame(env, [&] { reserve(*list<List>(l), static_cast<uint64_t>(n)); });             \
  }                                                                                     \
  GRABKIT_JNI(jboolean, Name##_1isEmpty)(JNIEnv * env, jclass, jlong l, jobject) {      \
    return frame(env, [&] { return jboolean(list<List>(l)->empty()); });                \
  }                                                                                     \
  GRABKIT_JNI(void, Name##_1clear)(JNIEnv * env, jclass, jlong l, jobject) {            \
    frame(env, [&] { list<List>(l)->clear(); });                                        \
  }                                                                                     \
  GRABKIT_JNI(void, delete_1##Name)(JNIEnv * env, jclass, jlong l) {                    \
    frame(env, [&] { deleteList<List>(l); });                                           \
  }

// Elements are model objects: holders in, new holders out.
#define GRABKIT_SHARED_LIST_EXPORTS(Name, Element)                                           \
  GRABKIT_LIST_EXPORTS(Name, SharedList<Element>)                                            \
  GRABKIT_JNI(void, Name##_1add)(JNIEnv * env, jclass, jlong l, jobject, jlong x, jobject) { \
    frame(env, [&] { list<SharedList<Element>>(l)->push_back(shared<Element>(x)); });        \
  }                                                                                          \
  GRABKIT_JNI(jlong, Name##_1get)(JNIEnv * env, jclass, jlong l, jobject, jint i) {          \
    return frame(env, [&] { return getElement(*list<SharedList<Element>>(l), i); });         \
  }                                                                                          \
  GRABKIT_JNI(void, Name##_1set)                                                             \
  (JNIEnv * env, jclass, jlong l, jobject, jint i, jlong x, jobject) {                       \
    frame(env, [&] { setElement(*list<SharedList<Element>>(l), i, x); });                    \
  }

GRABKIT_LIST_EXPORTS(StringList, StringList)
GRABKIT_SHARED_LIST_EXPORTS(DeviceInfoList, Grabkit::DeviceInfo)
GRABKIT_SHARED_LIST_EXPORTS(InterfaceInfoList, Grabkit::InterfaceInfo)

GRABKIT_JNI(void, StringList_1add)(JNIEnv* env, jclass, jlong l, jobject, jstring x) {
  frame(env, [&] { list<StringList>(l)->push_back(toString(env, x)); });
}

GRABKIT_JNI(jstring, StringList_1get)(JNIEnv* env, jclass, jlong l, jobject, jint i) {
  return frame(env, [&] { return toJava(env, element(*list<StringList>(l), i)); });
}

// The string is converted before the index is tested.
GRABKIT_JNI(void, StringList_1set)(JNIEnv* env, jclass, jlong l, jobject, jint i, jstring x) {
  frame(env, [&] {
    std::string text = toString(env, x);
    element(*list<StringList>(l), i) = std::move(text);
  });
}
