// The flat family that mirrors the producer's C functions. Every GenTL handle
// crosses as a Java int through Handles.h, so a handle wider than 32 bits
// reaches the producer whole; user values pass as Java's own numbers.
// Indices and counts are unsigned 32-bit: Java longs, of which the low 32
// bits are used.
#include "../producer/CallLayer.h"
#include "../producer/Producer.h"
#include "Frame.h"
#include "Handles.h"

using namespace Grabkit::Jni;
using Grabkit::infoCode;
using Grabkit::infoValue;
using Grabkit::NewBufferEvent;
using Grabkit::outputValue;

namespace {
uint32_t low32(jlong value) {
  return static_cast<uint32_t>(value);
}

std::shared_ptr<NewBufferEvent> event(JNIEnv* env, jlong value) {
  if (value == 0) raiseJava(env, kJavaNullPointerException, "Grabkit::NewBufferEvent is null");
  return getObject<NewBufferEvent>(value);
}

jboolean isTrue(bool8_t value) {
  return value != 0 ? JNI_TRUE : JNI_FALSE;
}

jlong newEvent(const NewBufferEvent& e) {
  return addObject(std::make_shared<NewBufferEvent>(e), false);
}

// What undoes an open whose handle can't be handed to Java.
void undoTL(void* h) {
  Grabkit::TLClose(h);
}
void undoIF(void* h) {
  Grabkit::IFClose(h);
}
void undoDev(void* h) {
  Grabkit::DevClose(h);
}
void undoDS(void* h) {
  Grabkit::DSClose(h);
}
void undoEvent(void*) {}
void undoPort(void*) {}
}  // namespace

// Shapes that recur with only the name changing.
#define GRABKIT_ACTION(name, call)                              \
  GRABKIT_JNI(jint, name)(JNIEnv * env, jclass, jint h) {       \
    return frame(env, [&] { return call(fromJavaHandle(h)); }); \
  }
#define GRABKIT_COUNT(name)                                                           \
  GRABKIT_JNI(jlong, name)(JNIEnv * env, jclass, jint h) {                            \
    return frame(env, [&] {                                                           \
      return jlong(outputValue<uint32_t>(GRABKIT_PRODUCER(name), fromJavaHandle(h))); \
    });                                                                               \
  }
// A string by (handle, cmd) from the producer function `producer`, decoded
// straight from the query's area.
#define GRABKIT_STRING_BY_CMD(name, producer)                                                    \
  GRABKIT_JNI(jstring, name)(JNIEnv * env, jclass, jint h, jint cmd) {                           \
    return frame(env, [&]() -> jstring {                                                         \
      Grabkit::TextArea area;                                                                    \
      if (failed(env, Grabkit::infoTextCode(area, GRABKIT_PRODUCER(producer), fromJavaHandle(h), \
                                            cmd))) {                                             \
        return nullptr;                                                                          \
      }                                                                                          \
      return toJava(env, area.data, area.terminate());                                           \
    });                                                                                          \
  }
#define GRABKIT_STRING_BY_INDEX(name)                                                           \
  GRABKIT_JNI(jstring, name)(JNIEnv * env, jclass, jint h, jlong i) {                           \
    return frame(env, [&] { return toJava(env, Grabkit::name(fromJavaHandle(h), low32(i))); }); \
  }
// One typed value by (handle, cmd) or (stream, buffer, cmd); `convert` makes
// the Java result: jint, jlong (sizes pass unchecked), checkedUnsigned, isTrue.
// A failure becomes its Java exception without a C++ one on the way.
#define GRABKIT_INFO(type, name, producer, T, convert)                                      \
  GRABKIT_JNI(type, name)(JNIEnv * env, jclass, jint h, jint cmd) {                         \
    return frame(env, [&]() -> type {                                                       \
      T value;                                                                              \
      if (failed(env, infoCode(value, GRABKIT_PRODUCER(producer), fromJavaHandle(h), cmd))) \
        return type{};                                                                      \
      return convert(value);                                                                \
    });                                                                                     \
  }
#define GRABKIT_BUFFER_INFO(type, name, T, convert)                                         \
  GRABKIT_JNI(type, name)(JNIEnv * env, jclass, jint h, jint b, jint cmd) {                 \
    return frame(env, [&]() -> type {                                                       \
      T value;                                                                              \
      if (failed(env, infoCode(value, GRABKIT_PRODUCER(DSGetBufferInfo), fromJavaHandle(h), \
                               fromJavaHandle(b), cmd))) {                                  \
        return type{};                                                                      \
      }                                                                                     \
      return convert(value);                                                                \
    });                                                                                     \
  }
#define GRABKIT_ID_LIST(name)                                                        \
  GRABKIT_JNI(jlong, name)(JNIEnv * env, jclass, jint h) {                           \
    return frame(env, [&] { return toJavaList(Grabkit::name(fromJavaHandle(h))); }); \
  }

// ---- System, errors, ports

GRABKIT_JNI(jstring, GCGetInfoString)(JNIEnv* env, jclass, jint cmd) {
  return frame(env, [&] { return toJava(env, Grabkit::GCGetInfoString(cmd)); });
}

GRABKIT_JNI(jint, GCGetInfoInt32)(JNIEnv* env, jclass, jint cmd) {
  return frame(env, [&] { return infoValue<int32_t>(GRABKIT_PRODUCER(GCGetInfo), cmd); });
}

GRABKIT_JNI(jlong, GCGetInfoUInt32)(JNIEnv* env, jclass, jint cmd) {
  return frame(env, [&] { return jlong(infoValue<uint32_t>(GRABKIT_PRODUCER(GCGetInfo), cmd)); });
}

GRABKIT_JNI(jint, GCGetLastError)(JNIEnv* env, jclass) {
  return frame(env, [&] { return Grabkit::GCGetLastError(); });
}

GRABKIT_JNI(jstring, GCGetLastErrorMessage)(JNIEnv* env, jclass) {
  return frame(env, [&] { return toJava(env, Grabkit::GCGetLastErrorMessage()); });
}

GRABKIT_JNI(jlong, GCReadPort)(JNIEnv* env, jclass, jint h, jlong address, jobject buffer) {
  return frame(env, [&] {
    DirectMemory m = toDirect(env, buffer, true);
    return checkedUnsigned(Grabkit::GCReadPort(fromJavaHandle(h), address, m.data, m.size));
  });
}

GRABKIT_JNI(jlong, GCWritePort)(JNIEnv* env, jclass, jint h, jlong address, jobject buffer) {
  return frame(env, [&] {
    DirectMemory m = toDirect(env, buffer);
    return checkedUnsigned(Grabkit::GCWritePort(fromJavaHandle(h), address, m.data, m.size));
  });
}

GRABKIT_JNI(jstring, GCGetPortURL)(JNIEnv* env, jclass, jint h) {
  return frame(env, [&] { return toJava(env, Grabkit::GCGetPortURL(fromJavaHandle(h))); });
}

GRABKIT_COUNT(GCGetNumPortURLs)

GRABKIT_JNI(jlong, GCGetPortURLInfoBuffer)
(JNIEnv* env, jclass, jint h, jlong url, jint cmd, jobject buffer) {
  return frame(env, [&] {
    DirectMemory m = toDirect(env, buffer, true);
    return checkedUnsigned(
        Grabkit::GCGetPortURLInfoBuffer(fromJavaHandle(h), low32(url), cmd, m.data, m.size));
  });
}

GRABKIT_JNI(jstring, GCGetPortURLInfoString)(JNIEnv* env, jclass, jint h, jlong url, jint cmd) {
  return frame(env, [&] {
    return toJava(env, Grabkit::GCGetPortURLInfoString(fromJavaHandle(h), low32(url), cmd));
  });
}

GRABKIT_JNI(jint, GCGetPortURLInfoInt32)(JNIEnv* env, jclass, jint h, jlong url, jint cmd) {
  return frame(env, [&] {
    return infoValue<int32_t>(GRABKIT_PRODUCER(GCGetPortURLInfo), fromJavaHandle(h), low32(url),
                              cmd);
  });
}

GRABKIT_JNI(jlong, GCGetPortURLInfoUint64)(JNIEnv* env, jclass, jint h, jlong url, jint cmd) {
  return frame(env, [&] {
    return checkedUnsigned(infoValue<uint64_t>(GRABKIT_PRODUCER(GCGetPortURLInfo),
                                               fromJavaHandle(h), low32(url), cmd));
  });
}

GRABKIT_STRING_BY_CMD(GCGetPortInfoString, GCGetPortInfo)
GRABKIT_INFO(jboolean, GCGetPortInfoBool, GCGetPortInfo, bool8_t, isTrue)

// ---- Events

GRABKIT_JNI(jint, GCRegisterEvent)(JNIEnv* env, jclass, jint h, jint type) {
  return frame(
      env, [&] { return handOut(Grabkit::GCRegisterEvent(fromJavaHandle(h), type), undoEvent); });
}

GRABKIT_JNI(jint, GCUnregisterEvent)(JNIEnv* env, jclass, jint h, jint type) {
  return frame(env, [&] { return GRABKIT_PRODUCER(GCUnregisterEvent)(fromJavaHandle(h), type); });
}

// A time-out throws before a record is made.
GRABKIT_JNI(jlong, EventNewBufferGetData)(JNIEnv* env, jclass, jint h, jlong timeout) {
  return frame(env, [&]() -> jlong {
    NewBufferEvent e;
    if (failed(env,
               Grabkit::EventNewBufferCode(fromJavaHandle(h), static_cast<uint64_t>(timeout), e))) {
      return 0;
    }
    return newEvent(e);
  });
}

GRABKIT_ACTION(EventKill, GRABKIT_PRODUCER(EventKill))
GRABKIT_ACTION(EventFlush, GRABKIT_PRODUCER(EventFlush))

GRABKIT_JNI(jlong, new_1NewBufferEvent)(JNIEnv* env, jclass) {
  return frame(env, [&] { return newEvent(NewBufferEvent{}); });
}

GRABKIT_JNI(void, delete_1NewBufferEvent)(JNIEnv* env, jclass, jlong e) {
  frame(env, [&] { removeObject<NewBufferEvent>(e); });
}

GRABKIT_JNI(jint, NewBufferEvent_1BufferHandle_1get)(JNIEnv* env, jclass, jlong e) {
  return frame(env, [&] { return toJavaHandle(event(env, e)->BufferHandle); });
}

GRABKIT_JNI(jint, NewBufferEvent_1userData_1get)(JNIEnv* env, jclass, jlong e) {
  return frame(env, [&] { return toJavaUser(event(env, e)->userData); });
}

// ---- System module and interfaces

GRABKIT_JNI(jint, TLOpen)(JNIEnv* env, jclass) {
  return frame(env, [&] { return handOut(Grabkit::TLOpen(), undoTL); });
}

GRABKIT_ACTION(TLClose, Grabkit::TLClose)
GRABKIT_COUNT(TLGetNumInterfaces)
GRABKIT_STRING_BY_INDEX(TLGetInterfaceID)

GRABKIT_JNI(jstring, TLGetInterfaceInfoString)(JNIEnv* env, jclass, jint h, jint cmd, jstring id) {
  return frame(env, [&] {
    return toJava(env,
                  Grabkit::TLGetInterfaceInfoString(fromJavaHandle(h), cmd, toString(env, id)));
  });
}

GRABKIT_JNI(jint, TLOpenInterface)(JNIEnv* env, jclass, jint h, jstring id) {
  return frame(env, [&] {
    return handOut(Grabkit::TLOpenInterface(fromJavaHandle(h), toString(env, id)), undoIF);
  });
}

GRABKIT_JNI(jboolean, TLUpdateInterfaceList)(JNIEnv* env, jclass, jint h, jlong timeout) {
  return frame(
      env, [&] { return jboolean(Grabkit::TLUpdateInterfaceList(fromJavaHandle(h), timeout)); });
}

GRABKIT_ID_LIST(TLGetInterfaceList)
GRABKIT_ACTION(IFClose, Grabkit::IFClose)
GRABKIT_STRING_BY_CMD(IFGetInfoString, IFGetInfo)
GRABKIT_COUNT(IFGetNumDevices)
GRABKIT_STRING_BY_INDEX(IFGetDeviceID)

GRABKIT_JNI(jstring, IFGetDeviceInfoString)(JNIEnv* env, jclass, jint h, jint cmd, jstring id) {
  return frame(env, [&] {
    return toJava(env, Grabkit::IFGetDeviceInfoString(fromJavaHandle(h), cmd, toString(env, id)));
  });
}

GRABKIT_JNI(jint, IFGetDeviceInfoInt32)(JNIEnv* env, jclass, jint h, jint cmd, jstring id) {
  return frame(env, [&] {
    return Grabkit::IFGetDeviceInfoInt32(fromJavaHandle(h), cmd, toString(env, id));
  });
}

GRABKIT_JNI(jlong, IFGetDeviceInfoUint32_1_1SWIG_10)
(JNIEnv* env, jclass, jint h, jint cmd, jstring id) {
  return frame(env, [&] {
    return jlong(Grabkit::IFGetDeviceInfoUint32(fromJavaHandle(h), cmd, toString(env, id)));
  });
}

// The same query with the command given as a long, of which the low 32 bits count.
GRABKIT_JNI(jlong, IFGetDeviceInfoUint32_1_1SWIG_11)
(JNIEnv* env, jclass, jint h, jlong cmd, jstring id) {
  return frame(env, [&] {
    return jlong(Grabkit::IFGetDeviceInfoUint32(fromJavaHandle(h), static_cast<int32_t>(cmd),
                                                toString(env, id)));
  });
}

GRABKIT_JNI(jlong, IFGetDeviceInfoUint64)(JNIEnv* env, jclass, jint h, jint cmd, jstring id) {
  return frame(env, [&] {
    return checkedUnsigned(
        Grabkit::IFGetDeviceInfoUint64(fromJavaHandle(h), cmd, toString(env, id)));
  });
}

GRABKIT_JNI(jint, IFOpenDevice)(JNIEnv* env, jclass, jint h, jstring id, jint flags) {
  return frame(env, [&] {
    return handOut(Grabkit::IFOpenDevice(fromJavaHandle(h), toString(env, id), flags), undoDev);
  });
}

GRABKIT_JNI(jboolean, IFUpdateDeviceList)(JNIEnv* env, jclass, jint h, jlong timeout) {
  return frame(env,
               [&] { return jboolean(Grabkit::IFUpdateDeviceList(fromJavaHandle(h), timeout)); });
}

GRABKIT_ID_LIST(IFGetDeviceList)

// ---- Devices

GRABKIT_JNI(jint, DevGetPort)(JNIEnv* env, jclass, jint h) {
  return frame(env, [&] {
    return handOut(outputValue<PORT_HANDLE>(GRABKIT_PRODUCER(DevGetPort), fromJavaHandle(h)),
                   undoPort);
  });
}

GRABKIT_COUNT(DevGetNumDataStreams)
GRABKIT_STRING_BY_INDEX(DevGetDataStreamID)
GRABKIT_ID_LIST(DevGetDataStreamList)
GRABKIT_STRING_BY_CMD(DevGetInfoString, DevGetInfo)
GRABKIT_INFO(jint, DevGetInfoInt32, DevGetInfo, int32_t, jint)
GRABKIT_INFO(jlong, DevGetInfoUint64, DevGetInfo, uint64_t, checkedUnsigned)

GRABKIT_JNI(jint, DevOpenDataStream)(JNIEnv* env, jclass, jint h, jstring id) {
  return frame(env, [&] {
    return handOut(Grabkit::DevOpenDataStream(fromJavaHandle(h), toString(env, id)), undoDS);
  });
}

GRABKIT_ACTION(DevClose, Grabkit::DevClose)

// ---- Data streams and buffers

GRABKIT_JNI(jint, DSAnnounceBuffer)(JNIEnv* env, jclass, jint h, jobject buffer, jint user) {
  return frame(env, [&] {
    DirectMemory m = toDirect(env, buffer, true);
    void* stream = fromJavaHandle(h);
    return handOut(Grabkit::DSAnnounceBuffer(stream, m.data, m.size, fromJavaUser(user),
                                             keepReachable(env, buffer)),
                   [stream](void* b) { Grabkit::DSRevokeBuffer(stream, b); });
  });
}

GRABKIT_JNI(jint, DSAllocAndAnnounceBuffer)(JNIEnv* env, jclass, jint h, jlong size, jint user) {
  return frame(env, [&] {
    void* stream = fromJavaHandle(h);
    return handOut(
        Grabkit::DSAllocAndAnnounceBuffer(stream, static_cast<size_t>(size), fromJavaUser(user)),
        [stream](void* b) { Grabkit::DSRevokeBuffer(stream, b); });
  });
}

GRABKIT_JNI(jint, DSFlushQueue)(JNIEnv* env, jclass, jint h, jint operation) {
  return frame(env, [&] { return GRABKIT_PRODUCER(DSFlushQueue)(fromJavaHandle(h), operation); });
}

GRABKIT_JNI(jint, DSStartAcquisition)(JNIEnv* env, jclass, jint h, jint flags, jlong count) {
  return frame(env, [&] {
    return GRABKIT_PRODUCER(DSStartAcquisition)(fromJavaHandle(h), flags,
                                                static_cast<uint64_t>(count));
  });
}

GRABKIT_JNI(jint, DSStopAcquisition)(JNIEnv* env, jclass, jint h, jint flags) {
  return frame(env, [&] { return GRABKIT_PRODUCER(DSStopAcquisition)(fromJavaHandle(h), flags); });
}

GRABKIT_STRING_BY_CMD(DSGetInfoString, DSGetInfo)
GRABKIT_INFO(jlong, DSGetInfoUint64, DSGetInfo, uint64_t, checkedUnsigned)
GRABKIT_INFO(jlong, DSGetInfoSize, DSGetInfo, size_t, jlong)
GRABKIT_INFO(jboolean, DSGetInfoBool, DSGetInfo, bool8_t, isTrue)

GRABKIT_JNI(jint, DSGetBufferID)(JNIEnv* env, jclass, jint h, jlong index) {
  return frame(env, [&] {
    return toJavaHandle(outputValue<BUFFER_HANDLE>(GRABKIT_PRODUCER(DSGetBufferID),
                                                   fromJavaHandle(h), low32(index)));
  });
}

GRABKIT_ACTION(DSClose, Grabkit::DSClose)

GRABKIT_JNI(jlong, DSGetNumBufferParts)(JNIEnv* env, jclass, jint h, jint b) {
  return frame(env, [&] {
    return jlong(outputValue<uint32_t>(GRABKIT_PRODUCER(DSGetNumBufferParts), fromJavaHandle(h),
                                       fromJavaHandle(b)));
  });
}

GRABKIT_JNI(jlong, DSGetBufferPartInfoSize)
(JNIEnv* env, jclass, jint h, jint b, jlong part, jint cmd) {
  return frame(env, [&] {
    return jlong(infoValue<size_t>(GRABKIT_PRODUCER(DSGetBufferPartInfo), fromJavaHandle(h),
                                   fromJavaHandle(b), low32(part), cmd));
  });
}

GRABKIT_JNI(jlong, DSGetBufferPartInfoUint64)
(JNIEnv* env, jclass, jint h, jint b, jlong part, jint cmd) {
  return frame(env, [&] {
    return checkedUnsigned(infoValue<uint64_t>(GRABKIT_PRODUCER(DSGetBufferPartInfo),
                                               fromJavaHandle(h), fromJavaHandle(b), low32(part),
                                               cmd));
  });
}

GRABKIT_JNI(jlong, DSGetBufferPartDataOffset)(JNIEnv* env, jclass, jint h, jint b, jlong part) {
  return frame(env, [&] {
    return checkedUnsigned(
        Grabkit::DSGetBufferPartDataOffset(fromJavaHandle(h), fromJavaHandle(b), low32(part)));
  });
}

GRABKIT_JNI(jint, DSRevokeBuffer)(JNIEnv* env, jclass, jint h, jint b) {
  return frame(env, [&] {
    return toJavaUser(Grabkit::DSRevokeBuffer(fromJavaHandle(h), fromJavaHandle(b)));
  });
}

// Revoking works the same for a buffer that the producer allocated.
GRABKIT_JNI(jint, DSRevokeProducerAllocatedBuffer)(JNIEnv* env, jclass, jint h, jint b) {
  return Java_org_grabkit_gentl_gentlJNI_DSRevokeBuffer(env, nullptr, h, b);
}

GRABKIT_JNI(jint, DSQueueBuffer_1_1SWIG_10)(JNIEnv* env, jclass, jint h, jint b, jboolean clear) {
  return frame(env, [&] {
    return Grabkit::DSQueueBuffer(fromJavaHandle(h), fromJavaHandle(b), clear != JNI_FALSE);
  });
}

GRABKIT_JNI(jint, DSQueueBuffer_1_1SWIG_11)(JNIEnv* env, jclass, jint h, jint b) {
  return frame(env, [&] { return Grabkit::DSQueueBuffer(fromJavaHandle(h), fromJavaHandle(b)); });
}

GRABKIT_BUFFER_INFO(jboolean, DSGetBufferInfoBool, bool8_t, isTrue)
GRABKIT_BUFFER_INFO(jint, DSGetBufferInfoInt32, int32_t, jint)
GRABKIT_BUFFER_INFO(jlong, DSGetBufferInfoUint64, uint64_t, checkedUnsigned)
GRABKIT_BUFFER_INFO(jlong, DSGetBufferInfoSize, size_t, jlong)

GRABKIT_JNI(jstring, DSGetBufferInfoString)(JNIEnv* env, jclass, jint h, jint b, jint cmd) {
  return frame(env, [&] {
    return toJava(env, Grabkit::DSGetBufferInfoString(fromJavaHandle(h), fromJavaHandle(b), cmd));
  });
}

// An address, not a handle: only its low 32 bits reach Java.
GRABKIT_JNI(jint, DSGetBufferInfoPtr)(JNIEnv* env, jclass, jint h, jint b) {
  return frame(env, [&] {
    return toJavaUser(infoValue<void*>(GRABKIT_PRODUCER(DSGetBufferInfo), fromJavaHandle(h),
                                       fromJavaHandle(b), BUFFER_INFO_BASE));
  });
}
