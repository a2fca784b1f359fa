#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <utility>

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
  EXPECT_EQ(captured([] { fwrite("ab\0cd", 1, 5, stderr); }), "ab");
}

TEST(Capture, LargeWritersFinishWithoutErrorAndTheFirstBytesAreKept) {
  std::string text;
  for (int i = 0; text.size() < (1u << 20); ++i) text += std::to_string(i) + ' ';
  text.resize(1u << 20);
  using Writer = bool (*)(const std::string&);
  const std::pair<const char*, Writer> writers[] = {
      {"fwrite (unbuffered)",
       [](const std::string& s) {
         return fwrite(s.data(), 1, s.size(), stderr) == s.size() && fflush(stderr) == 0;
       }},
      {"std::cerr", [](const std::string& s) { return (std::cerr << s << std::flush).good(); }},
  };
  for (const auto& [name, writeAll] : writers) {
    SCOPED_TRACE(name);
    ASSERT_EQ(stdErrRedirectStart(), 0);
    bool wrote = false;
    std::thread writer([&, writeAll = writeAll] { wrote = writeAll(text); });
    writer.join();
    const std::string got = stdErrRedirectStop();
    EXPECT_TRUE(wrote);
    EXPECT_EQ(got, text.substr(0, kCaptureSize));
  }
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
