#ifndef GRABKIT_SIM_SETTINGS_H
#define GRABKIT_SIM_SETTINGS_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pattern.h"
#include "registers.h"

namespace grabkit::sim {

// What a freshly opened camera starts with. Read from GRABKIT_SIM_* variables at
// GCInitLib so that tests and demos can shape the cameras without a GenICam tool.
struct Settings {
  uint32_t width = 640;
  uint32_t height = 480;
  uint32_t pixelFormat = pfnc::kMono8;
  uint32_t frameRateMilliHz = 30000;
  uint32_t testPattern = 1;
  uint32_t cameras = 1;  // 2-D cameras; the 3-D camera is always there
};

// Values that cannot be parsed are reported on stderr and left at their default.
Settings settingsFromEnvironment();

// Everything a user set holds: the settings that shape what the camera delivers.
struct CameraSettings {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t pixelFormat = 0;
  Geometry geometry;
  uint32_t testPattern = 1;
  uint32_t frameRateMilliHz = 0;
  uint32_t acquisitionMode = reg::kContinuous;
  uint32_t frameCount = 10;
  bool triggerMode = false;
  Tone tone;
  bool chunkMode = false;
  uint32_t chunkEnable = 0;  // bit per reg::Chunk

  static CameraSettings startValues(const Settings& settings, bool is3d);
};

// What a camera keeps while the producer stays loaded, across closing and opening.
struct CameraMemory {
  std::string userId;
  std::optional<CameraSettings> userSet1;
};

struct DeviceEntry {
  std::string id;  // SimCam0, SimCam1, ..., SimCam3D
  bool is3d = false;
  uint32_t index = 0;
  std::shared_ptr<CameraMemory> memory = std::make_shared<CameraMemory>();

  std::string model() const { return is3d ? "SimCam3D" : "SimCam"; }
  std::string serialNumber() const;
  std::string userName() const;
  std::string displayName() const { return "Grabkit " + model() + " (" + id + ")"; }
};

// The devices of the one interface, in enumeration order: the 2-D cameras, then
// the 3-D camera.
std::vector<DeviceEntry> deviceCatalog(const Settings& settings);

}  // namespace grabkit::sim

#endif
