#include "Errors.h"

#include <sstream>

#include "CallLayer.h"
#include "Producer.h"

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

// The producer's text for its own code; asking may itself answer with such a
// code, which must not ask again.
thread_local bool askingForText = false;

[[noreturn]] void raiseProducerSpecific(int32_t code) {
  std::string text;
  if (!askingForText) {
    askingForText = true;
    try {
      text = GCGetLastErrorMessage();
    } catch (const std::exception&) {
      // The code alone still says what failed.
    }
    askingForText = false;
  }
  throw ErrorException(text.empty() ? "GenTL producer reported its own error code" : text, code);
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
      if (code <= -10000 && strictInScope()) raiseProducerSpecific(code);
      break;
  }
}

}  // namespace Grabkit
