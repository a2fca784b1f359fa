#ifndef GRABKIT_SIM_INFO_H
#define GRABKIT_SIM_INFO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "GenTL.h"

namespace grabkit::sim {

// One answer to an info query: its data type and its bytes exactly as the caller
// receives them (strings include their NUL).
class InfoValue {
 public:
  static InfoValue text(std::string_view s);
  static InfoValue int32(int32_t v) { return scalar(INFO_DATATYPE_INT32, v); }
  static InfoValue uint32(uint32_t v) { return scalar(INFO_DATATYPE_UINT32, v); }
  static InfoValue uint64(uint64_t v) { return scalar(INFO_DATATYPE_UINT64, v); }
  static InfoValue sizeT(size_t v) { return scalar(INFO_DATATYPE_SIZET, v); }
  static InfoValue pointer(const void* p) { return scalar(INFO_DATATYPE_PTR, p); }
  static InfoValue bool8(bool v) {
    return scalar(INFO_DATATYPE_BOOL8, static_cast<bool8_t>(v ? 1 : 0));
  }
  static InfoValue bytes(const void* data, size_t size);

  INFO_DATATYPE type() const { return type_; }
  const std::string& data() const { return data_; }

  // *size is the capacity on entry and the bytes written on return; a NULL buffer
  // only asks for the size. When the value does not fit, *size tells what it needs.
  void copyOut(INFO_DATATYPE* type, void* buffer, size_t* size) const;

 private:
  InfoValue(INFO_DATATYPE type, std::string data) : type_(type), data_(std::move(data)) {}
  template <class T>
  static InfoValue scalar(INFO_DATATYPE type, T value) {
    return InfoValue(type, std::string(reinterpret_cast<const char*>(&value), sizeof value));
  }

  INFO_DATATYPE type_;
  std::string data_;
};

// The ID getters (TLGetInterfaceID, IFGetDeviceID, ...) use the same size rules.
void copyString(std::string_view s, char* buffer, size_t* size);

}  // namespace grabkit::sim

#endif
