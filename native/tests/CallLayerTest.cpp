#include <gtest/gtest.h>

#include <cstring>

#include "TestProducer.h"
#include "diag/StdErrCapture.h"
#include "diag/Trace.h"
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

}  // namespace
}  // namespace Grabkit
