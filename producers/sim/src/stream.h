#ifndef GRABKIT_SIM_STREAM_H
#define GRABKIT_SIM_STREAM_H

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "modules.h"
#include "pattern.h"
#include "platform/Platform.h"

namespace grabkit::sim {

class Stream;

// Where a buffer is in its life cycle. kIdle covers both "announced, never queued"
// and "delivered to the consumer"; both may be revoked or queued.
enum class BufferState { kIdle, kInput, kFilling, kOutput };

struct Buffer {
  struct Free {
    void operator()(uint8_t* p) const { Grabkit::Platform::freeAligned(p); }
  };

  uint8_t* base = nullptr;
  size_t size = 0;
  void* user = nullptr;
  std::unique_ptr<uint8_t, Free> owned;  // set for DSAllocAndAnnounceBuffer memory
  BufferState state = BufferState::kIdle;

  // Describes the last frame written into the buffer.
  bool filled = false;
  bool newData = false;
  bool incomplete = false;
  uint64_t frameId = 0;
  uint64_t timestampNs = 0;
  size_t sizeFilled = 0;
  FrameLayout layout;
};

// The EVENT_NEW_BUFFER registration of a stream. It keeps the stream object alive
// so that a waiter can still be woken after the stream was closed underneath it.
class Event : public Object {
 public:
  explicit Event(std::shared_ptr<Stream> s) : Object(Kind::kEvent), stream(std::move(s)) {}

  const std::shared_ptr<Stream> stream;
  // Guarded by the stream's mutex.
  bool alive = true;
  bool killPending = false;
  uint64_t firedBase = 0;
};

// One data stream with its buffers, queues and acquisition thread.
//
// The input pool and the output queue are deques of buffers; the output queue is
// also the new-buffer event queue, so EventFlush and DSFlushQueue(OUTPUT_DISCARD)
// are one operation. A mutex per stream guards all of it and is shared with the
// acquisition thread, which only drops it while writing pixels.
class Stream : public ModulePort {
 public:
  explicit Stream(Device& device);
  ~Stream() override;

  Device& device() const { return device_; }
  PortInfo portInfo() const override;

  BUFFER_HANDLE announce(void* memory, size_t size, void* user);
  BUFFER_HANDLE allocate(size_t size, void* user);
  void revoke(BUFFER_HANDLE handle, void** memory, void** user);
  void queue(BUFFER_HANDLE handle);
  void flush(ACQ_QUEUE_TYPE operation);
  // `layout` is what the device produces now; it cannot change while acquiring.
  void start(ACQ_START_FLAGS flags, uint64_t count, const FrameLayout& layout,
             const LiveSettings& live);
  void stop(ACQ_STOP_FLAGS flags);
  bool isGrabbing() const;
  // The device changed something the acquisition thread waits on.
  void wake();
  void update(const LiveSettings& live);
  // AcquisitionStart: the sensor runs again, and a SingleFrame or MultiFrame run
  // counts from zero.
  void resumeSensor();
  // TriggerSoftware: one frame, if the sensor runs in trigger mode.
  void trigger();
  // Stops the thread, aborts waiters and forgets all buffers (freeing our own).
  void close();

  InfoValue info(STREAM_INFO_CMD cmd, size_t payloadSize) const;
  BUFFER_HANDLE bufferAt(uint32_t index) const;
  InfoValue bufferInfo(BUFFER_HANDLE handle, BUFFER_INFO_CMD cmd) const;
  uint32_t partCount(BUFFER_HANDLE handle) const;
  // The chunks of the last frame that are completely in the buffer.
  std::vector<SINGLE_CHUNK_DATA> chunks(BUFFER_HANDLE handle) const;
  InfoValue partInfo(BUFFER_HANDLE handle, uint32_t part, BUFFER_PART_INFO_CMD cmd) const;
  void checkBuffer(BUFFER_HANDLE handle) const;

  void attach(Event& event);
  Event* detach();
  bool isRegistered() const;
  EVENT_NEW_BUFFER_DATA waitEvent(Event& event, uint64_t timeoutMs);
  void kill(Event& event);
  void flushEvents();
  InfoValue eventInfo(const Event& event, EVENT_INFO_CMD cmd) const;

 protected:
  std::string moduleId() const override { return kStreamId; }
  uint32_t childCount() const override;

 private:
  BUFFER_HANDLE add(std::unique_ptr<Buffer> buffer);
  Buffer& find(BUFFER_HANDLE handle) const;
  void toOutput(Buffer& buffer);
  void run();

  Device& device_;
  mutable std::mutex mutex_;
  std::condition_variable work_;                  // wakes the acquisition thread
  std::condition_variable arrived_;               // wakes EventGetData
  std::vector<std::unique_ptr<Buffer>> buffers_;  // announce order
  std::deque<Buffer*> input_;
  std::deque<Buffer*> output_;
  Event* event_ = nullptr;

  std::thread thread_;
  bool running_ = false;
  bool stopRequested_ = false;
  bool closed_ = false;
  std::atomic<bool> abortFill_{false};
  uint64_t toAcquire_ = 0;
  uint64_t acquired_ = 0;
  FrameLayout layout_;  // fixed while the thread runs
  LiveSettings live_;
  uint64_t sensorFrames_ = 0;  // since the sensor was last started, for the acquisition modes
  uint64_t triggers_ = 0;      // pending software triggers
  PatternWriter pattern_;      // used by the acquisition thread only

  uint64_t nextFrameId_ = 1;
  uint64_t delivered_ = 0;
  uint64_t underruns_ = 0;
  uint64_t started_ = 0;
  uint64_t fired_ = 0;
};

}  // namespace grabkit::sim

#endif
