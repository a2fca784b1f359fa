#include "Errors.h"

#include <array>
#include <cstdio>

#include "CallLayer.h"
#include "Producer.h"

namespace Grabkit {

GenTLException::GenTLException(std::string message, int32_t code, int kind)
    : text_(std::move(message)), kind_(kind) {
  char id[24];
  int n = snprintf(id, sizeof(id), " (ID: %d)", static_cast<int>(code));
  text_.append(id, static_cast<size_t>(n));
}

static_assert(kErrorException == 0 && kBusyException == 21, "kinds follow the codes");

int errorKind(int32_t code) {
  // GenTL's own codes run from -1001 down to -1022, in the order of the list.
  if (code > -1001 || code < -1022) return -1;
  return static_cast<int>(-1001 - code);
}

const char* fixedErrorText(int kind) {
  static const std::array<std::string, kErrorKinds> texts = [] {
    std::array<std::string, kErrorKinds> t;
#define GRABKIT_TEXT(name, code, message) \
  if (const char* m = message) t[k##name] = name(m).what();
    GRABKIT_EXCEPTIONS(GRABKIT_TEXT)
#undef GRABKIT_TEXT
    return t;
  }();
  if (kind < 0 || kind >= kErrorKinds || texts[kind].empty()) return nullptr;
  return texts[kind].c_str();
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
