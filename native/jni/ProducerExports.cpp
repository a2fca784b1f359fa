// GenTLProducer and TransportLayer.
#include "../model/InterfaceInfo.h"
#include "../model/Port.h"
#include "../model/TransportLayer.h"
#include "../producer/CallLayer.h"
#include "ModelGlue.h"

using namespace Grabkit::Jni;
using Grabkit::GenTLProducer;
using Grabkit::TransportLayer;

GRABKIT_JNI(jlong, GenTLProducer_1load)(JNIEnv* env, jclass, jstring path) {
  return frame(env, [&] { return newHolder(GenTLProducer::load(toString(env, path))); });
}
// The Java API's load: the path as UTF-8 bytes, a failed load undone whole.
extern "C" JNIEXPORT jlong JNICALL Java_org_grabkit_gentl_GenTLProducer_open0(JNIEnv* env, jclass,
                                                                              jbyteArray path) {
  return frame(env, [&] { return newHolder(GenTLProducer::open(toBytes(env, path))); });
}
GRABKIT_CLOSE_EXPORT(GenTLProducer)

// The system's information, from this producer's own load.
extern "C" JNIEXPORT jstring JNICALL
Java_org_grabkit_gentl_GenTLProducer_getInfoString0(JNIEnv* env, jclass, jlong self, jint cmd) {
  return frame(env, [&] {
    auto producer = instance<GenTLProducer>(env, self, "GenTLProducer");
    return toJava(env, Grabkit::GCGetInfoString(cmd));
  });
}

extern "C" JNIEXPORT jint JNICALL Java_org_grabkit_gentl_GenTLProducer_getInfoInt320(JNIEnv* env,
                                                                                     jclass,
                                                                                     jlong self,
                                                                                     jint cmd) {
  return frame(env, [&] {
    auto producer = instance<GenTLProducer>(env, self, "GenTLProducer");
    return Grabkit::infoValue<int32_t>(GRABKIT_PRODUCER(GCGetInfo), cmd);
  });
}
GRABKIT_GETTER(jboolean, GenTLProducer, isClosed, asBool)
GRABKIT_GETTER(jboolean, GenTLProducer, checkValid, asBool)
GRABKIT_GETTER(jlong, GenTLProducer, openTransportLayer, asHolder)
GRABKIT_DELETE(GenTLProducer)

GRABKIT_NEW_MODULE(TransportLayer, GenTLProducer)
GRABKIT_MODULE_EXPORTS(TransportLayer)
GRABKIT_GETTER_TIMEOUT(jboolean, TransportLayer, updateInterfacesList, asBool)
GRABKIT_LIST_RESULT(TransportLayer, impl_1getInterfaces, impl_getInterfaces)
