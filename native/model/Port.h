// The register port of an opened module. Only checkValid and getHandle ask
// the module's closed state; every other operation goes to the producer with
// the stored handle, and the producer's answer decides.
#ifndef GRABKIT_MODEL_PORT_H
#define GRABKIT_MODEL_PORT_H

#include <cstdint>
#include <memory>
#include <string>

#include "../diag/Trace.h"
#include "../producer/Errors.h"
#include "GenTL.h"

namespace Grabkit {

class ProducerFunctions;

class Port {
 public:
  virtual ~Port() = default;
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  // The module's validity test.
  virtual bool checkValid() = 0;
  // The load that the module's calls go to.
  virtual std::shared_ptr<ProducerFunctions> callTarget() const = 0;
  virtual void enterCall() const = 0;
  virtual void leaveCall() const = 0;
  PORT_HANDLE getHandle();

  // Both return the byte count that the producer reports.
  uint64_t read(uint64_t address, void* buffer, size_t size);
  uint64_t write(uint64_t address, const void* buffer, size_t size);

  std::string getPortInfoString(int32_t cmd);
  std::string getID() { return getPortInfoString(PORT_INFO_ID); }
  std::string getVendor() { return getPortInfoString(PORT_INFO_VENDOR); }
  std::string getModel() { return getPortInfoString(PORT_INFO_MODEL); }
  std::string getTLType() { return getPortInfoString(PORT_INFO_TLTYPE); }
  std::string getModule() { return getPortInfoString(PORT_INFO_MODULE); }
  std::string getVersion() { return getPortInfoString(PORT_INFO_VERSION); }
  std::string getName() { return getPortInfoString(PORT_INFO_PORTNAME); }
  bool getPortInfoBool(int32_t cmd);
  bool isLittleEndian() { return getPortInfoBool(PORT_INFO_LITTLE_ENDIAN); }
  bool isBigEndian() { return getPortInfoBool(PORT_INFO_BIG_ENDIAN); }
  bool hasReadAccess() { return getPortInfoBool(PORT_INFO_ACCESS_READ); }
  bool hasWriteAccess() { return getPortInfoBool(PORT_INFO_ACCESS_WRITE); }
  bool isAccessNA() { return getPortInfoBool(PORT_INFO_ACCESS_NA); }
  bool isAccessNI() { return getPortInfoBool(PORT_INFO_ACCESS_NI); }

  uint32_t getNumPortURLs();
  std::string getURLInfoString(uint32_t index, int32_t cmd);
  std::string getUrl(uint32_t index) { return getURLInfoString(index, URL_INFO_URL); }
  std::string getFilename(uint32_t index) { return getURLInfoString(index, URL_INFO_FILENAME); }
  int32_t getURLInfoInt32(uint32_t index, int32_t cmd);
  int32_t getSchemaVerMajor(uint32_t i) { return getURLInfoInt32(i, URL_INFO_SCHEMA_VER_MAJOR); }
  int32_t getSchemaVerMinor(uint32_t i) { return getURLInfoInt32(i, URL_INFO_SCHEMA_VER_MINOR); }
  int32_t getFileVerMajor(uint32_t i) { return getURLInfoInt32(i, URL_INFO_FILE_VER_MAJOR); }
  int32_t getFileVerMinor(uint32_t i) { return getURLInfoInt32(i, URL_INFO_FILE_VER_MINOR); }
  int32_t getFileVerSubminor(uint32_t i) { return getURLInfoInt32(i, URL_INFO_FILE_VER_SUBMINOR); }
  int32_t getScheme(uint32_t i) { return getURLInfoInt32(i, URL_INFO_SCHEME); }
  uint64_t getURLInfoUInt64(uint32_t index, int32_t cmd);
  uint64_t getFileRegisterAddress(uint32_t i) {
    return getURLInfoUInt64(i, URL_INFO_FILE_REGISTER_ADDRESS);
  }
  uint64_t getFileSize(uint32_t i) { return getURLInfoUInt64(i, URL_INFO_FILE_SIZE); }
  // The byte count that the producer wrote into the buffer.
  uint64_t getURLInfoBuffer(uint32_t index, void* buffer, size_t size, int32_t cmd);
  uint64_t getFileSha1Hash(uint32_t index, void* buffer, size_t size) {
    return getURLInfoBuffer(index, buffer, size, URL_INFO_FILE_SHA1_HASH);
  }

 protected:
  explicit Port(PORT_HANDLE handle) : handle_(handle) {}

 private:
  PORT_HANDLE handle_;
};

// The port of a TransportLayer, TLInterface, Device or DataStream; it keeps
// its module alive.
template <class T>
class ConcretePort final : public Port {
 public:
  ConcretePort(std::shared_ptr<T> module, PORT_HANDLE handle)
      : Port(handle), module_(std::move(module)) {
    trace("Port()");
  }
  ~ConcretePort() override { trace("~Port()"); }

  bool checkValid() override { return module_->checkValid(); }
  std::shared_ptr<ProducerFunctions> callTarget() const override { return module_->callTarget(); }
  void enterCall() const override { module_->enterCall(); }
  void leaveCall() const override { module_->leaveCall(); }

 private:
  std::shared_ptr<T> module_;
};

}  // namespace Grabkit

#endif
