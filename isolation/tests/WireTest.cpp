#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Mappings.h"
#include "Wire.h"
#include "gtest/gtest.h"

using namespace Grabkit::Isolation;

namespace {
struct Pair {
  int fd[2];
  Pair() { EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fd)); }
  ~Pair() {
    for (int f : fd) {
      if (f >= 0) close(f);
    }
  }
};
}  // namespace

TEST(Wire, ValuesSurviveTheRoundTripAndShortMessagesFailSafely) {
  Writer w;
  const char text[] = "SimCam0";
  w.put<int32_t>(-1011).handle(reinterpret_cast<void*>(0xFFFFFFFF12345678)).text(text);
  w.blob(nullptr, 0).blob("", 0).put<uint64_t>(GENTL_INFINITE);
  const auto& bytes = w.bytes();
  Reader r(bytes);
  EXPECT_EQ(-1011, r.get<int32_t>());
  EXPECT_EQ(reinterpret_cast<void*>(0xFFFFFFFF12345678), r.handle());
  EXPECT_STREQ(text, r.text());
  size_t n = 99;
  EXPECT_EQ(nullptr, r.blob(n));
  EXPECT_EQ(0u, n);
  EXPECT_NE(nullptr, r.blob(n));  // empty but present: a caller's buffer, not NULL
  EXPECT_EQ(GENTL_INFINITE, r.get<uint64_t>());
  EXPECT_FALSE(r.failed());

  // Every truncation of the message reads as failed, never beyond its end.
  for (size_t cut = 0; cut < bytes.size(); cut++) {
    std::vector<unsigned char> part(bytes.begin(), bytes.begin() + cut);
    Reader t(part.data(), part.size());
    t.get<int32_t>();
    t.handle();
    t.text();
    t.blob(n);
    t.blob(n);
    t.get<uint64_t>();
    EXPECT_TRUE(t.failed()) << "cut at " << cut;
  }
}

TEST(Wire, TextsMustBeTerminated) {
  Writer w;
  w.blob("abc", 3);
  Reader r(w.bytes());
  EXPECT_EQ(nullptr, r.text());
}

TEST(Wire, MessagesCarryDescriptorsAndTellTimeoutsAndClosedPeers) {
  Pair p;
  std::vector<unsigned char> big(3 << 20);
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<unsigned char>(i * 7);
  int memfd = memfd_create("wire-test", MFD_CLOEXEC);
  ASSERT_GE(memfd, 0);
  ASSERT_EQ(0, ftruncate(memfd, 4096));
  std::vector<unsigned char> got;
  int fd = -1;
  EXPECT_EQ(Received::kTimeout, receiveMessage(p.fd[1], got, fd, 10));
  // A message larger than the socket's buffer needs the reader to drain it.
  std::thread writer([&] {
    EXPECT_TRUE(sendMessage(p.fd[0], big, memfd));
    EXPECT_TRUE(sendMessage(p.fd[0], {}));
  });
  EXPECT_EQ(Received::kMessage, receiveMessage(p.fd[1], got, fd, 1000));
  writer.join();
  EXPECT_EQ(big, got);
  ASSERT_GE(fd, 0);
  struct stat a {
  }, b{};
  fstat(fd, &a);
  fstat(memfd, &b);
  EXPECT_EQ(a.st_ino, b.st_ino);
  close(fd);
  close(memfd);
  EXPECT_EQ(Received::kMessage, receiveMessage(p.fd[1], got, fd));
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(-1, fd);
  close(p.fd[0]);
  p.fd[0] = -1;
  EXPECT_EQ(Received::kClosed, receiveMessage(p.fd[1], got, fd, 1000));
  EXPECT_FALSE(sendMessage(p.fd[1], big));
}

TEST(Wire, MessagesSentBackToBackStayApartWhenReadOneAtATime) {
  Pair p;
  int a = memfd_create("first", MFD_CLOEXEC), b = memfd_create("second", MFD_CLOEXEC);
  Writer w;
  w.put<uint32_t>(7);
  ASSERT_TRUE(sendMessage(p.fd[0], {}, a));
  ASSERT_TRUE(sendMessage(p.fd[0], w.bytes(), b));
  std::vector<unsigned char> got;
  int fd;
  for (int expected : {a, b}) {
    ASSERT_EQ(Received::kMessage, receiveMessage(p.fd[1], got, fd, -1, false));
    struct stat x {
    }, y{};
    fstat(fd, &x);
    fstat(expected, &y);
    EXPECT_EQ(x.st_ino, y.st_ino);
    close(fd);
  }
  EXPECT_EQ(w.bytes(), got);
  close(a);
  close(b);
}

TEST(Wire, AMessageCutShortIsBroken) {
  Pair p;
  uint32_t length = 100;
  ASSERT_EQ(4, write(p.fd[0], &length, 4));
  ASSERT_EQ(3, write(p.fd[0], "abc", 3));
  close(p.fd[0]);
  p.fd[0] = -1;
  std::vector<unsigned char> got;
  int fd;
  EXPECT_EQ(Received::kBroken, receiveMessage(p.fd[1], got, fd));
}

TEST(Tail, KeepsTheLastLines) {
  struct Case {
    std::vector<std::string> chunks;
    std::string expected;
  } cases[] = {
      {{}, ""},
      {{"one\ntwo\n"}, "one\ntwo\n"},
      {{"a\nb\nc\nd\n"}, "b\nc\nd\n"},
      {{"par", "tial\nend"}, "partial\nend\n"},
      {{"x\n", "y\nz\nw"}, "y\nz\nw\n"},
  };
  for (const auto& c : cases) {
    Tail t(3);
    for (const auto& chunk : c.chunks) t.feed(chunk.data(), chunk.size());
    EXPECT_EQ(c.expected, t.text());
  }
}

TEST(Mappings, ParsesTheKernelsLines) {
  struct Case {
    const char* line;
    bool ok;
    bool shared;
    uint64_t offset, inode;
    const char* path;
  } cases[] = {
      {"7f0000000000-7f0000001000 rw-s 00002000 00:1a 12345    /dev/shm/grabkit-1 (deleted)", true,
       true, 0x2000, 12345, "/dev/shm/grabkit-1 (deleted)"},
      {"7f0000000000-7f0000001000 rw-p 00000000 00:00 0 ", true, false, 0, 0, ""},
      {"55d0-55e0 r-xp 00000000 08:01 42 /usr/bin/with space", true, false, 0, 42,
       "/usr/bin/with space"},
      {"garbage", false, false, 0, 0, ""},
      {"2000-1000 rw-s 00000000 00:00 0", false, false, 0, 0, ""},
  };
  for (const auto& c : cases) {
    Mapping m;
    ASSERT_EQ(c.ok, parseMapsLine(c.line, m)) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(c.shared, m.shared) << c.line;
    EXPECT_EQ(c.offset, m.offset) << c.line;
    EXPECT_EQ(c.inode, m.inode) << c.line;
    EXPECT_EQ(c.path, m.path) << c.line;
  }
}

TEST(Mappings, FindsOnlySharedFilesThatStillExist) {
  char path[] = "/dev/shm/grabkit-mappings-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  long page = sysconf(_SC_PAGESIZE);
  ASSERT_EQ(0, ftruncate(fd, 4 * page));
  auto* shared =
      static_cast<char*>(mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  auto* privately =
      static_cast<char*>(mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0));
  std::vector<char> heap(64);
  Mapping m;
  uint64_t offset = 0;
  EXPECT_TRUE(findSharedFile(shared + page + 10, 100, m, offset));
  EXPECT_EQ(path, m.path);
  EXPECT_EQ(static_cast<uint64_t>(page + 10), offset);
  EXPECT_FALSE(findSharedFile(shared + page, 4 * page, m, offset));  // beyond its end
  EXPECT_FALSE(findSharedFile(privately, 16, m, offset));
  EXPECT_FALSE(findSharedFile(heap.data(), heap.size(), m, offset));
  unlink(path);
  EXPECT_FALSE(findSharedFile(shared, 16, m, offset));  // no file to open any more
  munmap(shared, 4 * page);
  munmap(privately, page);
  close(fd);
}
