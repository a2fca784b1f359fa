#include <gtest/gtest.h>

#include <functional>

#include "TestProducer.h"
#include "diag/StdErrCapture.h"
#include "diag/Trace.h"
#include "model/TransportLayer.h"

namespace Grabkit {
namespace {

class Model : public ::testing::Test {
 protected:
  void SetUp() override {
    enableTracing(true);
    ASSERT_EQ(stdErrRedirectStart(), 0);
  }
  void TearDown() override {
    traced();
    enableTracing(false);
    if (GCLibIsInited()) GCCloseLib();
  }
  // The trace lines since the last call.
  std::string traced() {
    std::string text = stdErrRedirectStop();
    stdErrRedirectStart();
    return text;
  }
  static std::string closedText(const std::function<void()>& f) {
    try {
      f();
    } catch (const ClosedException& e) {
      return e.what();
    }
    return "no ClosedException";
  }
  TestProducer control;
};

TEST_F(Model, OnlyOneProducerAtATimeAndInstanceNumbersGrow) {
  auto first = GenTLProducer::load(GRABKIT_TEST_CTI);
  int n = first->instanceNumber();
  EXPECT_EQ(traced(), "GenTLProducer(" + std::to_string(n) + ")\nGCInitLib()\n");
  try {
    GenTLProducer::load(GRABKIT_TEST_CTI);
    FAIL();
  } catch (const LoadLibraryException& e) {
    EXPECT_STREQ(e.what(),
                 "GenTL producer already loaded. Close the previous instance first. (ID: -10001)");
  }
  EXPECT_EQ(traced(), "");  // the refusal takes no instance number
  first->close();
  EXPECT_THROW(GenTLProducer::load("/no/such.cti"), LoadLibraryException);
  auto second = GenTLProducer::load(GRABKIT_TEST_CTI);
  EXPECT_EQ(second->instanceNumber(), n + 2);  // the failed load used one up
  EXPECT_TRUE(first->isClosed());
  EXPECT_FALSE(first->checkValid());
  EXPECT_TRUE(second->checkValid());
}

TEST_F(Model, ClosingAParentOrphansTheTreeWithoutProducerCalls) {
  auto producer = GenTLProducer::load(GRABKIT_TEST_CTI);
  auto tl = producer->openTransportLayer();
  EXPECT_EQ(traced(), "GenTLProducer(" + std::to_string(producer->instanceNumber()) +
                          ")\nGCInitLib()\nTLOpen()\nTransportLayer()\n");
  tl->close();
  tl->close();
  EXPECT_EQ(traced(), "TLClose()\n");
  EXPECT_FALSE(tl->checkValid());
  EXPECT_EQ(closedText([&] { tl->getHandle(); }),
            "TransportLayer is closed, cannot return handle (ID: -10002)");

  auto open = producer->openTransportLayer();
  producer->close();
  EXPECT_EQ(closedText([&] { open->checkValid(); }),
            "GenTL lib is closed, cannot access TransportLayer (ID: -10002)");
  EXPECT_EQ(closedText([&] { producer->checkValid(); }),
            "GenTL lib is closed, cannot access GenTLProducer (ID: -10002)");
  traced();
  open.reset();  // orphaned: destroyed without a producer call
  EXPECT_EQ(traced(), "~TransportLayer()\n");
}

TEST_F(Model, TheTreeIsDestroyedFromTheLeavesUp) {
  auto producer = GenTLProducer::load(GRABKIT_TEST_CTI);
  int n = producer->instanceNumber();
  auto tl = producer->openTransportLayer();
  producer.reset();  // the transport layer keeps it alive and loaded
  EXPECT_TRUE(GCLibIsInited());
  traced();
  tl.reset();
  EXPECT_EQ(traced(), "~TransportLayer()\nTLClose()\n~GenTLProducer(" + std::to_string(n) +
                          ")\nGCCloseLib()\n");
  EXPECT_FALSE(GCLibIsInited());
}

TEST_F(Model, TheTreeFollowsTheLibraryLive) {
  auto producer = GenTLProducer::load(GRABKIT_TEST_CTI);
  auto tl = producer->openTransportLayer();
  GCCloseLib();
  EXPECT_TRUE(tl->isClosed());
  EXPECT_THROW(tl->updateInterfacesList(0), ClosedException);
  GCInitLib(GRABKIT_TEST_CTI);  // the old objects report open again
  EXPECT_TRUE(tl->checkValid());
  EXPECT_FALSE(tl->updateInterfacesList(0));
}

}  // namespace
}  // namespace Grabkit
