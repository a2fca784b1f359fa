#include "Producer.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

#include "../diag/Trace.h"
#include "../jni/Handles.h"
#include "../platform/Platform.h"

namespace Grabkit {

namespace {
std::mutex currentMutex;
// The records below are never destroyed: one released at exit would close its
// announcements from a thread the JVM no longer knows.
std::shared_ptr<ProducerFunctions>& current = *new std::shared_ptr<ProducerFunctions>;
// Bumped under currentMutex whenever `current` changes, so that each thread
// keeps its own copy and takes the mutex only after a change.
std::atomic<uint64_t> currentGeneration{1};

void setCurrent(std::shared_ptr<ProducerFunctions> p) {
  current = std::move(p);
  currentGeneration.fetch_add(1);
}
// A load that a later GCInitLib replaced while it was inited is never
// released: its module stays mapped for whatever still runs in it.
std::vector<std::shared_ptr<ProducerFunctions>>& superseded =
    *new std::vector<std::shared_ptr<ProducerFunctions>>;

// Every thread that has called a producer, for a close to read their slots.
// Never destroyed: threads may end after the library's statics are gone.
struct ThreadList {
  std::mutex mutex;
  ThreadCalls* first = nullptr;
};
ThreadList& threads() {
  static ThreadList* list = new ThreadList;
  return *list;
}
}  // namespace

// What the producer calls of one thread share. Records are never freed: a
// thread that ends gives its record back for a later thread, so the list only
// grows to the most threads that ever called at once.
struct ThreadCalls {
  // The current producer as of `generation`.
  ProducerFunctions* currentNow() {
    // A call of this thread that is inside holds its load through this copy:
    // the copy changes only between calls.
    if (depth == 0 && generation != currentGeneration.load(std::memory_order_acquire)) {
      std::lock_guard<std::mutex> lock(currentMutex);
      copy = current;
      generation = currentGeneration.load();
    }
    return copy.get();
  }

  // The producer of the innermost ProducerScope, null without one.
  const std::shared_ptr<ProducerFunctions>* scoped = nullptr;
  uint64_t generation = 0;
  std::shared_ptr<ProducerFunctions> copy;
  // The load this thread's calls are inside, and how many of them.
  std::atomic<ProducerFunctions*> inside{nullptr};
  int depth = 0;
  // Guarded by the list's mutex.
  bool taken = false;
  ThreadCalls* next = nullptr;
};

namespace {
// The thread's record, taken at its first call. The pointer is what every call
// reads: a plain thread-local needs no check that it was constructed, as the
// record itself would.
thread_local ThreadCalls* threadRecord = nullptr;

void threadEnded(void* value) {
  auto* record = static_cast<ThreadCalls*>(value);
  threadRecord = nullptr;
  std::shared_ptr<ProducerFunctions> copy;  // released outside the lock
  std::lock_guard<std::mutex> lock(threads().mutex);
  copy = std::move(record->copy);
  record->generation = 0;
  record->scoped = nullptr;
  record->depth = 0;
  record->taken = false;
}

ThreadCalls& firstCallOfThread() {
  ThreadCalls* record = nullptr;
  {
    std::lock_guard<std::mutex> lock(threads().mutex);
    for (ThreadCalls* t = threads().first; t != nullptr && record == nullptr; t = t->next) {
      if (!t->taken) record = t;
    }
    if (record == nullptr) {
      record = new ThreadCalls;
      record->next = threads().first;
      threads().first = record;
    }
    record->taken = true;
  }
  threadRecord = record;
  Platform::setThreadExitValue(threadEnded, record);
  return *record;
}

inline ThreadCalls& thisThread() {
  ThreadCalls* t = threadRecord;
  return t != nullptr ? *t : firstCallOfThread();
}

// One standard-error line per missing function, in resolution order.
void resolve(ProducerFunctions& p) {
#define GRABKIT_RESOLVE(name, params)                                                \
  p.entries.name = reinterpret_cast<P##name>(Platform::findSymbol(p.module, #name)); \
  if (p.entries.name == nullptr) {                                                   \
    std::cerr << "GenTL producer does not implement " #name << std::endl;            \
  }
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_RESOLVE)
#undef GRABKIT_RESOLVE
}

// Takes `p` out of the current slot if it is there; closing it is the
// caller's.
void retire(const std::shared_ptr<ProducerFunctions>& p) {
  std::lock_guard<std::mutex> lock(currentMutex);
  if (current == p) setCurrent(nullptr);
}

// The producer's own text of its last error, for a load that failed.
std::string lastErrorText(const ProducerFunctions& p) {
  if (p.entries.GCGetLastError == nullptr) return "";
  char text[1024] = {};
  size_t size = sizeof(text);
  GC_ERROR code = GC_ERR_SUCCESS;
  if (p.entries.GCGetLastError(&code, text, &size) != GC_ERR_SUCCESS) return "";
  return std::string(text, strnlen(text, sizeof(text) - 1));
}
}  // namespace

ProducerFunctions::~ProducerFunctions() = default;

bool ProducerFunctions::inited() const {
  return inited_.load();
}

bool ProducerFunctions::enter() {
  inside_.fetch_add(1);
  if (!closing_.load()) return true;
  leave();
  return false;
}

int ProducerFunctions::callsInside() const {
  int n = inside_.load();
  std::lock_guard<std::mutex> lock(threads().mutex);
  for (const ThreadCalls* t = threads().first; t != nullptr; t = t->next) {
    if (t->inside.load(std::memory_order_acquire) == this) ++n;
  }
  return n;
}

void ProducerFunctions::leave() {
  inside_.fetch_sub(1);
  if (closing_.load()) leftWhileClosing();
}

void ProducerFunctions::leftWhileClosing() {
  // Only a close that stopped waiting leaves anything to the calls: the last
  // one out releases the file. Otherwise a call leaves without a lock, and the
  // close, which looks again and again, sees it gone.
  if (!unmapWhenIdle_.load()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!unmapWhenIdle_.load() || callsInside() != 0) return;
    unmapWhenIdle_ = false;
  }
  try {
    unmap();
  } catch (const std::exception& e) {
    // The last call out of a closed producer has nobody to report to.
    std::cerr << "Grabkit: " << e.what() << std::endl;
  }
}

void ProducerFunctions::waiting(EVENT_HANDLE event, int delta) {
  std::lock_guard<std::mutex> lock(mutex_);
  int& n = waiters_[event];
  n += delta;
  if (n <= 0) waiters_.erase(event);
}

void ProducerFunctions::opened(void* handle, void* parent) {
  Retirement(*this, handle).commit();
  std::lock_guard<std::mutex> lock(mutex_);
  books_.open(handle, parent, {});
}

void ProducerFunctions::recordAnnouncement(BUFFER_HANDLE buffer, Announcement a) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Books::Entry* e = books_.find(buffer)) e->record = Booked{true, std::move(a)};
}

bool ProducerFunctions::findAnnouncement(BUFFER_HANDLE buffer, Announcement& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Books::Entry* e = books_.find(buffer);
  if (e == nullptr || !e->record.announced) return false;
  out = e->record.announcement;
  return true;
}

Retirement::Retirement(ProducerFunctions& p, void* handle)
    : p_(p), books_(p.mutex_, p.books_, [&](Books& books) {
        Books::Noted noted = books.note(handle);
        tokens_.emplace_back(handle, Jni::javaTokenOf(&p, handle));
        for (const auto& n : noted) tokens_.emplace_back(n.first, Jni::javaTokenOf(&p, n.first));
        return noted;
      }) {}

void Retirement::commit() {
  Books::Taken gone = books_.commit();  // announced memory is let go after the lock
  for (const auto& [handle, token] : tokens_) Jni::retireJavaToken(&p_, handle, token);
}

int32_t ProducerFunctions::close(std::chrono::milliseconds bound) {
  std::vector<EVENT_HANDLE> events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return GC_ERR_NOT_INITIALIZED;
    closing_ = true;
    inited_ = false;
    for (const auto& w : waiters_) events.push_back(w.first);
    ++inside_;  // this close is a call of its own until the producer's close returned
  }
  // From here on every thread either sees `closing_` or shows its call in its
  // slot.
  Platform::heavyFence();
  // Waiters that the producer would keep until their time-out leave with an
  // abort instead.
  if (entries.EventKill != nullptr) {
    for (EVENT_HANDLE e : events) entries.EventKill(e);
  }
  // The calls inside leave without telling: look until they are gone or the
  // bound has passed.
  int stuck = 0;
  for (auto deadline = std::chrono::steady_clock::now() + bound;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stuck = callsInside() - 1;
    }
    if (stuck <= 0 || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  if (stuck > 0) {
    std::cerr << "Grabkit: " << stuck << " call(s) still inside the GenTL producer " << path
              << " after " << bound.count() << " ms; the file stays loaded until they return"
              << std::endl;
  }
  int32_t code = entries.GCCloseLib != nullptr ? entries.GCCloseLib() : GC_ERR_NOT_IMPLEMENTED;
  Books::Taken dropped;
  bool idle = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped = books_.takeAll();
    waiters_.clear();
    idle = callsInside() == 1;
    if (idle) {
      entries = ProducerEntries{};
    } else {
      unmapWhenIdle_ = true;
    }
  }
  Jni::releaseJavaHandles(this);
  if (!idle) {
    inside_.fetch_sub(1);
    // A call that leaves from here on either sees unmapWhenIdle_ or is seen
    // gone below, so that one of them releases the file.
    Platform::heavyFence();
    leftWhileClosing();
    return code;
  }
  inside_.fetch_sub(1);
  unmap();
  return code;
}

void ProducerFunctions::unmap() {
  void* m = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    m = module;
  }
  // A failed load over this one took its module handle.
  if (m == nullptr) return;
  if (!Platform::closeLibrary(m)) throw LoadLibraryException("Could not free library");
  std::lock_guard<std::mutex> lock(mutex_);
  module = nullptr;
}

std::shared_ptr<ProducerFunctions> currentProducer() {
  ThreadCalls& t = thisThread();
  t.currentNow();
  return t.copy;
}

int32_t GCInitLib(std::string path) {
  trace("GCInitLib()");
  void* module = Platform::openLibrary(path);
  if (module == nullptr) {
    std::shared_ptr<ProducerFunctions> p = currentProducer();
    if (p) {
      std::lock_guard<std::mutex> lock(p->mutex_);
      p->module = nullptr;
    }
    throw LoadLibraryException("Failed to load CTI file");
  }
  auto p = std::make_shared<ProducerFunctions>(path);
  p->module = module;
  resolve(*p);
  p->inited_ = true;
  {
    std::lock_guard<std::mutex> lock(currentMutex);
    if (current && current->inited()) superseded.push_back(current);
    setCurrent(p);
  }
  if (p->entries.GCInitLib == nullptr) throwMissingEntry("GCInitLib");
  if (!p->enter()) throw NotInitializedException("GenTL producer was closed during GCInitLib");
  int32_t code = p->entries.GCInitLib();
  p->leave();
  return code;
}

int32_t GCCloseLib() {
  trace("GCCloseLib()");
  std::shared_ptr<ProducerFunctions> p = currentProducer();
  if (!p || !p->inited()) {
    throw NotInitializedException("No GenTL producer is loaded, cannot call GCCloseLib");
  }
  retire(p);
  return p->close(kCloseBound);
}

bool GCLibIsInited() {
  // The thread's own copy holds the record: no reference to count.
  const ProducerFunctions* p = thisThread().currentNow();
  return p != nullptr && p->inited();
}

namespace {
// Strict loads by real path; guarded by currentMutex.
std::map<std::string, std::weak_ptr<ProducerFunctions>> strictLoads;
}  // namespace

struct ProducerLoader {
  static std::shared_ptr<ProducerFunctions> strict(const std::string& path,
                                                   const std::string& real);
};

std::shared_ptr<ProducerFunctions> ProducerLoader::strict(const std::string& path,
                                                          const std::string& real) {
  void* module = Platform::openLibrary(path);
  if (module == nullptr) {
    throw LoadLibraryException("Failed to load CTI file " + path + ": " +
                               Platform::loadError(path));
  }
  auto p = std::make_shared<ProducerFunctions>(path);
  p->module = module;
  p->strict = true;
  p->realPath = real;
  // Any shared library loads; only one with a GCInitLib is worth the lines
  // about the functions it lacks.
  if (Platform::findSymbol(module, "GCInitLib") == nullptr) {
    Platform::closeLibrary(module);
    throw LoadLibraryException("Failed to load CTI file " + path +
                               ": it has no GCInitLib, so it is no GenTL producer");
  }
  resolve(*p);
  int32_t code = p->entries.GCInitLib();
  if (code != GC_ERR_SUCCESS) {
    std::string text = lastErrorText(*p);
    p->closing_ = true;
    Platform::closeLibrary(module);
    p->module = nullptr;
    throw LoadLibraryException("GenTL producer " + path + " failed to initialise with code " +
                               std::to_string(code) + (text.empty() ? "" : ": " + text));
  }
  p->inited_ = true;
  return p;
}

std::shared_ptr<ProducerFunctions> openProducer(const std::string& path) {
  const std::string real = Platform::realPath(path);
  std::lock_guard<std::mutex> lock(currentMutex);
  if (current && current->inited() && current->path == path) {
    throw LoadLibraryException("GenTL producer " + path +
                               " is loaded through GCInitLib already; close it there first");
  }
  auto found = strictLoads.find(real);
  if (found != strictLoads.end()) {
    std::shared_ptr<ProducerFunctions> shared = found->second.lock();
    if (shared && shared->inited()) {
      ++shared->opens;
      return shared;
    }
  }
  // Loading under the lock keeps two threads from loading one file twice.
  std::shared_ptr<ProducerFunctions> p = ProducerLoader::strict(path, real);
  p->opens = 1;
  strictLoads[real] = p;
  return p;
}

void releaseProducer(const std::shared_ptr<ProducerFunctions>& p) {
  {
    std::lock_guard<std::mutex> lock(currentMutex);
    if (--p->opens > 0) return;
    auto found = strictLoads.find(p->realPath);
    if (found != strictLoads.end() && found->second.lock() == p) strictLoads.erase(found);
  }
  p->close(kCloseBound);
}

int32_t closeProducer(const std::shared_ptr<ProducerFunctions>& p) {
  retire(p);
  return p->close(kCloseBound);
}

ProducerScope::ProducerScope(std::shared_ptr<ProducerFunctions> p)
    : producer_(std::move(p)), previous_(thisThread().scoped) {
  threadRecord->scoped = &producer_;
}

ProducerScope::~ProducerScope() {
  threadRecord->scoped = previous_;
}

std::shared_ptr<ProducerFunctions> producerInScope() {
  const std::shared_ptr<ProducerFunctions>* scoped = thisThread().scoped;
  return scoped != nullptr ? *scoped : currentProducer();
}

bool strictInScope() {
  const std::shared_ptr<ProducerFunctions>* scoped = thisThread().scoped;
  return scoped != nullptr && *scoped && (*scoped)->strict;
}

ProducerCall::ProducerCall(const char* name) : producer_(nullptr) {
  ThreadCalls& t = thisThread();
  ProducerFunctions* p = t.scoped != nullptr ? t.scoped->get() : t.currentNow();
  if (p != nullptr) {
    if (t.depth == 0) {
      t.inside.store(p, std::memory_order_relaxed);
      Platform::lightFence();
      if (!p->closing_.load(std::memory_order_relaxed)) {
        t.depth = 1;
        producer_ = p;
        thread_ = &t;
        return;
      }
      t.inside.store(nullptr, std::memory_order_release);
      p->leftWhileClosing();
    } else if (t.inside.load(std::memory_order_relaxed) == p) {
      if (!p->closing_.load()) {
        ++t.depth;
        producer_ = p;
        thread_ = &t;
        return;
      }
    } else {
      std::shared_ptr<ProducerFunctions> held = t.scoped != nullptr ? *t.scoped : t.copy;
      if (held->enter()) {
        producer_ = p;
        counted_ = std::move(held);
        return;
      }
    }
  }
  throw NotInitializedException(std::string("No GenTL producer is loaded, cannot call ") + name);
}

ProducerCall::~ProducerCall() {
  if (producer_ == nullptr) return;
  if (counted_) {
    producer_->leave();
    return;
  }
  if (--thread_->depth > 0) return;
  thread_->inside.store(nullptr, std::memory_order_release);
  Platform::lightFence();
  if (producer_->closing_.load(std::memory_order_relaxed)) producer_->leftWhileClosing();
}

void throwMissingEntry(const char* name) {
  throw NotImplementedException(std::string("GenTL producer does not implement ") + name);
}

}  // namespace Grabkit
