#ifndef GRABKIT_SIM_REGISTERS_H
#define GRABKIT_SIM_REGISTERS_H

#include <cstddef>
#include <cstdint>

// Register maps of the simulated producer, as documented in producers/sim/README.md.
// Registers are little-endian except ImageControl.
namespace grabkit::sim::reg {

// Remote device port (DevGetPort) of every camera.
constexpr uint64_t kDeviceVendorName = 0x0000;    // char[32], RO
constexpr uint64_t kDeviceModelName = 0x0020;     // char[32], RO
constexpr uint64_t kDeviceSerialNumber = 0x0040;  // char[32], RO
constexpr uint64_t kDeviceVersion = 0x0060;       // char[32], RO
constexpr uint64_t kDeviceUserId = 0x0080;        // char[32], RW, kept while the producer is loaded
constexpr uint32_t kStringLength = 32;
constexpr uint64_t kWidth = 0x0100;                  // u32, RW, 1..WidthMax - OffsetX
constexpr uint64_t kHeight = 0x0104;                 // u32, RW, 1..HeightMax - OffsetY
constexpr uint64_t kPixelFormat = 0x0108;            // u32, RW, PFNC value
constexpr uint64_t kTestPattern = 0x010C;            // u32, RW, 0 off, 1 moving gradient
constexpr uint64_t kFrameRate = 0x0110;              // u32, RW, millihertz, 0 = unlimited
constexpr uint64_t kAcquisitionMode = 0x0114;        // u32, RW, AcquisitionMode below
constexpr uint64_t kTLParamsLocked = 0x0118;         // u32, RW, 0 or 1
constexpr uint64_t kAcquisitionStatus = 0x011C;      // u32, RO, bit 0 = producing frames
constexpr uint64_t kAcquisitionStart = 0x0120;       // u32, command: write 1
constexpr uint64_t kAcquisitionStop = 0x0124;        // u32, command: write 1
constexpr uint64_t kWidthMax = 0x0128;               // u32, RO, SensorWidth / binning
constexpr uint64_t kHeightMax = 0x012C;              // u32, RO, SensorHeight / binning
constexpr uint64_t kPayloadSize = 0x0130;            // u64, RO
constexpr uint64_t kFrameCounter = 0x0138;           // u64, RO
constexpr uint64_t kOffsetX = 0x0140;                // u32, RW
constexpr uint64_t kOffsetY = 0x0144;                // u32, RW
constexpr uint64_t kSensorWidth = 0x0148;            // u32, RO
constexpr uint64_t kSensorHeight = 0x014C;           // u32, RO
constexpr uint64_t kImageControl = 0x0150;           // u32, RW, BIG-endian, fields below
constexpr uint64_t kAcquisitionFrameCount = 0x0154;  // u32, RW, 1..65535
constexpr uint64_t kTriggerControl = 0x0158;         // u32, RW, fields below
constexpr uint64_t kTriggerSoftware = 0x015C;        // u32, command
constexpr uint64_t kExposureTime = 0x0160;           // u32, RW, units of 0.1 us
constexpr uint64_t kExposureAuto = 0x0164;           // u32, RW, 0 Off, 1 Once
constexpr uint64_t kGainSelector = 0x0168;           // u32, RW, GainSelector below
constexpr uint64_t kGain = 0x0170;                   // i32[4] by GainSelector, centi-dB
constexpr uint64_t kBlackLevel = 0x0180;             // u32, RW, 0..255 in 8-bit steps
constexpr uint64_t kDeviceTemperature = 0x0188;      // double, RO, degrees Celsius
constexpr uint64_t kTimestamp = 0x0190;              // u64, RO, latched ns
constexpr uint64_t kTimestampLatch = 0x0198;         // u32, command
constexpr uint64_t kDeviceReset = 0x019C;            // u32, command
constexpr uint64_t kUserSetSelector = 0x01A0;        // u32, RW, 0 Default, 1 UserSet1
constexpr uint64_t kUserSetLoad = 0x01A4;            // u32, command
constexpr uint64_t kUserSetSave = 0x01A8;            // u32, command
constexpr uint64_t kChunkModeActive = 0x01AC;        // u32, RW, 0 or 1
constexpr uint64_t kChunkSelector = 0x01B0;          // u32, RW, Chunk below
constexpr uint64_t kChunkEnable = 0x01B4;            // u32[3] by ChunkSelector, 0 or 1
constexpr uint64_t kRegistersEnd = 0x01C0;
constexpr uint64_t kDescriptionFile = 0x10000;  // the GenICam XML (or zip), RO

// ImageControl holds its fields in value bits (bit 0 = least significant), stored
// big-endian as some real cameras do.
constexpr uint32_t kReverseXBit = 0;
constexpr uint32_t kBinningHorizontalShift = 8;  // 2-bit field: 1 or 2
constexpr uint32_t kBinningVerticalShift = 12;   // 2-bit field: 1 or 2
// TriggerControl (little-endian): mode bit, source and selector fields.
constexpr uint32_t kTriggerModeBit = 0;
constexpr uint32_t kTriggerSourceShift = 8;     // 4 bits, 0 = Software
constexpr uint32_t kTriggerSelectorShift = 16;  // 4 bits, 0 = FrameStart

constexpr uint32_t kMaxWidth = 16384;  // largest sensor the settings may ask for
constexpr uint32_t kMaxHeight = 16384;
constexpr uint32_t kSensorWidthMin = 2448;  // a 5-megapixel sensor unless the settings want more
constexpr uint32_t kSensorHeightMin = 2048;
constexpr uint32_t kMaxFrameRateMilliHz = 100000000;  // 100 kHz
constexpr uint32_t kMaxFrameCount = 65535;
constexpr uint32_t kExposureMin = 100;         // 10 us
constexpr uint32_t kExposureMax = 10000000;    // 1 s
constexpr uint32_t kExposureDefault = 100000;  // 10 ms: the pattern at its nominal level
constexpr int32_t kGainMax = 2400;             // 24 dB
constexpr uint32_t kBlackLevelMax = 255;

enum AcquisitionMode : uint32_t { kSingleFrame = 0, kMultiFrame = 1, kContinuous = 2 };
enum GainSelector : uint32_t { kGainAll = 0, kGainRed = 1, kGainGreen = 2, kGainBlue = 3 };
enum Chunk : uint32_t { kChunkTimestamp = 0, kChunkFrameId = 1, kChunkExposureTime = 2 };
constexpr uint32_t kChunkCount = 3;
constexpr uint64_t kChunkIds[kChunkCount] = {0xA001, 0xA002, 0xA003};
constexpr uint32_t kChunkBytes = 8;  // every chunk: one 64-bit value

// Ports of the system, interface, device and stream modules: a small read-only map.
constexpr uint64_t kModuleGenTLVersion = 0x00;  // u32, 0x00010005 = 1.5
constexpr uint64_t kModuleChildren = 0x04;      // u32: interfaces, devices, streams or buffers
constexpr uint64_t kModuleKind = 0x08;          // u32: 1 system, 2 interface, 3 device, 4 stream
constexpr uint64_t kModuleId = 0x10;            // char[64]
constexpr uint32_t kModuleIdLength = 64;
constexpr uint64_t kModuleMapEnd = 0x50;

}  // namespace grabkit::sim::reg

#endif
