#ifndef GRABKIT_SIM_DESCRIPTION_H
#define GRABKIT_SIM_DESCRIPTION_H

#include <array>
#include <cstdint>
#include <string>

namespace grabkit::sim {

// The GenICam register description a camera serves from its own register space,
// announced by the one URL of its remote port.
struct DescriptionFile {
  std::string fileName;  // as it appears in the URL; a .zip holds the .xml
  std::string bytes;     // what the register space holds from `address` on
  uint64_t address = 0;
  std::array<uint8_t, 20> sha1{};

  // Local:<file name>;<hex address>;<hex length>?SchemaVersion=1.1.0
  std::string url() const;
};

constexpr int32_t kSchemaVersionMajor = 1;
constexpr int32_t kSchemaVersionMinor = 1;
constexpr int32_t kFileVersionMajor = 1;
constexpr int32_t kFileVersionMinor = 0;
constexpr int32_t kFileVersionSubminor = 0;

// Built once on first use; they never change afterwards.
const DescriptionFile& cameraDescription();    // plain XML
const DescriptionFile& camera3dDescription();  // zip archive

}  // namespace grabkit::sim

#endif
