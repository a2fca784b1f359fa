#include "Buffer.h"

#include <cstring>

#include "../producer/CallLayer.h"
#include "../producer/Producer.h"
#include "DataStream.h"

namespace Grabkit {

Buffer::Buffer(std::shared_ptr<DataStream> dataStream, BUFFER_HANDLE handle, void* userData)
    : dataStream_(std::move(dataStream)), handle_(handle), userData_(userData) {
  trace("Buffer()");
}

Buffer::~Buffer() {
  trace("~Buffer()");
}

std::shared_ptr<ProducerFunctions> Buffer::callTarget() const {
  return dataStream_->callTarget();
}

void Buffer::enterCall() const {
  dataStream_->enterCall();
}

void Buffer::leaveCall() const {
  dataStream_->leaveCall();
}

BUFFER_HANDLE Buffer::getHandle() const {
  if (!dataStream_->checkValid()) throw ClosedException(DataStream::kHandleClosed);
  return handle_;
}

namespace {
// Every read takes the buffer's handle first, then the stream's, so a closed
// stream refuses before the producer is called.
template <typename T>
T bufferInfo(const Buffer& buffer, int32_t cmd) {
  BUFFER_HANDLE b = buffer.getHandle();
  DS_HANDLE h = buffer.dataStream()->getHandle();
  return infoValue<T>(GRABKIT_PRODUCER(DSGetBufferInfo), h, b, cmd);
}

// Sizes and offsets within the buffer must lie inside what was announced:
// Java slices the buffer's memory with them.
bool isExtent(int32_t cmd) {
  switch (cmd) {
    case BUFFER_INFO_SIZE:
    case BUFFER_INFO_SIZE_FILLED:
    case BUFFER_INFO_IMAGEOFFSET:
    case BUFFER_INFO_DATA_SIZE:
      return true;
    default:
      return false;
  }
}

template <typename T>
T partInfo(const Buffer& buffer, uint32_t part, int32_t cmd) {
  BUFFER_HANDLE b = buffer.getHandle();
  DS_HANDLE h = buffer.dataStream()->getHandle();
  return infoValue<T>(GRABKIT_PRODUCER(DSGetBufferPartInfo), h, b, part, cmd);
}
}  // namespace

uint64_t Buffer::extent(int32_t cmd, uint64_t value) const {
  return isExtent(cmd) ? checkedExtent("DSGetBufferInfo", value, handle_) : value;
}

namespace {
bool unknownInformation(int32_t code) {
  switch (code) {
    case GC_ERR_NOT_IMPLEMENTED:
    case GC_ERR_NOT_AVAILABLE:
    case GC_ERR_INVALID_PARAMETER:
    case GC_ERR_NO_DATA:
    case GC_ERR_BUFFER_TOO_SMALL:
      return true;
    default:
      return false;
  }
}
}  // namespace

void Buffer::readInfo(InfoQuery* queries, size_t count) const {
  BUFFER_HANDLE b = getHandle();
  DS_HANDLE h = dataStream_->getHandle();
  auto info = GRABKIT_PRODUCER(DSGetBufferInfo);
  for (size_t i = 0; i < count; ++i) {
    InfoQuery& q = queries[i];
    static_assert(sizeof(size_t) == sizeof(uint64_t), "sizes are read as 64 bits");
    int32_t code = GC_ERR_SUCCESS;
    if (q.boolean) {
      bool8_t v = 0;
      code = infoCode(v, info, h, b, q.cmd);
      q.value = v != 0 ? 1 : 0;
    } else {
      code = infoCode(q.value, info, h, b, q.cmd);
    }
    q.known = !unknownInformation(code);
    if (!q.known) {
      q.value = 0;
      continue;
    }
    checkError(code);
    q.value = extent(q.cmd, q.value);
  }
}

std::string Buffer::getInfoString(int32_t cmd) const {
  BUFFER_HANDLE b = getHandle();
  return DSGetBufferInfoString(dataStream_->getHandle(), b, cmd);
}

bool Buffer::getInfoBool(int32_t cmd) const {
  return bufferInfo<bool8_t>(*this, cmd) != 0;
}
int32_t Buffer::getInfoInt32(int32_t cmd) const {
  return bufferInfo<int32_t>(*this, cmd);
}
uint64_t Buffer::getInfoUint64(int32_t cmd) const {
  return extent(cmd, bufferInfo<uint64_t>(*this, cmd));
}
size_t Buffer::getInfoSize(int32_t cmd) const {
  return extent(cmd, bufferInfo<size_t>(*this, cmd));
}
void* Buffer::getInfoPtr() const {
  return bufferInfo<void*>(*this, BUFFER_INFO_BASE);
}
int32_t Buffer::getPayloadType() const {
  return bufferInfo<int32_t>(*this, BUFFER_INFO_PAYLOADTYPE);
}

uint32_t Buffer::getNumBufferParts() const {
  BUFFER_HANDLE b = getHandle();
  DS_HANDLE h = dataStream_->getHandle();
  return outputValue<uint32_t>(GRABKIT_PRODUCER(DSGetNumBufferParts), h, b);
}

size_t Buffer::getBufferPartInfoSize(uint32_t part, int32_t cmd) const {
  size_t value = partInfo<size_t>(*this, part, cmd);
  return cmd == BUFFER_PART_INFO_DATA_SIZE ? checkedExtent("DSGetBufferPartInfo", value, handle_)
                                           : value;
}

uint64_t Buffer::getBufferPartInfoUint64(uint32_t part, int32_t cmd) const {
  return partInfo<uint64_t>(*this, part, cmd);
}

uint64_t Buffer::getPartDataOffset(uint32_t part) const {
  BUFFER_HANDLE b = getHandle();
  return DSGetBufferPartDataOffset(dataStream_->getHandle(), b, part);
}

std::vector<SINGLE_CHUNK_DATA> Buffer::getChunks() const {
  BUFFER_HANDLE b = getHandle();
  return DSGetBufferChunkData(dataStream_->getHandle(), b);
}

void Buffer::clear() const {
  BUFFER_HANDLE b = getHandle();
  clearAnnounced(dataStream_->getHandle(), b);
}

}  // namespace Grabkit
