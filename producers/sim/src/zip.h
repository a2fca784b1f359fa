#ifndef GRABKIT_SIM_ZIP_H
#define GRABKIT_SIM_ZIP_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace grabkit::sim {

// CRC-32 as used by zip (reflected polynomial 0xEDB88320).
uint32_t crc32(const void* data, size_t size);

// A zip archive holding one stored (uncompressed) file. Stored entries are read by
// every unzip implementation and keep the producer free of a deflate encoder; the
// archive is byte-for-byte reproducible (fixed time stamp).
std::string storedZip(std::string_view fileName, std::string_view content);

}  // namespace grabkit::sim

#endif
