#include <gtest/gtest.h>

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

TEST(Lists, CapacityIsExactlyWhatWasAskedAndNeverShrinks) {
  int64_t h = newList<StringList>(3);
  StringList& v = list<StringList>(h);
  EXPECT_EQ(v.size(), 3u);
  EXPECT_EQ(v.capacity(), 3u);
  EXPECT_EQ(element(v, 2), "");
  reserve(v, 10);
  EXPECT_EQ(v.capacity(), 10u);
  reserve(v, 2);
  EXPECT_EQ(v.capacity(), 10u);
  v.clear();
  EXPECT_EQ(v.capacity(), 10u);
  deleteList<StringList>(h);
  deleteList<StringList>(0);
}

TEST(Lists, NegativeJavaCountsAreRefusedWithoutChange) {
  int64_t h = newList<ProbeList>(1);
  ProbeList& v = list<ProbeList>(h);
  for (int64_t javaCount : {int64_t{-1}, INT64_MIN}) {
    try {
      reserve(v, static_cast<uint64_t>(javaCount));
      FAIL();
    } catch (const std::length_error& e) {
      EXPECT_STREQ(e.what(), "vector<T> too long");
    }
    EXPECT_THROW(newList<ProbeList>(static_cast<uint64_t>(javaCount)), std::length_error);
  }
  EXPECT_EQ(v.capacity(), 1u);
  deleteList<ProbeList>(h);
}

TEST(Lists, IndicesOutsideTheListAreRefused) {
  StringList v{"a", "b"};
  for (int32_t i : {-1, 2, INT32_MIN, INT32_MAX}) {
    try {
      element(v, i);
      FAIL() << i;
    } catch (const IndexOutOfRange& e) {
      EXPECT_STREQ(e.what(), "vector index out of range");
    }
  }
  EXPECT_EQ(element(v, 1), "b");
}

TEST(Lists, EveryReadIsANewHolderOfTheSameObject) {
  int destroyed = 0;
  ProbeList v{std::make_shared<Probe>(&destroyed), nullptr};
  int64_t first = getElement(v, 0);
  int64_t second = getElement(v, 0);
  EXPECT_NE(first, second);
  EXPECT_EQ(object<Probe>(first), object<Probe>(second));
  deleteHolder<Probe>(first);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(object<Probe>(second)->destroyed, &destroyed);  // still usable
  deleteHolder<Probe>(second);
  EXPECT_EQ(getElement(v, 1), 0);  // an empty element makes no holder
  EXPECT_EQ(destroyed, 0);
}

TEST(Lists, OnlyHoldersCountAsLive) {
  int destroyed = 0;
  int64_t before = liveHolders.load();
  ProbeList v{std::make_shared<Probe>(&destroyed), nullptr};
  int64_t h = getElement(v, 0);
  EXPECT_EQ(getElement(v, 1), 0);
  int64_t l = newList<ProbeList>(3);
  EXPECT_EQ(liveHolders.load(), before + 1);
  deleteList<ProbeList>(l);
  deleteHolder<Probe>(0);
  deleteHolder<Probe>(h);
  EXPECT_EQ(liveHolders.load(), before);
}

TEST(Lists, ElementsLiveAsLongAsAListOrAHolderRefersToThem) {
  int destroyed = 0;
  int64_t h = newList<ProbeList>(0);
  int64_t held = newHolder(std::make_shared<Probe>(&destroyed));
  list<ProbeList>(h).push_back(shared<Probe>(held));
  list<ProbeList>(h).push_back(shared<Probe>(0));
  deleteHolder<Probe>(held);
  EXPECT_EQ(destroyed, 0);  // the list holds it

  int64_t other = newHolder(std::make_shared<Probe>(&destroyed));
  setElement(list<ProbeList>(h), 0, other);  // drops the list's only reference
  EXPECT_EQ(destroyed, 1);
  setElement(list<ProbeList>(h), 1, other);  // one object in two places
  deleteHolder<Probe>(other);
  list<ProbeList>(h).pop_back();
  EXPECT_EQ(destroyed, 1);
  deleteList<ProbeList>(h);  // the last reference goes with the list
  EXPECT_EQ(destroyed, 2);
}

}  // namespace
}  // namespace Grabkit::Jni
