// What the producer opened on what, with what the library, the isolation shim
// or its helper keeps for each object (announced or mapped buffer memory). The producer closes an
// object together with everything opened on it, so a close lets go of those records too; and it may
// hand out a closed object's handle value again at once, to another thread, so a close notes which
// records it will let go before the producer is asked, and lets go of exactly those once the
// producer has closed: records booked at the same values meanwhile belong to new objects.
#ifndef GRABKIT_PRODUCER_LINEAGE_H
#define GRABKIT_PRODUCER_LINEAGE_H

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace Grabkit {

// Not locked itself: its owner's mutex guards it. Records taken out are let go
// by destroying them, which the owner does after unlocking (an munmap, say).
template <typename Record>
class Lineage {
 public:
  struct Entry {
    void* parent = nullptr;  // null for a system
    Record record{};
    uint64_t serial = 0;  // tells a new object at a value from an old one
  };
  struct Node {
    void* handle = nullptr;
    Entry entry;
  };
  // Parents before their children.
  using Taken = std::vector<Node>;
  // Booked objects by value and serial, as a close saw them.
  using Noted = std::vector<std::pair<void*, uint64_t>>;

  // Books `handle`, just opened on `parent`. What was still booked at that
  // value was closed without us seeing it; it comes back, with everything
  // below it, to be let go.
  Taken open(void* handle, void* parent, Record record) {
    Taken stale = take(handle);
    entries_.emplace(handle, Entry{parent, std::move(record), ++lastSerial_});
    return stale;
  }

  Entry* find(void* handle) {
    auto found = entries_.find(handle);
    return found == entries_.end() ? nullptr : &found->second;
  }
  const Entry* find(void* handle) const { return const_cast<Lineage*>(this)->find(handle); }

  // `handle` and everything booked below it, out of the books. Children of a
  // handle that is not booked itself (opened while its parent was closing)
  // are taken too.
  Taken take(void* handle) { return takeNoted(note(handle)); }

  // `handle` and everything booked below it, left in the books.
  Noted note(void* handle) { return noteFrom({handle}); }

  // The children of `parent` that `pick(const Entry&)` chooses, with
  // everything below them.
  template <typename Pick>
  Noted noteChildren(void* parent, Pick pick) {
    std::vector<void*> roots;
    for (const auto& [h, e] : entries_) {
      if (e.parent == parent && pick(e)) roots.push_back(h);
    }
    return noteFrom(std::move(roots));
  }

  // What is still booked as it was noted, out of the books.
  Taken takeNoted(const Noted& noted) {
    Taken taken;
    for (const auto& [h, serial] : noted) {
      auto found = entries_.find(h);
      if (found == entries_.end() || found->second.serial != serial) continue;
      taken.push_back(Node{h, std::move(found->second)});
      entries_.erase(found);
    }
    return taken;
  }

  Taken takeAll() {
    Taken all;
    for (auto& [h, e] : entries_) all.push_back(Node{h, std::move(e)});
    entries_.clear();
    return all;
  }

  template <typename Visit>
  void forEachChild(void* parent, Visit visit) {
    for (auto& [h, e] : entries_) {
      if (e.parent == parent) visit(h, e);
    }
  }

  size_t size() const { return entries_.size(); }

  // A close in flight: notes the records of `handle` and below now, and lets
  // go of them in commit(), once the producer has closed. Until then they
  // stay, so that a frame delivered meanwhile, or a refused close, finds them.
  class Retirement {
   public:
    Retirement(std::mutex& mutex, Lineage& books, void* handle)
        : Retirement(mutex, books, [handle](Lineage& b) { return b.note(handle); }) {}
    // `note(books)` chooses what a commit lets go of, under the lock.
    template <typename Note>
    Retirement(std::mutex& mutex, Lineage& books, Note note) : mutex_(mutex), books_(books) {
      std::lock_guard<std::mutex> lock(mutex_);
      noted_ = note(books_);
    }

    // Out of the books; the caller lets them go (unmaps) outside the lock.
    Taken commit() {
      std::lock_guard<std::mutex> lock(mutex_);
      return books_.takeNoted(noted_);
    }

   private:
    std::mutex& mutex_;
    Lineage& books_;
    Noted noted_;
  };

 private:
  Noted noteFrom(std::vector<void*> queue) {
    Noted noted;
    // Breadth first. An open takes whatever was booked below its value, so
    // only an object that a producer gave its parent's value names itself.
    for (size_t i = 0; i < queue.size(); ++i) {
      void* h = queue[i];
      auto found = entries_.find(h);
      if (found != entries_.end()) noted.emplace_back(h, found->second.serial);
      for (const auto& [child, e] : entries_) {
        if (e.parent == h && child != h) queue.push_back(child);
      }
    }
    return noted;
  }

  std::map<void*, Entry> entries_;
  uint64_t lastSerial_ = 0;
};

}  // namespace Grabkit

#endif
