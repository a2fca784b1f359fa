#include "Holders.h"

#include "../model/Buffer.h"
#include "../model/DataStream.h"
#include "../model/DeviceInfo.h"
#include "../model/GenTLProducer.h"
#include "../model/InterfaceInfo.h"
#include "../model/Port.h"
#include "../model/TLInterface.h"
#include "../model/TransportLayer.h"
#include "../producer/CallLayer.h"
#include "Lists.h"

namespace Grabkit::Jni {

namespace {
// Index + 1 in the low half (so that no value is 0), generation in the high.
int64_t encode(uint32_t index, uint32_t generation) {
  return static_cast<int64_t>((static_cast<uint64_t>(generation) << 32) | (index + 1ULL));
}
}  // namespace

int64_t ObjectTable::add(std::shared_ptr<void> object, const void* kind, const char* name,
                         bool holder) {
  std::lock_guard<std::mutex> lock(mutex_);
  uint32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
  } else {
    if (slots_.size() >= UINT32_MAX - 1) throw std::length_error("object table is full");
    index = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  Slot& s = slots_[index];
  s.kind = kind;
  s.name = name;
  s.holder = holder;
  s.object = std::move(object);
  if (holder) liveHolders.fetch_add(1, std::memory_order_relaxed);
  return encode(index, s.generation);
}

const ObjectTable::Slot& ObjectTable::slot(int64_t value, const void* kind,
                                           const char* name) const {
  uint64_t bits = static_cast<uint64_t>(value);
  uint64_t index = (bits & 0xFFFFFFFFULL) - 1;
  uint32_t generation = static_cast<uint32_t>(bits >> 32);
  std::string prefix = std::string("Grabkit::") + name + " " + std::to_string(value);
  if (index >= slots_.size()) throw StaleObject(prefix + " was never issued");
  const Slot& s = slots_[index];
  if (!s.object || s.generation != generation) {
    throw StaleObject(prefix + " is stale: it was released");
  }
  if (s.kind != kind) throw StaleObject(prefix + " is a " + s.name + ", not a " + name);
  return s;
}

std::shared_ptr<void> ObjectTable::get(int64_t value, const void* kind, const char* name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slot(value, kind, name).object;
}

std::shared_ptr<void> ObjectTable::remove(int64_t value, const void* kind, const char* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  Slot& s = const_cast<Slot&>(slot(value, kind, name));
  std::shared_ptr<void> object = std::move(s.object);
  s.object.reset();
  // Generation 0 never names a slot, so a wrapped counter skips it.
  if (++s.generation == 0) s.generation = 1;
  if (s.holder) liveHolders.fetch_sub(1, std::memory_order_relaxed);
  free_.push_back(static_cast<uint32_t>(&s - slots_.data()));
  return object;
}

size_t ObjectTable::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slots_.size() - free_.size();
}

// Never destroyed: at exit, a destructor that released what a program left
// open would call into producers whose own statics may be gone already. The
// system reclaims it all.
ObjectTable& objects() {
  static ObjectTable* table = new ObjectTable;
  return *table;
}

#define GRABKIT_KIND(T, text) \
  template <>                 \
  const char* kindName<T>() { \
    return text;              \
  }
GRABKIT_KIND(Grabkit::GenTLProducer, "GenTLProducer")
GRABKIT_KIND(Grabkit::TransportLayer, "TransportLayer")
GRABKIT_KIND(Grabkit::InterfaceInfo, "InterfaceInfo")
GRABKIT_KIND(Grabkit::TLInterface, "TLInterface")
GRABKIT_KIND(Grabkit::DeviceInfo, "DeviceInfo")
GRABKIT_KIND(Grabkit::Device, "Device")
GRABKIT_KIND(Grabkit::DataStream, "DataStream")
GRABKIT_KIND(Grabkit::Buffer, "Buffer")
GRABKIT_KIND(Grabkit::Port, "Port")
GRABKIT_KIND(Locked<StringList>, "StringList")
GRABKIT_KIND(Locked<SharedList<Grabkit::DeviceInfo>>, "DeviceInfoList")
GRABKIT_KIND(Locked<SharedList<Grabkit::InterfaceInfo>>, "InterfaceInfoList")
GRABKIT_KIND(Grabkit::NewBufferEvent, "NewBufferEvent")
#undef GRABKIT_KIND

}  // namespace Grabkit::Jni
