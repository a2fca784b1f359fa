#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "diag/StdErrCapture.h"
#include "diag/Trace.h"

using namespace Grabkit;

namespace {
std::string captured(void (*writer)()) {
  EXPECT_EQ(stdErrRedirectStart(), 0);
  writer();
  return stdErrRedirectStop();
}

size_t openDescriptors() {
  size_t n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++n;
    closedir(dir);
  }
  return n;
}

using FileId = std::pair<dev_t, ino_t>;

FileId fileId(int fd) {
  struct stat st {};
  fstat(fd, &st);
  return {st.st_dev, st.st_ino};
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

TEST(Capture, LargeWritersFinishWithoutErrorAndTheFirstBytesAreKept) {
  std::string text;
  for (int i = 0; text.size() < (1u << 20); ++i) text += std::to_string(i) + ' ';
  text.resize(1u << 20);
  using Writer = bool (*)(const std::string&);
  const std::pair<const char*, Writer> writers[] = {
      {"write",
       [](const std::string& s) {
         for (size_t done = 0; done < s.size();) {
           const ssize_t n = write(2, s.data() + done, s.size() - done);
           if (n <= 0) return false;
           done += static_cast<size_t>(n);
         }
         return true;
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

TEST(Capture, ConcurrentStartsAndStopsLeaveStandardErrorAsItWas) {
  // Threads also write between captures; that output goes to /dev/null, not
  // into the test log.
  const int realStderr = dup(2);
  const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(dup2(devNull, 2), 0);
  close(devNull);
  const size_t descriptorsBefore = openDescriptors();
  const FileId stderrBefore = fileId(2);

  std::promise<void> go;
  std::shared_future<void> started = go.get_future().share();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([started] {
      started.wait();
      for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(stdErrRedirectStart(), 0);
        fputs("cycle\n", stderr);
        stdErrRedirectStop();
      }
    });
  }
  go.set_value();
  for (auto& t : threads) t.join();

  EXPECT_EQ(openDescriptors(), descriptorsBefore);
  EXPECT_EQ(fileId(2), stderrBefore);
  dup2(realStderr, 2);
  close(realStderr);
}

TEST(Capture, StopDoesNotWaitForAChildThatKeepsTheWriteEnd) {
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  ASSERT_EQ(stdErrRedirectStart(), 0);
  const pid_t child = fork();
  if (child == 0) {
    // Holds the capture's write end as its descriptor 2 until the gate closes.
    close(gate[1]);
    char c;
    (void)!read(gate[0], &c, 1);
    _exit(0);
  }
  fputs("parent", stderr);
  const std::string got = stdErrRedirectStop();
  close(gate[1]);
  close(gate[0]);
  ASSERT_GT(child, 0);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(got, "parent");
}
