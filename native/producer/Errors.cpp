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
// The producer's text for its last error; asking may itself answer with an
// error, which must not ask again.
thread_local bool askingForText = false;

std::string producerText() {
  std::string text;
  if (askingForText) return text;
  askingForText = true;
  try {
    text = GCGetLastErrorMessage();
  } catch (const std::exception&) {
    // The code alone still says what failed.
  }
  askingForText = false;
  return text;
}

// The Java API's loads say what the producer said; the others keep the fixed
// text of the code.
template <class E>
void raiseIfProducerCode(const char* message) {
  if (message == nullptr) return;
  if (strictInScope()) {
    std::string text = producerText();
    if (!text.empty()) throw E(text);
  }
  throw E(message);
}

[[noreturn]] void raiseProducerSpecific(int32_t code) {
  std::string text = producerText();
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
