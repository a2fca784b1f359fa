#include "DataStream.h"

#include "../producer/CallLayer.h"
#include "../producer/Producer.h"
#include "Buffer.h"
#include "Port.h"

namespace Grabkit {

std::shared_ptr<Port> DataStream::getPort() {
  DS_HANDLE h = getHandle();
  return std::make_shared<ConcretePort<DataStream>>(shared_from_this(), h);
}

std::shared_ptr<Buffer> DataStream::announceBuffer(void* memory, size_t size, void* userData,
                                                   std::shared_ptr<void> keepAlive) {
  DS_HANDLE h = getHandle();
  BUFFER_HANDLE buffer = DSAnnounceBuffer(h, memory, size, userData, std::move(keepAlive));
  return std::make_shared<Buffer>(shared_from_this(), buffer, userData);
}

void* DataStream::revokeBuffer(const Buffer& buffer) {
  BUFFER_HANDLE b = buffer.getHandle();
  return DSRevokeBuffer(getHandle(), b);
}

GC_ERROR DataStream::queueBuffer(Buffer& buffer, bool clear) {
  BUFFER_HANDLE b = buffer.getHandle();
  return DSQueueBuffer(getHandle(), b, clear);
}

GC_ERROR DataStream::flushQueue(int32_t operation) {
  DS_HANDLE h = getHandle();
  return GRABKIT_PRODUCER(DSFlushQueue)(h, operation);
}

GC_ERROR DataStream::startAcquisition(int32_t flags, uint64_t numToAcquire) {
  DS_HANDLE h = getHandle();
  return GRABKIT_PRODUCER(DSStartAcquisition)(h, flags, numToAcquire);
}

GC_ERROR DataStream::stopAcquisition(int32_t flags) {
  DS_HANDLE h = getHandle();
  return GRABKIT_PRODUCER(DSStopAcquisition)(h, flags);
}

std::string DataStream::getInfoString(int32_t cmd) const {
  return DSGetInfoString(getHandle(), cmd);
}

uint64_t DataStream::getInfoUint64(int32_t cmd) const {
  DS_HANDLE h = getHandle();
  return infoValue<uint64_t>(GRABKIT_PRODUCER(DSGetInfo), h, cmd);
}

size_t DataStream::getInfoSize(int32_t cmd) const {
  DS_HANDLE h = getHandle();
  return infoValue<size_t>(GRABKIT_PRODUCER(DSGetInfo), h, cmd);
}

bool DataStream::getInfoBool(int32_t cmd) const {
  DS_HANDLE h = getHandle();
  return infoValue<bool8_t>(GRABKIT_PRODUCER(DSGetInfo), h, cmd) != 0;
}

}  // namespace Grabkit
