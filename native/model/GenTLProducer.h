// The root of the module tree: the one producer library the process has
// loaded. Making it loads the producer; closing or destroying it unloads it.
#ifndef GRABKIT_MODEL_GENTLPRODUCER_H
#define GRABKIT_MODEL_GENTLPRODUCER_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace Grabkit {

class TransportLayer;
class ProducerFunctions;

class GenTLProducer : public std::enable_shared_from_this<GenTLProducer> {
 public:
  // Refuses while any producer is initialised, also one loaded through the
  // low-level GCInitLib.
  static std::shared_ptr<GenTLProducer> load(std::string path);
  // A load for the Java API, beside any other producer: a failed load leaves
  // nothing loaded and says why, the path is taken as UTF-8 bytes, the same
  // file opened twice shares one load, and the tree stays bound to this load
  // for good (closed once it is closed, whatever is loaded later).
  static std::shared_ptr<GenTLProducer> open(std::string path);

  ~GenTLProducer();
  GenTLProducer(const GenTLProducer&) = delete;
  GenTLProducer& operator=(const GenTLProducer&) = delete;

  void close();
  bool isClosed() const;
  bool checkValid() const;
  // Opens the system module again at each call.
  std::shared_ptr<TransportLayer> openTransportLayer();

  int32_t instanceNumber() const { return instance_; }

  // The load that this tree's calls go to: its own for a bound tree, else
  // whatever producer is current.
  std::shared_ptr<ProducerFunctions> callTarget() const;
  // Calls in the tree, which closing the producer waits for (see Module).
  void enterCall() const { active_.fetch_add(1); }
  void leaveCall() const;

 private:
  GenTLProducer(std::string path, bool bound);

  std::atomic<bool> closed_{false};
  int32_t instance_;
  std::shared_ptr<ProducerFunctions> load_;  // set for a bound tree only
  mutable std::atomic<int> active_{0};
  mutable std::mutex activeMutex_;
  mutable std::condition_variable idle_;
};

}  // namespace Grabkit

#endif
