#ifndef GRABKIT_SIM_REGISTERS_H
#define GRABKIT_SIM_REGISTERS_H

#include <cstddef>
#include <cstdint>

// Register maps of the simulated producer, as documented in producers/sim/README.md.
// All registers are little-endian.
namespace grabkit::sim::reg {

// Remote device port (DevGetPort) of every camera.
constexpr uint64_t kDeviceVendorName = 0x0000;    // char[32], RO
constexpr uint64_t kDeviceModelName = 0x0020;     // char[32], RO
constexpr uint64_t kDeviceSerialNumber = 0x0040;  // char[32], RO
constexpr uint64_t kDeviceVersion = 0x0060;       // char[32], RO
constexpr uint64_t kDeviceUserId = 0x0080;        // char[32], RO
constexpr uint32_t kStringLength = 32;
constexpr uint64_t kWidth = 0x0100;              // u32, RW, 1..kMaxWidth
constexpr uint64_t kHeight = 0x0104;             // u32, RW, 1..kMaxHeight
constexpr uint64_t kPixelFormat = 0x0108;        // u32, RW, PFNC value
constexpr uint64_t kTestPattern = 0x010C;        // u32, RW, 0 off, 1 moving gradient
constexpr uint64_t kFrameRate = 0x0110;          // u32, RW, millihertz, 0 = unlimited
constexpr uint64_t kAcquisitionMode = 0x0114;    // u32, RW, 2 = continuous (only value)
constexpr uint64_t kTLParamsLocked = 0x0118;     // u32, RW, 0 or 1
constexpr uint64_t kAcquisitionStatus = 0x011C;  // u32, RO, bit 0 = producing frames
constexpr uint64_t kAcquisitionStart = 0x0120;   // u32, command: write 1
constexpr uint64_t kAcquisitionStop = 0x0124;    // u32, command: write 1
constexpr uint64_t kWidthMax = 0x0128;           // u32, RO
constexpr uint64_t kHeightMax = 0x012C;          // u32, RO
constexpr uint64_t kPayloadSize = 0x0130;        // u64, RO
constexpr uint64_t kFrameCounter = 0x0138;       // u64, RO
constexpr uint64_t kRegistersEnd = 0x0140;
constexpr uint64_t kDescriptionFile = 0x10000;  // the GenICam XML (or zip), RO

constexpr uint32_t kMaxWidth = 16384;
constexpr uint32_t kMaxHeight = 16384;
constexpr uint32_t kMaxFrameRateMilliHz = 100000000;  // 100 kHz
constexpr uint32_t kContinuous = 2;

// Ports of the system, interface, device and stream modules: a small read-only map.
constexpr uint64_t kModuleGenTLVersion = 0x00;  // u32, 0x00010005 = 1.5
constexpr uint64_t kModuleChildren = 0x04;      // u32: interfaces, devices, streams or buffers
constexpr uint64_t kModuleKind = 0x08;          // u32: 1 system, 2 interface, 3 device, 4 stream
constexpr uint64_t kModuleId = 0x10;            // char[64]
constexpr uint32_t kModuleIdLength = 64;
constexpr uint64_t kModuleMapEnd = 0x50;

}  // namespace grabkit::sim::reg

#endif
