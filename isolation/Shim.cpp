// grabkit-isolated.cti: a producer that runs another producer in a helper
// process (grabkit-producer-host) and forwards every call to it. It reads
// which producer from grabkit-isolated.conf beside its own file, so that each
// copy of it stands for one producer. A crash, abort or hang of the producer
// ends only the helper: every waiting and later call then answers
// kProducerCrashed, and GCGetLastError tells what happened.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "GenTL.h"
#include "Lineage.h"
#include "Mappings.h"
#include "Wire.h"

extern char** environ;

namespace {
using namespace Grabkit;
using namespace Grabkit::Isolation;

const char* const kNames[] = {
#define GRABKIT_ISOLATION_NAME(name, params) #name,
    GRABKIT_GENTL_FUNCTIONS(GRABKIT_ISOLATION_NAME)
#undef GRABKIT_ISOLATION_NAME
};

constexpr int64_t kDefaultWatchdogMs = 10000;
// How long a broken connection waits for the helper's exit status before
// killing it: the socket closes a moment before the process is reaped.
constexpr auto kExitGrace = std::chrono::seconds(3);

// A buffer whose memory lives in both processes.
struct SharedBuffer {
  void* hostBase = nullptr;
  void* base = nullptr;  // what the application sees
  OwnedMapping shadow;   // our own mapping, when we made the memory
  size_t size = 0;
  bool copies = false;  // filled in the shadow, copied to `base` on delivery
};

// What the helper read of a delivered buffer, until the buffer goes back.
struct Prefetched {
  struct Value {
    bool ok = false;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = 0;
    unsigned char bytes[kPrefetchedSize] = {};
  } values[std::size(kPrefetched)];
};

// What the shim keeps of an object the producer opened; a new-buffer event is
// booked on its stream.
struct Booked {
  SharedBuffer buffer;  // size 0 for anything but a buffer
  std::optional<Prefetched> prefetched;
  bool newBufferEvent = false;
};
using Books = Lineage<Booked>;

struct State {
  std::mutex mutex;
  std::condition_variable changed;
  // From the configuration file.
  std::string producer;
  std::string helper;
  int64_t watchdogMs = kDefaultWatchdogMs;
  std::vector<std::string> environment;
  // The helper.
  std::thread reaper;
  pid_t pid = -1;
  bool started = false;
  bool running = false;
  bool exited = false;
  bool closing = false;
  int status = 0;
  std::string spawnError;
  int acceptor = -1;
  uint64_t generation = 0;
  Tail tail{20};
  std::string hung;
  bool crashed = false;
  std::string crashText;
  // By the helper's handles.
  Books books;

  ~State() { stop(); }

  // Ends the helper and waits for it; after this no thread of ours runs.
  void stop() {
    Books::Taken gone;  // let go after unlocking
    std::unique_lock<std::mutex> lock(mutex);
    closing = true;
    if (acceptor >= 0) {
      close(acceptor);
      acceptor = -1;
    }
    if (running && !changed.wait_for(lock, kExitGrace, [&] { return exited; })) {
      kill(pid, SIGKILL);
    }
    lock.unlock();
    if (reaper.joinable()) reaper.join();
    lock.lock();
    gone = books.takeAll();
    running = false;
  }
};

State& state() {
  static State s;
  return s;
}

// This thread's connection to the current helper.
struct Connection {
  int fd = -1;
  uint64_t generation = 0;
  ~Connection() {
    if (fd >= 0) close(fd);
  }
};
thread_local Connection connection;

// The last failure this thread's calls met in the shim itself.
struct OwnError {
  bool set = false;
  GC_ERROR code = GC_ERR_SUCCESS;
  std::string text;
};
thread_local OwnError ownError;
thread_local std::vector<unsigned char> reply;

GC_ERROR fail(GC_ERROR code, std::string text) {
  ownError = {true, code, std::move(text)};
  return code;
}

std::string signalName(int sig) {
  const char* abbrev = sigabbrev_np(sig);
  const char* description = strsignal(sig);
  std::string name = "signal " + std::to_string(sig);
  if (abbrev != nullptr) name += std::string(" (SIG") + abbrev;
  if (description != nullptr) name += std::string(abbrev != nullptr ? ", " : " (") + description;
  if (abbrev != nullptr || description != nullptr) name += ")";
  return name;
}

// Under the lock, once the helper is gone: what every later call reports.
void describeEnd(State& s) {
  if (s.crashed) return;
  s.crashed = true;
  std::string how;
  if (!s.hung.empty()) {
    how = "hung (" + s.hung + ") and was killed";
  } else if (!s.exited) {
    how = "stopped answering";
  } else if (WIFSIGNALED(s.status)) {
    how = "died of " + signalName(WTERMSIG(s.status));
  } else {
    how = "exited with status " + std::to_string(WEXITSTATUS(s.status));
  }
  s.crashText = "The producer " + s.producer + " crashed: its helper process " +
                std::to_string(s.pid) + " " + how + ".";
  // Consumers read error texts into fixed areas (1 KiB is common): the last
  // lines that fit, so that the end of what the producer said survives.
  std::string last = s.tail.text();
  constexpr size_t kBudget = 1000;
  size_t room = s.crashText.size() < kBudget - 40 ? kBudget - 40 - s.crashText.size() : 0;
  while (last.size() > room) {
    size_t newline = last.find('\n');
    last = newline == std::string::npos ? std::string() : last.substr(newline + 1);
  }
  if (!last.empty()) s.crashText += " Its last standard-error lines:\n" + last;
}

// The connection broke or timed out: wait for the exit status, then report.
GC_ERROR ended(State& s) {
  std::unique_lock<std::mutex> lock(s.mutex);
  if (s.closing && s.hung.empty()) return fail(GC_ERR_NOT_INITIALIZED, "The producer was closed");
  if (!s.changed.wait_for(lock, kExitGrace, [&] { return s.exited; })) {
    kill(s.pid, SIGKILL);
    s.changed.wait_for(lock, kExitGrace, [&] { return s.exited; });
  }
  describeEnd(s);
  return fail(kProducerCrashed, s.crashText);
}

int64_t watchdog() {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().watchdogMs;
}

// A bound for a call that waits up to `timeoutMs` by itself.
int64_t boundAfter(uint64_t timeoutMs) {
  int64_t w = watchdog();
  if (timeoutMs == GENTL_INFINITE || w <= 0) return -1;
  return static_cast<int64_t>(std::min<uint64_t>(timeoutMs, INT64_MAX / 2)) + w;
}

class Request {
 public:
  explicit Request(Fn fn) : fn_(fn) { w.put<uint32_t>(static_cast<uint32_t>(fn)); }
  Writer w;
  Fn fn() const { return fn_; }

 private:
  Fn fn_;
};

using Outputs = std::function<void(Reader&, GC_ERROR)>;

// One call: its reply's outputs go to `outputs`. `bound`: -2 the watchdog,
// -1 none, else milliseconds.
GC_ERROR forward(const Request& q, const Outputs& outputs = {}, int fd = -1, int64_t bound = -2) {
  ownError.set = false;
  State& s = state();
  int acceptor;
  uint64_t generation;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.crashed) return fail(kProducerCrashed, s.crashText);
    if (!s.running) return fail(GC_ERR_NOT_INITIALIZED, "GCInitLib was not called");
    acceptor = s.acceptor;
    generation = s.generation;
    if (bound == -2) bound = s.watchdogMs > 0 ? s.watchdogMs : -1;
  }
  if (connection.fd < 0 || connection.generation != generation) {
    if (connection.fd >= 0) close(connection.fd);
    connection.fd = -1;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
      return fail(GC_ERR_RESOURCE_EXHAUSTED, std::string("socketpair: ") + strerror(errno));
    }
    bool sent;
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      sent = sendMessage(acceptor, {}, pair[1]);
    }
    close(pair[1]);
    if (!sent) {
      close(pair[0]);
      return ended(s);
    }
    connection = {pair[0], generation};
  }
  if (!sendMessage(connection.fd, q.w.bytes(), fd)) return ended(s);
  int received = -1;
  Received r = receiveMessage(connection.fd, reply, received, bound);
  if (received >= 0) close(received);
  if (r == Received::kTimeout) {
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (s.hung.empty()) {
        s.hung = "no answer to " + std::string(kNames[static_cast<size_t>(q.fn())]) + " within " +
                 std::to_string(bound) + " ms";
      }
      if (!s.exited) kill(s.pid, SIGKILL);
    }
    return ended(s);
  }
  if (r != Received::kMessage) return ended(s);
  Reader in(reply);
  GC_ERROR rc = in.get<int32_t>();
  if (outputs) outputs(in, rc);
  if (in.failed()) return fail(GC_ERR_ERROR, "The producer's helper sent a garbled answer");
  return rc;
}

// Calls with one value out.
template <typename T>
GC_ERROR withOutput(Request& q, T* out, int64_t bound = -2) {
  q.w.put<uint8_t>(out != nullptr);
  return forward(
      q,
      [out](Reader& r, GC_ERROR rc) {
        T v = r.get<T>();
        if (out != nullptr && rc == GC_ERR_SUCCESS) *out = v;
      },
      -1, bound);
}

// Calls that answer a value of `*size` bytes at most, and its type.
GC_ERROR info(Request& q, INFO_DATATYPE* type, void* buffer, size_t* size, int64_t bound = -2,
              const Outputs& more = {}) {
  size_t capacity = size != nullptr ? *size : 0;
  q.w.put<uint8_t>(type != nullptr)
      .put<uint8_t>(buffer != nullptr)
      .put<uint8_t>(size != nullptr)
      .put<uint64_t>(capacity);
  return forward(
      q,
      [&](Reader& r, GC_ERROR rc) {
        auto t = r.get<int32_t>();
        auto n = r.get<uint64_t>();
        size_t got = 0;
        const unsigned char* data = r.blob(got);
        if (type != nullptr && rc == GC_ERR_SUCCESS) *type = t;
        if (size != nullptr) *size = static_cast<size_t>(n);
        if (buffer != nullptr && data != nullptr && rc == GC_ERR_SUCCESS) {
          memcpy(buffer, data, std::min(got, capacity));
        }
        if (more) more(r, rc);
      },
      -1, bound);
}

GC_ERROR simple(Request& q) {
  return forward(q);
}

// An object the producer just made on `parent`.
template <typename Handle>
GC_ERROR opened(GC_ERROR rc, Handle* handle, void* parent, Booked record = {}) {
  if (rc != GC_ERR_SUCCESS || handle == nullptr) return rc;
  State& s = state();
  Books::Taken stale;  // let go after unlocking
  std::lock_guard<std::mutex> lock(s.mutex);
  stale = s.books.open(*handle, parent, std::move(record));
  return rc;
}

// A call that lets go of `handle`, and of what the producer opened on it.
GC_ERROR retire(void* handle, Request& q) {
  Books::Retirement closing(state().mutex, state().books, handle);
  GC_ERROR rc = simple(q);
  if (rc == GC_ERR_SUCCESS) closing.commit();
  return rc;
}

// The address the application knows for a helper-side buffer address.
void translateBase(DS_HANDLE, BUFFER_HANDLE buffer, INFO_DATATYPE* type, void* value, size_t* size,
                   GC_ERROR rc) {
  if (rc != GC_ERR_SUCCESS || value == nullptr || size == nullptr || *size < sizeof(void*) ||
      (type != nullptr && *type != INFO_DATATYPE_PTR)) {
    return;
  }
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  Books::Entry* found = s.books.find(buffer);
  if (found == nullptr || found->record.buffer.size == 0) return;
  const SharedBuffer& b = found->record.buffer;
  uintptr_t host;
  memcpy(&host, value, sizeof(host));
  auto hostBase = reinterpret_cast<uintptr_t>(b.hostBase);
  if (host >= hostBase && host - hostBase <= b.size) {
    uintptr_t mine = reinterpret_cast<uintptr_t>(b.base) + (host - hostBase);
    memcpy(value, &mine, sizeof(mine));
  }
}

// Announces memory the helper can map: `fd` at `offset`.
GC_ERROR announceShared(DS_HANDLE stream, int fd, uint64_t offset, SharedBuffer&& b, void* user,
                        BUFFER_HANDLE* phBuffer) {
  Request q(Fn::DSAnnounceBuffer);
  q.w.handle(stream).put<uint64_t>(b.size).put<uint64_t>(offset).handle(user).put<uint8_t>(1);
  BUFFER_HANDLE handle = nullptr;
  void* hostBase = nullptr;
  GC_ERROR rc = forward(
      q,
      [&](Reader& r, GC_ERROR) {
        handle = r.handle();
        hostBase = r.handle();
      },
      fd);
  if (rc != GC_ERR_SUCCESS) return rc;
  b.hostBase = hostBase;
  opened(rc, &handle, stream, Booked{std::move(b), std::nullopt, false});
  if (phBuffer != nullptr) *phBuffer = handle;
  return rc;
}

// Memory of our own that both processes map.
void* sharedMemory(size_t size, int& fd) {
  fd = memfd_create("grabkit-buffer", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  void* p = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(size)) == 0) {
    p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (p == MAP_FAILED) {
    close(fd);
    fd = -1;
    return nullptr;
  }
  return p;
}

// Buffers of `stream` (all, when null) may change from now on.
void forgetPrefetched(DS_HANDLE stream, BUFFER_HANDLE buffer = nullptr) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (buffer != nullptr) {
    if (Books::Entry* found = s.books.find(buffer)) found->record.prefetched.reset();
    return;
  }
  s.books.forEachChild(stream, [](void*, Books::Entry& e) { e.record.prefetched.reset(); });
}

void readPrefetched(Reader& r, GC_ERROR) {
  if (r.get<uint8_t>() == 0) return;
  BUFFER_HANDLE buffer = r.handle();
  Prefetched p;
  for (auto& v : p.values) {
    v.ok = r.get<uint8_t>() != 0;
    v.type = r.get<int32_t>();
    r.get<uint64_t>();
    size_t n = 0;
    const unsigned char* data = r.blob(n);
    v.ok = v.ok && data != nullptr && n <= sizeof(v.bytes);
    if (v.ok) {
      memcpy(v.bytes, data, n);
      v.size = n;
    }
  }
  if (r.failed()) return;
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  Books::Entry* known = s.books.find(buffer);
  if (known != nullptr && known->record.buffer.size != 0) known->record.prefetched = p;
}

// Answers a buffer info query from what came with the delivery, where it can.
bool answerPrefetched(BUFFER_HANDLE buffer, BUFFER_INFO_CMD cmd, INFO_DATATYPE* type, void* value,
                      size_t* size) {
  size_t index = 0;
  while (index < std::size(kPrefetched) && kPrefetched[index] != cmd) index++;
  if (index == std::size(kPrefetched) || size == nullptr) return false;
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  Books::Entry* found = s.books.find(buffer);
  if (found == nullptr || !found->record.prefetched) return false;
  const Prefetched::Value& v = found->record.prefetched->values[index];
  if (!v.ok || (value != nullptr && *size < v.size)) return false;
  if (value != nullptr) memcpy(value, v.bytes, v.size);
  *size = v.size;
  if (type != nullptr) *type = v.type;
  return true;
}

std::string ownDirectory() {
  Dl_info where{};
  if (dladdr(reinterpret_cast<void*>(&state), &where) == 0 || where.dli_fname == nullptr)
    return ".";
  std::string path = where.dli_fname;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

GC_ERROR readConfiguration(State& s) {
  std::string file = ownDirectory() + "/grabkit-isolated.conf";
  std::ifstream in(file);
  if (!in) return fail(GC_ERR_ERROR, "Cannot read " + file);
  s.producer.clear();
  s.helper.clear();
  s.environment.clear();
  s.watchdogMs = kDefaultWatchdogMs;
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (key == "producer") {
      s.producer = value;
    } else if (key == "helper") {
      s.helper = value;
    } else if (key == "watchdog_ms") {
      s.watchdogMs = strtoll(value.c_str(), nullptr, 10);
    } else if (key == "env") {
      s.environment.push_back(value);
    }
  }
  if (s.producer.empty() || s.helper.empty()) {
    return fail(GC_ERR_ERROR, file + " names no producer or no helper");
  }
  return GC_ERR_SUCCESS;
}

// The helper's environment: ours, with the configured variables in front.
std::vector<char*> environmentFor(const std::vector<std::string>& extra) {
  std::vector<char*> env;
  for (const auto& e : extra) env.push_back(const_cast<char*>(e.c_str()));
  for (char** e = environ; *e != nullptr; e++) {
    const char* eq = strchr(*e, '=');
    size_t n = eq == nullptr ? strlen(*e) : static_cast<size_t>(eq - *e);
    bool overridden = std::any_of(extra.begin(), extra.end(), [&](const std::string& x) {
      return x.size() > n && x.compare(0, n, *e, n) == 0 && x[n] == '=';
    });
    if (!overridden) env.push_back(*e);
  }
  env.push_back(nullptr);
  return env;
}

// The reaper thread: starts the helper (so that the helper's parent-death
// signal is tied to this thread, which lives exactly as long as it), passes on
// and remembers its standard error, and collects its exit status.
void reap(State& s, int socketEnd) {
  int err[2];
  pid_t pid = -1;
  std::string error;
  if (pipe2(err, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + strerror(errno);
  } else {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_adddup2(&actions, socketEnd, 3);
    std::string parent = std::to_string(getpid());
    std::vector<char*> argv = {const_cast<char*>(s.helper.c_str()),
                               const_cast<char*>(s.producer.c_str()), parent.data(), nullptr};
    auto env = environmentFor(s.environment);
    int rc = posix_spawn(&pid, s.helper.c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(err[1]);
    if (rc != 0) {
      error = "Cannot start " + s.helper + ": " + strerror(rc);
      close(err[0]);
      pid = -1;
    }
  }
  close(socketEnd);
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.started = true;
    s.pid = pid;
    s.running = pid > 0;
    s.spawnError = error;
    s.changed.notify_all();
  }
  if (pid <= 0) return;
  char chunk[4096];
  bool open = true;
  while (true) {
    if (open) {
      pollfd p{err[0], POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        ssize_t n = read(err[0], chunk, sizeof(chunk));
        if (n > 0) {
          ssize_t ignored = write(2, chunk, static_cast<size_t>(n));
          (void)ignored;
          std::lock_guard<std::mutex> lock(s.mutex);
          s.tail.feed(chunk, static_cast<size_t>(n));
          continue;
        }
        open = false;
      }
    }
    int status = 0;
    pid_t done = waitpid(pid, &status, open ? WNOHANG : 0);
    if (done == pid || (done < 0 && errno != EINTR)) {
      // What it wrote just before it died is still in the pipe.
      fcntl(err[0], F_SETFL, O_NONBLOCK);
      ssize_t n;
      while (open && (n = read(err[0], chunk, sizeof(chunk))) > 0) {
        ssize_t ignored = write(2, chunk, static_cast<size_t>(n));
        (void)ignored;
        std::lock_guard<std::mutex> lock(s.mutex);
        s.tail.feed(chunk, static_cast<size_t>(n));
      }
      std::lock_guard<std::mutex> lock(s.mutex);
      s.exited = true;
      s.status = status;
      s.changed.notify_all();
      break;
    }
  }
  close(err[0]);
}

GC_ERROR start(State& s) {
  if (GC_ERROR rc = readConfiguration(s); rc != GC_ERR_SUCCESS) return rc;
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    return fail(GC_ERR_RESOURCE_EXHAUSTED, std::string("socketpair: ") + strerror(errno));
  }
  // Above the descriptors the helper gets, so that moving it there clears close-on-exec.
  int helperEnd = fcntl(pair[1], F_DUPFD_CLOEXEC, 10);
  close(pair[1]);
  std::unique_lock<std::mutex> lock(s.mutex);
  s.started = s.running = s.exited = s.closing = s.crashed = false;
  s.hung.clear();
  s.crashText.clear();
  s.tail = Tail(20);
  s.acceptor = pair[0];
  s.generation++;
  s.reaper = std::thread(reap, std::ref(s), helperEnd);
  s.changed.wait(lock, [&] { return s.started; });
  if (!s.running) {
    std::string error = s.spawnError;
    lock.unlock();
    s.stop();
    return fail(GC_ERR_ERROR, error);
  }
  return GC_ERR_SUCCESS;
}
}  // namespace

extern "C" {

GC_ERROR GCInitLib(void) {
  State& s = state();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.running && !s.exited) return GC_ERR_RESOURCE_IN_USE;
  }
  s.stop();
  if (GC_ERROR rc = start(s); rc != GC_ERR_SUCCESS) return rc;
  Request q(Fn::GCInitLib);
  GC_ERROR rc = simple(q);
  if (rc != GC_ERR_SUCCESS) {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.crashed) return rc;  // the producer's refusal; its helper lives until GCCloseLib
  }
  return rc;
}

GC_ERROR GCCloseLib(void) {
  State& s = state();
  Request q(Fn::GCCloseLib);
  GC_ERROR rc = simple(q);
  bool crashed;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    crashed = s.crashed;
  }
  s.stop();
  return crashed ? GC_ERR_SUCCESS : rc;
}

GC_ERROR GCGetLastError(GC_ERROR* piErrorCode, char* sErrText, size_t* piSize) {
  State& s = state();
  std::string text;
  GC_ERROR code;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.crashed) {
      code = kProducerCrashed;
      text = s.crashText;
    } else if (ownError.set) {
      code = ownError.code;
      text = ownError.text;
    } else {
      code = GC_ERR_SUCCESS;
    }
  }
  if (code == GC_ERR_SUCCESS) {
    Request q(Fn::GCGetLastError);
    q.w.put<uint8_t>(piErrorCode != nullptr);
    return info(q, nullptr, sErrText, piSize, -2, [&](Reader& r, GC_ERROR rc) {
      GC_ERROR c = r.get<int32_t>();
      if (piErrorCode != nullptr && rc == GC_ERR_SUCCESS) *piErrorCode = c;
    });
  }
  if (piSize == nullptr) return GC_ERR_INVALID_PARAMETER;
  if (piErrorCode != nullptr) *piErrorCode = code;
  size_t need = text.size() + 1;
  if (sErrText == nullptr) {
    *piSize = need;
    return GC_ERR_SUCCESS;
  }
  if (*piSize == 0) {
    *piSize = need;
    return GC_ERR_BUFFER_TOO_SMALL;
  }
  // A text cut short still tells more than none.
  size_t n = std::min(need, *piSize);
  memcpy(sErrText, text.c_str(), n - 1);
  sErrText[n - 1] = '\0';
  *piSize = n;
  return GC_ERR_SUCCESS;
}

GC_ERROR GCGetInfo(TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  Request q(Fn::GCGetInfo);
  q.w.put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR GCReadPort(PORT_HANDLE hPort, uint64_t iAddress, void* pBuffer, size_t* piSize) {
  Request q(Fn::GCReadPort);
  q.w.handle(hPort).put<uint64_t>(iAddress);
  return info(q, nullptr, pBuffer, piSize);
}

GC_ERROR GCWritePort(PORT_HANDLE hPort, uint64_t iAddress, const void* pBuffer, size_t* piSize) {
  Request q(Fn::GCWritePort);
  q.w.handle(hPort).put<uint64_t>(iAddress).blob(pBuffer, piSize != nullptr ? *piSize : 0);
  return withOutput(q, piSize);
}

GC_ERROR GCGetPortURL(PORT_HANDLE hPort, char* sURL, size_t* piSize) {
  Request q(Fn::GCGetPortURL);
  q.w.handle(hPort);
  return info(q, nullptr, sURL, piSize);
}

GC_ERROR GCGetPortInfo(PORT_HANDLE hPort, PORT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                       void* pBuffer, size_t* piSize) {
  Request q(Fn::GCGetPortInfo);
  q.w.handle(hPort).put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR GCRegisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID, EVENT_HANDLE* phEvent) {
  Request q(Fn::GCRegisterEvent);
  q.w.handle(hEventSrc).put<int32_t>(iEventID);
  EVENT_HANDLE event = nullptr;
  GC_ERROR rc = withOutput(q, &event);
  if (rc != GC_ERR_SUCCESS) return rc;
  if (iEventID == EVENT_NEW_BUFFER) {
    opened(rc, &event, hEventSrc, Booked{{}, std::nullopt, true});
  } else {
    // Not booked (their sources need not be), but what was booked at the value is stale.
    Books::Retirement(state().mutex, state().books, event).commit();
  }
  if (phEvent != nullptr) *phEvent = event;
  return rc;
}

GC_ERROR GCUnregisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID) {
  Request q(Fn::GCUnregisterEvent);
  q.w.handle(hEventSrc).put<int32_t>(iEventID);
  bool newBuffer = iEventID == EVENT_NEW_BUFFER;
  Books::Retirement unregistering(state().mutex, state().books, [&](Books& b) {
    return newBuffer ? b.noteChildren(hEventSrc,
                                      [](const Books::Entry& e) { return e.record.newBufferEvent; })
                     : Books::Noted();
  });
  GC_ERROR rc = simple(q);
  if (rc == GC_ERR_SUCCESS) unregistering.commit();
  return rc;
}

GC_ERROR EventGetData(EVENT_HANDLE hEvent, void* pBuffer, size_t* piSize, uint64_t iTimeout) {
  Request q(Fn::EventGetData);
  q.w.handle(hEvent).put<uint64_t>(iTimeout);
  GC_ERROR rc = info(q, nullptr, pBuffer, piSize, boundAfter(iTimeout), readPrefetched);
  if (rc == GC_ERR_SUCCESS && pBuffer != nullptr && piSize != nullptr &&
      *piSize >= sizeof(EVENT_NEW_BUFFER_DATA)) {
    // A buffer the helper could not share is copied out now that it is filled.
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Books::Entry* event = s.books.find(hEvent);
    if (event == nullptr || !event->record.newBufferEvent) return rc;
    EVENT_NEW_BUFFER_DATA data;
    memcpy(&data, pBuffer, sizeof(data));
    Books::Entry* found = s.books.find(data.BufferHandle);
    if (found != nullptr && found->record.buffer.copies) {
      const SharedBuffer& b = found->record.buffer;
      memcpy(b.base, b.shadow.address(), b.size);
    }
  }
  return rc;
}

GC_ERROR EventGetDataInfo(EVENT_HANDLE hEvent, const void* pInBuffer, size_t iInSize,
                          EVENT_DATA_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pOutBuffer,
                          size_t* piOutSize) {
  Request q(Fn::EventGetDataInfo);
  q.w.handle(hEvent).blob(pInBuffer, iInSize).put<int32_t>(iInfoCmd);
  return info(q, piType, pOutBuffer, piOutSize);
}

GC_ERROR EventGetInfo(EVENT_HANDLE hEvent, EVENT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                      void* pBuffer, size_t* piSize) {
  Request q(Fn::EventGetInfo);
  q.w.handle(hEvent).put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR EventFlush(EVENT_HANDLE hEvent) {
  Request q(Fn::EventFlush);
  q.w.handle(hEvent);
  return simple(q);
}

GC_ERROR EventKill(EVENT_HANDLE hEvent) {
  Request q(Fn::EventKill);
  q.w.handle(hEvent);
  return simple(q);
}

GC_ERROR TLOpen(TL_HANDLE* phTL) {
  Request q(Fn::TLOpen);
  return opened(withOutput(q, phTL), phTL, nullptr);
}

GC_ERROR TLClose(TL_HANDLE hTL) {
  Request q(Fn::TLClose);
  q.w.handle(hTL);
  return retire(hTL, q);
}

GC_ERROR TLGetInfo(TL_HANDLE hTL, TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                   size_t* piSize) {
  Request q(Fn::TLGetInfo);
  q.w.handle(hTL).put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR TLGetNumInterfaces(TL_HANDLE hTL, uint32_t* piNumIfaces) {
  Request q(Fn::TLGetNumInterfaces);
  q.w.handle(hTL);
  return withOutput(q, piNumIfaces);
}

GC_ERROR TLGetInterfaceID(TL_HANDLE hTL, uint32_t iIndex, char* sID, size_t* piSize) {
  Request q(Fn::TLGetInterfaceID);
  q.w.handle(hTL).put<uint32_t>(iIndex);
  return info(q, nullptr, sID, piSize);
}

GC_ERROR TLGetInterfaceInfo(TL_HANDLE hTL, const char* sIfaceID, INTERFACE_INFO_CMD iInfoCmd,
                            INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  Request q(Fn::TLGetInterfaceInfo);
  q.w.handle(hTL).text(sIfaceID).put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR TLOpenInterface(TL_HANDLE hTL, const char* sIfaceID, IF_HANDLE* phIface) {
  Request q(Fn::TLOpenInterface);
  q.w.handle(hTL).text(sIfaceID);
  return opened(withOutput(q, phIface), phIface, hTL);
}

GC_ERROR TLUpdateInterfaceList(TL_HANDLE hTL, bool8_t* pbChanged, uint64_t iTimeout) {
  Request q(Fn::TLUpdateInterfaceList);
  q.w.handle(hTL).put<uint64_t>(iTimeout);
  return withOutput(q, pbChanged, boundAfter(iTimeout));
}

GC_ERROR IFClose(IF_HANDLE hIface) {
  Request q(Fn::IFClose);
  q.w.handle(hIface);
  return retire(hIface, q);
}

GC_ERROR IFGetInfo(IF_HANDLE hIface, INTERFACE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                   void* pBuffer, size_t* piSize) {
  Request q(Fn::IFGetInfo);
  q.w.handle(hIface).put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR IFGetNumDevices(IF_HANDLE hIface, uint32_t* piNumDevices) {
  Request q(Fn::IFGetNumDevices);
  q.w.handle(hIface);
  return withOutput(q, piNumDevices);
}

GC_ERROR IFGetDeviceID(IF_HANDLE hIface, uint32_t iIndex, char* sIDeviceID, size_t* piSize) {
  Request q(Fn::IFGetDeviceID);
  q.w.handle(hIface).put<uint32_t>(iIndex);
  return info(q, nullptr, sIDeviceID, piSize);
}

GC_ERROR IFUpdateDeviceList(IF_HANDLE hIface, bool8_t* pbChanged, uint64_t iTimeout) {
  Request q(Fn::IFUpdateDeviceList);
  q.w.handle(hIface).put<uint64_t>(iTimeout);
  return withOutput(q, pbChanged, boundAfter(iTimeout));
}

GC_ERROR IFGetDeviceInfo(IF_HANDLE hIface, const char* sDeviceID, DEVICE_INFO_CMD iInfoCmd,
                         INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  Request q(Fn::IFGetDeviceInfo);
  q.w.handle(hIface).text(sDeviceID).put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR IFOpenDevice(IF_HANDLE hIface, const char* sDeviceID, DEVICE_ACCESS_FLAGS iOpenFlags,
                      DEV_HANDLE* phDevice) {
  Request q(Fn::IFOpenDevice);
  q.w.handle(hIface).text(sDeviceID).put<int32_t>(iOpenFlags);
  return opened(withOutput(q, phDevice), phDevice, hIface);
}

GC_ERROR DevGetPort(DEV_HANDLE hDevice, PORT_HANDLE* phRemoteDevice) {
  Request q(Fn::DevGetPort);
  q.w.handle(hDevice);
  return withOutput(q, phRemoteDevice);
}

GC_ERROR DevGetNumDataStreams(DEV_HANDLE hDevice, uint32_t* piNumDataStreams) {
  Request q(Fn::DevGetNumDataStreams);
  q.w.handle(hDevice);
  return withOutput(q, piNumDataStreams);
}

GC_ERROR DevGetDataStreamID(DEV_HANDLE hDevice, uint32_t iIndex, char* sDataStreamID,
                            size_t* piSize) {
  Request q(Fn::DevGetDataStreamID);
  q.w.handle(hDevice).put<uint32_t>(iIndex);
  return info(q, nullptr, sDataStreamID, piSize);
}

GC_ERROR DevOpenDataStream(DEV_HANDLE hDevice, const char* sDataStreamID, DS_HANDLE* phDataStream) {
  Request q(Fn::DevOpenDataStream);
  q.w.handle(hDevice).text(sDataStreamID);
  return opened(withOutput(q, phDataStream), phDataStream, hDevice);
}

GC_ERROR DevGetInfo(DEV_HANDLE hDevice, DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                    void* pBuffer, size_t* piSize) {
  Request q(Fn::DevGetInfo);
  q.w.handle(hDevice).put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR DevClose(DEV_HANDLE hDevice) {
  Request q(Fn::DevClose);
  q.w.handle(hDevice);
  return retire(hDevice, q);
}

GC_ERROR DSAnnounceBuffer(DS_HANDLE hDataStream, void* pBuffer, size_t iSize, void* pPrivate,
                          BUFFER_HANDLE* phBuffer) {
  if (pBuffer == nullptr || iSize == 0) return GC_ERR_INVALID_PARAMETER;
  SharedBuffer b;
  b.base = pBuffer;
  b.size = iSize;
  Mapping m;
  uint64_t offset = 0;
  int fd = -1;
  if (findSharedFile(pBuffer, iSize, m, offset)) {
    // The application's memory is a shared file mapping already: the helper maps the same file.
    fd = open(m.path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && (fstat(fd, &st) != 0 || st.st_ino != m.inode)) {
      close(fd);
      fd = -1;
    }
  }
  if (fd < 0) {
    // Memory only this process sees: the producer fills a shared copy instead.
    offset = 0;
    void* shadow = sharedMemory(iSize, fd);
    if (shadow == nullptr) {
      return fail(GC_ERR_RESOURCE_EXHAUSTED, std::string("shared memory: ") + strerror(errno));
    }
    b.shadow = OwnedMapping(shadow, iSize);
    b.copies = true;
  }
  GC_ERROR rc = announceShared(hDataStream, fd, offset, std::move(b), pPrivate, phBuffer);
  close(fd);
  return rc;
}

GC_ERROR DSAllocAndAnnounceBuffer(DS_HANDLE hDataStream, size_t iSize, void* pPrivate,
                                  BUFFER_HANDLE* phBuffer) {
  if (iSize == 0) return GC_ERR_INVALID_PARAMETER;
  SharedBuffer b;
  int fd;
  b.size = iSize;
  b.base = sharedMemory(iSize, fd);
  if (b.base == nullptr) {
    return fail(GC_ERR_RESOURCE_EXHAUSTED, std::string("shared memory: ") + strerror(errno));
  }
  b.shadow = OwnedMapping(b.base, iSize);
  GC_ERROR rc = announceShared(hDataStream, fd, 0, std::move(b), pPrivate, phBuffer);
  close(fd);
  return rc;
}

GC_ERROR DSFlushQueue(DS_HANDLE hDataStream, ACQ_QUEUE_TYPE iOperation) {
  Request q(Fn::DSFlushQueue);
  q.w.handle(hDataStream).put<int32_t>(iOperation);
  forgetPrefetched(hDataStream);
  return simple(q);
}

GC_ERROR DSStartAcquisition(DS_HANDLE hDataStream, ACQ_START_FLAGS iStartFlags,
                            uint64_t iNumToAcquire) {
  Request q(Fn::DSStartAcquisition);
  q.w.handle(hDataStream).put<int32_t>(iStartFlags).put<uint64_t>(iNumToAcquire);
  return simple(q);
}

GC_ERROR DSStopAcquisition(DS_HANDLE hDataStream, ACQ_STOP_FLAGS iStopFlags) {
  Request q(Fn::DSStopAcquisition);
  q.w.handle(hDataStream).put<int32_t>(iStopFlags);
  forgetPrefetched(hDataStream);
  return simple(q);
}

GC_ERROR DSGetInfo(DS_HANDLE hDataStream, STREAM_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                   void* pBuffer, size_t* piSize) {
  Request q(Fn::DSGetInfo);
  q.w.handle(hDataStream).put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR DSGetBufferID(DS_HANDLE hDataStream, uint32_t iIndex, BUFFER_HANDLE* phBuffer) {
  Request q(Fn::DSGetBufferID);
  q.w.handle(hDataStream).put<uint32_t>(iIndex);
  return withOutput(q, phBuffer);
}

GC_ERROR DSClose(DS_HANDLE hDataStream) {
  Request q(Fn::DSClose);
  q.w.handle(hDataStream);
  return retire(hDataStream, q);
}

GC_ERROR DSRevokeBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, void** pBuffer,
                        void** pPrivate) {
  Request q(Fn::DSRevokeBuffer);
  q.w.handle(hDataStream).handle(hBuffer);
  Books::Retirement revoking(state().mutex, state().books, hBuffer);
  void* user = nullptr;
  GC_ERROR rc = forward(q, [&](Reader& r, GC_ERROR) { user = r.handle(); });
  if (rc != GC_ERR_SUCCESS) return rc;
  void* base = nullptr;
  Books::Taken gone = revoking.commit();
  for (const Books::Node& n : gone) {
    const SharedBuffer& b = n.entry.record.buffer;
    // Memory we made is gone with the buffer; the application's stays its own.
    if (n.handle == hBuffer) base = b.shadow.address() == b.base ? nullptr : b.base;
  }
  if (pBuffer != nullptr) *pBuffer = base;
  if (pPrivate != nullptr) *pPrivate = user;
  return rc;
}

GC_ERROR DSQueueBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer) {
  Request q(Fn::DSQueueBuffer);
  q.w.handle(hDataStream).handle(hBuffer);
  forgetPrefetched(hDataStream, hBuffer);
  return simple(q);
}

GC_ERROR DSGetBufferInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, BUFFER_INFO_CMD iInfoCmd,
                         INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  if (answerPrefetched(hBuffer, iInfoCmd, piType, pBuffer, piSize)) {
    ownError.set = false;
    return GC_ERR_SUCCESS;
  }
  Request q(Fn::DSGetBufferInfo);
  q.w.handle(hDataStream).handle(hBuffer).put<int32_t>(iInfoCmd);
  GC_ERROR rc = info(q, piType, pBuffer, piSize);
  if (iInfoCmd == BUFFER_INFO_BASE)
    translateBase(hDataStream, hBuffer, piType, pBuffer, piSize, rc);
  return rc;
}

GC_ERROR GCGetNumPortURLs(PORT_HANDLE hPort, uint32_t* piNumURLs) {
  Request q(Fn::GCGetNumPortURLs);
  q.w.handle(hPort);
  return withOutput(q, piNumURLs);
}

GC_ERROR GCGetPortURLInfo(PORT_HANDLE hPort, uint32_t iURLIndex, URL_INFO_CMD iInfoCmd,
                          INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  Request q(Fn::GCGetPortURLInfo);
  q.w.handle(hPort).put<uint32_t>(iURLIndex).put<int32_t>(iInfoCmd);
  return info(q, piType, pBuffer, piSize);
}

GC_ERROR GCReadPortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,
                           size_t* piNumEntries) {
  Request q(Fn::GCReadPortStacked);
  size_t count = pEntries != nullptr && piNumEntries != nullptr ? *piNumEntries : 0;
  q.w.handle(hPort).put<uint8_t>(pEntries != nullptr).put<uint8_t>(piNumEntries != nullptr);
  q.w.put<uint64_t>(count);
  for (size_t i = 0; i < count; i++) {
    q.w.put<uint64_t>(pEntries[i].Address).put<uint64_t>(pEntries[i].Size);
  }
  return forward(q, [&](Reader& r, GC_ERROR rc) {
    auto n = r.get<uint64_t>();
    for (size_t i = 0; i < std::min<size_t>(n, count); i++) {
      size_t got = 0;
      const unsigned char* data = r.blob(got);
      if (rc == GC_ERR_SUCCESS && data != nullptr && pEntries[i].pBuffer != nullptr) {
        memcpy(pEntries[i].pBuffer, data, std::min(got, pEntries[i].Size));
      }
    }
    if (piNumEntries != nullptr) *piNumEntries = static_cast<size_t>(n);
  });
}

GC_ERROR GCWritePortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,
                            size_t* piNumEntries) {
  Request q(Fn::GCWritePortStacked);
  size_t count = pEntries != nullptr && piNumEntries != nullptr ? *piNumEntries : 0;
  q.w.handle(hPort).put<uint8_t>(pEntries != nullptr).put<uint8_t>(piNumEntries != nullptr);
  q.w.put<uint64_t>(count);
  for (size_t i = 0; i < count; i++) {
    q.w.put<uint64_t>(pEntries[i].Address).blob(pEntries[i].pBuffer, pEntries[i].Size);
  }
  return forward(q, [&](Reader& r, GC_ERROR) {
    auto n = r.get<uint64_t>();
    if (piNumEntries != nullptr) *piNumEntries = static_cast<size_t>(n);
  });
}

GC_ERROR DSGetBufferChunkData(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                              SINGLE_CHUNK_DATA* pChunkData, size_t* piNumChunks) {
  Request q(Fn::DSGetBufferChunkData);
  size_t capacity = piNumChunks != nullptr ? *piNumChunks : 0;
  q.w.handle(hDataStream).handle(hBuffer);
  q.w.put<uint8_t>(pChunkData != nullptr).put<uint8_t>(piNumChunks != nullptr);
  q.w.put<uint64_t>(capacity);
  return forward(q, [&](Reader& r, GC_ERROR rc) {
    auto n = r.get<uint64_t>();
    size_t got = 0;
    const unsigned char* data = r.blob(got);
    if (piNumChunks != nullptr) *piNumChunks = static_cast<size_t>(n);
    if (rc == GC_ERR_SUCCESS && pChunkData != nullptr && data != nullptr) {
      memcpy(pChunkData, data, std::min(got, capacity * sizeof(SINGLE_CHUNK_DATA)));
    }
  });
}

GC_ERROR IFGetParentTL(IF_HANDLE hIface, TL_HANDLE* phSystem) {
  Request q(Fn::IFGetParentTL);
  q.w.handle(hIface);
  return withOutput(q, phSystem);
}

GC_ERROR DevGetParentIF(DEV_HANDLE hDevice, IF_HANDLE* phIface) {
  Request q(Fn::DevGetParentIF);
  q.w.handle(hDevice);
  return withOutput(q, phIface);
}

GC_ERROR DSGetParentDev(DS_HANDLE hDataStream, DEV_HANDLE* phDevice) {
  Request q(Fn::DSGetParentDev);
  q.w.handle(hDataStream);
  return withOutput(q, phDevice);
}

GC_ERROR DSGetNumBufferParts(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t* piNumParts) {
  Request q(Fn::DSGetNumBufferParts);
  q.w.handle(hDataStream).handle(hBuffer);
  return withOutput(q, piNumParts);
}

GC_ERROR DSGetBufferPartInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t iPartIndex,
                             BUFFER_PART_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                             size_t* piSize) {
  Request q(Fn::DSGetBufferPartInfo);
  q.w.handle(hDataStream).handle(hBuffer).put<uint32_t>(iPartIndex).put<int32_t>(iInfoCmd);
  GC_ERROR rc = info(q, piType, pBuffer, piSize);
  if (iInfoCmd == BUFFER_PART_INFO_BASE) {
    translateBase(hDataStream, hBuffer, piType, pBuffer, piSize, rc);
  }
  return rc;
}

}  // extern "C"
