#include "TransportLayer.h"

namespace Grabkit {

bool TransportLayer::updateInterfacesList(uint64_t timeout) {
  TL_HANDLE h = getHandle();
  bool8_t changed = 0;
  checkError(GRABKIT_PRODUCER(TLUpdateInterfaceList)(h, &changed, timeout));
  return changed != 0;
}

}  // namespace Grabkit
