#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>

#include "TestProducer.h"
#include "diag/StdErrCapture.h"
#include "diag/Trace.h"
#include "jni/Handles.h"
#include "producer/CallLayer.h"
#include "producer/Producer.h"

// Inside the namespace, so that the call layer wins over the producer
// prototypes of the same names.
namespace Grabkit {
namespace {

class CallLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GCInitLib(GRABKIT_TEST_CTI), GC_ERR_SUCCESS);
    control.reset();
  }
  void TearDown() override {
    enableTracing(false);
    GCCloseLib();
  }
  TestProducer control;
  void* const hDS = reinterpret_cast<void*>(0x7f0000001000);
  void* const hBuffer = reinterpret_cast<void*>(0x20);
};

TEST_F(CallLayer, StringsEndAtTheFirstNulAndNeverLeaveTheArea) {
  control.answer("GCGetInfo", TL_INFO_VENDOR, 0, std::string(1024, 'x'));
  control.answer("GCGetInfo", TL_INFO_MODEL, 0, std::string("abc\0def", 7));
  EXPECT_EQ(GCGetInfoString(TL_INFO_VENDOR), std::string(1023, 'x'));
  EXPECT_EQ(GCGetInfoString(TL_INFO_MODEL), "abc");
  EXPECT_EQ(GCGetInfoString(TL_INFO_NAME), "");  // nothing written
  EXPECT_EQ(control.argumentLog(), "GCGetInfo(1, 1024)\nGCGetInfo(2, 1024)\nGCGetInfo(5, 1024)\n");
}

TEST_F(CallLayer, ListsAskOneIdPerIndexInOrder) {
  control.answer("IFGetNumDevices", GRABKIT_TEST_ANY, 0, TestProducer::bytes<uint32_t>(3));
  for (uint32_t i = 0; i < 3; ++i) {
    control.answer("IFGetDeviceID", i, 0, "Dev" + std::to_string(i) + '\0');
  }
  EXPECT_EQ(IFGetDeviceList(hDS), (std::vector<std::string>{"Dev0", "Dev1", "Dev2"}));
  EXPECT_EQ(control.argumentLog(),
            "IFGetNumDevices(0x7f0000001000)\n"
            "IFGetDeviceID(0x7f0000001000, 0, 1024)\n"
            "IFGetDeviceID(0x7f0000001000, 1, 1024)\n"
            "IFGetDeviceID(0x7f0000001000, 2, 1024)\n");
  control.reset();
  control.answer("IFGetNumDevices", GRABKIT_TEST_ANY, 0, TestProducer::bytes<uint32_t>(3));
  control.answer("IFGetDeviceID", 1, GC_ERR_INVALID_INDEX, "");
  EXPECT_THROW(IFGetDeviceList(hDS), InvalidIndexException);
}

TEST_F(CallLayer, ACountThatIsZeroOrNeverWrittenAsksNoId) {
  EXPECT_TRUE(TLGetInterfaceList(hDS).empty());
  control.answer("DevGetNumDataStreams", GRABKIT_TEST_ANY, 0, TestProducer::bytes<uint32_t>(0));
  EXPECT_TRUE(DevGetDataStreamList(hDS).empty());
  EXPECT_EQ(control.callLog(), "TLGetNumInterfaces\nDevGetNumDataStreams\n");
}

// Queueing zero-fills only memory the library announced, at the address and
// size it recorded: a producer that reports another base or a bigger size
// must not make us write over the heap.
TEST_F(CallLayer, QueueingClearsOnlyWhatWasAnnounced) {
  struct Case {
    const char* name;
    bool announce;       // through the call layer, with our memory
    bool producerOwned;  // announced as producer-allocated, of 16 bytes
    size_t reportedSize;
    bool reportOtherBase;
    bool cleared;
  };
  const Case cases[] = {
      {"announced, honest", true, false, 16, false, true},
      {"announced, size lies", true, false, 1 << 20, false, true},
      {"announced, base lies", true, false, 16, true, true},
      {"never announced", false, false, 16, false, false},
      {"producer-owned, fits", false, true, 16, false, true},
      {"producer-owned, too big", false, true, 17, false, false},
  };
  for (const Case& c : cases) {
    control.reset();
    auto* memory = new unsigned char[16];  // the sanitizer catches a byte more
    auto* other = new unsigned char[16];
    memset(memory, 0xAA, 16);
    memset(other, 0xAA, 16);
    void* buffer = reinterpret_cast<void*>(0x20);
    control.answer("DSAnnounceBuffer", GRABKIT_TEST_ANY, 0, TestProducer::bytes(buffer));
    control.answer("DSAllocAndAnnounceBuffer", GRABKIT_TEST_ANY, 0, TestProducer::bytes(buffer));
    if (c.announce) DSAnnounceBuffer(hDS, memory, 16, nullptr);
    if (c.producerOwned) DSAllocAndAnnounceBuffer(hDS, 16, nullptr);
    unsigned char* reportedBase = c.reportOtherBase ? other : memory;
    control.answer("DSGetBufferInfo", BUFFER_INFO_BASE, 0, TestProducer::bytes(reportedBase));
    control.answer("DSGetBufferInfo", BUFFER_INFO_SIZE, 0,
                   TestProducer::bytes<uint64_t>(c.reportedSize));
    control.answer("DSQueueBuffer", GRABKIT_TEST_ANY, GC_ERR_INVALID_HANDLE, "");
    EXPECT_EQ(DSQueueBuffer(hDS, buffer), GC_ERR_INVALID_HANDLE);  // returned, not thrown
    EXPECT_EQ(memory[0] == 0 && memory[15] == 0, c.cleared) << c.name;
    EXPECT_EQ(other[0], 0xAA) << c.name;
    DSRevokeBuffer(hDS, buffer);
    delete[] memory;
    delete[] other;
  }
  control.reset();
  EXPECT_EQ(DSQueueBuffer(hDS, hBuffer, false), GC_ERR_SUCCESS);
  EXPECT_EQ(control.callLog(), "DSQueueBuffer\n");
}

TEST_F(CallLayer, AFailingSizeQueryQueuesNothing) {
  control.answer("DSGetBufferInfo", BUFFER_INFO_SIZE, GC_ERR_NOT_AVAILABLE, "");
  EXPECT_THROW(DSQueueBuffer(hDS, hBuffer), NotAvailableException);
  EXPECT_EQ(control.callLog(), "DSGetBufferInfo\nDSGetBufferInfo\n");
}

TEST_F(CallLayer, PartOffsetsAreTakenFromTheBufferBase) {
  control.answer("DSGetBufferInfo", BUFFER_INFO_BASE, 0, TestProducer::bytes<uint64_t>(0x10000));
  control.answer("DSGetBufferPartInfo", BUFFER_PART_INFO_BASE, 0,
                 TestProducer::bytes<uint64_t>(0x11000));
  EXPECT_EQ(DSGetBufferPartDataOffset(hDS, hBuffer, 2), 4096u);
  // The part query gets the size that the buffer query left: here 4 bytes.
  control.reset();
  control.answer("DSGetBufferInfo", BUFFER_INFO_BASE, 0, TestProducer::bytes<uint32_t>(0x20));
  control.answer("DSGetBufferPartInfo", BUFFER_PART_INFO_BASE, 0,
                 TestProducer::bytes<uint32_t>(0x10));
  EXPECT_EQ(DSGetBufferPartDataOffset(hDS, hBuffer, 0), uint64_t(0x10) - 0x20);  // modulo 2^64
  EXPECT_EQ(control.argumentLog(),
            "DSGetBufferInfo(0x7f0000001000, 0x20, 0, 8)\n"
            "DSGetBufferPartInfo(0x7f0000001000, 0x20, 0, 0, 4)\n");
}

TEST_F(CallLayer, OpensAndClosesTraceBeforeTheProducerAnswers) {
  control.setResult("TLOpenInterface", GC_ERR_INVALID_ID);
  control.setResult("TLClose", GC_ERR_INVALID_HANDLE);
  enableTracing(true);
  ASSERT_EQ(stdErrRedirectStart(), 0);
  EXPECT_THROW(TLOpenInterface(hDS, "IF9"), InvalidIdException);
  EXPECT_EQ(TLClose(hDS), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(stdErrRedirectStop(), "TLOpenInterface()\nTLClose()\n");
  EXPECT_EQ(control.argumentLog(),
            "TLOpenInterface(0x7f0000001000, \"IF9\")\nTLClose(0x7f0000001000)\n");
}

// Wide handles, so that Java knows them by tokens.
void* wide(uintptr_t n) {
  return reinterpret_cast<void*>(uintptr_t{0x7f0000000000} + n * 0x1000);
}

bool named(int32_t token) {
  try {
    Jni::fromJavaHandle(token);
    return true;
  } catch (const InvalidHandleException&) {
    return false;
  }
}

// A system with an interface, a device, a stream, a buffer announced with
// Java memory and an event: what each close lets go of, in Java names and in
// announced memory, and that a refused close lets go of nothing.
TEST_F(CallLayer, AClosedModuleTakesWhatIsBelowItWithItAndARefusedOneNothing) {
  enum Level { kSystem, kInterface, kDevice, kStream, kBuffer, kEvent, kLevels };
  const char* const opens[] = {"TLOpen",           "TLOpenInterface",
                               "IFOpenDevice",     "DevOpenDataStream",
                               "DSAnnounceBuffer", "GCRegisterEvent"};
  const char* const closes[] = {"TLClose", "IFClose", "DevClose", "DSClose", "DSRevokeBuffer"};
  for (int closed = kSystem; closed <= kBuffer; ++closed) {
    for (bool refused : {false, true}) {
      SCOPED_TRACE(std::string(closes[closed]) + (refused ? ", refused" : ""));
      control.reset();
      for (int l = 0; l < kLevels; ++l)
        control.answer(opens[l], GRABKIT_TEST_ANY, 0, TestProducer::bytes(wide(l)));
      void* h[kLevels];
      h[kSystem] = TLOpen();
      h[kInterface] = TLOpenInterface(h[kSystem], "IF");
      h[kDevice] = IFOpenDevice(h[kInterface], "Dev", DEVICE_ACCESS_CONTROL);
      h[kStream] = DevOpenDataStream(h[kDevice], "DS");
      unsigned char memory[16];
      auto javaMemory = std::make_shared<int>();
      std::weak_ptr<int> announced = javaMemory;
      h[kBuffer] =
          DSAnnounceBuffer(h[kStream], memory, sizeof memory, nullptr, std::move(javaMemory));
      h[kEvent] = GCRegisterEvent(h[kStream], EVENT_NEW_BUFFER);
      int32_t token[kLevels];
      for (int l = 0; l < kLevels; ++l) token[l] = Jni::toJavaHandle(h[l]);

      control.setResult(closes[closed], refused ? GC_ERR_BUSY : GC_ERR_SUCCESS);
      control.hold(closes[closed]);
      std::thread closing([&] {
        if (closed == kBuffer) {
          if (refused) {
            EXPECT_THROW(DSRevokeBuffer(h[kStream], h[kBuffer]), BusyException);
          } else {
            DSRevokeBuffer(h[kStream], h[kBuffer]);
          }
        } else {
          using Close = int32_t (*)(void*);
          const Close close[] = {TLClose, IFClose, DevClose, DSClose};
          EXPECT_EQ(close[closed](h[closed]), refused ? GC_ERR_BUSY : GC_ERR_SUCCESS);
        }
      });
      // While the producer decides, a buffer delivered to another thread
      // still has the int that its program knows.
      ASSERT_TRUE(control.awaitEntered(closes[closed], 1));
      for (int l = 0; l < kLevels; ++l) EXPECT_EQ(Jni::toJavaHandle(h[l]), token[l]);
      control.release(closes[closed]);
      closing.join();
      for (int l = 0; l < kLevels; ++l) {
        // The event hangs below the stream, not below the buffer.
        bool gone = !refused && l >= closed && !(closed == kBuffer && l == kEvent);
        EXPECT_EQ(named(token[l]), !gone) << opens[l];
      }
      EXPECT_EQ(announced.expired(), !refused);
      // Refused: the same tokens go on naming the same handles. What stays open
      // is stale when the next round's opens get the same values.
      for (int l = 0; refused && l < kLevels; ++l) {
        EXPECT_EQ(Jni::toJavaHandle(h[l]), token[l]);
      }
    }
  }
}

// A producer that gives an interface its system's value: the books name the
// interface as its own child, and closing it still ends.
TEST_F(CallLayer, AChildWithItsParentsValueClosesLikeAnyOther) {
  control.answer("TLOpen", GRABKIT_TEST_ANY, 0, TestProducer::bytes(wide(0)));
  control.answer("TLOpenInterface", GRABKIT_TEST_ANY, 0, TestProducer::bytes(wide(0)));
  void* system = TLOpen();
  EXPECT_EQ(TLOpenInterface(system, "IF"), system);
  int32_t token = Jni::toJavaHandle(system);
  EXPECT_EQ(TLClose(system), GC_ERR_SUCCESS);
  EXPECT_FALSE(named(token));
}

// Once the producer has closed a stream it may give the same handle to a
// stream that another thread opens, before the close has returned: the close
// must leave the new stream's names and memory alone.
TEST_F(CallLayer, AHandleReusedWhileItsCloseReturnsNamesOnlyTheNewObject) {
  control.answer("DevOpenDataStream", GRABKIT_TEST_ANY, 0, TestProducer::bytes(wide(1)));
  control.answer("DSAnnounceBuffer", GRABKIT_TEST_ANY, 0, TestProducer::bytes(wide(2)));
  unsigned char memory[16];
  auto announce = [&](void* stream) {
    auto javaMemory = std::make_shared<int>();
    std::weak_ptr<int> observed = javaMemory;
    DSAnnounceBuffer(stream, memory, sizeof memory, nullptr, std::move(javaMemory));
    return observed;
  };
  void* old = DevOpenDataStream(hDS, "DS");
  std::weak_ptr<int> oldMemory = announce(old);
  int32_t oldStream = Jni::toJavaHandle(old);
  int32_t oldBuffer = Jni::toJavaHandle(wide(2));

  control.hold("DSClose");
  std::thread closing([&] { EXPECT_EQ(DSClose(old), GC_ERR_SUCCESS); });
  ASSERT_TRUE(control.awaitEntered("DSClose", 1));
  // The producer has let go; the same values come back for new objects.
  void* reused = DevOpenDataStream(hDS, "DS");
  ASSERT_EQ(reused, old);
  std::weak_ptr<int> newMemory = announce(reused);
  int32_t newStream = Jni::toJavaHandle(reused);
  int32_t newBuffer = Jni::toJavaHandle(wide(2));
  control.release("DSClose");
  closing.join();

  EXPECT_NE(newStream, oldStream);
  EXPECT_EQ(Jni::fromJavaHandle(newStream), reused);
  EXPECT_EQ(Jni::fromJavaHandle(newBuffer), wide(2));
  EXPECT_FALSE(named(oldStream));
  EXPECT_FALSE(named(oldBuffer));
  EXPECT_TRUE(oldMemory.expired());
  EXPECT_FALSE(newMemory.expired());
  Announcement a;
  EXPECT_TRUE(currentProducer()->findAnnouncement(wide(2), a));
}

}  // namespace
}  // namespace Grabkit
