#include "modules.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "error.h"
#include "platform/Platform.h"
#include "registers.h"
#include "stream.h"

#ifndef GRABKIT_SIM_VERSION
#define GRABKIT_SIM_VERSION "0.0.0"
#endif

namespace grabkit::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

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

uint32_t swap32(uint32_t v) {
  return __builtin_bswap32(v);
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
    {reg::kDeviceUserId, reg::kStringLength, true},
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
    {reg::kOffsetX, 4, true},
    {reg::kOffsetY, 4, true},
    {reg::kSensorWidth, 4, false},
    {reg::kSensorHeight, 4, false},
    {reg::kImageControl, 4, true},
    {reg::kAcquisitionFrameCount, 4, true},
    {reg::kTriggerControl, 4, true},
    {reg::kTriggerSoftware, 4, true},
    {reg::kExposureTime, 4, true},
    {reg::kExposureAuto, 4, true},
    {reg::kGainSelector, 4, true},
    {reg::kGain, 4, true},
    {reg::kGain + 4, 4, true},
    {reg::kGain + 8, 4, true},
    {reg::kGain + 12, 4, true},
    {reg::kBlackLevel, 4, true},
    {reg::kDeviceTemperature, 8, false},
    {reg::kTimestamp, 8, false},
    {reg::kTimestampLatch, 4, true},
    {reg::kDeviceReset, 4, true},
    {reg::kUserSetSelector, 4, true},
    {reg::kUserSetLoad, 4, true},
    {reg::kUserSetSave, 4, true},
    {reg::kChunkModeActive, 4, true},
    {reg::kChunkSelector, 4, true},
    {reg::kChunkEnable, 4, true},
    {reg::kChunkEnable + 4, 4, true},
    {reg::kChunkEnable + 8, 4, true},
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
    return Grabkit::Platform::modulePath(&anchor);
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

uint64_t monotonicNs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

Device::Device(Interface& parent, DeviceEntry entry, const Settings& settings, bool readOnly)
    : ModulePort(Kind::kDevice),
      parent_(parent),
      entry_(std::move(entry)),
      readOnly_(readOnly),
      start_(settings),
      s_(CameraSettings::startValues(settings, entry_.is3d)) {}

Device::~Device() = default;

uint32_t Device::sensorWidth() const {
  return std::max(reg::kSensorWidthMin, start_.width);
}
uint32_t Device::sensorHeight() const {
  return std::max(reg::kSensorHeightMin, start_.height);
}

FrameLayout Device::layout() const {
  FrameLayout layout = entry_.is3d ? FrameLayout::rangeAndIntensity(s_.width, s_.height)
                                   : FrameLayout::image(s_.width, s_.height, s_.pixelFormat);
  layout.geometry = s_.geometry;
  layout.chunks = s_.chunkMode ? s_.chunkEnable : 0;
  return layout;
}

LiveSettings Device::live() const {
  return LiveSettings{s_.frameRateMilliHz, s_.testPattern != 0, s_.triggerMode,
                      s_.acquisitionMode,  s_.frameCount,       s_.tone};
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

void Device::changed() const {
  if (stream) stream->update(live());
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
    store32(map, reg::kWidth, s_.width);
    store32(map, reg::kHeight, s_.height);
    store32(map, reg::kPixelFormat, s_.pixelFormat);
    store32(map, reg::kTestPattern, s_.testPattern);
    store32(map, reg::kFrameRate, s_.frameRateMilliHz);
    store32(map, reg::kAcquisitionMode, s_.acquisitionMode);
    store32(map, reg::kTLParamsLocked, tlParamsLocked_);
    const bool producing = stream && stream->isGrabbing() && !paused;
    store32(map, reg::kAcquisitionStatus, producing ? 1 : 0);
    store32(map, reg::kWidthMax, widthMax());
    store32(map, reg::kHeightMax, heightMax());
    store64(map, reg::kPayloadSize, layout().payloadSize());
    store64(map, reg::kFrameCounter, frameCounter);
    const Geometry& g = s_.geometry;
    store32(map, reg::kOffsetX, g.offsetX);
    store32(map, reg::kOffsetY, g.offsetY);
    store32(map, reg::kSensorWidth, sensorWidth());
    store32(map, reg::kSensorHeight, sensorHeight());
    store32(map, reg::kImageControl,
            swap32(uint32_t{g.reverseX} << reg::kReverseXBit |
                   g.binningHorizontal << reg::kBinningHorizontalShift |
                   g.binningVertical << reg::kBinningVerticalShift));
    store32(map, reg::kAcquisitionFrameCount, s_.frameCount);
    store32(map, reg::kTriggerControl, uint32_t{s_.triggerMode} << reg::kTriggerModeBit);
    store32(map, reg::kExposureTime, s_.tone.exposure);
    store32(map, reg::kGainSelector, gainSelector_);
    for (uint32_t i = 0; i < 4; ++i) {
      store32(map, reg::kGain + 4 * i, static_cast<uint32_t>(s_.tone.gain[i]));
    }
    store32(map, reg::kBlackLevel, s_.tone.blackLevel);
    // A slow drift around 38 degrees, so that polling it shows something.
    const double seconds = static_cast<double>(monotonicNs()) / 1e9;
    const double celsius = 38.0 + 4.0 * std::sin(2 * kPi * seconds / 60.0);
    uint64_t bits = 0;
    std::memcpy(&bits, &celsius, sizeof bits);
    store64(map, reg::kDeviceTemperature, bits);
    store64(map, reg::kTimestamp, latchedTimestamp_);
    store32(map, reg::kUserSetSelector, userSetSelector_);
    store32(map, reg::kChunkModeActive, s_.chunkMode ? 1 : 0);
    store32(map, reg::kChunkSelector, chunkSelector_);
    for (uint32_t i = 0; i < reg::kChunkCount; ++i) {
      store32(map, reg::kChunkEnable + 4 * i, s_.chunkEnable >> i & 1);
    }
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

  if (address == reg::kDeviceUserId) {
    const auto* text = static_cast<const char*>(buffer);
    entry_.memory->userId.assign(text, strnlen(text, size));
    return;
  }
  const uint32_t value = load32(buffer);
  switch (address) {
    case reg::kWidth:
    case reg::kHeight:
    case reg::kOffsetX:
    case reg::kOffsetY:
    case reg::kPixelFormat:
    case reg::kChunkModeActive:
    case reg::kChunkEnable:
    case reg::kChunkEnable + 4:
    case reg::kChunkEnable + 8:
      writeFormat(address, value);
      break;
    case reg::kImageControl:
      writeImageControl(swap32(value));
      break;
    case reg::kTestPattern:
      checkRange("TestPattern", value, 0, 1);
      s_.testPattern = value;
      break;
    case reg::kFrameRate:
      checkRange("AcquisitionFrameRate", value, 0, reg::kMaxFrameRateMilliHz);
      s_.frameRateMilliHz = value;
      break;
    case reg::kAcquisitionMode:
      checkRange("AcquisitionMode", value, reg::kSingleFrame, reg::kContinuous);
      s_.acquisitionMode = value;
      break;
    case reg::kAcquisitionFrameCount:
      checkRange("AcquisitionFrameCount", value, 1, reg::kMaxFrameCount);
      s_.frameCount = value;
      break;
    case reg::kTLParamsLocked:
      checkRange("TLParamsLocked", value, 0, 1);
      tlParamsLocked_ = value;
      break;
    case reg::kTriggerControl:
      if ((value & ~(uint32_t{1} << reg::kTriggerModeBit)) != 0) {
        fail(GC_ERR_INVALID_VALUE, "TriggerControl " + hex(value) +
                                       ": only the mode bit may be set (selector FrameStart and "
                                       "source Software are 0)");
      }
      s_.triggerMode = value != 0;
      break;
    case reg::kExposureTime:
      checkRange("ExposureTime", value, reg::kExposureMin, reg::kExposureMax);
      s_.tone.exposure = value;
      break;
    case reg::kExposureAuto: {
      checkRange("ExposureAuto", value, 0, 1);
      if (value == 1) {
        // Once: the exposure that brings the pattern to its nominal level under the
        // current gain; the mode then falls back to Off, as a one-shot does.
        const uint64_t exposure =
            uint64_t{reg::kExposureDefault} * 1000 / Tone::milliGain(s_.tone.gain[reg::kGainAll]);
        s_.tone.exposure = static_cast<uint32_t>(
            std::clamp<uint64_t>(exposure, reg::kExposureMin, reg::kExposureMax));
      }
      break;
    }
    case reg::kGainSelector:
      checkRange("GainSelector", value, reg::kGainAll, reg::kGainBlue);
      gainSelector_ = value;
      break;
    case reg::kGain:
    case reg::kGain + 4:
    case reg::kGain + 8:
    case reg::kGain + 12:
      checkRange("Gain", value, 0, static_cast<uint32_t>(reg::kGainMax));
      s_.tone.gain[(address - reg::kGain) / 4] = static_cast<int32_t>(value);
      break;
    case reg::kBlackLevel:
      checkRange("BlackLevel", value, 0, reg::kBlackLevelMax);
      s_.tone.blackLevel = value;
      break;
    case reg::kUserSetSelector:
      checkRange("UserSetSelector", value, 0, 1);
      userSetSelector_ = value;
      break;
    case reg::kChunkSelector:
      checkRange("ChunkSelector", value, 0, reg::kChunkCount - 1);
      chunkSelector_ = value;
      break;
    default:  // the commands
      checkRange("a command register", value, 1, 1);
      command(address);
      break;
  }
  changed();
}

void Device::writeFormat(uint64_t address, uint32_t value) {
  auto unlocked = [&](const char* name) {
    if (parametersLocked()) {
      fail(GC_ERR_ACCESS_DENIED, std::string(name) +
                                     " cannot change while the stream acquires "
                                     "or TLParamsLocked is set");
    }
  };
  Geometry& g = s_.geometry;
  switch (address) {
    case reg::kWidth:
      checkRange("Width", value, 1, widthMax() - g.offsetX);
      unlocked("Width");
      s_.width = value;
      break;
    case reg::kHeight:
      checkRange("Height", value, 1, heightMax() - g.offsetY);
      unlocked("Height");
      s_.height = value;
      break;
    case reg::kOffsetX:
      checkRange("OffsetX", value, 0, widthMax() - s_.width);
      unlocked("OffsetX");
      g.offsetX = value;
      break;
    case reg::kOffsetY:
      checkRange("OffsetY", value, 0, heightMax() - s_.height);
      unlocked("OffsetY");
      g.offsetY = value;
      break;
    case reg::kPixelFormat: {
      const FormatInfo* format = formatInfo(value);
      if (entry_.is3d ? value != pfnc::kMono16 : format == nullptr) {
        fail(GC_ERR_INVALID_VALUE,
             "pixel format " + hex(value) + " is not offered by " + entry_.id);
      }
      if (format->colour() && (g.binningHorizontal > 1 || g.binningVertical > 1)) {
        fail(GC_ERR_INVALID_VALUE, format->name + " is not available while binning");
      }
      unlocked("PixelFormat");
      s_.pixelFormat = value;
      break;
    }
    case reg::kChunkModeActive:
      checkRange("ChunkModeActive", value, 0, 1);
      unlocked("ChunkModeActive");
      s_.chunkMode = value != 0;
      break;
    default: {  // ChunkEnable
      checkRange("ChunkEnable", value, 0, 1);
      unlocked("ChunkEnable");
      const uint32_t bit = uint32_t{1} << ((address - reg::kChunkEnable) / 4);
      s_.chunkEnable = value != 0 ? s_.chunkEnable | bit : s_.chunkEnable & ~bit;
      break;
    }
  }
}

void Device::writeImageControl(uint32_t value) {
  const bool reverseX = (value >> reg::kReverseXBit & 1) != 0;
  const uint32_t h = value >> reg::kBinningHorizontalShift & 3;
  const uint32_t v = value >> reg::kBinningVerticalShift & 3;
  const uint32_t known = uint32_t{1} << reg::kReverseXBit | 3u << reg::kBinningHorizontalShift |
                         3u << reg::kBinningVerticalShift;
  if ((value & ~known) != 0 || h < 1 || h > 2 || v < 1 || v > 2) {
    fail(GC_ERR_INVALID_VALUE,
         "ImageControl " + hex(value) + ": binning fields take 1 or 2, other bits must be 0");
  }
  Geometry& g = s_.geometry;
  if ((h > 1 || v > 1) && formatInfo(s_.pixelFormat) != nullptr &&
      formatInfo(s_.pixelFormat)->colour()) {
    fail(GC_ERR_INVALID_VALUE, "binning needs a monochrome pixel format");
  }
  if (parametersLocked()) {
    fail(GC_ERR_ACCESS_DENIED,
         "binning and ReverseX cannot change while the stream acquires or TLParamsLocked is set");
  }
  // The region keeps covering the same part of the sensor, as far as it can.
  auto rescale = [](uint32_t& size, uint32_t& offset, uint32_t from, uint32_t to, uint32_t max) {
    size = std::max<uint32_t>(1, size * from / to);
    offset = offset * from / to;
    size = std::min(size, max);
    offset = std::min(offset, max - size);
  };
  const uint32_t sensorW = sensorWidth(), sensorH = sensorHeight();
  rescale(s_.width, g.offsetX, g.binningHorizontal, h, sensorW / h);
  rescale(s_.height, g.offsetY, g.binningVertical, v, sensorH / v);
  g.binningHorizontal = h;
  g.binningVertical = v;
  g.reverseX = reverseX;
}

void Device::command(uint64_t address) {
  switch (address) {
    case reg::kAcquisitionStart:
      paused = false;
      if (stream) stream->resumeSensor();
      break;
    case reg::kAcquisitionStop:
      paused = true;
      if (stream) stream->wake();
      break;
    case reg::kTriggerSoftware:
      if (stream) stream->trigger();
      break;
    case reg::kTimestampLatch:
      latchedTimestamp_ = monotonicNs();
      break;
    case reg::kDeviceReset:
      // A reset ends the acquisition and forgets everything volatile; the user ID and
      // the saved user set live on, as in a camera's flash.
      if (stream) stream->stop(ACQ_STOP_FLAGS_KILL);
      s_ = CameraSettings::startValues(start_, entry_.is3d);
      tlParamsLocked_ = 0;
      gainSelector_ = reg::kGainAll;
      chunkSelector_ = reg::kChunkTimestamp;
      userSetSelector_ = 0;
      paused = false;
      break;
    case reg::kUserSetLoad:
      if (parametersLocked()) {
        fail(GC_ERR_ACCESS_DENIED,
             "UserSetLoad cannot run while the stream acquires or TLParamsLocked is set");
      }
      s_ = userSetSelector_ == 1 && entry_.memory->userSet1
               ? *entry_.memory->userSet1
               : CameraSettings::startValues(start_, entry_.is3d);
      break;
    case reg::kUserSetSave:
      if (userSetSelector_ == 0) fail(GC_ERR_ACCESS_DENIED, "the Default user set is read-only");
      entry_.memory->userSet1 = s_;
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
      return InfoValue::text(Grabkit::Platform::fileName(path));
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
