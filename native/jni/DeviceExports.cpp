// DeviceInfo and Device.
#include "../model/DataStream.h"
#include "../model/Device.h"
#include "../model/DeviceInfo.h"
#include "../model/Port.h"
#include "../producer/CallLayer.h"
#include "ModelGlue.h"

using namespace Grabkit::Jni;
using Grabkit::Device;
using Grabkit::DeviceInfo;
using Grabkit::TLInterface;

// The string getters that both classes have.
#define GRABKIT_DEVICE_STRINGS(Class)                             \
  GRABKIT_GETTER(jstring, Class, getID, asString)                 \
  GRABKIT_GETTER(jstring, Class, getVendor, asString)             \
  GRABKIT_GETTER(jstring, Class, getModel, asString)              \
  GRABKIT_GETTER(jstring, Class, getTransportLayerType, asString) \
  GRABKIT_GETTER(jstring, Class, getDisplayName, asString)        \
  GRABKIT_GETTER(jstring, Class, getUserDefinedName, asString)    \
  GRABKIT_GETTER(jstring, Class, getSerialNumber, asString)       \
  GRABKIT_GETTER(jstring, Class, getVersion, asString)            \
  GRABKIT_GETTER_1(jstring, Class, getInfoString, asString)       \
  GRABKIT_GETTER(jint, Class, getAccessStatus, asInt)

GRABKIT_NEW_RECORD(DeviceInfo, TLInterface)
GRABKIT_DEVICE_STRINGS(DeviceInfo)
GRABKIT_GETTER_1(jlong, DeviceInfo, open, asHolder)
GRABKIT_DELETE(DeviceInfo)

GRABKIT_NEW_MODULE(Device, TLInterface)
GRABKIT_MODULE_EXPORTS(Device)
GRABKIT_DEVICE_STRINGS(Device)
GRABKIT_JNI(jlong, Device_1openDataStream)(JNIEnv* env, jclass, jlong self, jobject, jstring id) {
  return frame(env, [&] {
    std::string name = toString(env, id);
    return newHolder(instance<Device>(env, self, "Device")->openDataStream(std::move(name)));
  });
}
GRABKIT_LIST_RESULT(Device, impl_1getDataStreamIDs, getDataStreamIDs)

// One 64-bit value of the device's information (its timestamp frequency), for
// the Java API, which asks it once per acquisition.
extern "C" JNIEXPORT jlong JNICALL Java_org_grabkit_gentl_Device_infoUint640(JNIEnv* env, jclass,
                                                                             jlong self, jint cmd) {
  return frame(env, [&] {
    auto device = instance<Device>(env, self, "Device");
    DEV_HANDLE h = device->getHandle();
    return checkedUnsigned(Grabkit::infoValue<uint64_t>(GRABKIT_PRODUCER(DevGetInfo), h, cmd));
  });
}
