// The root of the module tree: the one producer library the process has
// loaded. Making it loads the producer; closing or destroying it unloads it.
#ifndef GRABKIT_MODEL_GENTLPRODUCER_H
#define GRABKIT_MODEL_GENTLPRODUCER_H

#include <cstdint>
#include <memory>
#include <string>

namespace Grabkit {

class TransportLayer;

class GenTLProducer : public std::enable_shared_from_this<GenTLProducer> {
 public:
  // Refuses while any producer is initialised, also one loaded through the
  // low-level GCInitLib.
  static std::shared_ptr<GenTLProducer> load(std::string path);

  ~GenTLProducer();
  GenTLProducer(const GenTLProducer&) = delete;
  GenTLProducer& operator=(const GenTLProducer&) = delete;

  void close();
  bool isClosed() const;
  bool checkValid() const;
  // Opens the system module again at each call.
  std::shared_ptr<TransportLayer> openTransportLayer();

  int32_t instanceNumber() const { return instance_; }

 private:
  explicit GenTLProducer(std::string path);

  bool closed_ = false;
  int32_t instance_;
};

}  // namespace Grabkit

#endif
