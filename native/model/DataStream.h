// An opened data-stream module: announces, queues and revokes buffers and
// starts and stops acquisition. Waiting for buffers goes through the
// new-buffer event of the low-level family.
#ifndef GRABKIT_MODEL_DATASTREAM_H
#define GRABKIT_MODEL_DATASTREAM_H

#include <cstdint>
#include <string>

#include "Device.h"
#include "Module.h"

namespace Grabkit {

class Buffer;
class Port;

class DataStream : public Module<DataStream, Device> {
 public:
  static constexpr const char* kName = "DataStream";
  static constexpr const char* kAncestorClosed = "Device is closed, cannot access DataStream";
  static constexpr const char* kHandleClosed = "Data stream is closed, cannot return handle";
  static GC_ERROR closeInProducer(DS_HANDLE handle) { return DSClose(handle); }

  // Wraps a handle; closing or destroying the object closes it in the producer.
  DataStream(std::shared_ptr<Device> device, DS_HANDLE handle)
      : Module(std::move(device), handle) {}

  const std::shared_ptr<Device>& device() const { return parent(); }

  std::shared_ptr<Port> getPort();

  // The memory stays the caller's until the buffer is revoked.
  // `keepAlive` owns the memory for the library until the buffer is revoked or
  // the stream closed.
  std::shared_ptr<Buffer> announceBuffer(void* memory, size_t size, void* userData,
                                         std::shared_ptr<void> keepAlive = nullptr);
  // The user value as the producer gives it back; the Buffer object stays.
  void* revokeBuffer(const Buffer& buffer);
  // Zero-fills the whole buffer first unless told not to; the producer's code.
  GC_ERROR queueBuffer(Buffer& buffer, bool clear = true);

  // Action calls: the producer's code, unchecked.
  GC_ERROR flushQueue(int32_t operation);
  GC_ERROR startAcquisition(int32_t flags, uint64_t numToAcquire);
  GC_ERROR stopAcquisition(int32_t flags);

  std::string getInfoString(int32_t cmd) const;
  uint64_t getInfoUint64(int32_t cmd) const;
  size_t getInfoSize(int32_t cmd) const;
  bool getInfoBool(int32_t cmd) const;

  std::string getID() const { return getInfoString(STREAM_INFO_ID); }
  std::string getTransportLayerType() const { return getInfoString(STREAM_INFO_TLTYPE); }
  uint64_t getNumDelivered() const { return getInfoUint64(STREAM_INFO_NUM_DELIVERED); }
  uint64_t getNumUnderrun() const { return getInfoUint64(STREAM_INFO_NUM_UNDERRUN); }
  size_t getNumAnnounced() const { return getInfoSize(STREAM_INFO_NUM_ANNOUNCED); }
  size_t getNumQueued() const { return getInfoSize(STREAM_INFO_NUM_QUEUED); }
  // Reads the queued count as well, which is what Java callers of this name
  // have always received; STREAM_INFO_NUM_AWAIT_DELIVERY stays reachable
  // through getInfoSize.
  size_t getNumAwaitingDelivery() const { return getInfoSize(STREAM_INFO_NUM_QUEUED); }
  uint64_t getNumStarted() const { return getInfoUint64(STREAM_INFO_NUM_STARTED); }
  size_t getPayloadSize() const { return getInfoSize(STREAM_INFO_PAYLOAD_SIZE); }
  bool isGrabbing() const { return getInfoBool(STREAM_INFO_IS_GRABBING); }
  bool definesPayloadSize() const { return getInfoBool(STREAM_INFO_DEFINES_PAYLOADSIZE); }
  size_t getNumChunksMax() const { return getInfoSize(STREAM_INFO_NUM_CHUNKS_MAX); }
  size_t getBufferAnnounceMin() const { return getInfoSize(STREAM_INFO_BUF_ANNOUNCE_MIN); }
  size_t getBufferAlignment() const { return getInfoSize(STREAM_INFO_BUF_ALIGNMENT); }
};

}  // namespace Grabkit

#endif
