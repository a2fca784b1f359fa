// What the producer opened on what, with what the shim or the helper keeps for
// each object (mapped buffer memory, mostly). The producer closes an object
// together with everything opened on it, so a close lets go of those records
// too; and it may hand out a closed object's handle value again at once, to
// another thread, so a close takes its records out before the producer is
// asked, and gives them back only when the producer refuses.
#ifndef GRABKIT_ISOLATION_LINEAGE_H
#define GRABKIT_ISOLATION_LINEAGE_H

#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace Grabkit::Isolation {

// Not locked itself: its owner's mutex guards it. Records taken out are let go
// by destroying them, which the owner does after unlocking (an munmap, say).
template <typename Record>
class Lineage {
 public:
  struct Entry {
    void* parent = nullptr;  // null for a system
    Record record{};
  };
  struct Node {
    void* handle = nullptr;
    Entry entry;
  };
  // Parents before their children.
  using Taken = std::vector<Node>;

  // Books `handle`, just opened on `parent`. What was still booked at that
  // value was closed without us seeing it; it comes back, with everything
  // below it, to be let go.
  Taken open(void* handle, void* parent, Record record) {
    Taken stale = take(handle);
    entries_.emplace(handle, Entry{parent, std::move(record)});
    return stale;
  }

  Entry* find(void* handle) {
    auto found = entries_.find(handle);
    return found == entries_.end() ? nullptr : &found->second;
  }

  // `handle` and everything booked below it, out of the books. Children of a
  // handle that is not booked itself (opened while its parent was closing)
  // are taken too.
  Taken take(void* handle) { return takeFrom({handle}); }

  // The children of `parent` that `pick(const Entry&)` chooses, with
  // everything below them.
  template <typename Pick>
  Taken takeChildren(void* parent, Pick pick) {
    std::vector<void*> roots;
    for (const auto& [h, e] : entries_) {
      if (e.parent == parent && pick(e)) roots.push_back(h);
    }
    return takeFrom(std::move(roots));
  }

  Taken takeAll() {
    Taken all;
    for (auto& [h, e] : entries_) all.push_back(Node{h, std::move(e)});
    entries_.clear();
    return all;
  }

  // Books again what a refused close took out. A value booked meanwhile
  // belongs to a new object, which wins: what stood there before is returned,
  // to be let go.
  Taken restore(Taken taken) {
    Taken leftovers;
    for (Node& n : taken) {
      if (entries_.count(n.handle) != 0) {
        leftovers.push_back(std::move(n));
      } else {
        entries_.emplace(n.handle, std::move(n.entry));
      }
    }
    return leftovers;
  }

  template <typename Visit>
  void forEachChild(void* parent, Visit visit) {
    for (auto& [h, e] : entries_) {
      if (e.parent == parent) visit(h, e);
    }
  }

  size_t size() const { return entries_.size(); }

 private:
  Taken takeFrom(std::vector<void*> queue) {
    Taken taken;
    // Breadth first; each object leaves the books before its children are
    // looked for, so even a cycle in stale records ends.
    for (size_t i = 0; i < queue.size(); ++i) {
      void* h = queue[i];
      if (auto node = entries_.extract(h)) taken.push_back(Node{h, std::move(node.mapped())});
      for (const auto& [child, e] : entries_) {
        if (e.parent == h) queue.push_back(child);
      }
    }
    return taken;
  }

  std::map<void*, Entry> entries_;
};

// A close in flight: the records of `handle` and below leave the books now;
// commit() lets them go once the producer has closed, and otherwise they go
// back when this ends.
template <typename Record>
class Retirement {
 public:
  using Books = Lineage<Record>;

  Retirement(std::mutex& mutex, Books& books, void* handle)
      : Retirement(mutex, books, [handle](Books& b) { return b.take(handle); }) {}
  // `take(books)` chooses what leaves, under the lock.
  template <typename Take>
  Retirement(std::mutex& mutex, Books& books, Take take) : mutex_(mutex), books_(books) {
    std::lock_guard<std::mutex> lock(mutex_);
    taken_ = take(books_);
  }
  ~Retirement() {
    if (taken_.empty()) return;
    typename Books::Taken leftovers;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      leftovers = books_.restore(std::move(taken_));
    }
    taken_.clear();
  }
  Retirement(const Retirement&) = delete;
  Retirement& operator=(const Retirement&) = delete;

  const typename Books::Taken& taken() const { return taken_; }
  void commit() {
    typename Books::Taken gone = std::move(taken_);
    taken_.clear();
  }

 private:
  std::mutex& mutex_;
  Books& books_;
  typename Books::Taken taken_;
};

}  // namespace Grabkit::Isolation

#endif
