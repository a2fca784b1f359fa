#include "settings.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "registers.h"

namespace grabkit::sim {
namespace {

constexpr uint32_t kMaxCameras = 64;

void ignore(const char* name, const char* value, const char* expected) {
  std::fprintf(stderr, "grabkit-sim: ignoring %s=%s (expected %s)\n", name, value, expected);
}

std::optional<uint64_t> parseUnsigned(const char* text) {
  if (*text == '\0' || *text == '-') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0') return std::nullopt;
  return value;
}

void readRange(const char* name, uint32_t min, uint32_t max, uint32_t& target) {
  const char* text = std::getenv(name);
  if (text == nullptr) return;
  const auto value = parseUnsigned(text);
  if (!value || *value < min || *value > max) {
    const std::string expected = std::to_string(min) + ".." + std::to_string(max);
    ignore(name, text, expected.c_str());
    return;
  }
  target = static_cast<uint32_t>(*value);
}

void readFrameRate(uint32_t& milliHz) {
  const char* name = "GRABKIT_SIM_FPS";
  const char* text = std::getenv(name);
  if (text == nullptr) return;
  errno = 0;
  char* end = nullptr;
  const double fps = std::strtod(text, &end);
  const double max = reg::kMaxFrameRateMilliHz / 1000.0;
  if (*text == '\0' || errno != 0 || *end != '\0' || !std::isfinite(fps) || fps < 0 || fps > max) {
    ignore(name, text, "a frame rate in Hz from 0 (unlimited) to 100000");
    return;
  }
  milliHz = static_cast<uint32_t>(std::llround(fps * 1000));
}

void readPixelFormat(uint32_t& pixelFormat) {
  const char* name = "GRABKIT_SIM_PIXEL_FORMAT";
  const char* text = std::getenv(name);
  if (text == nullptr) return;
  if (const FormatInfo* format = formatNamed(text)) {
    pixelFormat = format->code;
  } else if (const auto value = parseUnsigned(text);
             value && *value <= UINT32_MAX && formatInfo(static_cast<uint32_t>(*value))) {
    pixelFormat = static_cast<uint32_t>(*value);
  } else {
    ignore(name, text,
           "a PixelFormat entry name (Mono8, Mono12p, BayerRG8, RGB8, ...) or its PFNC value");
  }
}

void readTestPattern(uint32_t& pattern) {
  const char* name = "GRABKIT_SIM_TEST_PATTERN";
  const char* text = std::getenv(name);
  if (text == nullptr) return;
  if (std::strcmp(text, "0") == 0 || strcasecmp(text, "Off") == 0) {
    pattern = 0;
  } else if (std::strcmp(text, "1") == 0 || strcasecmp(text, "GreyDiagonalRampMoving") == 0) {
    pattern = 1;
  } else {
    ignore(name, text, "0/Off or 1/GreyDiagonalRampMoving");
  }
}

}  // namespace

Settings settingsFromEnvironment() {
  Settings s;
  readRange("GRABKIT_SIM_WIDTH", 1, reg::kMaxWidth, s.width);
  readRange("GRABKIT_SIM_HEIGHT", 1, reg::kMaxHeight, s.height);
  readRange("GRABKIT_SIM_DEVICES", 0, kMaxCameras, s.cameras);
  readFrameRate(s.frameRateMilliHz);
  readPixelFormat(s.pixelFormat);
  readTestPattern(s.testPattern);
  return s;
}

std::string DeviceEntry::serialNumber() const {
  char text[16];
  if (is3d) {
    std::snprintf(text, sizeof text, "GKS3D-%04u", index);
  } else {
    std::snprintf(text, sizeof text, "GKS-%04u", index);
  }
  return text;
}

std::string DeviceEntry::userName() const {
  if (!memory->userId.empty()) return memory->userId;
  return is3d ? "sim3d" : "sim" + std::to_string(index);
}

CameraSettings CameraSettings::startValues(const Settings& settings, bool is3d) {
  CameraSettings s;
  s.width = settings.width;
  s.height = settings.height;
  s.pixelFormat = is3d ? pfnc::kMono16 : settings.pixelFormat;
  s.testPattern = settings.testPattern;
  s.frameRateMilliHz = settings.frameRateMilliHz;
  return s;
}

std::vector<DeviceEntry> deviceCatalog(const Settings& settings) {
  std::vector<DeviceEntry> devices;
  for (uint32_t i = 0; i < settings.cameras; ++i) {
    devices.push_back(DeviceEntry{"SimCam" + std::to_string(i), false, i});
  }
  devices.push_back(DeviceEntry{"SimCam3D", true, 0});
  return devices;
}

}  // namespace grabkit::sim
