// The exported GenTL entry points. Each one validates its handles against the
// registry, runs under the library mutex and turns failures into return codes;
// nothing may throw across the C boundary.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "GenTL.h"
#include "library.h"

using namespace grabkit::sim;

namespace {

thread_local GC_ERROR t_lastError = GC_ERR_SUCCESS;
thread_local char t_lastText[512] = "no error";

void remember(GC_ERROR code, const char* function, const char* text) {
  t_lastError = code;
  std::snprintf(t_lastText, sizeof t_lastText, "%s: %s", function, text);
}

template <class Body>
GC_ERROR guarded(const char* function, Body&& body) noexcept {
  try {
    body();
    return GC_ERR_SUCCESS;
  } catch (const Failure& f) {
    remember(f.code(), function, f.what());
    return f.code();
  } catch (const std::bad_alloc&) {
    remember(GC_ERR_OUT_OF_MEMORY, function, "out of memory");
    return GC_ERR_OUT_OF_MEMORY;
  } catch (const std::exception& e) {
    remember(GC_ERR_ERROR, function, e.what());
    return GC_ERR_ERROR;
  } catch (...) {
    remember(GC_ERR_ERROR, function, "unexpected failure");
    return GC_ERR_ERROR;
  }
}

Library& lib() {
  return library();
}

std::shared_ptr<System> systemOf(TL_HANDLE h) {
  return lib().get<System>(h, Kind::kSystem);
}
std::shared_ptr<Interface> interfaceOf(IF_HANDLE h) {
  return lib().get<Interface>(h, Kind::kInterface);
}
std::shared_ptr<Device> deviceOf(DEV_HANDLE h) {
  return lib().get<Device>(h, Kind::kDevice);
}
std::shared_ptr<Stream> streamOf(DS_HANDLE h) {
  return lib().get<Stream>(h, Kind::kStream);
}
std::shared_ptr<Event> eventOf(EVENT_HANDLE h) {
  return lib().get<Event>(h, Kind::kEvent);
}

void checkInterfaceId(const char* id) {
  need(id, "interface ID");
  if (std::strcmp(id, kInterfaceId) != 0) {
    fail(GC_ERR_INVALID_ID, std::string("no interface with ID \"") + id + "\"");
  }
}

int32_t accessStatus(const Interface* iface, const std::string& id) {
  if (iface != nullptr) {
    const auto it = iface->devices.find(id);
    if (it != iface->devices.end()) {
      return it->second->readOnly() ? DEVICE_ACCESS_STATUS_OPEN_READ
                                    : DEVICE_ACCESS_STATUS_OPEN_READWRITE;
    }
  }
  return DEVICE_ACCESS_STATUS_READWRITE;
}

void writeCount(uint32_t* count, size_t value) {
  *need(count, "count") = static_cast<uint32_t>(value);
}

}  // namespace

// ---- Library and system information --------------------------------------------------------

GC_ERROR GCGetInfo(TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  // Static facts about the producer: allowed before GCInitLib.
  return guarded(__func__, [&] { systemInfo(iInfoCmd).copyOut(piType, pBuffer, piSize); });
}

GC_ERROR GCGetLastError(GC_ERROR* piErrorCode, char* sErrText, size_t* piSize) {
  // Reports the previous failure of this thread; its own failures must not replace it.
  if (piErrorCode == nullptr || piSize == nullptr) return GC_ERR_INVALID_PARAMETER;
  const size_t needed = std::strlen(t_lastText) + 1;
  *piErrorCode = t_lastError;
  if (sErrText == nullptr) {
    *piSize = needed;
    return GC_ERR_SUCCESS;
  }
  if (*piSize < needed) {
    *piSize = needed;
    return GC_ERR_BUFFER_TOO_SMALL;
  }
  std::memcpy(sErrText, t_lastText, needed);
  *piSize = needed;
  return GC_ERR_SUCCESS;
}

GC_ERROR GCInitLib(void) {
  return guarded(__func__, [&] {
    auto lock = lib().lockAlways();
    lib().init();
  });
}

GC_ERROR GCCloseLib(void) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    lib().close();
  });
}

// ---- Ports ----------------------------------------------------------------------------------

GC_ERROR GCReadPort(PORT_HANDLE hPort, uint64_t iAddress, void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto port = lib().port(hPort);
    port->read(iAddress, pBuffer, *need(piSize, "size"));
  });
}

GC_ERROR GCWritePort(PORT_HANDLE hPort, uint64_t iAddress, const void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto port = lib().port(hPort);
    port->write(iAddress, pBuffer, *need(piSize, "size"));
  });
}

namespace {
// Runs `access` on each entry in order; on a failure the count tells how many
// entries were done before it.
template <typename Access>
GC_ERROR stackedAccess(const char* function, PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,
                       size_t* piNumEntries, Access access) {
  return guarded(function, [&] {
    auto lock = lib().lock();
    auto port = lib().port(hPort);
    need(piNumEntries, "entry count");
    if (*piNumEntries != 0) need(pEntries, "entries");
    for (size_t i = 0; i < *piNumEntries; ++i) {
      try {
        access(*port, pEntries[i]);
      } catch (const Failure&) {
        *piNumEntries = i;
        throw;
      }
    }
  });
}
}  // namespace

GC_ERROR GCReadPortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,
                           size_t* piNumEntries) {
  return stackedAccess(__func__, hPort, pEntries, piNumEntries,
                       [](auto& port, const PORT_REGISTER_STACK_ENTRY& e) {
                         port.read(e.Address, e.pBuffer, e.Size);
                       });
}

GC_ERROR GCWritePortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,
                            size_t* piNumEntries) {
  return stackedAccess(__func__, hPort, pEntries, piNumEntries,
                       [](auto& port, const PORT_REGISTER_STACK_ENTRY& e) {
                         port.write(e.Address, e.pBuffer, e.Size);
                       });
}

GC_ERROR GCGetPortURL(PORT_HANDLE hPort, char* sURL, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    const DescriptionFile* file = lib().port(hPort)->description();
    if (file == nullptr) fail(GC_ERR_NOT_AVAILABLE, "this port has no description file");
    copyString(file->url(), sURL, piSize);
  });
}

GC_ERROR GCGetPortInfo(PORT_HANDLE hPort, PORT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                       void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    portInfoValue(lib().port(hPort)->portInfo(), iInfoCmd).copyOut(piType, pBuffer, piSize);
  });
}

GC_ERROR GCGetNumPortURLs(PORT_HANDLE hPort, uint32_t* piNumURLs) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    writeCount(piNumURLs, lib().port(hPort)->description() != nullptr ? 1 : 0);
  });
}

GC_ERROR GCGetPortURLInfo(PORT_HANDLE hPort, uint32_t iURLIndex, URL_INFO_CMD iInfoCmd,
                          INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    const DescriptionFile* file = lib().port(hPort)->description();
    if (file == nullptr || iURLIndex != 0) {
      fail(GC_ERR_INVALID_INDEX, "URL index " + std::to_string(iURLIndex) + " of " +
                                     std::to_string(file != nullptr ? 1 : 0));
    }
    urlInfo(*file, iInfoCmd).copyOut(piType, pBuffer, piSize);
  });
}

// ---- Events ---------------------------------------------------------------------------------

GC_ERROR GCRegisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID, EVENT_HANDLE* phEvent) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto source = lib().eventSource(hEventSrc);
    need(phEvent, "event handle");
    if (source->kind() != Kind::kStream || iEventID != EVENT_NEW_BUFFER) {
      fail(GC_ERR_NOT_IMPLEMENTED, "only EVENT_NEW_BUFFER on data streams is offered");
    }
    auto stream = std::static_pointer_cast<Stream>(source);
    auto event = std::make_shared<Event>(stream);
    stream->attach(*event);
    lib().add(event);
    *phEvent = event->handle();
  });
}

GC_ERROR GCUnregisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto source = lib().eventSource(hEventSrc);
    if (source->kind() != Kind::kStream || iEventID != EVENT_NEW_BUFFER) {
      fail(GC_ERR_NOT_IMPLEMENTED, "only EVENT_NEW_BUFFER on data streams is offered");
    }
    auto& stream = static_cast<Stream&>(*source);
    if (!stream.isRegistered()) fail(GC_ERR_NOT_AVAILABLE, "EVENT_NEW_BUFFER is not registered");
    lib().unregisterEvent(stream);
  });
}

GC_ERROR EventGetData(EVENT_HANDLE hEvent, void* pBuffer, size_t* piSize, uint64_t iTimeout) {
  return guarded(__func__, [&] {
    std::shared_ptr<Event> event;
    {
      auto lock = lib().lock();
      event = eventOf(hEvent);
    }
    constexpr size_t kSize = sizeof(EVENT_NEW_BUFFER_DATA);
    need(piSize, "size");
    if (pBuffer == nullptr) {
      *piSize = kSize;
      return;
    }
    if (*piSize < kSize) {
      *piSize = kSize;
      fail(GC_ERR_BUFFER_TOO_SMALL,
           "EVENT_NEW_BUFFER_DATA needs " + std::to_string(kSize) + " bytes");
    }
    // Waits without the library mutex; the event keeps its stream object alive.
    const EVENT_NEW_BUFFER_DATA data = event->stream->waitEvent(*event, iTimeout);
    std::memcpy(pBuffer, &data, kSize);
    *piSize = kSize;
  });
}

GC_ERROR EventGetDataInfo(EVENT_HANDLE hEvent, const void* pInBuffer, size_t iInSize,
                          EVENT_DATA_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pOutBuffer,
                          size_t* piOutSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    eventOf(hEvent);
    need(pInBuffer, "event data");
    if (iInSize < sizeof(EVENT_NEW_BUFFER_DATA)) {
      fail(GC_ERR_INVALID_PARAMETER, "event data is shorter than EVENT_NEW_BUFFER_DATA");
    }
    EVENT_NEW_BUFFER_DATA data;
    std::memcpy(&data, pInBuffer, sizeof data);
    switch (iInfoCmd) {
      case EVENT_DATA_ID:
        InfoValue::pointer(data.BufferHandle).copyOut(piType, pOutBuffer, piOutSize);
        break;
      case EVENT_DATA_VALUE:
        InfoValue::pointer(data.pUserPointer).copyOut(piType, pOutBuffer, piOutSize);
        break;
      case EVENT_DATA_NUMID:
        fail(GC_ERR_NOT_AVAILABLE, "new-buffer events carry no numeric ID");
      default:
        fail(GC_ERR_NOT_IMPLEMENTED, "unknown event data command " + std::to_string(iInfoCmd));
    }
  });
}

GC_ERROR EventGetInfo(EVENT_HANDLE hEvent, EVENT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                      void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto event = eventOf(hEvent);
    event->stream->eventInfo(*event, iInfoCmd).copyOut(piType, pBuffer, piSize);
  });
}

GC_ERROR EventFlush(EVENT_HANDLE hEvent) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    eventOf(hEvent)->stream->flushEvents();
  });
}

GC_ERROR EventKill(EVENT_HANDLE hEvent) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto event = eventOf(hEvent);
    event->stream->kill(*event);
  });
}

// ---- System module --------------------------------------------------------------------------

GC_ERROR TLOpen(TL_HANDLE* phTL) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    need(phTL, "system handle");
    if (lib().system()) fail(GC_ERR_RESOURCE_IN_USE, "the system module is already open");
    auto system = std::make_shared<System>();
    lib().add(system);
    lib().system() = system;
    *phTL = system->handle();
  });
}

GC_ERROR TLClose(TL_HANDLE hTL) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    systemOf(hTL);
    lib().closeSystem();
  });
}

GC_ERROR TLGetInfo(TL_HANDLE hTL, TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                   size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    systemOf(hTL);
    systemInfo(iInfoCmd).copyOut(piType, pBuffer, piSize);
  });
}

GC_ERROR TLGetNumInterfaces(TL_HANDLE hTL, uint32_t* piNumIfaces) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    systemOf(hTL);
    writeCount(piNumIfaces, 1);
  });
}

GC_ERROR TLGetInterfaceID(TL_HANDLE hTL, uint32_t iIndex, char* sID, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    systemOf(hTL);
    if (iIndex != 0)
      fail(GC_ERR_INVALID_INDEX, "interface index " + std::to_string(iIndex) + " of 1");
    copyString(kInterfaceId, sID, piSize);
  });
}

GC_ERROR TLGetInterfaceInfo(TL_HANDLE hTL, const char* sIfaceID, INTERFACE_INFO_CMD iInfoCmd,
                            INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    systemOf(hTL);
    checkInterfaceId(sIfaceID);
    interfaceInfo(iInfoCmd).copyOut(piType, pBuffer, piSize);
  });
}

GC_ERROR TLOpenInterface(TL_HANDLE hTL, const char* sIfaceID, IF_HANDLE* phIface) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto system = systemOf(hTL);
    checkInterfaceId(sIfaceID);
    need(phIface, "interface handle");
    if (system->interfaces.count(kInterfaceId) != 0) {
      fail(GC_ERR_RESOURCE_IN_USE, "the interface is already open");
    }
    auto iface =
        std::make_shared<Interface>(*system, static_cast<uint32_t>(lib().devices().size()));
    lib().add(iface);
    system->interfaces[kInterfaceId] = iface;
    *phIface = iface->handle();
  });
}

GC_ERROR TLUpdateInterfaceList(TL_HANDLE hTL, bool8_t* pbChanged, uint64_t iTimeout) {
  (void)iTimeout;  // the list is known at once
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto system = systemOf(hTL);
    if (pbChanged != nullptr) *pbChanged = system->listUpdated ? 0 : 1;
    system->listUpdated = true;
  });
}

// ---- Interface module -----------------------------------------------------------------------

GC_ERROR IFClose(IF_HANDLE hIface) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    lib().closeInterface(interfaceOf(hIface));
  });
}

GC_ERROR IFGetInfo(IF_HANDLE hIface, INTERFACE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                   void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    interfaceOf(hIface);
    interfaceInfo(iInfoCmd).copyOut(piType, pBuffer, piSize);
  });
}

GC_ERROR IFGetNumDevices(IF_HANDLE hIface, uint32_t* piNumDevices) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    interfaceOf(hIface);
    writeCount(piNumDevices, lib().devices().size());
  });
}

GC_ERROR IFGetDeviceID(IF_HANDLE hIface, uint32_t iIndex, char* sIDeviceID, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    interfaceOf(hIface);
    copyString(lib().deviceAt(iIndex).id, sIDeviceID, piSize);
  });
}

GC_ERROR IFUpdateDeviceList(IF_HANDLE hIface, bool8_t* pbChanged, uint64_t iTimeout) {
  (void)iTimeout;
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto iface = interfaceOf(hIface);
    if (pbChanged != nullptr) *pbChanged = iface->listUpdated ? 0 : 1;
    iface->listUpdated = true;
  });
}

GC_ERROR IFGetDeviceInfo(IF_HANDLE hIface, const char* sDeviceID, DEVICE_INFO_CMD iInfoCmd,
                         INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto iface = interfaceOf(hIface);
    const DeviceEntry& entry = lib().device(sDeviceID);
    deviceInfo(entry, iInfoCmd, accessStatus(iface.get(), entry.id))
        .copyOut(piType, pBuffer, piSize);
  });
}

GC_ERROR IFOpenDevice(IF_HANDLE hIface, const char* sDeviceID, DEVICE_ACCESS_FLAGS iOpenFlags,
                      DEV_HANDLE* phDevice) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto iface = interfaceOf(hIface);
    const DeviceEntry& entry = lib().device(sDeviceID);
    need(phDevice, "device handle");
    if (iOpenFlags != DEVICE_ACCESS_READONLY && iOpenFlags != DEVICE_ACCESS_CONTROL &&
        iOpenFlags != DEVICE_ACCESS_EXCLUSIVE) {
      fail(GC_ERR_INVALID_PARAMETER, "unsupported access flags " + std::to_string(iOpenFlags));
    }
    if (iface->devices.count(entry.id) != 0)
      fail(GC_ERR_RESOURCE_IN_USE, entry.id + " is already open");
    auto device = std::make_shared<Device>(*iface, entry, lib().settings(),
                                           iOpenFlags == DEVICE_ACCESS_READONLY);
    device->remote = std::make_shared<RemotePort>(*device);
    lib().add(device);
    lib().add(device->remote);
    iface->devices[entry.id] = device;
    *phDevice = device->handle();
  });
}

GC_ERROR IFGetParentTL(IF_HANDLE hIface, TL_HANDLE* phSystem) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto iface = interfaceOf(hIface);
    *need(phSystem, "system handle") = iface->parent().handle();
  });
}

// ---- Device module --------------------------------------------------------------------------

GC_ERROR DevGetPort(DEV_HANDLE hDevice, PORT_HANDLE* phRemoteDevice) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto device = deviceOf(hDevice);
    *need(phRemoteDevice, "port handle") = device->remote->handle();
  });
}

GC_ERROR DevGetNumDataStreams(DEV_HANDLE hDevice, uint32_t* piNumDataStreams) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    deviceOf(hDevice);
    writeCount(piNumDataStreams, 1);
  });
}

GC_ERROR DevGetDataStreamID(DEV_HANDLE hDevice, uint32_t iIndex, char* sDataStreamID,
                            size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    deviceOf(hDevice);
    if (iIndex != 0) fail(GC_ERR_INVALID_INDEX, "stream index " + std::to_string(iIndex) + " of 1");
    copyString(kStreamId, sDataStreamID, piSize);
  });
}

GC_ERROR DevOpenDataStream(DEV_HANDLE hDevice, const char* sDataStreamID, DS_HANDLE* phDataStream) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto device = deviceOf(hDevice);
    need(sDataStreamID, "stream ID");
    if (std::strcmp(sDataStreamID, kStreamId) != 0) {
      fail(GC_ERR_INVALID_ID, std::string("no stream with ID \"") + sDataStreamID + "\"");
    }
    need(phDataStream, "stream handle");
    if (device->stream) fail(GC_ERR_RESOURCE_IN_USE, "the stream is already open");
    auto stream = std::make_shared<Stream>(*device);
    lib().add(stream);
    device->stream = stream;
    *phDataStream = stream->handle();
  });
}

GC_ERROR DevGetInfo(DEV_HANDLE hDevice, DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                    void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto device = deviceOf(hDevice);
    deviceInfo(device->entry(), iInfoCmd, accessStatus(&device->parent(), device->entry().id))
        .copyOut(piType, pBuffer, piSize);
  });
}

GC_ERROR DevClose(DEV_HANDLE hDevice) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    lib().closeDevice(deviceOf(hDevice));
  });
}

GC_ERROR DevGetParentIF(DEV_HANDLE hDevice, IF_HANDLE* phIface) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto device = deviceOf(hDevice);
    *need(phIface, "interface handle") = device->parent().handle();
  });
}

// ---- Data stream module ---------------------------------------------------------------------

GC_ERROR DSAnnounceBuffer(DS_HANDLE hDataStream, void* pBuffer, size_t iSize, void* pPrivate,
                          BUFFER_HANDLE* phBuffer) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto stream = streamOf(hDataStream);
    need(phBuffer, "buffer handle");
    *phBuffer = stream->announce(pBuffer, iSize, pPrivate);
  });
}

GC_ERROR DSAllocAndAnnounceBuffer(DS_HANDLE hDataStream, size_t iSize, void* pPrivate,
                                  BUFFER_HANDLE* phBuffer) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto stream = streamOf(hDataStream);
    need(phBuffer, "buffer handle");
    *phBuffer = stream->allocate(iSize, pPrivate);
  });
}

GC_ERROR DSFlushQueue(DS_HANDLE hDataStream, ACQ_QUEUE_TYPE iOperation) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    streamOf(hDataStream)->flush(iOperation);
  });
}

GC_ERROR DSStartAcquisition(DS_HANDLE hDataStream, ACQ_START_FLAGS iStartFlags,
                            uint64_t iNumToAcquire) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto stream = streamOf(hDataStream);
    stream->start(iStartFlags, iNumToAcquire, stream->device().layout(), stream->device().live());
  });
}

GC_ERROR DSStopAcquisition(DS_HANDLE hDataStream, ACQ_STOP_FLAGS iStopFlags) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    streamOf(hDataStream)->stop(iStopFlags);
  });
}

GC_ERROR DSGetInfo(DS_HANDLE hDataStream, STREAM_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                   void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto stream = streamOf(hDataStream);
    stream->info(iInfoCmd, stream->device().layout().payloadSize())
        .copyOut(piType, pBuffer, piSize);
  });
}

GC_ERROR DSGetBufferID(DS_HANDLE hDataStream, uint32_t iIndex, BUFFER_HANDLE* phBuffer) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto stream = streamOf(hDataStream);
    need(phBuffer, "buffer handle");
    *phBuffer = stream->bufferAt(iIndex);
  });
}

GC_ERROR DSClose(DS_HANDLE hDataStream) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    lib().closeStream(streamOf(hDataStream));
  });
}

GC_ERROR DSRevokeBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, void** pBuffer,
                        void** pPrivate) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    streamOf(hDataStream)->revoke(hBuffer, pBuffer, pPrivate);
  });
}

GC_ERROR DSQueueBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    streamOf(hDataStream)->queue(hBuffer);
  });
}

GC_ERROR DSGetBufferInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, BUFFER_INFO_CMD iInfoCmd,
                         INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    streamOf(hDataStream)->bufferInfo(hBuffer, iInfoCmd).copyOut(piType, pBuffer, piSize);
  });
}

GC_ERROR DSGetBufferChunkData(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                              SINGLE_CHUNK_DATA* pChunkData, size_t* piNumChunks) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    const auto list = streamOf(hDataStream)->chunks(hBuffer);
    size_t& count = *need(piNumChunks, "chunk count");
    if (pChunkData != nullptr) {
      if (count < list.size()) {
        const size_t room = count;
        count = list.size();
        fail(GC_ERR_BUFFER_TOO_SMALL,
             std::to_string(list.size()) + " chunks, room for " + std::to_string(room));
      }
      std::copy(list.begin(), list.end(), pChunkData);
    }
    count = list.size();
  });
}

GC_ERROR DSGetParentDev(DS_HANDLE hDataStream, DEV_HANDLE* phDevice) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto stream = streamOf(hDataStream);
    *need(phDevice, "device handle") = stream->device().handle();
  });
}

GC_ERROR DSGetNumBufferParts(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t* piNumParts) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    auto stream = streamOf(hDataStream);
    need(piNumParts, "part count");
    *piNumParts = stream->partCount(hBuffer);
  });
}

GC_ERROR DSGetBufferPartInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t iPartIndex,
                             BUFFER_PART_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                             size_t* piSize) {
  return guarded(__func__, [&] {
    auto lock = lib().lock();
    streamOf(hDataStream)->partInfo(hBuffer, iPartIndex, iInfoCmd).copyOut(piType, pBuffer, piSize);
  });
}
