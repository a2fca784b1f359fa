// DataStream and Buffer.
#include <algorithm>

#include "../model/Buffer.h"
#include "../model/DataStream.h"
#include "../model/Port.h"
#include "../producer/CallLayer.h"
#include "ModelGlue.h"

using namespace Grabkit::Jni;
using Grabkit::Buffer;
using Grabkit::DataStream;
using Grabkit::Device;

namespace {
// A Buffer passed by reference must exist; the message names the reference
// kind of the operation.
std::shared_ptr<Buffer> bufferArgument(JNIEnv* env, jlong handle, const char* message) {
  if (handle == 0) raiseJava(env, kJavaNullPointerException, message);
  return getObject<Buffer>(handle);
}
constexpr const char* kConstBufferNull = "Grabkit::Buffer const & reference is null";
constexpr const char* kBufferNull = "Grabkit::Buffer & reference is null";
}  // namespace

GRABKIT_NEW_MODULE(DataStream, Device)
GRABKIT_MODULE_EXPORTS(DataStream)
GRABKIT_JNI(jlong, DataStream_1announceBuffer)
(JNIEnv* env, jclass, jlong self, jobject, jobject buffer, jint user) {
  return frame(env, [&] {
    auto stream = instance<DataStream>(env, self, "DataStream");
    DirectMemory memory = toDirect(env, buffer, true);
    return newHolder(stream->announceBuffer(memory.data, memory.size, fromJavaUser(user),
                                            keepReachable(env, buffer)));
  });
}
GRABKIT_JNI(jint, DataStream_1revokeBuffer)
(JNIEnv* env, jclass, jlong self, jobject, jlong buffer, jobject) {
  return frame(env, [&] {
    std::shared_ptr<Buffer> b = bufferArgument(env, buffer, kConstBufferNull);
    return toJavaUser(instance<DataStream>(env, self, "DataStream")->revokeBuffer(*b));
  });
}
GRABKIT_JNI(jint, DataStream_1queueBuffer_1_1SWIG_10)
(JNIEnv* env, jclass, jlong self, jobject, jlong buffer, jobject, jboolean clear) {
  return frame(env, [&] {
    std::shared_ptr<Buffer> b = bufferArgument(env, buffer, kBufferNull);
    return instance<DataStream>(env, self, "DataStream")->queueBuffer(*b, clear != JNI_FALSE);
  });
}
GRABKIT_JNI(jint, DataStream_1queueBuffer_1_1SWIG_11)
(JNIEnv* env, jclass, jlong self, jobject, jlong buffer, jobject) {
  return frame(env, [&] {
    std::shared_ptr<Buffer> b = bufferArgument(env, buffer, kBufferNull);
    return instance<DataStream>(env, self, "DataStream")->queueBuffer(*b);
  });
}
GRABKIT_GETTER_1(jint, DataStream, flushQueue, asInt)
GRABKIT_JNI(jint, DataStream_1startAcquisition)
(JNIEnv* env, jclass, jlong self, jobject, jint flags, jlong count) {
  return frame(env, [&] {
    return instance<DataStream>(env, self, "DataStream")
        ->startAcquisition(flags, static_cast<uint64_t>(count));
  });
}
GRABKIT_GETTER_1(jint, DataStream, stopAcquisition, asInt)
GRABKIT_GETTER_1(jstring, DataStream, getInfoString, asString)
GRABKIT_GETTER_1(jlong, DataStream, getInfoUint64, asChecked)
GRABKIT_GETTER_1(jlong, DataStream, getInfoSize, asLong)
GRABKIT_GETTER_1(jboolean, DataStream, getInfoBool, asBool)
GRABKIT_GETTER(jstring, DataStream, getID, asString)
GRABKIT_GETTER(jstring, DataStream, getTransportLayerType, asString)
GRABKIT_GETTER(jlong, DataStream, getNumDelivered, asChecked)
GRABKIT_GETTER(jlong, DataStream, getNumUnderrun, asChecked)
GRABKIT_GETTER(jlong, DataStream, getNumAnnounced, asLong)
GRABKIT_GETTER(jlong, DataStream, getNumQueued, asLong)
GRABKIT_GETTER(jlong, DataStream, getNumAwaitingDelivery, asLong)
GRABKIT_GETTER(jlong, DataStream, getNumStarted, asChecked)
GRABKIT_GETTER(jlong, DataStream, getPayloadSize, asLong)
GRABKIT_GETTER(jboolean, DataStream, isGrabbing, asBool)
GRABKIT_GETTER(jboolean, DataStream, definesPayloadSize, asBool)
GRABKIT_GETTER(jlong, DataStream, getNumChunksMax, asLong)
GRABKIT_GETTER(jlong, DataStream, getBufferAnnounceMin, asLong)
GRABKIT_GETTER(jlong, DataStream, getBufferAlignment, asLong)

GRABKIT_JNI(jlong, new_1Buffer)(JNIEnv* env, jclass, jlong stream, jobject, jint h, jint user) {
  return frame(env, [&] {
    return newHolder(std::make_shared<Buffer>(parent<DataStream>(env, stream, "DataStream"),
                                              fromJavaHandle(h), fromJavaUser(user)));
  });
}
GRABKIT_DELETE(Buffer)
GRABKIT_GETTER(jint, Buffer, getHandle, asHandle)
GRABKIT_JNI(jint, Buffer_1getUserData)(JNIEnv* env, jclass, jlong self, jobject) {
  return frame(env,
               [&] { return toJavaUser(instance<Buffer>(env, self, "Buffer")->getUserData()); });
}
GRABKIT_JNI(jint, Buffer_1getInfoPtr)(JNIEnv* env, jclass, jlong self, jobject) {
  return frame(env,
               [&] { return toJavaUser(instance<Buffer>(env, self, "Buffer")->getInfoPtr()); });
}
GRABKIT_GETTER(jint, Buffer, getPayloadType, asInt)
GRABKIT_GETTER_1(jboolean, Buffer, getInfoBool, asBool)
GRABKIT_GETTER_1(jint, Buffer, getInfoInt32, asInt)
GRABKIT_GETTER_1(jstring, Buffer, getInfoString, asString)
GRABKIT_GETTER_1(jlong, Buffer, getInfoUint64, asChecked)
GRABKIT_GETTER_1(jlong, Buffer, getInfoSize, asLong)
GRABKIT_GETTER(jlong, Buffer, getNumBufferParts, asLong)
GRABKIT_GETTER_1(jlong, Buffer, getPartDataOffset, asChecked)
GRABKIT_GETTER_1(jlong, Buffer, getPartDataSize, asLong)
GRABKIT_GETTER_1(jlong, Buffer, getPartDataType, asLong)
GRABKIT_GETTER_1(jlong, Buffer, getPartDataFormat, asChecked)
GRABKIT_GETTER_1(jlong, Buffer, getPartDataFormatNamespace, asLong)
GRABKIT_GETTER_1(jlong, Buffer, getPartWidth, asLong)
GRABKIT_GETTER_1(jlong, Buffer, getPartHeight, asLong)
GRABKIT_GETTER_1(jlong, Buffer, getPartXOffset, asLong)
GRABKIT_GETTER_1(jlong, Buffer, getPartYOffset, asLong)
GRABKIT_GETTER_1(jlong, Buffer, getPartXPadding, asLong)
GRABKIT_GETTER_1(jlong, Buffer, getPartSourceID, asChecked)
GRABKIT_GETTER_1(jlong, Buffer, getPartDeliveredImageHeight, asLong)
GRABKIT_GETTER_2(jlong, Buffer, getBufferPartInfoSize, asLong)
GRABKIT_GETTER_2(jlong, Buffer, getBufferPartInfoUint64, asChecked)
GRABKIT_VOID(Buffer, clear)

// The new-buffer event of a stream, routed to the stream's own load, so that
// the Java API can acquire from several producers at once.
#define GRABKIT_STREAM_NATIVE(type, name) \
  extern "C" JNIEXPORT type JNICALL Java_org_grabkit_gentl_DataStream_##name

GRABKIT_STREAM_NATIVE(jint, registerEvent0)(JNIEnv* env, jclass, jlong self, jint type) {
  return frame(env, [&] {
    auto stream = instance<DataStream>(env, self, "DataStream");
    return handOut(Grabkit::GCRegisterEvent(stream->getHandle(), type), [](void*) {});
  });
}

GRABKIT_STREAM_NATIVE(jint, unregisterEvent0)(JNIEnv* env, jclass, jlong self, jint type) {
  return frame(env, [&] {
    auto stream = instance<DataStream>(env, self, "DataStream");
    DS_HANDLE h = stream->getHandle();
    return GRABKIT_PRODUCER(GCUnregisterEvent)(h, type);
  });
}

// {buffer handle, user value}, or a TimeoutException.
GRABKIT_STREAM_NATIVE(jlongArray, waitNewBuffer0)
(JNIEnv* env, jclass, jlong self, jint event, jlong timeout) {
  return frame(env, [&]() -> jlongArray {
    auto stream = routed<DataStream>(env, self, "DataStream");
    Grabkit::NewBufferEvent e =
        Grabkit::EventNewBufferGetData(fromJavaHandle(event), static_cast<uint64_t>(timeout));
    jlong pair[2] = {toJavaHandle(e.BufferHandle), toJavaUser(e.userData)};
    jlongArray result = env->NewLongArray(2);
    if (result == nullptr) throw JavaExceptionPending{};
    env->SetLongArrayRegion(result, 0, 2, pair);
    return result;
  });
}

// The same wait for a thread that waits again and again: the pair goes into
// the caller's array, and a time-out is a false result instead of an
// exception, so that neither a delivered frame nor an idle camera makes
// garbage on the Java heap.
GRABKIT_STREAM_NATIVE(jboolean, waitNewBufferInto0)
(JNIEnv* env, jclass, jlong self, jint event, jlong timeout, jlongArray into) {
  return frame(env, [&]() -> jboolean {
    if (into == nullptr || env->GetArrayLength(into) < 2) {
      raiseJava(env, kJavaIllegalArgumentException, "waitNewBuffer needs an array of 2");
    }
    auto stream = routed<DataStream>(env, self, "DataStream");
    Grabkit::NewBufferEvent e;
    try {
      e = Grabkit::EventNewBufferGetData(fromJavaHandle(event), static_cast<uint64_t>(timeout));
    } catch (const Grabkit::TimeoutException&) {
      return JNI_FALSE;
    }
    jlong pair[2] = {toJavaHandle(e.BufferHandle), toJavaUser(e.userData)};
    env->SetLongArrayRegion(into, 0, 2, pair);
    return JNI_TRUE;
  });
}

GRABKIT_STREAM_NATIVE(jint, killEvent0)(JNIEnv* env, jclass, jlong self, jint event) {
  return frame(env, [&] {
    auto stream = routed<DataStream>(env, self, "DataStream");
    return GRABKIT_PRODUCER(EventKill)(fromJavaHandle(event));
  });
}

// The chunks as (ID, offset, length) triples, for Buffer.getChunks().
extern "C" JNIEXPORT jlongArray JNICALL Java_org_grabkit_gentl_Buffer_chunks0(JNIEnv* env, jclass,
                                                                              jlong self) {
  return frame(env, [&]() -> jlongArray {
    std::vector<SINGLE_CHUNK_DATA> chunks = instance<Buffer>(env, self, "Buffer")->getChunks();
    std::vector<jlong> flat;
    for (const SINGLE_CHUNK_DATA& c : chunks) {
      flat.insert(flat.end(), {static_cast<jlong>(c.ChunkID), static_cast<jlong>(c.ChunkOffset),
                               static_cast<jlong>(c.ChunkLength)});
    }
    jlongArray result = env->NewLongArray(static_cast<jsize>(flat.size()));
    if (result == nullptr) throw JavaExceptionPending{};
    env->SetLongArrayRegion(result, 0, static_cast<jsize>(flat.size()), flat.data());
    return result;
  });
}

namespace {
// The answers that mean "this producer cannot tell", as org.grabkit's Unknown
// counts them: such a value is left out of the known mask instead of failing
// the whole frame.
template <typename Query>
bool known(Query&& query, jlong& slot) {
  try {
    slot = static_cast<jlong>(query());
    return true;
  } catch (const Grabkit::NotImplementedException&) {
  } catch (const Grabkit::NotAvailableException&) {
  } catch (const Grabkit::InvalidParameterException&) {
  } catch (const Grabkit::NoDataException&) {
  } catch (const Grabkit::BufferTooSmallException&) {
  }
  slot = 0;
  return false;
}

// The slots of Buffer.frameInfo0, kept in step with Buffer.FRAME_INFO_*.
enum : int {
  kKnown,
  kFrameId,
  kTimestamp,
  kTimestampNs,
  kIncomplete,
  kSizeFilled,
  kPayloadType,
  kWidth,
  kHeight,
  kPixelFormat,
  kImageOffset,
  kXPadding,
  kPartCount,
  kParts,
  kPartSlots = 7,  // known mask, offset, size, width, height, format, padding
};
}  // namespace

// What a frame needs of its buffer, in one crossing: every value the Java
// API reads per frame, with a mask of those the producer answered. Parts are
// asked only when the buffer describes no single image; the count is always
// written, the parts that fit the array are filled.
extern "C" JNIEXPORT void JNICALL Java_org_grabkit_gentl_Buffer_frameInfo0(JNIEnv* env, jclass,
                                                                           jlong self,
                                                                           jlongArray into) {
  frame(env, [&] {
    jsize length = into == nullptr ? 0 : env->GetArrayLength(into);
    if (length < kParts) {
      raiseJava(env, kJavaIllegalArgumentException, "frameInfo needs an array of at least 13");
    }
    auto buffer = instance<Buffer>(env, self, "Buffer");
    const Buffer& b = *buffer;
    jlong v[kParts + 8 * kPartSlots] = {};
    jlong mask = 0;
    auto ask = [&](int slot, auto query) {
      if (known(query, v[slot])) mask |= jlong{1} << slot;
    };
    // The slots in the order of the queries; each batch is one guarded run
    // of producer calls.
    auto read = [&](std::initializer_list<std::pair<int, Buffer::InfoQuery>> batch) {
      Buffer::InfoQuery queries[8];
      size_t n = 0;
      for (const auto& q : batch) queries[n++] = q.second;
      b.readInfo(queries, n);
      n = 0;
      for (const auto& q : batch) {
        v[q.first] = static_cast<jlong>(queries[n].value);
        if (queries[n++].known) mask |= jlong{1} << q.first;
      }
    };
    read({{kFrameId, {BUFFER_INFO_FRAMEID}},
          {kTimestamp, {BUFFER_INFO_TIMESTAMP}},
          {kTimestampNs, {BUFFER_INFO_TIMESTAMP_NS}},
          {kIncomplete, {BUFFER_INFO_IS_INCOMPLETE, true}},
          {kSizeFilled, {BUFFER_INFO_SIZE_FILLED}},
          {kPayloadType, {BUFFER_INFO_PAYLOADTYPE}}});
    bool multiPart = (mask >> kPayloadType & 1) && v[kPayloadType] == PAYLOAD_TYPE_MULTI_PART;
    if (!multiPart) {
      read({{kWidth, {BUFFER_INFO_WIDTH}},
            {kHeight, {BUFFER_INFO_HEIGHT}},
            {kPixelFormat, {BUFFER_INFO_PIXELFORMAT}},
            {kImageOffset, {BUFFER_INFO_IMAGEOFFSET}},
            {kXPadding, {BUFFER_INFO_XPADDING}}});
    }
    constexpr jlong kImage = jlong{1} << kWidth | jlong{1} << kHeight | jlong{1} << kPixelFormat;
    jsize used = kParts;
    if (multiPart || (mask & kImage) != kImage) {
      ask(kPartCount, [&] { return b.getNumBufferParts(); });
      jlong room = std::min<jlong>((length - kParts) / kPartSlots, 8);
      for (uint32_t p = 0; p < std::min<jlong>(v[kPartCount], room); p++) {
        jlong* s = v + kParts + p * kPartSlots;
        jlong partMask = 0;
        auto part = [&](int slot, auto query) {
          if (known(query, s[slot])) partMask |= jlong{1} << slot;
        };
        part(1, [&] { return b.getPartDataOffset(p); });
        part(2, [&] { return b.getPartDataSize(p); });
        part(3, [&] { return b.getPartWidth(p); });
        part(4, [&] { return b.getPartHeight(p); });
        part(5, [&] { return b.getPartDataFormat(p); });
        part(6, [&] { return b.getPartXPadding(p); });
        s[0] = partMask;
        used = kParts + (p + 1) * kPartSlots;
      }
    }
    v[kKnown] = mask;
    env->SetLongArrayRegion(into, 0, used, v);
  });
}
