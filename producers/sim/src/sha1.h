#ifndef GRABKIT_SIM_SHA1_H
#define GRABKIT_SIM_SHA1_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace grabkit::sim {

// Consumers compare this digest with the description file they read from the
// port (URL_INFO_FILE_SHA1_HASH), so it must be the real SHA-1.
std::array<uint8_t, 20> sha1(const void* data, size_t size);

}  // namespace grabkit::sim

#endif
