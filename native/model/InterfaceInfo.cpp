#include "InterfaceInfo.h"

#include "../producer/CallLayer.h"
#include "TLInterface.h"

namespace Grabkit {

InterfaceInfo::InterfaceInfo(std::shared_ptr<TransportLayer> transportLayer, std::string id)
    : transportLayer_(std::move(transportLayer)), id_(std::move(id)) {
  trace("InterfaceInfo(%s)", id_.c_str());
}

InterfaceInfo::~InterfaceInfo() {
  trace("~InterfaceInfo(%s)", id_.c_str());
}

std::string InterfaceInfo::getInfoString(int32_t cmd) const {
  return TLGetInterfaceInfoString(transportLayer_->getHandle(), cmd, id_);
}

std::string InterfaceInfo::getDisplayName() const {
  return getInfoString(INTERFACE_INFO_DISPLAYNAME);
}

std::string InterfaceInfo::getTransportLayerType() const {
  return getInfoString(INTERFACE_INFO_TLTYPE);
}

std::shared_ptr<TLInterface> InterfaceInfo::open() const {
  IF_HANDLE handle = TLOpenInterface(transportLayer_->getHandle(), id_);
  return std::make_shared<TLInterface>(transportLayer_, handle);
}

std::vector<std::shared_ptr<InterfaceInfo>> TransportLayer::impl_getInterfaces() {
  std::vector<std::string> ids = TLGetInterfaceList(getHandle());
  std::vector<std::shared_ptr<InterfaceInfo>> infos;
  for (const std::string& id : ids) {
    infos.push_back(std::make_shared<InterfaceInfo>(shared_from_this(), id));
  }
  return infos;
}

void InterfaceInfo::enterCall() const {
  transportLayer_->enterCall();
}

void InterfaceInfo::leaveCall() const {
  transportLayer_->leaveCall();
}

std::shared_ptr<ProducerFunctions> InterfaceInfo::callTarget() const {
  return transportLayer_->callTarget();
}

}  // namespace Grabkit
