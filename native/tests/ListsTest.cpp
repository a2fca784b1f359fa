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
TEST(Lists, CapacityIsExactlyWhatWasAskedAndNeverShrinks) {
  int64_t h = newList<StringList>(3);
  {
    auto v = list<StringList>(h);
    EXPECT_EQ(v->size(), 3u);
    EXPECT_EQ(v->capacity(), 3u);
    EXPECT_EQ(element(*v, 2), "");
    reserve(*v, 10);
    reserve(*v, 2);
    v->clear();
    EXPECT_EQ(v->capacity(), 10u);
  }
  deleteList<StringList>(h);
  deleteList<StringList>(0);
}

TEST(Lists, NegativeJavaCountsAndIndicesOutsideAreRefused) {
  int64_t h = newList<ProbeList>(1);
  for (int64_t javaCount : {int64_t{-1}, INT64_MIN}) {
    EXPECT_THROW(reserve(*list<ProbeList>(h), static_cast<uint64_t>(javaCount)), std::length_error);
    EXPECT_THROW(newList<ProbeList>(static_cast<uint64_t>(javaCount)), std::length_error);
  }
  EXPECT_EQ(list<ProbeList>(h)->capacity(), 1u);
  deleteList<ProbeList>(h);
  StringList v{"a", "b"};
  for (int32_t i : {-1, 2, INT32_MIN, INT32_MAX}) EXPECT_THROW(element(v, i), IndexOutOfRange) << i;
  EXPECT_EQ(element(v, 1), "b");
}

// Values from Java that name nothing alive are refused, never followed.
TEST(Objects, ZeroStaleForeignAndUnissuedValuesAreRefused) {
  int destroyed = 0;
  int64_t holder = newHolder(std::make_shared<Probe>(&destroyed));
  int64_t l = newList<StringList>(0);
  EXPECT_THROW(getObject<Probe>(l), StaleObject);                        // another kind
  EXPECT_THROW(list<ProbeList>(l), StaleObject);                         // another kind of list
  EXPECT_THROW(list<StringList>(0), NullObject);                         // null
  EXPECT_THROW(getObject<Probe>(INT64_C(0x7fff00001234)), StaleObject);  // never issued
  deleteList<StringList>(l);
  deleteHolder<Probe>(holder);
  EXPECT_EQ(destroyed, 1);
  EXPECT_THROW(deleteHolder<Probe>(holder), StaleObject);  // twice
  EXPECT_THROW(list<StringList>(l), StaleObject);          // after delete
  int64_t reused = newHolder(std::make_shared<Probe>(&destroyed));
  EXPECT_NE(reused, holder);  // same slot, new generation
  EXPECT_THROW(getObject<Probe>(holder), StaleObject);
  deleteHolder<Probe>(reused);
}

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
