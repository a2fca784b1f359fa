#include "info.h"

#include <cstring>

#include "error.h"

namespace grabkit::sim {

InfoValue InfoValue::text(std::string_view s) {
  std::string data(s);
  data.push_back('\0');
  return InfoValue(INFO_DATATYPE_STRING, std::move(data));
}

InfoValue InfoValue::bytes(const void* data, size_t size) {
  return InfoValue(INFO_DATATYPE_BUFFER, std::string(static_cast<const char*>(data), size));
}

void InfoValue::copyOut(INFO_DATATYPE* type, void* buffer, size_t* size) const {
  need(size, "size");
  if (type != nullptr) *type = type_;
  if (buffer == nullptr) {
    *size = data_.size();
    return;
  }
  if (*size < data_.size()) {
    const size_t offered = *size;
    *size = data_.size();
    fail(GC_ERR_BUFFER_TOO_SMALL, "the value needs " + std::to_string(data_.size()) +
                                      " bytes, the buffer has " + std::to_string(offered));
  }
  std::memcpy(buffer, data_.data(), data_.size());
  *size = data_.size();
}

void copyString(std::string_view s, char* buffer, size_t* size) {
  InfoValue::text(s).copyOut(nullptr, buffer, size);
}

}  // namespace grabkit::sim
