#include "TransportLayer.h"

#include "Port.h"

namespace Grabkit {

bool TransportLayer::updateInterfacesList(uint64_t timeout) {
  return TLUpdateInterfaceList(getHandle(), timeout);
}

std::shared_ptr<Port> TransportLayer::getPort() {
  TL_HANDLE h = getHandle();
  return std::make_shared<ConcretePort<TransportLayer>>(shared_from_this(), h);
}

}  // namespace Grabkit
