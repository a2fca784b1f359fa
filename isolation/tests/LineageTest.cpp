#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Lineage.h"
#include "gtest/gtest.h"

using namespace Grabkit;

namespace {
std::mutex booksMutex;
std::vector<int> released;

// A record that says when it is let go, and checks that the books' lock is free then.
struct Tracked {
  int id = 0;
  bool newBufferEvent = false;

  Tracked() = default;
  explicit Tracked(int id, bool event = false) : id(id), newBufferEvent(event) {}
  Tracked(Tracked&& o) noexcept : id(std::exchange(o.id, 0)), newBufferEvent(o.newBufferEvent) {}
  Tracked& operator=(Tracked&& o) noexcept {
    release();
    id = std::exchange(o.id, 0);
    newBufferEvent = o.newBufferEvent;
    return *this;
  }
  ~Tracked() { release(); }

  void release() {
    if (id == 0) return;
    bool free = false;
    std::thread([&] {
      free = booksMutex.try_lock();
      if (free) booksMutex.unlock();
    }).join();
    EXPECT_TRUE(free) << "record " << id << " let go under the lock";
    released.push_back(id);
    id = 0;
  }
};
using Books = Lineage<Tracked>;

void* h(int n) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(0x1000 + n));
}

// System 1; interface 2 on it; devices 3 and 7 on that; stream 4 on 3 with
// buffers 5 and 6 and new-buffer event 9; stream 8 on 7 with buffer 10.
// A record's id is its handle's number.
const std::vector<std::pair<int, int>> kTree = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4},
                                                {6, 4}, {7, 2}, {8, 7}, {9, 4}, {10, 8}};

void build(Books& books) {
  for (auto [n, parent] : kTree) {
    Books::Taken stale = books.open(h(n), parent == 0 ? nullptr : h(parent), Tracked(n, n == 9));
    EXPECT_TRUE(stale.empty());
  }
}

std::set<int> booked(Books& books) {
  std::set<int> ids;
  for (auto [n, parent] : kTree) {
    if (Books::Entry* e = books.find(h(n))) ids.insert(e->record.id);
  }
  return ids;
}

std::set<int> all() {
  std::set<int> ids;
  for (auto [n, parent] : kTree) ids.insert(n);
  return ids;
}

std::set<int> minus(std::set<int> a, const std::set<int>& b) {
  for (int x : b) a.erase(x);
  return a;
}
}  // namespace

// A close lets go of the object and of everything opened below it, nothing
// else; a refused close keeps every record as it was.
TEST(Lineage, ACloseDropsItsSubtreeAndARefusedOneDropsNothing) {
  struct Case {
    const char* what;
    int closed;
    std::set<int> dropped;
  };
  const Case cases[] = {
      {"system", 1, all()},
      {"interface", 2, minus(all(), {1})},
      {"device", 3, {3, 4, 5, 6, 9}},
      {"stream", 4, {4, 5, 6, 9}},
      {"buffer", 5, {5}},
      {"never booked", 99, {}},
  };
  for (const Case& c : cases) {
    for (bool producerCloses : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (producerCloses ? " closed" : " refused"));
      Books books;
      build(books);
      released.clear();
      {
        Books::Retirement closing(booksMutex, books, h(c.closed));
        EXPECT_EQ(all(), booked(books)) << "left in place while the producer decides";
        EXPECT_TRUE(released.empty());
        if (producerCloses) closing.commit();
      }
      std::set<int> gone(released.begin(), released.end());
      EXPECT_EQ(producerCloses ? c.dropped : std::set<int>{}, gone);
      EXPECT_EQ(producerCloses ? minus(all(), c.dropped) : all(), booked(books));
      if (!producerCloses) {
        for (auto [n, parent] : kTree) {
          EXPECT_EQ(parent == 0 ? nullptr : h(parent), books.find(h(n))->parent) << n;
        }
      }
    }
  }
}

// The producer may give a closed object's value to a new object at once, on
// another thread, while the close is still on its way back.
TEST(Lineage, AValueReusedWhileACloseIsInFlightKeepsTheNewObjectsRecords) {
  for (bool producerCloses : {true, false}) {
    SCOPED_TRACE(producerCloses ? "closed" : "refused");
    Books books;
    build(books);
    released.clear();
    {
      Books::Retirement closing(booksMutex, books, h(3));
      // Stream 4's value comes back as a stream on device 7, with buffer 5's
      // value: the old stream is gone, with everything on it.
      EXPECT_EQ(4u, books.open(h(4), h(7), Tracked(40)).size());
      EXPECT_TRUE(books.open(h(5), h(4), Tracked(50)).empty());
      if (producerCloses) closing.commit();
    }
    ASSERT_NE(nullptr, books.find(h(4)));
    EXPECT_EQ(40, books.find(h(4))->record.id);
    EXPECT_EQ(h(7), books.find(h(4))->parent);
    EXPECT_EQ(50, books.find(h(5))->record.id);
    std::set<int> gone(released.begin(), released.end());
    EXPECT_EQ(producerCloses ? std::set<int>({3, 4, 5, 6, 9}) : std::set<int>({4, 5, 6, 9}), gone);
    EXPECT_EQ(!producerCloses, books.find(h(3)) != nullptr);
  }
}

// An open that returns a value still booked: the object there was closed
// without us seeing it, and its records go with everything below it.
TEST(Lineage, AStaleSubtreeIsDroppedWhenItsValueIsOpenedAgain) {
  Books books;
  build(books);
  Books::Taken stale = books.open(h(3), h(2), Tracked(30));
  std::set<int> ids;
  for (const Books::Node& n : stale) ids.insert(n.entry.record.id);
  EXPECT_EQ(std::set<int>({3, 4, 5, 6, 9}), ids);
  EXPECT_EQ(h(3), stale.front().handle) << "parents first";
  EXPECT_EQ(30, books.find(h(3))->record.id);
  EXPECT_EQ(nullptr, books.find(h(4)));
  EXPECT_EQ(6u, books.size());
}

TEST(Lineage, ChosenChildrenLeaveAlone) {
  Books books;
  build(books);
  Books::Taken events = books.takeNoted(
      books.noteChildren(h(4), [](const Books::Entry& e) { return e.record.newBufferEvent; }));
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(h(9), events[0].handle);
  EXPECT_NE(nullptr, books.find(h(5)));
}
