// Capture cases that need the POSIX descriptor calls and fork().
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "diag/StdErrCapture.h"

using namespace Grabkit;

namespace {
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
