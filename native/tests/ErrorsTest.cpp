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

TEST(CheckError, CodesOutsideTheStandardRangeAreSuccess) {
  for (int32_t code : {0, 1, -1000, -1023, -10000, -10001, -10002, INT32_MIN, INT32_MAX}) {
    EXPECT_NO_THROW(checkError(code)) << code;
    EXPECT_EQ(errorKind(code), -1) << code;
  }
  EXPECT_EQ(fixedErrorText(-1), nullptr);
  EXPECT_EQ(fixedErrorText(kLoadLibraryException), nullptr);  // no producer code has it
}

// The Java boundary throws from the kind and text without making the C++
// exception: both must be what checkError's exception carries.
TEST(CheckError, KindAndFixedTextAreThoseOfTheExceptionThrown) {
  for (int32_t code = -1001; code >= -1022; --code) {
    try {
      checkError(code);
      ADD_FAILURE() << code;
    } catch (const GenTLException& e) {
      EXPECT_EQ(e.kind(), errorKind(code)) << code;
      ASSERT_NE(fixedErrorText(errorKind(code)), nullptr) << code;
      EXPECT_STREQ(fixedErrorText(errorKind(code)), e.what());
    }
  }
  EXPECT_EQ(ErrorException("own text", -10042).kind(), kErrorException);
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
