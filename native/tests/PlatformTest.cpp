// The platform layer as each system's implementation must behave; these run
// natively, under qemu-aarch64 and under Wine alike. The descriptor calls are
// the standard-error capture's, which DiagTest covers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Platform.h"

using namespace Grabkit;

TEST(Platform, LibrariesLoadResolveAndUnloadAndFailuresSayWhy) {
  void* library = Platform::openLibrary(GRABKIT_TEST_CTI);
  ASSERT_NE(library, nullptr) << Platform::loadError(GRABKIT_TEST_CTI);
  EXPECT_NE(Platform::findSymbol(library, "GCInitLib"), nullptr);
  EXPECT_EQ(Platform::findSymbol(library, "NoSuchFunction"), nullptr);
  EXPECT_TRUE(Platform::closeLibrary(library));

  for (const std::string path : {"no-such-producer.cti", "no/such/dir/producer.cti"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Platform::openLibrary(path), nullptr);
    const std::string reason = Platform::loadError(path);
    EXPECT_FALSE(reason.empty());
    EXPECT_NE(reason, "unknown reason");
    EXPECT_EQ(reason.find(path), std::string::npos) << reason;
  }
}

TEST(Platform, PathsAreResolvedAndSplitAsTheSystemWritesThem) {
  const std::string real = Platform::realPath(GRABKIT_TEST_CTI);
  EXPECT_EQ(Platform::fileName(real), Platform::fileName(GRABKIT_TEST_CTI));
  EXPECT_EQ(Platform::fileName(real), "grabkit-test.cti");
  EXPECT_EQ(Platform::realPath(real), real);
  EXPECT_EQ(Platform::realPath("no/such/file"), "no/such/file");

  // The test producer reports where it was loaded from as the consumer resolves it.
  void* library = Platform::openLibrary(GRABKIT_TEST_CTI);
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(Platform::modulePath(Platform::findSymbol(library, "GCInitLib")), real);
  Platform::closeLibrary(library);
  static const int inThisProgram = 0;
  EXPECT_NE(Platform::modulePath(&inThisProgram), real);
  EXPECT_FALSE(Platform::modulePath(&inThisProgram).empty());
}

TEST(Platform, EnvironmentChangesReachGetenv) {
  Platform::setEnvironment("GRABKIT_PLATFORM_TEST", "value");
  ASSERT_NE(std::getenv("GRABKIT_PLATFORM_TEST"), nullptr);
  EXPECT_STREQ(std::getenv("GRABKIT_PLATFORM_TEST"), "value");
  Platform::setEnvironment("GRABKIT_PLATFORM_TEST", nullptr);
  EXPECT_EQ(std::getenv("GRABKIT_PLATFORM_TEST"), nullptr);
}
