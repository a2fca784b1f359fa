#include "Errors.h"

#include <sstream>

namespace Grabkit {

GenTLException::GenTLException(std::string message, int32_t code) {
  std::ostringstream text;
  text << message << " (ID: " << code << ")";
  text_ = text.str();
}

namespace {
template <class E>
void raiseIfProducerCode(const char* message) {
  if (message != nullptr) throw E(message);
}
}  // namespace

void checkError(int32_t code) {
  switch (code) {
#define GRABKIT_THROW_FOR_CODE(name, value, message) \
  case value:                                        \
    raiseIfProducerCode<name>(message);              \
    break;
    GRABKIT_EXCEPTIONS(GRABKIT_THROW_FOR_CODE)
#undef GRABKIT_THROW_FOR_CODE
    default:
      break;
  }
}

}  // namespace Grabkit
