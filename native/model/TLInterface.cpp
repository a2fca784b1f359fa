#include "TLInterface.h"

#include "../producer/CallLayer.h"
#include "DeviceInfo.h"
#include "Port.h"

namespace Grabkit {

std::string TLInterface::getInfoString(int32_t cmd) const {
  return IFGetInfoString(getHandle(), cmd);
}

std::string TLInterface::getID() const {
  return getInfoString(INTERFACE_INFO_ID);
}

std::string TLInterface::getDisplayName() const {
  return getInfoString(INTERFACE_INFO_DISPLAYNAME);
}

std::string TLInterface::getTransportLayerType() const {
  return getInfoString(INTERFACE_INFO_TLTYPE);
}

bool TLInterface::updateDeviceList(uint64_t timeout) {
  return IFUpdateDeviceList(getHandle(), timeout);
}

std::vector<std::shared_ptr<DeviceInfo>> TLInterface::impl_getDeviceList() {
  std::vector<std::string> ids = IFGetDeviceList(getHandle());
  std::vector<std::shared_ptr<DeviceInfo>> infos;
  for (const std::string& id : ids) {
    infos.push_back(std::make_shared<DeviceInfo>(shared_from_this(), id));
  }
  return infos;
}

std::shared_ptr<Port> TLInterface::getPort() {
  IF_HANDLE h = getHandle();
  return std::make_shared<ConcretePort<TLInterface>>(shared_from_this(), h);
}

}  // namespace Grabkit
