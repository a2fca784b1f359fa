#include <gtest/gtest.h>

#include <typeinfo>

#include "producer/Errors.h"

using namespace Grabkit;

namespace {
struct Row {
  int32_t code;
  const std::type_info& type;
  const char* text;
};
}  // namespace

TEST(CheckError, EveryProducerCodeThrowsItsClassAndFixedText) {
  const Row rows[] = {
#define GRABKIT_ROW(name, code, message) {code, typeid(name), message},
      GRABKIT_EXCEPTIONS(GRABKIT_ROW)
#undef GRABKIT_ROW
  };
  int thrown = 0;
  for (const Row& row : rows) {
    if (row.text == nullptr) continue;
    try {
      checkError(row.code);
      ADD_FAILURE() << row.code << " did not throw";
    } catch (const GenTLException& e) {
      ++thrown;
      EXPECT_EQ(typeid(e), row.type);
      EXPECT_EQ(std::string(e.what()),
                std::string(row.text) + " (ID: " + std::to_string(row.code) + ")");
    }
  }
  EXPECT_EQ(thrown, 22);
}

TEST(GenTLExceptionText, OwnClassesAndCopies) {
  EXPECT_STREQ(LoadLibraryException("Failed to load CTI file").what(),
               "Failed to load CTI file (ID: -10001)");
  ClosedException closed("Device is closed, cannot return handle");
  EXPECT_STREQ(closed.what(), "Device is closed, cannot return handle (ID: -10002)");
  try {
    throw ClosedException(closed);
  } catch (const GenTLException& copy) {
    EXPECT_EQ(typeid(copy), typeid(ClosedException));
    EXPECT_STREQ(copy.what(), closed.what());
  }
  EXPECT_STREQ(BusyException("x").what(), "x (ID: -1022)");
}
