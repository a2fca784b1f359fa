// The rules that every opened module shares: the strong link to its parent,
// the closed flag, the closed state inherited from the ancestors, the validity
// test that walks up the tree, the guarded handle, the producer close and the
// trace lines of construction and destruction.
//
// A module class derives from Module<Self, Parent> and supplies its own words:
//   kName            "Device": trace lines "Device()" and "~Device()"
//   closeInProducer  the call layer's close ("DevClose()" trace, then DevClose)
//   kAncestorClosed  ClosedException text when an ancestor is closed
//   kHandleClosed    ClosedException text of getHandle() on the closed module
#ifndef GRABKIT_MODEL_MODULE_H
#define GRABKIT_MODEL_MODULE_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <type_traits>

#include "../diag/Trace.h"
#include "../producer/CallLayer.h"
#include "../producer/Errors.h"
#include "../producer/Producer.h"

namespace Grabkit {

class GenTLProducer;

template <class Self, class Parent>
class Module : public std::enable_shared_from_this<Self> {
 public:
  using Handle = void*;

  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Closed itself, or below a closed module, or the producer is gone.
  bool isClosed() const { return closed_.load() || parent_->isClosed(); }

  // True when open; false when only this module is closed; ClosedException
  // naming the nearest closed level when an ancestor is closed.
  bool checkValid() const {
    if (!parentOpen()) throw ClosedException(Self::kAncestorClosed);
    return !closed_.load();
  }

  Handle getHandle() const {
    if (!checkValid()) throw ClosedException(Self::kHandleClosed);
    return handle_;
  }

  // Closes this module only; its descendants then count as closed and never
  // call their own close. A failing producer close is not reported. Of two
  // threads closing at once, one closes; the other finds it closed. Calls on
  // this module or below it that began before wait to finish first, so the
  // producer never sees a handle closed under a call that still uses it.
  void close() {
    if (isClosed()) return;
    if (closed_.exchange(true)) return;
    awaitCalls();
    ProducerScope scope(callTarget());
    try {
      Self::closeInProducer(handle_);
    } catch (...) {
      closed_.store(false);
      throw;
    }
  }

  const std::shared_ptr<Parent>& parent() const { return parent_; }

  // The load that this tree's calls go to.
  std::shared_ptr<ProducerFunctions> callTarget() const { return parent_->callTarget(); }

  // A call on this module or below it begins or ends. A call counts itself
  // in before it tests whether anything is closed, and a close marks itself
  // closed before it counts, so one of them always sees the other.
  void enterCall() const {
    active_.fetch_add(1);
    parent_->enterCall();
  }
  void leaveCall() const {
    parent_->leaveCall();
    if (active_.fetch_sub(1) == 1) {
      std::lock_guard<std::mutex> lock(activeMutex_);
      idle_.notify_all();
    }
  }

 protected:
  Module(std::shared_ptr<Parent> parent, Handle handle)
      : parent_(std::move(parent)), handle_(handle) {
    trace("%s()", Self::kName);
  }

  // The parent link is released after this body, so the tree goes from the
  // leaves up.
  ~Module() {
    trace("~%s()", Self::kName);
    try {
      close();
    } catch (const std::exception& e) {
      // Only a producer that lacks the close function gets here; a destructor
      // must not end the process for it.
      std::cerr << "Grabkit: closing a " << Self::kName << " failed: " << e.what() << std::endl;
    }
  }

 private:
  // The transport layer asks whether its producer is closed; the levels below
  // it ask their parent's full validity test, so the message names the
  // closed level nearest to the root.
  bool parentOpen() const {
    if constexpr (std::is_same_v<Parent, GenTLProducer>) {
      return !parent_->isClosed();
    } else {
      return parent_->checkValid();
    }
  }

  void awaitCalls() const {
    std::unique_lock<std::mutex> lock(activeMutex_);
    if (!idle_.wait_for(lock, kCloseBound, [&] { return active_.load() == 0; })) {
      // A call that never returns must not keep the module open for good.
      std::cerr << "Grabkit: closing a " << Self::kName << " while " << active_.load()
                << " call(s) still use it" << std::endl;
    }
  }

  std::shared_ptr<Parent> parent_;
  Handle handle_;
  std::atomic<bool> closed_{false};
  mutable std::atomic<int> active_{0};
  mutable std::mutex activeMutex_;
  mutable std::condition_variable idle_;
};

}  // namespace Grabkit

#endif
