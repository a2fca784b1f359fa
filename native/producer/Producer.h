// Loaded GenTL producers: one record per load of a producer file (its module,
// its 57 entry points, its inited flag), and the calls that go through it.
//
// A record is shared: the process's current producer holds it, each thread's
// copy of the current one and each scope hold it, and the object trees made
// under it hold it. Closing a record refuses new calls at once, lets the
// calls already inside the producer finish, and releases the file only when
// no thread is inside it any more, so that no thread ever returns into
// unmapped code.
#ifndef GRABKIT_PRODUCER_PRODUCER_H
#define GRABKIT_PRODUCER_PRODUCER_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Errors.h"
#include "GenTL.h"
#include "Lineage.h"

namespace Grabkit {

struct ProducerEntries {
#define GRABKIT_ENTRY(name, params) P##name name = nullptr;
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_ENTRY)
#undef GRABKIT_ENTRY
};

// What the library announced to the producer, so that a queue zero-fills only
// memory it owns, at the address and size it recorded, and so that the Java
// memory behind an announcement stays reachable until it is revoked or its
// stream is closed.
struct Announcement {
  void* base = nullptr;  // null for memory the producer allocated
  size_t size = 0;
  std::shared_ptr<void> keepAlive;  // the caller's memory owner, if any
};

// What the library keeps of an object the producer opened, announced or
// registered through a load, beside what it was opened on: of a buffer, its
// announcement.
struct Booked {
  bool announced = false;
  Announcement announcement;
};
using Books = Lineage<Booked>;

class ProducerFunctions : public std::enable_shared_from_this<ProducerFunctions> {
 public:
  explicit ProducerFunctions(std::string path) : path(std::move(path)) {}
  ~ProducerFunctions();
  ProducerFunctions(const ProducerFunctions&) = delete;
  ProducerFunctions& operator=(const ProducerFunctions&) = delete;

  const std::string path;
  void* module = nullptr;
  ProducerEntries entries;
  // Producer-specific codes (-10000 and below) count as errors in calls made
  // for this load (the Java API's loads), not only GenTL's own codes.
  bool strict = false;
  // The real path a strict load is known by, and how many opens share it.
  std::string realPath;
  int opens = 0;

  bool inited() const;
  // Counts a call in; false once closing has begun. ProducerCall is the
  // cheaper way in for calls made through the library.
  bool enter();
  void leave();

  // Closes the load: refuses new calls, wakes event waiters with an abort,
  // waits up to `bound` for the calls inside to leave, runs the producer's
  // GCCloseLib (when it has one) and releases the file, or leaves that to the
  // last call still inside. Returns the producer's code (GC_ERR_NOT_IMPLEMENTED
  // without a GCCloseLib). Only the first close does anything; later ones
  // return GC_ERR_NOT_INITIALIZED.
  int32_t close(std::chrono::milliseconds bound);

  // Event waits in progress, so that closing can kill them.
  void waiting(EVENT_HANDLE event, int delta);

  // An object the producer just made on `parent`. Whatever was still booked
  // at its value was closed without the library seeing it (by the producer
  // itself, say): it goes, with its tokens, so that they don't name the new
  // object.
  void opened(void* handle, void* parent);
  void recordAnnouncement(BUFFER_HANDLE buffer, Announcement a);
  // The announcement's record, if the library made it.
  bool findAnnouncement(BUFFER_HANDLE buffer, Announcement& out) const;

 private:
  // Releases the file; throws LoadLibraryException when the system refuses.
  void unmap();

  // Calls count themselves in and out without the mutex, in one of two ways.
  // A ProducerCall names the record in its thread's slot (see ProducerCall);
  // enter() increments `inside_`. Either then reads `closing_`; a close sets
  // `closing_` and then reads the slots and `inside_`, so either the call
  // sees the close and backs out, or the close sees the call and waits for
  // it, looking again until they are gone. Only a leave after a close that
  // stopped waiting takes the mutex, to release the file as the last one out.
  void leftWhileClosing();
  // Calls inside now: counted ones and slots that name this record.
  int callsInside() const;

  mutable std::mutex mutex_;
  std::atomic<bool> closing_{false};
  // Read by every call of the object trees, so without the mutex.
  std::atomic<bool> inited_{false};
  std::atomic<bool> unmapWhenIdle_{false};
  std::atomic<int> inside_{0};
  std::map<EVENT_HANDLE, int> waiters_;
  Books books_;

  friend class Retirement;
  friend int32_t GCInitLib(std::string path);
  friend struct ProducerLoader;
  friend class ProducerCall;
};

// A handle that the producer is about to let go of, with everything booked
// below it and their Java tokens, as they are before the producer is asked.
// commit() retires exactly those once the producer has let go: from that
// moment the producer may hand out the same value for a new object, to
// another thread, and that object's books and token are its own. Until then
// the handle keeps its token, so that a buffer delivered meanwhile, or a
// refused close, changes nothing.
class Retirement {
 public:
  Retirement(ProducerFunctions& p, void* handle);
  void commit();

 private:
  ProducerFunctions& p_;
  std::vector<std::pair<void*, int32_t>> tokens_;  // noted with the books, so first
  Books::Retirement books_;
};

// The process's current producer (the one of the low-level family), or null.
std::shared_ptr<ProducerFunctions> currentProducer();

// Loads the file, resolves the 57 functions (one standard-error line per
// missing one), makes it the current producer and returns the code of the
// producer's GCInitLib. Throws LoadLibraryException "Failed to load CTI file"
// when the file cannot be loaded; the current producer then stays as it was.
int32_t GCInitLib(std::string path);
// Closes the current producer (see ProducerFunctions::close).
int32_t GCCloseLib();
bool GCLibIsInited();

// A load of its own, beside any other: a file that can't be loaded, lacks
// GCInitLib or whose GCInitLib fails leaves nothing loaded, and the exception
// names the file and the reason. The same file (by its real path) opened
// again gives the same load, counted: a file's global state exists once.
// Each open is undone by one releaseProducer. The result is strict and never
// the current producer of the low-level family.
std::shared_ptr<ProducerFunctions> openProducer(const std::string& path);
// Undoes one openProducer; the last one closes the load.
void releaseProducer(const std::shared_ptr<ProducerFunctions>& p);
// Closes `p` (see ProducerFunctions::close), which stops being current.
int32_t closeProducer(const std::shared_ptr<ProducerFunctions>& p);

// How long closing waits for calls inside the producer before it gives up
// releasing the file.
constexpr std::chrono::milliseconds kCloseBound{5000};

// Routes the calls of this thread, while it lives, to `p` instead of the
// current producer (null: to no producer at all). The object trees use it so
// that their calls reach the load they came from.
class ProducerScope {
 public:
  explicit ProducerScope(std::shared_ptr<ProducerFunctions> p);
  ~ProducerScope();
  ProducerScope(const ProducerScope&) = delete;
  ProducerScope& operator=(const ProducerScope&) = delete;

 private:
  std::shared_ptr<ProducerFunctions> producer_;
  const std::shared_ptr<ProducerFunctions>* previous_;
};

// The producer that calls of this thread go to now (bound or current).
std::shared_ptr<ProducerFunctions> producerInScope();
// True when this thread's calls go to a strict load.
bool strictInScope();

struct ThreadCalls;

// One call into the producer: keeps its load from being released while it
// lives. The common case costs no atomic read-modify-write and no reference
// count: the call names the record in a slot of its own thread, which a
// close reads after a heavy fence (Platform::heavyFence), and the record
// stays alive through the thread's own copy of it (its scope or its copy of
// the current producer, which is not replaced while a call of the thread is
// inside). A call that overlaps another of the same thread into a different
// load is counted in that load instead, holding it.
class ProducerCall {
 public:
  explicit ProducerCall(const char* name);
  ~ProducerCall();
  ProducerCall(ProducerCall&& other) noexcept
      : producer_(std::exchange(other.producer_, nullptr)),
        thread_(other.thread_),
        counted_(std::move(other.counted_)) {}
  ProducerCall(const ProducerCall&) = delete;
  ProducerCall& operator=(const ProducerCall&) = delete;

  ProducerFunctions& producer() const { return *producer_; }

 private:
  ProducerFunctions* producer_;
  ThreadCalls* thread_ = nullptr;
  std::shared_ptr<ProducerFunctions> counted_;
};

// An entry point together with the call that keeps its load inside; as a
// temporary it lives to the end of the full expression that calls it.
template <typename Fn>
class Entry {
 public:
  Entry(ProducerCall call, Fn fn) : call_(std::move(call)), fn_(fn) {}

  template <typename... Args>
  auto operator()(Args&&... args) const {
    return fn_(std::forward<Args>(args)...);
  }
  ProducerFunctions& producer() const { return call_.producer(); }

 private:
  ProducerCall call_;
  Fn fn_;
};

// Reports an empty entry instead of calling through it.
[[noreturn]] void throwMissingEntry(const char* name);

template <typename Fn>
Entry<Fn> enterProducer(Fn ProducerEntries::*member, const char* name) {
  ProducerCall call(name);
  Fn fn = call.producer().entries.*member;
  if (fn == nullptr) throwMissingEntry(name);
  return Entry<Fn>(std::move(call), fn);
}

}  // namespace Grabkit

// The producer's function `name`, or the exception that says why it can't be
// called: GRABKIT_PRODUCER(TLOpen)(&handle).
#define GRABKIT_PRODUCER(name) ::Grabkit::enterProducer(&::Grabkit::ProducerEntries::name, #name)

#endif
