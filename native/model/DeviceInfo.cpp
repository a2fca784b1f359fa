#include "DeviceInfo.h"

#include "../producer/CallLayer.h"
#include "Device.h"

namespace Grabkit {

DeviceInfo::DeviceInfo(std::shared_ptr<TLInterface> tlInterface, std::string id)
    : tlInterface_(std::move(tlInterface)), id_(std::move(id)) {
  trace("DeviceInfo(%s)", id_.c_str());
}

DeviceInfo::~DeviceInfo() {
  trace("~DeviceInfo(%s)", id_.c_str());
}

std::string DeviceInfo::getInfoString(int32_t cmd) const {
  return IFGetDeviceInfoString(tlInterface_->getHandle(), cmd, id_);
}

std::string DeviceInfo::getVendor() const {
  return getInfoString(DEVICE_INFO_VENDOR);
}
std::string DeviceInfo::getModel() const {
  return getInfoString(DEVICE_INFO_MODEL);
}
std::string DeviceInfo::getTransportLayerType() const {
  return getInfoString(DEVICE_INFO_TLTYPE);
}
std::string DeviceInfo::getDisplayName() const {
  return getInfoString(DEVICE_INFO_DISPLAYNAME);
}
std::string DeviceInfo::getUserDefinedName() const {
  return getInfoString(DEVICE_INFO_USER_DEFINED_NAME);
}
std::string DeviceInfo::getSerialNumber() const {
  return getInfoString(DEVICE_INFO_SERIAL_NUMBER);
}
std::string DeviceInfo::getVersion() const {
  return getInfoString(DEVICE_INFO_VERSION);
}

int32_t DeviceInfo::getAccessStatus() const {
  return IFGetDeviceInfoInt32(tlInterface_->getHandle(), DEVICE_INFO_ACCESS_STATUS, id_);
}

std::shared_ptr<Device> DeviceInfo::open(int32_t flags) const {
  DEV_HANDLE handle = IFOpenDevice(tlInterface_->getHandle(), id_, flags);
  return std::make_shared<Device>(tlInterface_, handle);
}

void DeviceInfo::enterCall() const {
  tlInterface_->enterCall();
}

void DeviceInfo::leaveCall() const {
  tlInterface_->leaveCall();
}

std::shared_ptr<ProducerFunctions> DeviceInfo::callTarget() const {
  return tlInterface_->callTarget();
}

}  // namespace Grabkit
