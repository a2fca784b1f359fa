// InterfaceInfo and TLInterface.
#include "../model/DeviceInfo.h"
#include "../model/InterfaceInfo.h"
#include "../model/Port.h"
#include "../model/TLInterface.h"
#include "ModelGlue.h"

using namespace Grabkit::Jni;
using Grabkit::InterfaceInfo;
using Grabkit::TLInterface;
using Grabkit::TransportLayer;

GRABKIT_JNI(jlong, new_1InterfaceInfo)(JNIEnv* env, jclass, jlong tl, jobject, jstring id) {
  return frame(env, [&] {
    std::string name = toString(env, id);
    return newHolder(std::make_shared<InterfaceInfo>(
        parent<TransportLayer>(env, tl, "TransportLayer"), std::move(name)));
  });
}
GRABKIT_GETTER(jstring, InterfaceInfo, getID, asString)
GRABKIT_GETTER_1(jstring, InterfaceInfo, getInfoString, asString)
GRABKIT_GETTER(jstring, InterfaceInfo, getDisplayName, asString)
GRABKIT_GETTER(jstring, InterfaceInfo, getTransportLayerType, asString)
GRABKIT_GETTER(jlong, InterfaceInfo, open, asHolder)
GRABKIT_DELETE(InterfaceInfo)

GRABKIT_JNI(jlong, new_1TLInterface)(JNIEnv* env, jclass, jlong tl, jobject, jint h) {
  return frame(env, [&] {
    return newHolder(std::make_shared<TLInterface>(
        parent<TransportLayer>(env, tl, "TransportLayer"), fromJavaHandle(h)));
  });
}
GRABKIT_MODULE_EXPORTS(TLInterface)
GRABKIT_GETTER_1(jstring, TLInterface, getInfoString, asString)
GRABKIT_GETTER(jstring, TLInterface, getID, asString)
GRABKIT_GETTER(jstring, TLInterface, getDisplayName, asString)
GRABKIT_GETTER(jstring, TLInterface, getTransportLayerType, asString)
GRABKIT_GETTER_TIMEOUT(jboolean, TLInterface, updateDeviceList, asBool)
GRABKIT_LIST_RESULT(TLInterface, impl_1getDeviceList, impl_getDeviceList)
