#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "jni/Lists.h"

namespace Grabkit::Jni {
namespace {

// An element object that counts its destructions.
struct Probe {
  explicit Probe(int* destroyed) : destroyed(destroyed) {}
  ~Probe() { ++*destroyed; }
  int* destroyed;
};
using ProbeList = SharedList<Probe>;
}  // namespace

template <>
const char* kindName<Probe>() {
  return "Probe";
}
template <>
const char* kindName<Locked<ProbeList>>() {
  return "ProbeList";
}

namespace {
// Capacities, bad counts and indices, and values that name nothing are checked
// through JNI (the Java ListsTest and SafetyTest); here the lifetimes of the
// objects that lists and holders share.
TEST(Objects, EveryReadIsANewHolderAndOnlyHoldersCountAsLive) {
  int destroyed = 0;
  int64_t before = liveHolders.load();
  ProbeList v{std::make_shared<Probe>(&destroyed), nullptr};
  int64_t first = getElement(v, 0);
  int64_t second = getElement(v, 0);
  EXPECT_NE(first, second);
  EXPECT_EQ(getObject<Probe>(first), getObject<Probe>(second));
  EXPECT_EQ(getElement(v, 1), 0);  // an empty element makes no holder
  int64_t l = newList<ProbeList>(3);
  EXPECT_EQ(liveHolders.load(), before + 2);
  deleteList<ProbeList>(l);
  deleteHolder<Probe>(first);
  deleteHolder<Probe>(second);
  EXPECT_EQ(liveHolders.load(), before);
  EXPECT_EQ(destroyed, 0);
}

TEST(Objects, ElementsLiveAsLongAsAListOrAHolderRefersToThem) {
  int destroyed = 0;
  int64_t h = newList<ProbeList>(0);
  int64_t held = newHolder(std::make_shared<Probe>(&destroyed));
  list<ProbeList>(h)->push_back(shared<Probe>(held));
  list<ProbeList>(h)->push_back(shared<Probe>(0));
  deleteHolder<Probe>(held);
  EXPECT_EQ(destroyed, 0);  // the list holds it

  int64_t other = newHolder(std::make_shared<Probe>(&destroyed));
  setElement(*list<ProbeList>(h), 0, other);  // drops the list's only reference
  EXPECT_EQ(destroyed, 1);
  setElement(*list<ProbeList>(h), 1, other);  // one object in two places
  deleteHolder<Probe>(other);
  list<ProbeList>(h)->pop_back();
  EXPECT_EQ(destroyed, 1);
  deleteList<ProbeList>(h);  // the last reference goes with the list
  EXPECT_EQ(destroyed, 2);
}

// Threads that share a list, or race to delete what they share, neither tear
// it nor free anything twice.
TEST(Objects, ConcurrentUseAndDeleteAreSafe) {
  int64_t l = newList<StringList>(0);
  int destroyed = 0;
  int64_t holder = newHolder(std::make_shared<Probe>(&destroyed));
  std::atomic<int> deletes{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) list<StringList>(l)->push_back("x");
      try {
        deleteHolder<Probe>(holder);
        ++deletes;
      } catch (const StaleObject&) {
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(list<StringList>(l)->size(), 4000u);
  EXPECT_EQ(deletes.load(), 1);
  EXPECT_EQ(destroyed, 1);
  deleteList<StringList>(l);
}

}  // namespace
}  // namespace Grabkit::Jni
