// Port: register access, port information and URL information.
#include "../model/Port.h"
#include "ModelGlue.h"

using namespace Grabkit::Jni;
using Grabkit::Port;

GRABKIT_DELETE(Port)
GRABKIT_GETTER(jboolean, Port, checkValid, asBool)
GRABKIT_GETTER(jint, Port, getHandle, asHandle)

GRABKIT_JNI(jlong, Port_1read)
(JNIEnv* env, jclass, jlong self, jobject, jlong address, jobject buffer) {
  return frame(env, [&] {
    auto port = instance<Port>(env, self, "Port");
    DirectMemory memory = toDirect(env, buffer, true);
    return checkedUnsigned(port->read(static_cast<uint64_t>(address), memory.data, memory.size));
  });
}
GRABKIT_JNI(jlong, Port_1write)
(JNIEnv* env, jclass, jlong self, jobject, jlong address, jobject buffer) {
  return frame(env, [&] {
    auto port = instance<Port>(env, self, "Port");
    DirectMemory memory = toDirect(env, buffer);
    return checkedUnsigned(port->write(static_cast<uint64_t>(address), memory.data, memory.size));
  });
}

GRABKIT_GETTER_1(jstring, Port, getPortInfoString, asString)
GRABKIT_GETTER(jstring, Port, getID, asString)
GRABKIT_GETTER(jstring, Port, getVendor, asString)
GRABKIT_GETTER(jstring, Port, getModel, asString)
GRABKIT_GETTER(jstring, Port, getTLType, asString)
GRABKIT_GETTER(jstring, Port, getModule, asString)
GRABKIT_GETTER(jstring, Port, getVersion, asString)
GRABKIT_GETTER(jstring, Port, getName, asString)
GRABKIT_GETTER_1(jboolean, Port, getPortInfoBool, asBool)
GRABKIT_GETTER(jboolean, Port, isLittleEndian, asBool)
GRABKIT_GETTER(jboolean, Port, isBigEndian, asBool)
GRABKIT_GETTER(jboolean, Port, hasReadAccess, asBool)
GRABKIT_GETTER(jboolean, Port, hasWriteAccess, asBool)
GRABKIT_GETTER(jboolean, Port, isAccessNA, asBool)
GRABKIT_GETTER(jboolean, Port, isAccessNI, asBool)

GRABKIT_GETTER(jint, Port, getNumPortURLs, asInt)
GRABKIT_GETTER_2(jstring, Port, getURLInfoString, asString)
GRABKIT_GETTER_1(jstring, Port, getUrl, asString)
GRABKIT_GETTER_1(jstring, Port, getFilename, asString)
GRABKIT_GETTER_2(jint, Port, getURLInfoInt32, asInt)
GRABKIT_GETTER_1(jint, Port, getSchemaVerMajor, asInt)
GRABKIT_GETTER_1(jint, Port, getSchemaVerMinor, asInt)
GRABKIT_GETTER_1(jint, Port, getFileVerMajor, asInt)
GRABKIT_GETTER_1(jint, Port, getFileVerMinor, asInt)
GRABKIT_GETTER_1(jint, Port, getFileVerSubminor, asInt)
GRABKIT_GETTER_1(jint, Port, getScheme, asInt)
GRABKIT_GETTER_2(jlong, Port, getURLInfoUInt64, asLong)
GRABKIT_GETTER_1(jlong, Port, getFileRegisterAddress, asChecked)
GRABKIT_GETTER_1(jlong, Port, getFileSize, asChecked)

GRABKIT_JNI(jlong, Port_1getURLInfoBuffer)
(JNIEnv* env, jclass, jlong self, jobject, jint index, jobject buffer, jint cmd) {
  return frame(env, [&] {
    auto port = instance<Port>(env, self, "Port");
    DirectMemory memory = toDirect(env, buffer, true);
    return asLong(env, port->getURLInfoBuffer(index, memory.data, memory.size, cmd));
  });
}
GRABKIT_JNI(jlong, Port_1getFileSha1Hash)
(JNIEnv* env, jclass, jlong self, jobject, jint index, jobject buffer) {
  return frame(env, [&] {
    auto port = instance<Port>(env, self, "Port");
    DirectMemory memory = toDirect(env, buffer, true);
    return checkedUnsigned(port->getFileSha1Hash(index, memory.data, memory.size));
  });
}
