// Every exception class derives from GenTLException alone and first, so an
// exception's address is also the address of its base: the upcast is the
// identity.
#include "Frame.h"

#define GRABKIT_UPCAST(name, code, message)                                \
  GRABKIT_JNI(jlong, name##_1SWIGUpcast)(JNIEnv*, jclass, jlong address) { \
    return address;                                                        \
  }
GRABKIT_EXCEPTIONS(GRABKIT_UPCAST)
#undef GRABKIT_UPCAST
