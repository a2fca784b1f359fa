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

GRABKIT_NEW_RECORD(InterfaceInfo, TransportLayer)
GRABKIT_GETTER(jstring, InterfaceInfo, getID, asString)
GRABKIT_GETTER_1(jstring, InterfaceInfo, getInfoString, asString)
GRABKIT_GETTER(jstring, InterfaceInfo, getDisplayName, asString)
GRABKIT_GETTER(jstring, InterfaceInfo, getTransportLayerType, asString)
GRABKIT_GETTER(jlong, InterfaceInfo, open, asHolder)
GRABKIT_DELETE(InterfaceInfo)

GRABKIT_NEW_MODULE(TLInterface, TransportLayer)
GRABKIT_MODULE_EXPORTS(TLInterface)
GRABKIT_GETTER_1(jstring, TLInterface, getInfoString, asString)
GRABKIT_GETTER(jstring, TLInterface, getID, asString)
GRABKIT_GETTER(jstring, TLInterface, getDisplayName, asString)
GRABKIT_GETTER(jstring, TLInterface, getTransportLayerType, asString)
GRABKIT_GETTER_TIMEOUT(jboolean, TLInterface, updateDeviceList, asBool)
GRABKIT_LIST_RESULT(TLInterface, impl_1getDeviceList, impl_getDeviceList)
