#include "Device.h"

#include "../producer/CallLayer.h"
#include "../producer/Producer.h"
#include "DataStream.h"
#include "Port.h"

namespace Grabkit {

std::string Device::getInfoString(int32_t cmd) const {
  return DevGetInfoString(getHandle(), cmd);
}

std::string Device::getID() const {
  return getInfoString(DEVICE_INFO_ID);
}
std::string Device::getVendor() const {
  return getInfoString(DEVICE_INFO_VENDOR);
}
std::string Device::getModel() const {
  return getInfoString(DEVICE_INFO_MODEL);
}
std::string Device::getTransportLayerType() const {
  return getInfoString(DEVICE_INFO_TLTYPE);
}
std::string Device::getDisplayName() const {
  return getInfoString(DEVICE_INFO_DISPLAYNAME);
}
std::string Device::getUserDefinedName() const {
  return getInfoString(DEVICE_INFO_USER_DEFINED_NAME);
}
std::string Device::getSerialNumber() const {
  return getInfoString(DEVICE_INFO_SERIAL_NUMBER);
}
std::string Device::getVersion() const {
  return getInfoString(DEVICE_INFO_VERSION);
}

int32_t Device::getAccessStatus() const {
  DEV_HANDLE h = getHandle();
  return infoValue<int32_t>(GRABKIT_PRODUCER(DevGetInfo), h, DEVICE_INFO_ACCESS_STATUS);
}

std::vector<std::string> Device::getDataStreamIDs() const {
  return DevGetDataStreamList(getHandle());
}

std::shared_ptr<DataStream> Device::openDataStream(std::string id) {
  DS_HANDLE handle = DevOpenDataStream(getHandle(), std::move(id));
  return std::make_shared<DataStream>(shared_from_this(), handle);
}

std::shared_ptr<Port> Device::getPort() {
  DEV_HANDLE h = getHandle();
  PORT_HANDLE port = outputValue<PORT_HANDLE>(GRABKIT_PRODUCER(DevGetPort), h);
  return std::make_shared<ConcretePort<Device>>(shared_from_this(), port);
}

}  // namespace Grabkit
