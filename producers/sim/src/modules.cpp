#include "modules.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "error.h"
#include "registers.h"
#include "stream.h"

#ifndef GRABKIT_SIM_VERSION
#define GRABKIT_SIM_VERSION "0.0.0"
#endif

namespace grabkit::sim {
namespace {

// Not in our GenTL declarations: the value of TL_INFO_CHAR_ENCODING for ASCII text.
constexpr int32_t kCharEncodingAscii = 0;

template <size_t N>
void store32(std::array<uint8_t, N>& map, uint64_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) map[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

template <size_t N>
void store64(std::array<uint8_t, N>& map, uint64_t at, uint64_t value) {
  for (int i = 0; i < 8; ++i) map[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// NUL-padded; a text that fills the field has no NUL, as in any fixed-size string register.
template <size_t N>
void storeText(std::array<uint8_t, N>& map, uint64_t at, size_t length, const std::string& text) {
  std::memcpy(&map[at], text.data(), std::min(length, text.size()));
}

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// Copies [address, address + size) out of a block that starts at `base`.
void copyRange(const uint8_t* block, size_t blockSize, uint64_t base, uint64_t address,
               void* buffer, size_t size) {
  if (address < base || address - base > blockSize || size > blockSize - (address - base)) {
    fail(GC_ERR_INVALID_ADDRESS,
         std::to_string(size) + " bytes at " + hex(address) + " are outside the register map");
  }
  std::memcpy(buffer, block + (address - base), size);
}

void checkAccess(const void* buffer, size_t size) {
  need(buffer, "buffer");
  if (size == 0) fail(GC_ERR_INVALID_PARAMETER, "size is 0");
}

uint32_t load32(const void* buffer) {
  const auto* b = static_cast<const uint8_t*>(buffer);
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

struct Register {
  uint64_t address;
  uint32_t size;
  bool writable;
};

constexpr Register kRegisters[] = {
    {reg::kDeviceVendorName, reg::kStringLength, false},
    {reg::kDeviceModelName, reg::kStringLength, false},
    {reg::kDeviceSerialNumber, reg::kStringLength, false},
    {reg::kDeviceVersion, reg::kStringLength, false},
    {reg::kDeviceUserId, reg::kStringLength, false},
    {reg::kWidth, 4, true},
    {reg::kHeight, 4, true},
    {reg::kPixelFormat, 4, true},
    {reg::kTestPattern, 4, true},
    {reg::kFrameRate, 4, true},
    {reg::kAcquisitionMode, 4, true},
    {reg::kTLParamsLocked, 4, true},
    {reg::kAcquisitionStatus, 4, false},
    {reg::kAcquisitionStart, 4, true},
    {reg::kAcquisitionStop, 4, true},
    {reg::kWidthMax, 4, false},
    {reg::kHeightMax, 4, false},
    {reg::kPayloadSize, 8, false},
    {reg::kFrameCounter, 8, false},
};

const Register* registerAt(uint64_t address) {
  for (const Register& r : kRegisters) {
    if (address >= r.address && address < r.address + r.size) return &r;
  }
  return nullptr;
}

void checkRange(const char* name, uint32_t value, uint32_t min, uint32_t max) {
  if (value < min || value > max) {
    fail(GC_ERR_INVALID_VALUE, std::string(name) + " " + std::to_string(value) + " is outside " +
                                   std::to_string(min) + ".." + std::to_string(max));
  }
}

const std::string& modulePath() {
  static const std::string path = [] {
    static const char anchor = 0;
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return std::string();
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) != nullptr) return std::string(resolved);
    return std::string(info.dli_fname);
  }();
  return path;
}

}  // namespace

void ModulePort::read(uint64_t address, void* buffer, size_t size) const {
  checkAccess(buffer, size);
  std::array<uint8_t, reg::kModuleMapEnd> map{};
  store32(map, reg::kModuleGenTLVersion, 0x00010005);
  store32(map, reg::kModuleChildren, childCount());
  store32(map, reg::kModuleKind, static_cast<uint32_t>(kind()));
  storeText(map, reg::kModuleId, reg::kModuleIdLength - 1, moduleId());
  copyRange(map.data(), map.size(), 0, address, buffer, size);
}

void ModulePort::write(uint64_t address, const void* buffer, size_t size) {
  checkAccess(buffer, size);
  if (address < reg::kModuleMapEnd) fail(GC_ERR_ACCESS_DENIED, "module registers are read-only");
  fail(GC_ERR_INVALID_ADDRESS, hex(address) + " is outside the register map");
}

PortInfo System::portInfo() const {
  return PortInfo{kSystemId, kSystemId, "TLSystem", GRABKIT_SIM_VERSION, "TLPort", false};
}

PortInfo Interface::portInfo() const {
  return PortInfo{kInterfaceId,        kSystemId,       "TLInterface",
                  GRABKIT_SIM_VERSION, "InterfacePort", false};
}

Device::Device(Interface& parent, DeviceEntry entry, const Settings& settings, bool readOnly)
    : ModulePort(Kind::kDevice),
      frameRateMilliHz(settings.frameRateMilliHz),
      testPattern(settings.testPattern),
      parent_(parent),
      entry_(std::move(entry)),
      readOnly_(readOnly),
      width_(settings.width),
      height_(settings.height),
      pixelFormat_(entry_.is3d ? pfnc::kMono16 : settings.pixelFormat) {}

Device::~Device() = default;

FrameLayout Device::layout() const {
  return entry_.is3d ? FrameLayout::rangeAndIntensity(width_, height_)
                     : FrameLayout::image(width_, height_, pixelFormat_);
}

const DescriptionFile& Device::descriptionFile() const {
  return entry_.is3d ? camera3dDescription() : cameraDescription();
}

PortInfo Device::portInfo() const {
  return PortInfo{entry_.id, entry_.model(), "TLDevice", kDeviceVersion, "DevicePort", false};
}

PortInfo RemotePort::portInfo() const {
  const DeviceEntry& entry = device_.entry();
  return PortInfo{entry.id, entry.model(), "Device", kDeviceVersion, "Device", !device_.readOnly()};
}

bool Device::parametersLocked() const {
  return tlParamsLocked_ != 0 || (stream && stream->isGrabbing());
}

void Device::wakeStream() const {
  if (stream) stream->wake();
}

void Device::readRemote(uint64_t address, void* buffer, size_t size) const {
  checkAccess(buffer, size);
  if (address < reg::kRegistersEnd) {
    std::array<uint8_t, reg::kRegistersEnd> map{};
    storeText(map, reg::kDeviceVendorName, reg::kStringLength, kVendor);
    storeText(map, reg::kDeviceModelName, reg::kStringLength, entry_.model());
    storeText(map, reg::kDeviceSerialNumber, reg::kStringLength, entry_.serialNumber());
    storeText(map, reg::kDeviceVersion, reg::kStringLength, kDeviceVersion);
    storeText(map, reg::kDeviceUserId, reg::kStringLength, entry_.userName());
    store32(map, reg::kWidth, width_);
    store32(map, reg::kHeight, height_);
    store32(map, reg::kPixelFormat, pixelFormat_);
    store32(map, reg::kTestPattern, testPattern);
    store32(map, reg::kFrameRate, frameRateMilliHz);
    store32(map, reg::kAcquisitionMode, reg::kContinuous);
    store32(map, reg::kTLParamsLocked, tlParamsLocked_);
    const bool producing = stream && stream->isGrabbing() && !paused;
    store32(map, reg::kAcquisitionStatus, producing ? 1 : 0);
    store32(map, reg::kWidthMax, reg::kMaxWidth);
    store32(map, reg::kHeightMax, reg::kMaxHeight);
    store64(map, reg::kPayloadSize, layout().payloadSize());
    store64(map, reg::kFrameCounter, frameCounter);
    copyRange(map.data(), map.size(), 0, address, buffer, size);
    return;
  }
  const DescriptionFile& file = descriptionFile();
  copyRange(reinterpret_cast<const uint8_t*>(file.bytes.data()), file.bytes.size(), file.address,
            address, buffer, size);
}

void Device::writeRemote(uint64_t address, const void* buffer, size_t size) {
  checkAccess(buffer, size);
  const Register* r = registerAt(address);
  if (r == nullptr) {
    const DescriptionFile& file = descriptionFile();
    if (address >= file.address && address - file.address < file.bytes.size()) {
      fail(GC_ERR_ACCESS_DENIED, "the description file is read-only");
    }
    fail(GC_ERR_INVALID_ADDRESS, hex(address) + " is not a register");
  }
  if (r->address != address) {
    fail(GC_ERR_INVALID_ADDRESS, hex(address) + " is inside the register at " + hex(r->address));
  }
  if (size != r->size) {
    fail(GC_ERR_INVALID_PARAMETER, "the register at " + hex(address) + " has " +
                                       std::to_string(r->size) + " bytes, not " +
                                       std::to_string(size));
  }
  if (!r->writable) fail(GC_ERR_ACCESS_DENIED, "the register at " + hex(address) + " is read-only");
  if (readOnly_) fail(GC_ERR_ACCESS_DENIED, "the device was opened read-only");

  const uint32_t value = load32(buffer);
  auto unlocked = [&](const char* name) {
    if (parametersLocked()) {
      fail(GC_ERR_ACCESS_DENIED, std::string(name) +
                                     " cannot change while the stream acquires "
                                     "or TLParamsLocked is set");
    }
  };
  switch (address) {
    case reg::kWidth:
      checkRange("Width", value, 1, reg::kMaxWidth);
      unlocked("Width");
      width_ = value;
      break;
    case reg::kHeight:
      checkRange("Height", value, 1, reg::kMaxHeight);
      unlocked("Height");
      height_ = value;
      break;
    case reg::kPixelFormat:
      if (entry_.is3d ? value != pfnc::kMono16 : bytesPerPixel(value) == 0) {
        fail(GC_ERR_INVALID_VALUE,
             "pixel format " + hex(value) + " is not offered by " + entry_.id);
      }
      unlocked("PixelFormat");
      pixelFormat_ = value;
      break;
    case reg::kTestPattern:
      checkRange("TestPattern", value, 0, 1);
      testPattern = value;
      break;
    case reg::kFrameRate:
      checkRange("AcquisitionFrameRate", value, 0, reg::kMaxFrameRateMilliHz);
      frameRateMilliHz = value;
      wakeStream();
      break;
    case reg::kAcquisitionMode:
      checkRange("AcquisitionMode", value, reg::kContinuous, reg::kContinuous);
      break;
    case reg::kTLParamsLocked:
      checkRange("TLParamsLocked", value, 0, 1);
      tlParamsLocked_ = value;
      break;
    case reg::kAcquisitionStart:
      checkRange("AcquisitionStart", value, 1, 1);
      paused = false;
      wakeStream();
      break;
    case reg::kAcquisitionStop:
      checkRange("AcquisitionStop", value, 1, 1);
      paused = true;
      wakeStream();
      break;
    default:
      fail(GC_ERR_ACCESS_DENIED, "the register at " + hex(address) + " is read-only");
  }
}

InfoValue systemInfo(int32_t cmd) {
  switch (cmd) {
    case TL_INFO_ID:
      return InfoValue::text(kSystemId);
    case TL_INFO_VENDOR:
      return InfoValue::text(kVendor);
    case TL_INFO_MODEL:
      return InfoValue::text(kSystemId);
    case TL_INFO_VERSION:
      return InfoValue::text(GRABKIT_SIM_VERSION);
    case TL_INFO_TLTYPE:
      return InfoValue::text(kTLType);
    case TL_INFO_NAME: {
      const std::string& path = modulePath();
      return InfoValue::text(path.substr(path.find_last_of('/') + 1));
    }
    case TL_INFO_PATHNAME:
      return InfoValue::text(modulePath());
    case TL_INFO_DISPLAYNAME:
      return InfoValue::text("Grabkit simulated cameras");
    case TL_INFO_CHAR_ENCODING:
      return InfoValue::int32(kCharEncodingAscii);
    case TL_INFO_GENTL_VER_MAJOR:
      return InfoValue::uint32(1);
    case TL_INFO_GENTL_VER_MINOR:
      return InfoValue::uint32(5);
    default:
      fail(GC_ERR_NOT_IMPLEMENTED, "unknown system info command " + std::to_string(cmd));
  }
}

InfoValue interfaceInfo(int32_t cmd) {
  switch (cmd) {
    case INTERFACE_INFO_ID:
      return InfoValue::text(kInterfaceId);
    case INTERFACE_INFO_DISPLAYNAME:
      return InfoValue::text("Grabkit simulated interface");
    case INTERFACE_INFO_TLTYPE:
      return InfoValue::text(kTLType);
    default:
      fail(GC_ERR_NOT_IMPLEMENTED, "unknown interface info command " + std::to_string(cmd));
  }
}

InfoValue deviceInfo(const DeviceEntry& entry, int32_t cmd, int32_t accessStatus) {
  switch (cmd) {
    case DEVICE_INFO_ID:
      return InfoValue::text(entry.id);
    case DEVICE_INFO_VENDOR:
      return InfoValue::text(kVendor);
    case DEVICE_INFO_MODEL:
      return InfoValue::text(entry.model());
    case DEVICE_INFO_TLTYPE:
      return InfoValue::text(kTLType);
    case DEVICE_INFO_DISPLAYNAME:
      return InfoValue::text(entry.displayName());
    case DEVICE_INFO_ACCESS_STATUS:
      return InfoValue::int32(accessStatus);
    case DEVICE_INFO_USER_DEFINED_NAME:
      return InfoValue::text(entry.userName());
    case DEVICE_INFO_SERIAL_NUMBER:
      return InfoValue::text(entry.serialNumber());
    case DEVICE_INFO_VERSION:
      return InfoValue::text(kDeviceVersion);
    case DEVICE_INFO_TIMESTAMP_FREQUENCY:
      return InfoValue::uint64(1000000000);  // time stamps are nanoseconds
    default:
      fail(GC_ERR_NOT_IMPLEMENTED, "unknown device info command " + std::to_string(cmd));
  }
}

InfoValue portInfoValue(const PortInfo& info, int32_t cmd) {
  switch (cmd) {
    case PORT_INFO_ID:
      return InfoValue::text(info.id);
    case PORT_INFO_VENDOR:
      return InfoValue::text(kVendor);
    case PORT_INFO_MODEL:
      return InfoValue::text(info.model);
    case PORT_INFO_TLTYPE:
      return InfoValue::text(kTLType);
    case PORT_INFO_MODULE:
      return InfoValue::text(info.module);
    case PORT_INFO_LITTLE_ENDIAN:
      return InfoValue::bool8(true);
    case PORT_INFO_BIG_ENDIAN:
      return InfoValue::bool8(false);
    case PORT_INFO_ACCESS_READ:
      return InfoValue::bool8(true);
    case PORT_INFO_ACCESS_WRITE:
      return InfoValue::bool8(info.writable);
    case PORT_INFO_ACCESS_NA:
    case PORT_INFO_ACCESS_NI:
      return InfoValue::bool8(false);
    case PORT_INFO_VERSION:
      return InfoValue::text(info.version);
    case PORT_INFO_PORTNAME:
      return InfoValue::text(info.portName);
    default:
      fail(GC_ERR_NOT_IMPLEMENTED, "unknown port info command " + std::to_string(cmd));
  }
}

InfoValue urlInfo(const DescriptionFile& file, int32_t cmd) {
  switch (cmd) {
    case URL_INFO_URL:
      return InfoValue::text(file.url());
    case URL_INFO_SCHEMA_VER_MAJOR:
      return InfoValue::int32(kSchemaVersionMajor);
    case URL_INFO_SCHEMA_VER_MINOR:
      return InfoValue::int32(kSchemaVersionMinor);
    case URL_INFO_FILE_VER_MAJOR:
      return InfoValue::int32(kFileVersionMajor);
    case URL_INFO_FILE_VER_MINOR:
      return InfoValue::int32(kFileVersionMinor);
    case URL_INFO_FILE_VER_SUBMINOR:
      return InfoValue::int32(kFileVersionSubminor);
    case URL_INFO_FILE_SHA1_HASH:
      return InfoValue::bytes(file.sha1.data(), file.sha1.size());
    case URL_INFO_FILE_REGISTER_ADDRESS:
      return InfoValue::uint64(file.address);
    case URL_INFO_FILE_SIZE:
      return InfoValue::uint64(file.bytes.size());
    case URL_INFO_SCHEME:
      return InfoValue::int32(URL_SCHEME_LOCAL);
    case URL_INFO_FILENAME:
      return InfoValue::text(file.fileName);
    default:
      fail(GC_ERR_NOT_IMPLEMENTED, "unknown URL info command " + std::to_string(cmd));
  }
}

}  // namespace grabkit::sim
