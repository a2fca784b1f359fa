// An interface that the transport layer listed but nobody opened.
#ifndef GRABKIT_MODEL_INTERFACEINFO_H
#define GRABKIT_MODEL_INTERFACEINFO_H

#include <memory>
#include <string>

namespace Grabkit {

class ProducerFunctions;
class TransportLayer;
class TLInterface;

class InterfaceInfo {
 public:
  InterfaceInfo(std::shared_ptr<TransportLayer> transportLayer, std::string id);
  ~InterfaceInfo();
  InterfaceInfo(const InterfaceInfo&) = delete;
  InterfaceInfo& operator=(const InterfaceInfo&) = delete;

  // The stored ID: works after the transport layer closed.
  std::string getID() const { return id_; }
  std::string getInfoString(int32_t cmd) const;
  std::string getDisplayName() const;
  std::string getTransportLayerType() const;
  // Opens again at each call.
  std::shared_ptr<TLInterface> open() const;

 private:
  std::shared_ptr<TransportLayer> transportLayer_;

 public:
  std::shared_ptr<ProducerFunctions> callTarget() const;
  void enterCall() const;
  void leaveCall() const;
  std::string id_;
};

}  // namespace Grabkit

#endif
