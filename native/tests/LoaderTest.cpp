#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TestProducer.h"
#include "diag/StdErrCapture.h"
#include "diag/Trace.h"
#include "producer/Producer.h"

// Inside the namespace, so that the names of the library win over the
// producer prototypes of the same names.
namespace Grabkit {
namespace {
class Loader : public ::testing::Test {
 protected:
  void TearDown() override {
    enableTracing(false);
    if (GCLibIsInited()) GCCloseLib();
  }
  TestProducer control;
};

bool noEntries(const ProducerFunctions& p) {
  bool none = true;
#define GRABKIT_CHECK_EMPTY(name, params) none = none && p.entries.name == nullptr;
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_CHECK_EMPTY)
#undef GRABKIT_CHECK_EMPTY
  return none;
}
}  // namespace

TEST_F(Loader, LoadsCallsInitAndCloseAndForgetsEverything) {
  control.setResult("GCInitLib", GC_ERR_ERROR);
  control.setResult("GCCloseLib", -10042);
  EXPECT_EQ(GCInitLib(GRABKIT_TEST_CTI), GC_ERR_ERROR);  // a failing init still loads
  EXPECT_TRUE(GCLibIsInited());
  std::shared_ptr<ProducerFunctions> loaded = currentProducer();
  EXPECT_NE(loaded->entries.DSGetBufferPartInfo, nullptr);
  EXPECT_EQ(GCCloseLib(), -10042);
  EXPECT_FALSE(GCLibIsInited());
  EXPECT_EQ(currentProducer(), nullptr);
  EXPECT_EQ(loaded->module, nullptr);
  EXPECT_TRUE(noEntries(*loaded));
  EXPECT_EQ(control.callLog(), "GCInitLib\nGCCloseLib\n");
}

TEST_F(Loader, UnloadableFileLeavesTheStateAlone) {
  ASSERT_EQ(GCInitLib(GRABKIT_TEST_CTI), GC_ERR_SUCCESS);
  std::shared_ptr<ProducerFunctions> loaded = currentProducer();
  PTLOpen before = loaded->entries.TLOpen;
  try {
    GCInitLib("/nonexistent/producer.cti");
    FAIL() << "no exception";
  } catch (const LoadLibraryException& e) {
    EXPECT_STREQ(e.what(), "Failed to load CTI file (ID: -10001)");
  }
  EXPECT_TRUE(GCLibIsInited());
  EXPECT_EQ(currentProducer(), loaded);
  EXPECT_EQ(loaded->entries.TLOpen, before);
  EXPECT_EQ(loaded->module, nullptr);  // the handle is stored even when null
}

TEST_F(Loader, MissingFunctionsAreReportedInResolutionOrderAfterTheTraceLine) {
  TestProducer partial(GRABKIT_TEST_PARTIAL_CTI);
  enableTracing(true);
  ASSERT_EQ(stdErrRedirectStart(), 0);
  GCInitLib(GRABKIT_TEST_PARTIAL_CTI);
  std::string err = stdErrRedirectStop();
  EXPECT_EQ(err,
            "GCInitLib()\n"
            "GenTL producer does not implement GCReadPortStacked\n"
            "GenTL producer does not implement DSGetBufferChunkData\n"
            "GenTL producer does not implement DSGetNumBufferParts\n"
            "GenTL producer does not implement DSGetBufferPartInfo\n");
  EXPECT_TRUE(GCLibIsInited());
  try {
    GRABKIT_PRODUCER(DSGetBufferPartInfo);
    FAIL() << "no exception";
  } catch (const NotImplementedException& e) {
    EXPECT_STREQ(e.what(), "GenTL producer does not implement DSGetBufferPartInfo (ID: -1003)");
  }
}

TEST_F(Loader, NothingLoadedIsNeverCalledThrough) {
  ASSERT_FALSE(GCLibIsInited());
  try {
    GRABKIT_PRODUCER(TLOpen);
    FAIL() << "no exception";
  } catch (const NotInitializedException& e) {
    EXPECT_STREQ(e.what(), "No GenTL producer is loaded, cannot call TLOpen (ID: -1002)");
  }
  EXPECT_THROW(GCCloseLib(), NotInitializedException);
}

// Calls come in without a lock, through a slot of their thread or counted:
// a close must still wait for every call that got in and let none in after
// it began.
class ProducerCalls : public ::testing::TestWithParam<bool> {};

TEST_P(ProducerCalls, ACloseWaitsForTheCallsInsideAndLetsNoneInAfter) {
  const bool counted = GetParam();
  auto p = std::make_shared<ProducerFunctions>("no file");
  std::atomic<int> inside{0};
  std::atomic<bool> closed{false};
  std::atomic<bool> stop{false};
  std::atomic<long> entered{0};
  std::atomic<long> enteredAfterClose{0};
  auto call = [&] {
    ++inside;
    ++entered;
    if (closed) ++enteredAfterClose;
    std::this_thread::yield();
    --inside;
  };
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&] {
      ProducerScope scope(p);
      while (!stop) {
        if (counted) {
          if (!p->enter()) continue;
          call();
          p->leave();
        } else {
          try {
            ProducerCall in("GCGetInfo");
            call();
          } catch (const NotInitializedException&) {
          }
        }
      }
    });
  }
  while (entered < 1000) std::this_thread::yield();
  EXPECT_EQ(p->close(std::chrono::seconds(5)), GC_ERR_NOT_IMPLEMENTED);
  EXPECT_EQ(inside.load(), 0);
  closed = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  stop = true;
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(enteredAfterClose.load(), 0);
  EXPECT_FALSE(p->enter());
}

INSTANTIATE_TEST_SUITE_P(ThroughSlotsAndCounted, ProducerCalls, ::testing::Bool());

}  // namespace Grabkit
