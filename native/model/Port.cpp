#include "Port.h"

#include "../producer/CallLayer.h"
#include "../producer/Producer.h"

namespace Grabkit {

PORT_HANDLE Port::getHandle() {
  // The same words for every module kind.
  if (!checkValid()) throw ClosedException("Device is closed, cannot return handle");
  return handle_;
}

uint64_t Port::read(uint64_t address, void* buffer, size_t size) {
  return GCReadPort(handle_, address, buffer, size);
}

uint64_t Port::write(uint64_t address, const void* buffer, size_t size) {
  return GCWritePort(handle_, address, buffer, size);
}

std::string Port::getPortInfoString(int32_t cmd) {
  return GCGetPortInfoString(handle_, cmd);
}

bool Port::getPortInfoBool(int32_t cmd) {
  return infoValue<bool8_t>(GRABKIT_PRODUCER(GCGetPortInfo), handle_, cmd) != 0;
}

uint32_t Port::getNumPortURLs() {
  return outputValue<uint32_t>(GRABKIT_PRODUCER(GCGetNumPortURLs), handle_);
}

std::string Port::getURLInfoString(uint32_t index, int32_t cmd) {
  return GCGetPortURLInfoString(handle_, index, cmd);
}

int32_t Port::getURLInfoInt32(uint32_t index, int32_t cmd) {
  return infoValue<int32_t>(GRABKIT_PRODUCER(GCGetPortURLInfo), handle_, index, cmd);
}

uint64_t Port::getURLInfoUInt64(uint32_t index, int32_t cmd) {
  return infoValue<uint64_t>(GRABKIT_PRODUCER(GCGetPortURLInfo), handle_, index, cmd);
}

uint64_t Port::getURLInfoBuffer(uint32_t index, void* buffer, size_t size, int32_t cmd) {
  return GCGetPortURLInfoBuffer(handle_, index, cmd, buffer, size);
}

}  // namespace Grabkit
