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

// The traces, messages and release orders of the tree are checked through JNI
// (ObjectModelTest); here what Java cannot reach: a producer closed under an
// open child, and objects that follow a library reloaded under them.
TEST_F(Model, ClosingTheProducerOrphansItsChildrenWithoutProducerCalls) {
  auto producer = GenTLProducer::load(GRABKIT_TEST_CTI);
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
