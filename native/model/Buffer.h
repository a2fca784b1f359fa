// A buffer announced to a data stream: the producer's handle, the stream and
// the user value. It owns no memory and is never revoked by being destroyed.
#ifndef GRABKIT_MODEL_BUFFER_H
#define GRABKIT_MODEL_BUFFER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "GenTL.h"

namespace Grabkit {

class DataStream;
class ProducerFunctions;

class Buffer {
 public:
  Buffer(std::shared_ptr<DataStream> dataStream, BUFFER_HANDLE handle, void* userData);
  ~Buffer();
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  // Usable while the stream is.
  BUFFER_HANDLE getHandle() const;
  void* getUserData() const { return userData_; }
  const std::shared_ptr<DataStream>& dataStream() const { return dataStream_; }
  std::shared_ptr<ProducerFunctions> callTarget() const;
  void enterCall() const;
  void leaveCall() const;

  std::string getInfoString(int32_t cmd) const;
  bool getInfoBool(int32_t cmd) const;
  int32_t getInfoInt32(int32_t cmd) const;
  uint64_t getInfoUint64(int32_t cmd) const;
  size_t getInfoSize(int32_t cmd) const;
  void* getInfoPtr() const;
  int32_t getPayloadType() const;

  uint32_t getNumBufferParts() const;
  size_t getBufferPartInfoSize(uint32_t part, int32_t cmd) const;
  uint64_t getBufferPartInfoUint64(uint32_t part, int32_t cmd) const;
  // The part's byte offset inside the buffer.
  uint64_t getPartDataOffset(uint32_t part) const;
  size_t getPartDataSize(uint32_t part) const {
    return getBufferPartInfoSize(part, BUFFER_PART_INFO_DATA_SIZE);
  }
  size_t getPartDataType(uint32_t part) const {
    return getBufferPartInfoSize(part, BUFFER_PART_INFO_DATA_TYPE);
  }
  uint64_t getPartDataFormat(uint32_t part) const {
    return getBufferPartInfoUint64(part, BUFFER_PART_INFO_DATA_FORMAT);
  }
  size_t getPartDataFormatNamespace(uint32_t part) const {
    return getBufferPartInfoSize(part, BUFFER_PART_INFO_DATA_FORMAT_NAMESPACE);
  }
  size_t getPartWidth(uint32_t part) const {
    return getBufferPartInfoSize(part, BUFFER_PART_INFO_WIDTH);
  }
  size_t getPartHeight(uint32_t part) const {
    return getBufferPartInfoSize(part, BUFFER_PART_INFO_HEIGHT);
  }
  size_t getPartXOffset(uint32_t part) const {
    return getBufferPartInfoSize(part, BUFFER_PART_INFO_XOFFSET);
  }
  size_t getPartYOffset(uint32_t part) const {
    return getBufferPartInfoSize(part, BUFFER_PART_INFO_YOFFSET);
  }
  size_t getPartXPadding(uint32_t part) const {
    return getBufferPartInfoSize(part, BUFFER_PART_INFO_XPADDING);
  }
  uint64_t getPartSourceID(uint32_t part) const {
    return getBufferPartInfoUint64(part, BUFFER_PART_INFO_SOURCE_ID);
  }
  size_t getPartDeliveredImageHeight(uint32_t part) const {
    return getBufferPartInfoSize(part, BUFFER_PART_INFO_DELIVERED_IMAGEHEIGHT);
  }

  // Several reads of the filled buffer's information, as a frame makes them:
  // one check of the handles and one producer call guard for all of them.
  struct InfoQuery {
    int32_t cmd;
    bool boolean = false;  // a bool8_t, read as 0 or 1; else 64 bits (a size too)
    bool known = false;    // false where the producer does not have it
    uint64_t value = 0;
  };
  // Information the producer does not have (not implemented, not available,
  // no data, a parameter or a size it refuses) leaves a query unknown; any
  // other failure throws, as getInfoUint64 would.
  void readInfo(InfoQuery* queries, size_t count) const;

  // Zero-fills the whole announced size, whoever holds the buffer.
  void clear() const;

  // The chunks the producer lists in the filled buffer.
  std::vector<SINGLE_CHUNK_DATA> getChunks() const;

 private:
  uint64_t extent(int32_t cmd, uint64_t value) const;

  std::shared_ptr<DataStream> dataStream_;
  BUFFER_HANDLE handle_;
  void* userData_;
};

}  // namespace Grabkit

#endif
