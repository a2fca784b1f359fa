#include "stream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "error.h"

namespace grabkit::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMinAnnounced = 1;
constexpr size_t kAllocAlignment = 64;
// Waits longer than this are treated as infinite; it keeps deadline arithmetic
// far from overflowing the clock.
constexpr uint64_t kLongestTimedWaitMs = uint64_t{1} << 40;  // about 35 years

}  // namespace

Stream::Stream(Device& device) : ModulePort(Kind::kStream), device_(device) {}

Stream::~Stream() {
  // close() has normally joined the thread already; this is the last safety net.
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopRequested_ = true;
      abortFill_ = true;
    }
    work_.notify_all();
    thread_.join();
  }
}

PortInfo Stream::portInfo() const {
  return PortInfo{kStreamId, device_.entry().model(), "TLDataStream", kDeviceVersion, "StreamPort",
                  false};
}

uint32_t Stream::childCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<uint32_t>(buffers_.size());
}

BUFFER_HANDLE Stream::add(std::unique_ptr<Buffer> buffer) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (buffer->owned == nullptr) {
    for (const auto& b : buffers_) {
      if (b->base == buffer->base) fail(GC_ERR_RESOURCE_IN_USE, "this memory is already announced");
    }
  }
  BUFFER_HANDLE handle = buffer.get();
  buffers_.push_back(std::move(buffer));
  return handle;
}

BUFFER_HANDLE Stream::announce(void* memory, size_t size, void* user) {
  need(memory, "buffer memory");
  if (size == 0) fail(GC_ERR_INVALID_PARAMETER, "buffer size is 0");
  auto buffer = std::make_unique<Buffer>();
  buffer->base = static_cast<uint8_t*>(memory);
  buffer->size = size;
  buffer->user = user;
  return add(std::move(buffer));
}

BUFFER_HANDLE Stream::allocate(size_t size, void* user) {
  if (size == 0) fail(GC_ERR_INVALID_PARAMETER, "buffer size is 0");
  void* memory = Grabkit::Platform::allocateAligned(kAllocAlignment, size);
  if (memory == nullptr) {
    fail(GC_ERR_OUT_OF_MEMORY, "cannot allocate " + std::to_string(size) + " bytes");
  }
  auto buffer = std::make_unique<Buffer>();
  buffer->owned.reset(static_cast<uint8_t*>(memory));
  buffer->base = buffer->owned.get();
  buffer->size = size;
  buffer->user = user;
  return add(std::move(buffer));
}

Buffer& Stream::find(BUFFER_HANDLE handle) const {
  for (const auto& b : buffers_) {
    if (b.get() == handle) return *b;
  }
  fail(GC_ERR_INVALID_HANDLE, "the buffer handle is not announced on this stream");
}

void Stream::checkBuffer(BUFFER_HANDLE handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  find(handle);
}

void Stream::revoke(BUFFER_HANDLE handle, void** memory, void** user) {
  std::lock_guard<std::mutex> lock(mutex_);
  Buffer& buffer = find(handle);
  if (buffer.state != BufferState::kIdle) {
    fail(GC_ERR_BUSY, "the buffer is queued or being filled; flush the queues or stop first");
  }
  // Our own memory dies with the buffer, so there is nothing to hand back.
  if (memory != nullptr) *memory = buffer.owned ? nullptr : buffer.base;
  if (user != nullptr) *user = buffer.user;
  buffers_.erase(std::find_if(buffers_.begin(), buffers_.end(),
                              [&](const auto& b) { return b.get() == &buffer; }));
}

void Stream::queue(BUFFER_HANDLE handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Buffer& buffer = find(handle);
  if (buffer.state != BufferState::kIdle) fail(GC_ERR_RESOURCE_IN_USE, "buffer is already queued");
  buffer.state = BufferState::kInput;
  buffer.newData = false;
  input_.push_back(&buffer);
  work_.notify_all();
}

void Stream::toOutput(Buffer& buffer) {
  buffer.state = BufferState::kOutput;
  output_.push_back(&buffer);
  ++fired_;
  arrived_.notify_all();
}

void Stream::flush(ACQ_QUEUE_TYPE operation) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto toInput = [&](Buffer* b) {
    b->state = BufferState::kInput;
    b->newData = false;
    input_.push_back(b);
  };
  auto discard = [](std::deque<Buffer*>& queue) {
    for (Buffer* b : queue) b->state = BufferState::kIdle;
    queue.clear();
  };
  // The buffer being filled is in neither queue and is left alone by all of them.
  switch (operation) {
    case ACQ_QUEUE_INPUT_TO_OUTPUT:
      // Delivered without new data, so the consumer gets its buffers back.
      while (!input_.empty()) {
        Buffer* b = input_.front();
        input_.pop_front();
        b->newData = false;
        toOutput(*b);
      }
      break;
    case ACQ_QUEUE_OUTPUT_DISCARD:
      discard(output_);
      break;
    case ACQ_QUEUE_ALL_TO_INPUT:
      for (Buffer* b : output_) toInput(b);
      output_.clear();
      for (const auto& b : buffers_) {
        if (b->state == BufferState::kIdle) toInput(b.get());
      }
      break;
    case ACQ_QUEUE_UNQUEUED_TO_INPUT:
      for (const auto& b : buffers_) {
        if (b->state == BufferState::kIdle) toInput(b.get());
      }
      break;
    case ACQ_QUEUE_ALL_DISCARD:
      discard(input_);
      discard(output_);
      break;
    default:
      fail(GC_ERR_INVALID_PARAMETER, "unknown flush operation " + std::to_string(operation));
  }
  work_.notify_all();
}

void Stream::start(ACQ_START_FLAGS flags, uint64_t count, const FrameLayout& layout,
                   const LiveSettings& live) {
  if (flags != ACQ_START_FLAGS_DEFAULT) {
    fail(GC_ERR_INVALID_PARAMETER, "unknown start flags " + std::to_string(flags));
  }
  if (count == 0) fail(GC_ERR_INVALID_PARAMETER, "the number of frames to acquire is 0");
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_) fail(GC_ERR_RESOURCE_IN_USE, "acquisition is already running");
  if (buffers_.size() < kMinAnnounced) {
    fail(GC_ERR_INVALID_BUFFER, "announce at least " + std::to_string(kMinAnnounced) + " buffer");
  }
  // A thread that ended on its own after `count` frames has left the loop for good.
  if (thread_.joinable()) thread_.join();
  layout_ = layout;
  live_ = live;
  sensorFrames_ = 0;
  triggers_ = 0;
  toAcquire_ = count;
  acquired_ = 0;
  stopRequested_ = false;
  abortFill_ = false;
  device_.paused = false;
  running_ = true;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (...) {
    running_ = false;
    throw;
  }
}

void Stream::stop(ACQ_STOP_FLAGS flags) {
  if (flags != ACQ_STOP_FLAGS_DEFAULT && flags != ACQ_STOP_FLAGS_KILL) {
    fail(GC_ERR_INVALID_PARAMETER, "unknown stop flags " + std::to_string(flags));
  }
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = true;
    if (flags == ACQ_STOP_FLAGS_KILL) abortFill_ = true;
    thread = std::move(thread_);
  }
  work_.notify_all();
  // Stopping a stream that is not acquiring is harmless and succeeds.
  if (thread.joinable()) thread.join();
}

bool Stream::isGrabbing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

void Stream::wake() {
  // Taking the mutex orders the caller's change before the thread's next check.
  std::lock_guard<std::mutex> lock(mutex_);
  work_.notify_all();
}

void Stream::update(const LiveSettings& live) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!live.triggerMode) triggers_ = 0;
  live_ = live;
  work_.notify_all();
}

void Stream::resumeSensor() {
  std::lock_guard<std::mutex> lock(mutex_);
  device_.paused = false;
  sensorFrames_ = 0;
  work_.notify_all();
}

void Stream::trigger() {
  std::lock_guard<std::mutex> lock(mutex_);
  // A trigger the sensor is not armed for is lost, as on a real camera.
  if (!running_ || stopRequested_ || device_.paused || !live_.triggerMode) return;
  ++triggers_;
  work_.notify_all();
}

void Stream::close() {
  stop(ACQ_STOP_FLAGS_KILL);
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  if (event_ != nullptr) {
    event_->alive = false;
    event_ = nullptr;
  }
  arrived_.notify_all();
  input_.clear();
  output_.clear();
  buffers_.clear();
}

void Stream::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  auto next = Clock::now();
  uint32_t lastRate = live_.frameRateMilliHz;
  while (!stopRequested_ && acquired_ < toAcquire_) {
    if (live_.triggerMode) {
      // Each software trigger exposes one frame at once; the frame rate does not apply.
      work_.wait(lock, [this] {
        return stopRequested_ || triggers_ > 0 || !live_.triggerMode || device_.paused;
      });
      if (stopRequested_ || !live_.triggerMode) continue;
      if (device_.paused) {
        triggers_ = 0;
        work_.wait(lock, [this] { return stopRequested_ || !device_.paused; });
        continue;
      }
      --triggers_;
      if (input_.empty()) {
        ++underruns_;
        continue;
      }
    } else if (const uint32_t milliHz = live_.frameRateMilliHz; milliHz != 0) {
      if (milliHz != lastRate) next = Clock::now();  // a new frame rate restarts the sensor clock
      lastRate = milliHz;
      // A sensor with a frame rate exposes on its own clock: a frame that finds
      // no queued buffer is lost.
      const bool interrupted = work_.wait_until(lock, next, [this, milliHz] {
        return stopRequested_ || live_.frameRateMilliHz != milliHz || live_.triggerMode;
      });
      if (stopRequested_ || interrupted) continue;
      const auto period = std::chrono::nanoseconds(uint64_t{1000000000000} / milliHz);
      next = std::max(next + period, Clock::now());
      if (device_.paused) continue;
      if (input_.empty()) {
        ++underruns_;
        continue;
      }
    } else {
      lastRate = 0;
      // Unlimited rate: the next frame starts when a buffer is there. Finding none
      // counts as one lost frame, then the sensor waits instead of spinning.
      if (device_.paused) {
        work_.wait(lock, [this] { return stopRequested_ || !device_.paused; });
        continue;
      }
      if (input_.empty()) {
        ++underruns_;
        work_.wait(lock, [this] {
          return stopRequested_ || !input_.empty() || device_.paused ||
                 live_.frameRateMilliHz != 0 || live_.triggerMode;
        });
        continue;
      }
      next = Clock::now();
    }

    Buffer* buffer = input_.front();
    input_.pop_front();
    buffer->state = BufferState::kFilling;
    ++started_;
    const uint64_t frameId = nextFrameId_;
    const bool gradient = live_.gradient;
    const Tone tone = live_.tone;
    // A SingleFrame or MultiFrame run ends with this frame: the sensor stops
    // until the next AcquisitionStart.
    ++sensorFrames_;
    const uint64_t limit = live_.acquisitionMode == reg::kSingleFrame  ? 1
                           : live_.acquisitionMode == reg::kMultiFrame ? live_.frameCount
                                                                       : 0;
    if (limit != 0 && sensorFrames_ >= limit) device_.paused = true;

    // The buffer cannot be revoked or flushed while it is filling, and close()
    // joins this thread before it frees anything.
    lock.unlock();
    auto written =
        pattern_.write(buffer->base, buffer->size, layout_, frameId, gradient, tone, abortFill_);
    const uint64_t timestamp = monotonicNs();
    const bool whole = written && *written == layout_.imageSize();
    if (whole && layout_.chunks != 0) {
      written = PatternWriter::writeChunks(buffer->base, buffer->size, layout_, *written,
                                           ChunkValues{timestamp, frameId, tone.exposure / 10.0});
    }
    lock.lock();

    if (!written) {
      // Killed: the frame is dropped and the buffer goes back to the head of the pool.
      buffer->state = BufferState::kInput;
      input_.push_front(buffer);
      break;
    }
    buffer->filled = true;
    buffer->newData = true;
    buffer->frameId = frameId;
    buffer->timestampNs = timestamp;
    buffer->sizeFilled = *written;
    buffer->incomplete = *written < layout_.payloadSize();
    buffer->layout = layout_;
    ++nextFrameId_;
    ++delivered_;
    ++acquired_;
    ++device_.frameCounter;
    toOutput(*buffer);
  }
  running_ = false;
}

InfoValue Stream::info(STREAM_INFO_CMD cmd, size_t payloadSize) const {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (cmd) {
    case STREAM_INFO_ID:
      return InfoValue::text(kStreamId);
    case STREAM_INFO_NUM_DELIVERED:
      return InfoValue::uint64(delivered_);
    case STREAM_INFO_NUM_UNDERRUN:
      return InfoValue::uint64(underruns_);
    case STREAM_INFO_NUM_ANNOUNCED:
      return InfoValue::uint64(buffers_.size());
    case STREAM_INFO_NUM_QUEUED:
      return InfoValue::uint64(input_.size());
    case STREAM_INFO_NUM_AWAIT_DELIVERY:
      return InfoValue::uint64(output_.size());
    case STREAM_INFO_NUM_STARTED:
      return InfoValue::uint64(started_);
    case STREAM_INFO_PAYLOAD_SIZE:
      return InfoValue::sizeT(payloadSize);
    case STREAM_INFO_IS_GRABBING:
      return InfoValue::bool8(running_);
    case STREAM_INFO_DEFINES_PAYLOADSIZE:
      return InfoValue::bool8(true);
    case STREAM_INFO_TLTYPE:
      return InfoValue::text(kTLType);
    case STREAM_INFO_NUM_CHUNKS_MAX:
      return InfoValue::sizeT(reg::kChunkCount);
    case STREAM_INFO_BUF_ANNOUNCE_MIN:
      return InfoValue::sizeT(kMinAnnounced);
    case STREAM_INFO_BUF_ALIGNMENT:
      return InfoValue::sizeT(1);
    default:
      fail(GC_ERR_NOT_IMPLEMENTED, "unknown stream info command " + std::to_string(cmd));
  }
}

BUFFER_HANDLE Stream::bufferAt(uint32_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= buffers_.size()) {
    fail(GC_ERR_INVALID_INDEX, "buffer index " + std::to_string(index) + " of " +
                                   std::to_string(buffers_.size()) + " announced");
  }
  return buffers_[index].get();
}

InfoValue Stream::bufferInfo(BUFFER_HANDLE handle, BUFFER_INFO_CMD cmd) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Buffer& b = find(handle);
  const bool multiPart = b.layout.payloadType == PAYLOAD_TYPE_MULTI_PART;
  const ImagePart& image = b.layout.parts[0];
  auto needContent = [&] {
    if (!b.filled) fail(GC_ERR_NOT_AVAILABLE, "the buffer has not received a frame yet");
  };
  auto needSingleImage = [&] {
    needContent();
    if (multiPart) fail(GC_ERR_NOT_AVAILABLE, "a multi-part buffer describes its images per part");
  };
  switch (cmd) {
    case BUFFER_INFO_BASE:
      return InfoValue::pointer(b.base);
    case BUFFER_INFO_SIZE:
      return InfoValue::sizeT(b.size);
    case BUFFER_INFO_USER_PTR:
      return InfoValue::pointer(b.user);
    case BUFFER_INFO_TIMESTAMP:
    case BUFFER_INFO_TIMESTAMP_NS:
      needContent();
      return InfoValue::uint64(b.timestampNs);
    case BUFFER_INFO_NEW_DATA:
      return InfoValue::bool8(b.newData);
    case BUFFER_INFO_IS_QUEUED:
      return InfoValue::bool8(b.state != BufferState::kIdle);
    case BUFFER_INFO_IS_ACQUIRING:
      return InfoValue::bool8(b.state == BufferState::kFilling);
    case BUFFER_INFO_IS_INCOMPLETE:
      return InfoValue::bool8(b.incomplete);
    case BUFFER_INFO_TLTYPE:
      return InfoValue::text(kTLType);
    case BUFFER_INFO_SIZE_FILLED:
    case BUFFER_INFO_DATA_SIZE:
      return InfoValue::sizeT(b.sizeFilled);
    case BUFFER_INFO_WIDTH:
      needSingleImage();
      return InfoValue::sizeT(image.width);
    case BUFFER_INFO_HEIGHT:
      needSingleImage();
      return InfoValue::sizeT(image.height);
    case BUFFER_INFO_XOFFSET:
    case BUFFER_INFO_YOFFSET:
    case BUFFER_INFO_XPADDING:
    case BUFFER_INFO_YPADDING:
    case BUFFER_INFO_IMAGEOFFSET:
      return InfoValue::sizeT(0);
    case BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE:
      needContent();
      return InfoValue::sizeT(
          b.sizeFilled > b.layout.imageSize() ? b.sizeFilled - b.layout.imageSize() : 0);
    case BUFFER_INFO_FRAMEID:
      needContent();
      return InfoValue::uint64(b.frameId);
    case BUFFER_INFO_IMAGEPRESENT:
      return InfoValue::bool8(b.filled);
    case BUFFER_INFO_PAYLOADTYPE:
      needContent();
      return InfoValue::sizeT(static_cast<size_t>(b.layout.payloadType));
    case BUFFER_INFO_PIXELFORMAT:
      needSingleImage();
      return InfoValue::uint64(image.pixelFormat);
    case BUFFER_INFO_PIXELFORMAT_NAMESPACE:
      needContent();
      return InfoValue::uint64(PIXELFORMAT_NAMESPACE_PFNC_32BIT);
    case BUFFER_INFO_DELIVERED_IMAGEHEIGHT:
      needSingleImage();
      return InfoValue::sizeT(FrameLayout::rowsWithin(image, b.size));
    case BUFFER_INFO_CHUNKLAYOUTID:
      // The set of enabled chunks is the layout: it changes exactly when they do.
      return InfoValue::uint64(b.layout.chunks);
    case BUFFER_INFO_FILENAME:
      fail(GC_ERR_NOT_AVAILABLE, "the buffers hold images, not files");
    case BUFFER_INFO_PIXEL_ENDIANNESS:
      return InfoValue::int32(PIXELENDIANNESS_LITTLE);
    case BUFFER_INFO_DATA_LARGER_THAN_BUFFER:
      return InfoValue::bool8(b.filled && b.layout.payloadSize() > b.size);
    case BUFFER_INFO_CONTAINS_CHUNKDATA:
      return InfoValue::bool8(b.filled && b.sizeFilled > b.layout.imageSize());
    default:
      fail(GC_ERR_NOT_IMPLEMENTED, "unknown buffer info command " + std::to_string(cmd));
  }
}

uint32_t Stream::partCount(BUFFER_HANDLE handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Buffer& b = find(handle);
  if (!b.filled) return 0;
  // A part that starts beyond a too-small buffer is not in it at all.
  uint32_t count = 0;
  while (count < b.layout.partCount && b.layout.parts[count].offset < b.size) ++count;
  return count;
}

std::vector<SINGLE_CHUNK_DATA> Stream::chunks(BUFFER_HANDLE handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Buffer& b = find(handle);
  std::vector<SINGLE_CHUNK_DATA> list;
  if (!b.filled) return list;
  for (uint32_t c = 0; c < reg::kChunkCount; ++c) {
    if ((b.layout.chunks >> c & 1) == 0) continue;
    const size_t at = b.layout.chunkOffset(c);
    if (at + reg::kChunkBytes > b.sizeFilled) break;
    list.push_back(
        SINGLE_CHUNK_DATA{reg::kChunkIds[c], static_cast<ptrdiff_t>(at), reg::kChunkBytes});
  }
  return list;
}

InfoValue Stream::partInfo(BUFFER_HANDLE handle, uint32_t index, BUFFER_PART_INFO_CMD cmd) const {
  const uint32_t count = partCount(handle);
  std::lock_guard<std::mutex> lock(mutex_);
  const Buffer& b = find(handle);
  if (index >= count) {
    fail(GC_ERR_INVALID_INDEX,
         "part " + std::to_string(index) + " of a buffer with " + std::to_string(count));
  }
  const ImagePart& part = b.layout.parts[index];
  switch (cmd) {
    case BUFFER_PART_INFO_BASE:
      return InfoValue::pointer(b.base + part.offset);
    case BUFFER_PART_INFO_DATA_SIZE:
      return InfoValue::sizeT(std::min(part.size(), b.size - part.offset));
    case BUFFER_PART_INFO_DATA_TYPE:
      return InfoValue::sizeT(static_cast<size_t>(part.dataType));
    case BUFFER_PART_INFO_DATA_FORMAT:
      return InfoValue::uint64(part.pixelFormat);
    case BUFFER_PART_INFO_DATA_FORMAT_NAMESPACE:
      return InfoValue::uint64(PIXELFORMAT_NAMESPACE_PFNC_32BIT);
    case BUFFER_PART_INFO_WIDTH:
      return InfoValue::sizeT(part.width);
    case BUFFER_PART_INFO_HEIGHT:
      return InfoValue::sizeT(part.height);
    case BUFFER_PART_INFO_XOFFSET:
    case BUFFER_PART_INFO_YOFFSET:
    case BUFFER_PART_INFO_XPADDING:
      return InfoValue::sizeT(0);
    case BUFFER_PART_INFO_SOURCE_ID:
      return InfoValue::uint64(0);  // both parts come from the one sensor
    case BUFFER_PART_INFO_DELIVERED_IMAGEHEIGHT:
      return InfoValue::sizeT(FrameLayout::rowsWithin(part, b.size));
    default:
      fail(GC_ERR_NOT_IMPLEMENTED, "unknown buffer part info command " + std::to_string(cmd));
  }
}

void Stream::attach(Event& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (event_ != nullptr) fail(GC_ERR_RESOURCE_IN_USE, "EVENT_NEW_BUFFER is already registered");
  event_ = &event;
  event.firedBase = fired_;
}

Event* Stream::detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  Event* event = event_;
  if (event != nullptr) {
    event->alive = false;
    event_ = nullptr;
    arrived_.notify_all();
  }
  return event;
}

bool Stream::isRegistered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return event_ != nullptr;
}

EVENT_NEW_BUFFER_DATA Stream::waitEvent(Event& event, uint64_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool forever = timeoutMs > kLongestTimedWaitMs;
  const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
  for (;;) {
    if (!event.alive || closed_)
      fail(GC_ERR_ABORT, "the event was unregistered or its stream closed");
    if (event.killPending) {
      event.killPending = false;
      fail(GC_ERR_ABORT, "the wait was cancelled by EventKill");
    }
    if (!output_.empty()) break;
    if (forever) {
      arrived_.wait(lock);
    } else if (Clock::now() >= deadline) {
      fail(GC_ERR_TIMEOUT, "no new buffer within " + std::to_string(timeoutMs) + " ms");
    } else {
      arrived_.wait_until(lock, deadline);
    }
  }
  Buffer* buffer = output_.front();
  output_.pop_front();
  buffer->state = BufferState::kIdle;
  return EVENT_NEW_BUFFER_DATA{buffer, buffer->user};
}

void Stream::kill(Event& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  // One kill ends one wait: the current one, or the next if nobody waits.
  event.killPending = true;
  arrived_.notify_all();
}

void Stream::flushEvents() {
  // The event queue is the output queue: its buffers become unqueued and wait for
  // DSQueueBuffer or DSFlushQueue like delivered ones.
  flush(ACQ_QUEUE_OUTPUT_DISCARD);
}

InfoValue Stream::eventInfo(const Event& event, EVENT_INFO_CMD cmd) const {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (cmd) {
    case EVENT_EVENT_TYPE:
      return InfoValue::int32(EVENT_NEW_BUFFER);
    case EVENT_NUM_IN_QUEUE:
      return InfoValue::uint64(output_.size());
    case EVENT_NUM_FIRED:
      return InfoValue::uint64(fired_ - event.firedBase);
    case EVENT_SIZE_MAX:
      return InfoValue::sizeT(sizeof(EVENT_NEW_BUFFER_DATA));
    case EVENT_INFO_DATA_SIZE_MAX:
      return InfoValue::sizeT(sizeof(void*));
    default:
      fail(GC_ERR_NOT_IMPLEMENTED, "unknown event info command " + std::to_string(cmd));
  }
}

}  // namespace grabkit::sim
