// The shapes that the object-model exports share. Every instance method
// receives (holder, proxy, arguments...), finds its object, calls one member
// and converts the result; the macros below write that line once per shape,
// and each family's file lists its methods.
#ifndef GRABKIT_JNI_MODELGLUE_H
#define GRABKIT_JNI_MODELGLUE_H

#include <string>
#include <vector>

#include "../producer/Producer.h"
#include "Frame.h"
#include "Handles.h"

namespace Grabkit::Jni {

// The object of an instance method, kept alive for the call (another thread
// may release the proxy meanwhile), counted as a call on its module (a close
// waits for it), with the call routed to its tree's load.
template <typename T>
class Pinned {
 public:
  explicit Pinned(std::shared_ptr<T> object)
      : object_(std::move(object)), call_(*object_), scope_(object_->callTarget()) {}
  T* operator->() const { return object_.get(); }
  T& operator*() const { return *object_; }

 private:
  // Members end in reverse: the call ends before the object may go.
  struct Call {
    explicit Call(const T& o) : object(o) { object.enterCall(); }
    ~Call() { object.leaveCall(); }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    const T& object;
  };
  std::shared_ptr<T> object_;
  Call call_;
  Grabkit::ProducerScope scope_;
};

// An object whose calls go to its tree's load but are not counted as calls on
// it: event waits, which may last long and which a close ends itself.
template <typename T>
struct Routed {
  explicit Routed(std::shared_ptr<T> o) : object(std::move(o)), scope(object->callTarget()) {}
  std::shared_ptr<T> object;
  Grabkit::ProducerScope scope;
};

template <typename T>
Routed<T> routed(JNIEnv* env, jlong handle, const char* className) {
  if (handle == 0) {
    raiseJava(
        env, kJavaNullPointerException,
        (std::string("Grabkit::") + className + " object is null (freed or never made)").c_str());
  }
  return Routed<T>(getObject<T>(handle));
}

// Close(holder, proxy): not counted as a call on the module, which it waits
// for.
#define GRABKIT_CLOSE_EXPORT(Class)                                              \
  GRABKIT_JNI(void, Class##_1close)(JNIEnv * env, jclass, jlong self, jobject) { \
    frame(env, [&] {                                                             \
      if (self == 0)                                                             \
        raiseJava(env, kJavaNullPointerException,                                \
                  "Grabkit::" #Class " object is null (freed or never made)");   \
      getObject<Class>(self)->close();                                           \
    });                                                                          \
  }

// A holder of 0 (a proxy that was freed or never made) is refused here
// instead of being followed; a stale one is refused by the object table.
template <typename T>
Pinned<T> instance(JNIEnv* env, jlong handle, const char* className) {
  if (handle == 0) {
    raiseJava(
        env, kJavaNullPointerException,
        (std::string("Grabkit::") + className + " object is null (freed or never made)").c_str());
  }
  return Pinned<T>(getObject<T>(handle));
}

// A parent passed by value: a copy of its holder's reference. The library's
// objects follow their parent for every closed-state test, so a missing one
// is refused at the boundary.
template <typename T>
std::shared_ptr<T> parent(JNIEnv* env, jlong handle, const char* className) {
  std::shared_ptr<T> p = shared<T>(handle);
  if (!p) {
    raiseJava(env, kJavaNullPointerException,
              (std::string("Grabkit::") + className + " parent is null").c_str());
  }
  return p;
}

// Result conversions, one per Java type of the exports.
inline jstring asString(JNIEnv* env, const std::string& s) {
  return toJava(env, s);
}
inline jboolean asBool(JNIEnv*, bool b) {
  return b ? JNI_TRUE : JNI_FALSE;
}
inline jint asInt(JNIEnv*, int32_t i) {
  return i;
}
inline jlong asLong(JNIEnv*, uint64_t n) {
  return static_cast<jlong>(n);
}  // sizes: unchecked
inline jlong asChecked(JNIEnv*, uint64_t n) {
  return checkedUnsigned(n);
}
inline jint asHandle(JNIEnv*, void* handle) {
  return toJavaHandle(handle);
}
template <typename T>
jlong asHolder(JNIEnv*, std::shared_ptr<T> object) {
  return newHolder(std::move(object));
}

}  // namespace Grabkit::Jni

// Class_method(holder, proxy [, int a [, int b]]) → convert(result).
#define GRABKIT_GETTER(JType, Class, method, convert)                                              \
  GRABKIT_JNI(JType, Class##_1##method)(JNIEnv * env, jclass, jlong self, jobject) {               \
    return frame(env, [&] { return convert(env, instance<Class>(env, self, #Class)->method()); }); \
  }
#define GRABKIT_GETTER_1(JType, Class, method, convert)                                        \
  GRABKIT_JNI(JType, Class##_1##method)(JNIEnv * env, jclass, jlong self, jobject, jint a) {   \
    return frame(env,                                                                          \
                 [&] { return convert(env, instance<Class>(env, self, #Class)->method(a)); }); \
  }
#define GRABKIT_GETTER_2(JType, Class, method, convert)                                           \
  GRABKIT_JNI(JType, Class##_1##method)                                                           \
  (JNIEnv * env, jclass, jlong self, jobject, jint a, jint b) {                                   \
    return frame(env,                                                                             \
                 [&] { return convert(env, instance<Class>(env, self, #Class)->method(a, b)); }); \
  }
// Class_method(holder, proxy, long timeout) → convert(result): the list updates.
#define GRABKIT_GETTER_TIMEOUT(JType, Class, method, convert)                                    \
  GRABKIT_JNI(JType, Class##_1##method)(JNIEnv * env, jclass, jlong self, jobject, jlong t) {    \
    return frame(env, [&] {                                                                      \
      return convert(env, instance<Class>(env, self, #Class)->method(static_cast<uint64_t>(t))); \
    });                                                                                          \
  }
// Class_jname(holder, proxy) → the address of a new native list of method()'s
// result, owned by the caller.
#define GRABKIT_LIST_RESULT(Class, jname, method)                                                \
  GRABKIT_JNI(jlong, Class##_1##jname)(JNIEnv * env, jclass, jlong self, jobject) {              \
    return frame(env, [&] { return toJavaList(instance<Class>(env, self, #Class)->method()); }); \
  }
// Class_method(holder, proxy) with no result.
#define GRABKIT_VOID(Class, method)                                                 \
  GRABKIT_JNI(void, Class##_1##method)(JNIEnv * env, jclass, jlong self, jobject) { \
    frame(env, [&] { instance<Class>(env, self, #Class)->method(); });              \
  }
// delete_Class(holder): drops one reference; a destructor's failure reaches
// Java through the frame.
#define GRABKIT_DELETE(Class)                                            \
  GRABKIT_JNI(void, delete_1##Class)(JNIEnv * env, jclass, jlong self) { \
    frame(env, [&] { deleteHolder<Class>(self); });                      \
  }
// new_Class(parent holder, parent proxy, int handle): a module around a handle
// that Java got elsewhere; the new object closes it in the producer.
#define GRABKIT_NEW_MODULE(Class, Parent)                                                \
  GRABKIT_JNI(jlong, new_1##Class)(JNIEnv * env, jclass, jlong up, jobject, jint h) {    \
    return frame(env, [&] {                                                              \
      return newHolder(                                                                  \
          std::make_shared<Class>(parent<Parent>(env, up, #Parent), fromJavaHandle(h))); \
    });                                                                                  \
  }
// new_Class(parent holder, parent proxy, String id): a record of a listed module.
#define GRABKIT_NEW_RECORD(Class, Parent)                                                 \
  GRABKIT_JNI(jlong, new_1##Class)(JNIEnv * env, jclass, jlong up, jobject, jstring id) { \
    return frame(env, [&] {                                                               \
      std::string name = toString(env, id);                                               \
      return newHolder(                                                                   \
          std::make_shared<Class>(parent<Parent>(env, up, #Parent), std::move(name)));    \
    });                                                                                   \
  }
// The common operations of the four modules below the producer.
#define GRABKIT_MODULE_EXPORTS(Class)                 \
  GRABKIT_CLOSE_EXPORT(Class)                         \
  GRABKIT_GETTER(jboolean, Class, isClosed, asBool)   \
  GRABKIT_GETTER(jboolean, Class, checkValid, asBool) \
  GRABKIT_GETTER(jint, Class, getHandle, asHandle)    \
  GRABKIT_GETTER(jlong, Class, getPort, asHolder)     \
  GRABKIT_DELETE(Class)

#endif
