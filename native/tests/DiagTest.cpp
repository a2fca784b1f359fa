#include <gtest/gtest.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <thread>

#include "diag/StdErrCapture.h"
#include "diag/Trace.h"

using namespace Grabkit;

namespace {
std::string captured(void (*writer)()) {
  EXPECT_EQ(stdErrRedirectStart(), 0);
  writer();
  return stdErrRedirectStop();
}
}  // namespace

TEST(Trace, WritesOnlyWhenOnAndCutsLongLines) {
  enableTracing(false);
  EXPECT_EQ(captured([] { trace("GCInitLib()"); }), "");
  enableTracing(true);
  EXPECT_EQ(captured([] { trace("DeviceInfo(%s)", "cam%d"); }), "DeviceInfo(cam%d)\n");
  std::string longLine = captured([] { trace("%s", std::string(2000, 'x').c_str()); });
  enableTracing(false);
  EXPECT_EQ(longLine, std::string(511, 'x') + "\n");
}

TEST(Capture, RoundTripsOnlyItsOwnBytes) {
  EXPECT_EQ(captured([] { std::cerr << std::string(100, 'a'); }), std::string(100, 'a'));
  EXPECT_EQ(captured([] { fputs("0123456789", stderr); }), "0123456789");
  EXPECT_EQ(captured([] {}), "");  // does not wait for output that never comes
  EXPECT_EQ(captured([] { (void)!write(2, "ab\0cd", 5); }), "ab");
}

TEST(Capture, OverflowIsCutAndNeverBlocksTheWriter) {
  std::string first = captured([] {
    std::thread writer([] { std::cerr << std::string(30000, 'z') << std::flush; });
    writer.join();
  });
  EXPECT_EQ(first, std::string(kCaptureSize, 'z'));
  // Far beyond any pipe size: the writer must come back, losing the excess.
  std::string second = captured([] {
    for (int i = 0; i < 100; ++i) std::cerr << std::string(10000, 'q');
  });
  EXPECT_EQ(second.size(), kCaptureSize);
  // Output goes to the real standard error again, and std::cerr still works.
  EXPECT_TRUE(std::cerr.good());
  EXPECT_EQ(captured([] { std::cerr << "after"; }), "after");
}

TEST(Capture, StopWithoutStartAndDoubleStartAreHarmless) {
  EXPECT_EQ(stdErrRedirectStop(), "");
  ASSERT_EQ(stdErrRedirectStart(), 0);
  ASSERT_EQ(stdErrRedirectStart(), 0);
  fputs("once", stderr);
  EXPECT_EQ(stdErrRedirectStop(), "once");
  EXPECT_EQ(stdErrRedirectStop(), "");
}
