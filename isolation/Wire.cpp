#include "Wire.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Grabkit::Isolation {

namespace {
bool sendAll(int socket, const unsigned char* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(socket, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// One recvmsg of at most `size` bytes, retried on EINTR; a descriptor that comes
// along replaces the one in `fd`.
ssize_t receive(int socket, unsigned char* data, size_t size, int& fd) {
  ssize_t n;
  do {
    iovec iov{data, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    n = recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
    if (n < 0) continue;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
        int received;
        memcpy(&received, CMSG_DATA(c), sizeof(int));
        if (fd >= 0) close(fd);
        fd = received;
      }
    }
  } while (n < 0 && errno == EINTR);
  return n;
}

// Reads exactly `size` bytes; a descriptor that comes along goes to `fd`.
Received readAll(int socket, unsigned char* data, size_t size, int& fd) {
  bool first = true;
  while (size > 0) {
    ssize_t n = receive(socket, data, size, fd);
    if (n == 0 && first) return Received::kClosed;
    if (n <= 0) return Received::kBroken;
    first = false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return Received::kMessage;
}

// One read of at most `size` bytes.
Received readSome(int socket, unsigned char* data, size_t size, size_t& got, int& fd) {
  ssize_t n = receive(socket, data, size, fd);
  if (n == 0) return Received::kClosed;
  if (n < 0) return Received::kBroken;
  got = static_cast<size_t>(n);
  return Received::kMessage;
}
}  // namespace

bool sendMessage(int socket, const std::vector<unsigned char>& payload, int fd) {
  if (payload.size() > kMaxMessage) return false;
  uint32_t length = static_cast<uint32_t>(payload.size());
  unsigned char header[sizeof(length)];
  memcpy(header, &length, sizeof(length));
  iovec iov[2] = {{header, sizeof(header)},
                  {const_cast<unsigned char*>(payload.data()), payload.size()}};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr msg{};
  msg.msg_iov = iov;
  msg.msg_iovlen = 2;
  if (fd >= 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(c), &fd, sizeof(int));
  }
  ssize_t n;
  do {
    n = sendmsg(socket, &msg, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  size_t sent = static_cast<size_t>(n);
  if (sent < sizeof(header)) {
    return sendAll(socket, header + sent, sizeof(header) - sent) &&
           sendAll(socket, payload.data(), payload.size());
  }
  sent -= sizeof(header);
  return sendAll(socket, payload.data() + sent, payload.size() - sent);
}

Received receiveMessage(int socket, std::vector<unsigned char>& payload, int& fd, int64_t timeoutMs,
                        bool answered) {
  fd = -1;
  if (timeoutMs >= 0) {
    pollfd p{socket, POLLIN, 0};
    int ready;
    do {
      ready = poll(&p, 1, timeoutMs > INT32_MAX ? INT32_MAX : static_cast<int>(timeoutMs));
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return Received::kTimeout;
    if (ready < 0) return Received::kBroken;
  }
  // Small messages, most of them, come in one read with their header.
  unsigned char first[4096];
  size_t got = 0;
  Received r = readSome(socket, first, answered ? sizeof(first) : sizeof(uint32_t), got, fd);
  if (r != Received::kMessage) return r;
  if (got < sizeof(uint32_t)) {
    r = readAll(socket, first + got, sizeof(uint32_t) - got, fd);
    if (r != Received::kMessage) return Received::kBroken;
    got = sizeof(uint32_t);
  }
  uint32_t length;
  memcpy(&length, first, sizeof(length));
  if (length > kMaxMessage || got - sizeof(length) > length) return Received::kBroken;
  payload.resize(length);
  size_t have = got - sizeof(length);
  if (have > 0) memcpy(payload.data(), first + sizeof(length), have);
  int extra = -1;
  r = have == length ? Received::kMessage
                     : readAll(socket, payload.data() + have, length - have, extra);
  if (extra >= 0) close(extra);
  return r == Received::kClosed ? Received::kBroken : r;
}

void Tail::feed(const char* data, size_t size) {
  for (size_t i = 0; i < size; i++) {
    if (data[i] == '\n') {
      lines_.push_back(std::move(partial_));
      partial_.clear();
      if (lines_.size() > maxLines_) lines_.erase(lines_.begin());
    } else if (partial_.size() < 1000) {
      partial_ += data[i];
    }
  }
}

std::string Tail::text() const {
  std::string out;
  // An unfinished last line counts as one of the lines kept.
  size_t skip = !partial_.empty() && lines_.size() == maxLines_ ? 1 : 0;
  for (size_t i = skip; i < lines_.size(); i++) out += lines_[i] + '\n';
  if (!partial_.empty()) out += partial_ + '\n';
  return out;
}

}  // namespace Grabkit::Isolation
