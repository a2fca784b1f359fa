package org.grabkit.gentl;

import java.nio.ByteBuffer;

/**
 * The native methods of the Grabkit library, one per exported function. This is the C-style
 * layer: it mirrors the GenTL C functions and the object model's operations one to one. Most
 * programs use the classes built on top of it instead.
 *
 * <p>Failures arrive as the {@link GenTLException} family, or as {@code NullPointerException}
 * ("null string"), {@code RuntimeException} ("ByteBuffer must be direct.", "C++ std::exception:
 * ...") and {@code UnknownError} ("C++ anonymous exception").
 */
@SuppressWarnings("checkstyle:MethodName")
public final class gentlJNI {
  static {
    NativeLibrary.load();
  }

  private gentlJNI() {}

  // ---- Producer loading ----

  /**
   * Loads the producer file, resolves its functions and runs its {@code GCInitLib}.
   *
   * @param path the producer file
   * @return the code of the producer's {@code GCInitLib}, unchanged (also when it is an error)
   * @throws LoadLibraryException "Failed to load CTI file (ID: -10001)"
   */
  public static final native int GCInitLib(String path);

  /**
   * Runs the producer's {@code GCCloseLib} and releases the file.
   *
   * @return the producer's code, unchanged
   * @throws NotInitializedException when no producer is loaded
   * @throws LoadLibraryException "Could not free library (ID: -10001)"
   */
  public static final native int GCCloseLib();

  /** @return whether a producer is loaded and initialised */
  public static final native boolean GCLibIsInited();

  // ---- Diagnostics ----

  /** @param on whether trace lines of module and object life go to standard error */
  public static final native void enableTracing(boolean on);

  /**
   * Starts capturing the process's standard error (file descriptor 2).
   *
   * @return 0, or -1 if the capture could not start
   */
  public static final native int StdErrRedirectStart();

  /**
   * Ends the capture and returns the first 20480 bytes written since the start, cut at a NUL byte.
   * Output beyond that is dropped; writers never block.
   *
   * @return the captured text, empty if nothing was written
   */
  public static final native String StdErrRedirectStop();

  // ---- Exception upcasts (identity: every exception's address is that of its base) ----

  public static final native long AbortException_SWIGUpcast(long jarg1);

  public static final native long AccessDeniedException_SWIGUpcast(long jarg1);

  public static final native long BufferTooSmallException_SWIGUpcast(long jarg1);

  public static final native long BusyException_SWIGUpcast(long jarg1);

  public static final native long ClosedException_SWIGUpcast(long jarg1);

  public static final native long ErrorException_SWIGUpcast(long jarg1);

  public static final native long InvalidAddressException_SWIGUpcast(long jarg1);

  public static final native long InvalidBufferException_SWIGUpcast(long jarg1);

  public static final native long InvalidHandleException_SWIGUpcast(long jarg1);

  public static final native long InvalidIdException_SWIGUpcast(long jarg1);

  public static final native long InvalidIndexException_SWIGUpcast(long jarg1);

  public static final native long InvalidParameterException_SWIGUpcast(long jarg1);

  public static final native long InvalidValueException_SWIGUpcast(long jarg1);

  public static final native long IoException_SWIGUpcast(long jarg1);

  public static final native long LoadLibraryException_SWIGUpcast(long jarg1);

  public static final native long NoDataException_SWIGUpcast(long jarg1);

  public static final native long NotAvailableException_SWIGUpcast(long jarg1);

  public static final native long NotImplementedException_SWIGUpcast(long jarg1);

  public static final native long NotInitializedException_SWIGUpcast(long jarg1);

  public static final native long OutOfMemoryException_SWIGUpcast(long jarg1);

  public static final native long ParsingChunkDataException_SWIGUpcast(long jarg1);

  public static final native long ResourceExhaustedException_SWIGUpcast(long jarg1);

  public static final native long ResourceInUseException_SWIGUpcast(long jarg1);

  public static final native long TimeoutException_SWIGUpcast(long jarg1);

  // ---- Lists: StringList, DeviceInfoList, InterfaceInfoList ----
  //
  // A list is addressed by its own native address; the list classes of this package wrap it. An
  // index outside 0 <= i < size throws IndexOutOfBoundsException "vector index out of range"; a
  // size above the maximum, or negative, throws RuntimeException "C++ std::exception: vector<T> too
  // long". Elements of the DeviceInfo and InterfaceInfo lists are holders (addresses of shared
  // references): get returns a new holder, or 0 for an empty element; add and set copy the
  // reference of the holder they are given (0 for an empty element).

  public static final native long new_StringList__SWIG_0();

  public static final native long new_StringList__SWIG_1(long n);

  public static final native long StringList_size(long list, StringList proxy);

  public static final native long StringList_capacity(long list, StringList proxy);

  public static final native void StringList_reserve(long list, StringList proxy, long n);

  public static final native boolean StringList_isEmpty(long list, StringList proxy);

  public static final native void StringList_clear(long list, StringList proxy);

  public static final native void StringList_add(long list, StringList proxy, String x);

  public static final native String StringList_get(long list, StringList proxy, int i);

  public static final native void StringList_set(long list, StringList proxy, int i, String x);

  public static final native void delete_StringList(long list);

  public static final native long new_DeviceInfoList__SWIG_0();

  public static final native long new_DeviceInfoList__SWIG_1(long n);

  public static final native long DeviceInfoList_size(long list, DeviceInfoList proxy);

  public static final native long DeviceInfoList_capacity(long list, DeviceInfoList proxy);

  public static final native void DeviceInfoList_reserve(long list, DeviceInfoList proxy, long n);

  public static final native boolean DeviceInfoList_isEmpty(long list, DeviceInfoList proxy);

  public static final native void DeviceInfoList_clear(long list, DeviceInfoList proxy);

  public static final native void DeviceInfoList_add(
      long list, DeviceInfoList proxy, long element, Object elementProxy);

  public static final native long DeviceInfoList_get(long list, DeviceInfoList proxy, int i);

  public static final native void DeviceInfoList_set(
      long list, DeviceInfoList proxy, int i, long element, Object elementProxy);

  public static final native void delete_DeviceInfoList(long list);

  public static final native long new_InterfaceInfoList__SWIG_0();

  public static final native long new_InterfaceInfoList__SWIG_1(long n);

  public static final native long InterfaceInfoList_size(long list, InterfaceInfoList proxy);

  public static final native long InterfaceInfoList_capacity(long list, InterfaceInfoList proxy);

  public static final native void InterfaceInfoList_reserve(
      long list, InterfaceInfoList proxy, long n);

  public static final native boolean InterfaceInfoList_isEmpty(long list, InterfaceInfoList proxy);

  public static final native void InterfaceInfoList_clear(long list, InterfaceInfoList proxy);

  public static final native void InterfaceInfoList_add(
      long list, InterfaceInfoList proxy, long element, Object elementProxy);

  public static final native long InterfaceInfoList_get(long list, InterfaceInfoList proxy, int i);

  public static final native void InterfaceInfoList_set(
      long list, InterfaceInfoList proxy, int i, long element, Object elementProxy);

  public static final native void delete_InterfaceInfoList(long list);

  // ---- The low-level family: the producer's C functions one to one ----
  //
  // Handles of systems, interfaces, devices, streams, buffers, ports and events are Java ints.
  // A handle that fits in 32 signed bits is its own value; a wider one (a 64-bit heap pointer) is
  // handed to Java as a token, a negative int near Integer.MIN_VALUE, which the library translates
  // back; a token it never issued throws InvalidHandleException before the producer is called.
  // User values are Java's own ints. Indices and counts are unsigned 32-bit values carried in
  // longs. Query methods throw the GenTLException of a failing producer code; action methods
  // (closes, flush, start, stop, kill, unregister, queue) return the producer's code instead.
  // Unsigned 64-bit results above Long.MAX_VALUE throw RuntimeException "C++ std::exception: Value
  // ... exceeds max (9223372036854775807)"; sizes pass unchecked.

  /** @return the system module's text information {@code cmd} (TL_INFO_*) */
  public static final native String GCGetInfoString(int cmd);

  /** @return the system module's 32-bit information {@code cmd} */
  public static final native int GCGetInfoInt32(int cmd);

  /** @return the same 4 bytes as {@link #GCGetInfoInt32}, unsigned */
  public static final native long GCGetInfoUInt32(int cmd);

  /** @return the error code of the producer's last error on this thread */
  public static final native int GCGetLastError();

  /** @return the text of the producer's last error on this thread */
  public static final native String GCGetLastErrorMessage();

  /**
   * Reads registers into the whole capacity of {@code buffer}.
   *
   * @return the byte count that the producer reports
   */
  public static final native long GCReadPort(int hPort, long address, ByteBuffer buffer);

  /**
   * Writes the whole capacity of {@code buffer} to registers.
   *
   * @return the byte count that the producer reports
   */
  public static final native long GCWritePort(int hPort, long address, ByteBuffer buffer);

  /** @return the port's description-file URL */
  public static final native String GCGetPortURL(int hPort);

  /** @return the number of URLs of the port */
  public static final native long GCGetNumPortURLs(int hPort);

  /**
   * Reads URL information {@code cmd} into the whole capacity of {@code buffer}.
   *
   * @return the byte count that the producer reports
   */
  public static final native long GCGetPortURLInfoBuffer(
      int hPort, long urlIndex, int cmd, ByteBuffer buffer);

  /** @return URL information {@code cmd} (URL_INFO_*) as text */
  public static final native String GCGetPortURLInfoString(int hPort, long urlIndex, int cmd);

  /** @return URL information {@code cmd} as a 32-bit value */
  public static final native int GCGetPortURLInfoInt32(int hPort, long urlIndex, int cmd);

  /** @return URL information {@code cmd} as an unsigned 64-bit value */
  public static final native long GCGetPortURLInfoUint64(int hPort, long urlIndex, int cmd);

  /** @return port information {@code cmd} (PORT_INFO_*) as text */
  public static final native String GCGetPortInfoString(int hPort, int cmd);

  /** @return port information {@code cmd} as a boolean */
  public static final native boolean GCGetPortInfoBool(int hPort, int cmd);

  /**
   * Registers for events of {@code eventType} (EVENT_*) of a module.
   *
   * @return the event handle
   */
  public static final native int GCRegisterEvent(int hModule, int eventType);

  /** @return the producer's code */
  public static final native int GCUnregisterEvent(int hModule, int eventType);

  /**
   * Waits up to {@code timeout} ms for a new-buffer event.
   *
   * @return the address of a new record, which the caller frees with {@link
   *     #delete_NewBufferEvent}
   * @throws TimeoutException "Operation timed out before completion (ID: -1011)"; no record is made
   */
  public static final native long EventNewBufferGetData(int hEvent, long timeout);

  /** @return the producer's code */
  public static final native int EventKill(int hEvent);

  /** @return the producer's code */
  public static final native int EventFlush(int hEvent);

  /** @return the address of a new, zeroed new-buffer record */
  public static final native long new_NewBufferEvent();

  /** Frees a new-buffer record; 0 does nothing. */
  public static final native void delete_NewBufferEvent(long event);

  /** @return the handle of the filled buffer */
  public static final native int NewBufferEvent_BufferHandle_get(long event);

  /** @return the user value that the buffer was announced with */
  public static final native int NewBufferEvent_userData_get(long event);

  /** @return the handle of the opened system module */
  public static final native int TLOpen();

  /** @return the producer's code */
  public static final native int TLClose(int hTL);

  public static final native long TLGetNumInterfaces(int hTL);

  public static final native String TLGetInterfaceID(int hTL, long index);

  /** @return interface information {@code cmd} (INTERFACE_INFO_*) as text */
  public static final native String TLGetInterfaceInfoString(int hTL, int cmd, String interfaceId);

  /** @return the handle of the opened interface */
  public static final native int TLOpenInterface(int hTL, String interfaceId);

  /** @return whether the producer's list of interfaces changed */
  public static final native boolean TLUpdateInterfaceList(int hTL, long timeout);

  /** @return the address of a new {@link StringList} of the interface IDs */
  public static final native long TLGetInterfaceList(int hTL);

  /** @return the producer's code */
  public static final native int IFClose(int hIF);

  public static final native String IFGetInfoString(int hIF, int cmd);

  public static final native long IFGetNumDevices(int hIF);

  public static final native String IFGetDeviceID(int hIF, long index);

  /** @return device information {@code cmd} (DEVICE_INFO_*) as text */
  public static final native String IFGetDeviceInfoString(int hIF, int cmd, String deviceId);

  public static final native int IFGetDeviceInfoInt32(int hIF, int cmd, String deviceId);

  public static final native long IFGetDeviceInfoUint32__SWIG_0(int hIF, int cmd, String deviceId);

  /** The same query as {@link #IFGetDeviceInfoUint32__SWIG_0}; the low 32 bits of cmd count. */
  public static final native long IFGetDeviceInfoUint32__SWIG_1(
      int hIF, long cmd, String deviceId);

  public static final native long IFGetDeviceInfoUint64(int hIF, int cmd, String deviceId);

  /** @return the handle of the opened device */
  public static final native int IFOpenDevice(int hIF, String deviceId, int accessFlags);

  /** @return whether the producer's list of devices changed */
  public static final native boolean IFUpdateDeviceList(int hIF, long timeout);

  /** @return the address of a new {@link StringList} of the device IDs */
  public static final native long IFGetDeviceList(int hIF);

  /** @return the handle of the remote device's port */
  public static final native int DevGetPort(int hDev);

  public static final native long DevGetNumDataStreams(int hDev);

  public static final native String DevGetDataStreamID(int hDev, long index);

  /** @return the address of a new {@link StringList} of the stream IDs */
  public static final native long DevGetDataStreamList(int hDev);

  public static final native String DevGetInfoString(int hDev, int cmd);

  public static final native int DevGetInfoInt32(int hDev, int cmd);

  public static final native long DevGetInfoUint64(int hDev, int cmd);

  /** @return the handle of the opened data stream */
  public static final native int DevOpenDataStream(int hDev, String streamId);

  /** @return the producer's code */
  public static final native int DevClose(int hDev);

  /**
   * Announces the whole capacity of a direct buffer. The caller keeps {@code buffer} reachable
   * until the buffer is revoked: the producer writes into its memory.
   *
   * @return the buffer handle
   */
  public static final native int DSAnnounceBuffer(int hDS, ByteBuffer buffer, int userData);

  /** @return the handle of a buffer that the producer allocated */
  public static final native int DSAllocAndAnnounceBuffer(int hDS, long size, int userData);

  /** @return the producer's code */
  public static final native int DSFlushQueue(int hDS, int operation);

  /** @return the producer's code */
  public static final native int DSStartAcquisition(int hDS, int startFlags, long numToAcquire);

  /** @return the producer's code */
  public static final native int DSStopAcquisition(int hDS, int stopFlags);

  /** @return stream information {@code cmd} (STREAM_INFO_*) as text */
  public static final native String DSGetInfoString(int hDS, int cmd);

  public static final native long DSGetInfoUint64(int hDS, int cmd);

  /** @return a size; 2^63 and more come back negative */
  public static final native long DSGetInfoSize(int hDS, int cmd);

  public static final native boolean DSGetInfoBool(int hDS, int cmd);

  public static final native int DSGetBufferID(int hDS, long index);

  /** @return the producer's code */
  public static final native int DSClose(int hDS);

  public static final native long DSGetNumBufferParts(int hDS, int hBuffer);

  public static final native long DSGetBufferPartInfoSize(
      int hDS, int hBuffer, long partIndex, int cmd);

  public static final native long DSGetBufferPartInfoUint64(
      int hDS, int hBuffer, long partIndex, int cmd);

  /** @return the part's start relative to the buffer's base */
  public static final native long DSGetBufferPartDataOffset(int hDS, int hBuffer, long partIndex);

  /** @return the user value that the buffer was announced with */
  public static final native int DSRevokeBuffer(int hDS, int hBuffer);

  /** @return the user value that the buffer was announced with */
  public static final native int DSRevokeProducerAllocatedBuffer(int hDS, int hBuffer);

  /**
   * Queues a buffer; with {@code clear} its memory is zeroed first.
   *
   * @return the producer's code of the queue call
   */
  public static final native int DSQueueBuffer__SWIG_0(int hDS, int hBuffer, boolean clear);

  /**
   * Queues a buffer with its memory zeroed first.
   *
   * @return the producer's code of the queue call
   */
  public static final native int DSQueueBuffer__SWIG_1(int hDS, int hBuffer);

  public static final native boolean DSGetBufferInfoBool(int hDS, int hBuffer, int cmd);

  /** @return buffer information {@code cmd} (BUFFER_INFO_*) as text */
  public static final native String DSGetBufferInfoString(int hDS, int hBuffer, int cmd);

  public static final native int DSGetBufferInfoInt32(int hDS, int hBuffer, int cmd);

  public static final native long DSGetBufferInfoUint64(int hDS, int hBuffer, int cmd);

  /** @return a size; 2^63 and more come back negative */
  public static final native long DSGetBufferInfoSize(int hDS, int hBuffer, int cmd);

  /** @return the low 32 bits of the buffer's base address (informative only) */
  public static final native int DSGetBufferInfoPtr(int hDS, int hBuffer);

  // ---- Constants of the GenTL C interface, as the library was built against them ----

  public static final native int GC_ERR_SUCCESS_get();

  public static final native int GC_ERR_ERROR_get();

  public static final native int GC_ERR_NOT_INITIALIZED_get();

  public static final native int GC_ERR_NOT_IMPLEMENTED_get();

  public static final native int GC_ERR_RESOURCE_IN_USE_get();

  public static final native int GC_ERR_ACCESS_DENIED_get();

  public static final native int GC_ERR_INVALID_HANDLE_get();

  public static final native int GC_ERR_INVALID_ID_get();

  public static final native int GC_ERR_NO_DATA_get();

  public static final native int GC_ERR_INVALID_PARAMETER_get();

  public static final native int GC_ERR_IO_get();

  public static final native int GC_ERR_TIMEOUT_get();

  public static final native int GC_ERR_ABORT_get();

  public static final native int GC_ERR_INVALID_BUFFER_get();

  public static final native int GC_ERR_NOT_AVAILABLE_get();

  public static final native int GC_ERR_INVALID_ADDRESS_get();

  public static final native int GC_ERR_BUFFER_TOO_SMALL_get();

  public static final native int GC_ERR_INVALID_INDEX_get();

  public static final native int GC_ERR_PARSING_CHUNK_DATA_get();

  public static final native int GC_ERR_INVALID_VALUE_get();

  public static final native int GC_ERR_RESOURCE_EXHAUSTED_get();

  public static final native int GC_ERR_OUT_OF_MEMORY_get();

  public static final native int GC_ERR_BUSY_get();

  public static final native int GC_ERR_CUSTOM_ID_get();

  public static final native int TL_INFO_ID_get();

  public static final native int TL_INFO_VENDOR_get();

  public static final native int TL_INFO_MODEL_get();

  public static final native int TL_INFO_VERSION_get();

  public static final native int TL_INFO_TLTYPE_get();

  public static final native int TL_INFO_NAME_get();

  public static final native int TL_INFO_PATHNAME_get();

  public static final native int TL_INFO_DISPLAYNAME_get();

  public static final native int TL_INFO_CHAR_ENCODING_get();

  public static final native int TL_INFO_GENTL_VER_MAJOR_get();

  public static final native int TL_INFO_GENTL_VER_MINOR_get();

  public static final native int TL_INFO_CUSTOM_ID_get();

  public static final native int INTERFACE_INFO_ID_get();

  public static final native int INTERFACE_INFO_DISPLAYNAME_get();

  public static final native int INTERFACE_INFO_TLTYPE_get();

  public static final native int INTERFACE_INFO_CUSTOM_ID_get();

  public static final native int DEVICE_INFO_ID_get();

  public static final native int DEVICE_INFO_VENDOR_get();

  public static final native int DEVICE_INFO_MODEL_get();

  public static final native int DEVICE_INFO_TLTYPE_get();

  public static final native int DEVICE_INFO_DISPLAYNAME_get();

  public static final native int DEVICE_INFO_ACCESS_STATUS_get();

  public static final native int DEVICE_INFO_USER_DEFINED_NAME_get();

  public static final native int DEVICE_INFO_SERIAL_NUMBER_get();

  public static final native int DEVICE_INFO_VERSION_get();

  public static final native int DEVICE_INFO_TIMESTAMP_FREQUENCY_get();

  public static final native int DEVICE_INFO_CUSTOM_ID_get();

  public static final native int DEVICE_ACCESS_UNKNOWN_get();

  public static final native int DEVICE_ACCESS_NONE_get();

  public static final native int DEVICE_ACCESS_READONLY_get();

  public static final native int DEVICE_ACCESS_CONTROL_get();

  public static final native int DEVICE_ACCESS_EXCLUSIVE_get();

  public static final native int DEVICE_ACCESS_CUSTOM_ID_get();

  public static final native int DEVICE_ACCESS_STATUS_UNKNOWN_get();

  public static final native int DEVICE_ACCESS_STATUS_READWRITE_get();

  public static final native int DEVICE_ACCESS_STATUS_READONLY_get();

  public static final native int DEVICE_ACCESS_STATUS_NOACCESS_get();

  public static final native int DEVICE_ACCESS_STATUS_BUSY_get();

  public static final native int DEVICE_ACCESS_STATUS_OPEN_READWRITE_get();

  public static final native int DEVICE_ACCESS_STATUS_OPEN_READ_get();

  public static final native int DEVICE_ACCESS_STATUS_CUSTOM_ID_get();

  public static final native int STREAM_INFO_ID_get();

  public static final native int STREAM_INFO_NUM_DELIVERED_get();

  public static final native int STREAM_INFO_NUM_UNDERRUN_get();

  public static final native int STREAM_INFO_NUM_ANNOUNCED_get();

  public static final native int STREAM_INFO_NUM_QUEUED_get();

  public static final native int STREAM_INFO_NUM_AWAIT_DELIVERY_get();

  public static final native int STREAM_INFO_NUM_STARTED_get();

  public static final native int STREAM_INFO_PAYLOAD_SIZE_get();

  public static final native int STREAM_INFO_IS_GRABBING_get();

  public static final native int STREAM_INFO_DEFINES_PAYLOADSIZE_get();

  public static final native int STREAM_INFO_TLTYPE_get();

  public static final native int STREAM_INFO_NUM_CHUNKS_MAX_get();

  public static final native int STREAM_INFO_BUF_ANNOUNCE_MIN_get();

  public static final native int STREAM_INFO_BUF_ALIGNMENT_get();

  public static final native int STREAM_INFO_CUSTOM_ID_get();

  public static final native int BUFFER_INFO_BASE_get();

  public static final native int BUFFER_INFO_SIZE_get();

  public static final native int BUFFER_INFO_USER_PTR_get();

  public static final native int BUFFER_INFO_TIMESTAMP_get();

  public static final native int BUFFER_INFO_NEW_DATA_get();

  public static final native int BUFFER_INFO_IS_QUEUED_get();

  public static final native int BUFFER_INFO_IS_ACQUIRING_get();

  public static final native int BUFFER_INFO_IS_INCOMPLETE_get();

  public static final native int BUFFER_INFO_TLTYPE_get();

  public static final native int BUFFER_INFO_SIZE_FILLED_get();

  public static final native int BUFFER_INFO_WIDTH_get();

  public static final native int BUFFER_INFO_HEIGHT_get();

  public static final native int BUFFER_INFO_XOFFSET_get();

  public static final native int BUFFER_INFO_YOFFSET_get();

  public static final native int BUFFER_INFO_XPADDING_get();

  public static final native int BUFFER_INFO_YPADDING_get();

  public static final native int BUFFER_INFO_FRAMEID_get();

  public static final native int BUFFER_INFO_IMAGEPRESENT_get();

  public static final native int BUFFER_INFO_IMAGEOFFSET_get();

  public static final native int BUFFER_INFO_PAYLOADTYPE_get();

  public static final native int BUFFER_INFO_PIXELFORMAT_get();

  public static final native int BUFFER_INFO_PIXELFORMAT_NAMESPACE_get();

  public static final native int BUFFER_INFO_DELIVERED_IMAGEHEIGHT_get();

  public static final native int BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE_get();

  public static final native int BUFFER_INFO_CHUNKLAYOUTID_get();

  public static final native int BUFFER_INFO_FILENAME_get();

  public static final native int BUFFER_INFO_PIXEL_ENDIANNESS_get();

  public static final native int BUFFER_INFO_DATA_SIZE_get();

  public static final native int BUFFER_INFO_TIMESTAMP_NS_get();

  public static final native int BUFFER_INFO_DATA_LARGER_THAN_BUFFER_get();

  public static final native int BUFFER_INFO_CONTAINS_CHUNKDATA_get();

  public static final native int BUFFER_INFO_CUSTOM_ID_get();

  public static final native int BUFFER_PART_INFO_BASE_get();

  public static final native int BUFFER_PART_INFO_DATA_SIZE_get();

  public static final native int BUFFER_PART_INFO_DATA_TYPE_get();

  public static final native int BUFFER_PART_INFO_DATA_FORMAT_get();

  public static final native int BUFFER_PART_INFO_DATA_FORMAT_NAMESPACE_get();

  public static final native int BUFFER_PART_INFO_WIDTH_get();

  public static final native int BUFFER_PART_INFO_HEIGHT_get();

  public static final native int BUFFER_PART_INFO_XOFFSET_get();

  public static final native int BUFFER_PART_INFO_YOFFSET_get();

  public static final native int BUFFER_PART_INFO_XPADDING_get();

  public static final native int BUFFER_PART_INFO_SOURCE_ID_get();

  public static final native int BUFFER_PART_INFO_DELIVERED_IMAGEHEIGHT_get();

  public static final native int BUFFER_PART_INFO_CUSTOM_ID_get();

  public static final native int PART_DATATYPE_UNKNOWN_get();

  public static final native int PART_DATATYPE_2D_IMAGE_get();

  public static final native int PART_DATATYPE_2D_PLANE_BIPLANAR_get();

  public static final native int PART_DATATYPE_2D_PLANE_TRIPLANAR_get();

  public static final native int PART_DATATYPE_2D_PLANE_QUADPLANAR_get();

  public static final native int PART_DATATYPE_3D_IMAGE_get();

  public static final native int PART_DATATYPE_3D_PLANE_BIPLANAR_get();

  public static final native int PART_DATATYPE_3D_PLANE_TRIPLANAR_get();

  public static final native int PART_DATATYPE_3D_PLANE_QUADPLANAR_get();

  public static final native int PART_DATATYPE_CONFIDENCE_MAP_get();

  public static final native int PART_DATATYPE_CUSTOM_ID_get();

  public static final native int PAYLOAD_TYPE_UNKNOWN_get();

  public static final native int PAYLOAD_TYPE_IMAGE_get();

  public static final native int PAYLOAD_TYPE_RAW_DATA_get();

  public static final native int PAYLOAD_TYPE_FILE_get();

  public static final native int PAYLOAD_TYPE_CHUNK_DATA_get();

  public static final native int PAYLOAD_TYPE_JPEG_get();

  public static final native int PAYLOAD_TYPE_JPEG2000_get();

  public static final native int PAYLOAD_TYPE_H264_get();

  public static final native int PAYLOAD_TYPE_CHUNK_ONLY_get();

  public static final native int PAYLOAD_TYPE_DEVICE_SPECIFIC_get();

  public static final native int PAYLOAD_TYPE_MULTI_PART_get();

  public static final native int PAYLOAD_TYPE_CUSTOM_ID_get();

  public static final native int PIXELFORMAT_NAMESPACE_UNKNOWN_get();

  public static final native int PIXELFORMAT_NAMESPACE_GEV_get();

  public static final native int PIXELFORMAT_NAMESPACE_IIDC_get();

  public static final native int PIXELFORMAT_NAMESPACE_PFNC_16BIT_get();

  public static final native int PIXELFORMAT_NAMESPACE_PFNC_32BIT_get();

  public static final native int PIXELFORMAT_NAMESPACE_CUSTOM_ID_get();

  public static final native int PIXELENDIANNESS_UNKNOWN_get();

  public static final native int PIXELENDIANNESS_LITTLE_get();

  public static final native int PIXELENDIANNESS_BIG_get();

  public static final native int PORT_INFO_ID_get();

  public static final native int PORT_INFO_VENDOR_get();

  public static final native int PORT_INFO_MODEL_get();

  public static final native int PORT_INFO_TLTYPE_get();

  public static final native int PORT_INFO_MODULE_get();

  public static final native int PORT_INFO_LITTLE_ENDIAN_get();

  public static final native int PORT_INFO_BIG_ENDIAN_get();

  public static final native int PORT_INFO_ACCESS_READ_get();

  public static final native int PORT_INFO_ACCESS_WRITE_get();

  public static final native int PORT_INFO_ACCESS_NA_get();

  public static final native int PORT_INFO_ACCESS_NI_get();

  public static final native int PORT_INFO_VERSION_get();

  public static final native int PORT_INFO_PORTNAME_get();

  public static final native int PORT_INFO_CUSTOM_ID_get();

  public static final native int URL_INFO_URL_get();

  public static final native int URL_INFO_SCHEMA_VER_MAJOR_get();

  public static final native int URL_INFO_SCHEMA_VER_MINOR_get();

  public static final native int URL_INFO_FILE_VER_MAJOR_get();

  public static final native int URL_INFO_FILE_VER_MINOR_get();

  public static final native int URL_INFO_FILE_VER_SUBMINOR_get();

  public static final native int URL_INFO_FILE_SHA1_HASH_get();

  public static final native int URL_INFO_FILE_REGISTER_ADDRESS_get();

  public static final native int URL_INFO_FILE_SIZE_get();

  public static final native int URL_INFO_SCHEME_get();

  public static final native int URL_INFO_FILENAME_get();

  public static final native int URL_INFO_CUSTOM_ID_get();

  public static final native int URL_SCHEME_LOCAL_get();

  public static final native int URL_SCHEME_HTTP_get();

  public static final native int URL_SCHEME_FILE_get();

  public static final native int URL_SCHEME_CUSTOM_ID_get();

  public static final native int EVENT_ERROR_get();

  public static final native int EVENT_NEW_BUFFER_get();

  public static final native int EVENT_FEATURE_INVALIDATE_get();

  public static final native int EVENT_FEATURE_CHANGE_get();

  public static final native int EVENT_REMOTE_DEVICE_get();

  public static final native int EVENT_MODULE_get();

  public static final native int EVENT_CUSTOM_ID_get();

  public static final native int EVENT_EVENT_TYPE_get();

  public static final native int EVENT_NUM_IN_QUEUE_get();

  public static final native int EVENT_NUM_FIRED_get();

  public static final native int EVENT_SIZE_MAX_get();

  public static final native int EVENT_INFO_DATA_SIZE_MAX_get();

  public static final native int EVENT_INFO_CUSTOM_ID_get();

  public static final native int EVENT_DATA_ID_get();

  public static final native int EVENT_DATA_VALUE_get();

  public static final native int EVENT_DATA_NUMID_get();

  public static final native int EVENT_DATA_CUSTOM_ID_get();

  public static final native int ACQ_START_FLAGS_DEFAULT_get();

  public static final native int ACQ_START_FLAGS_CUSTOM_ID_get();

  public static final native int ACQ_STOP_FLAGS_DEFAULT_get();

  public static final native int ACQ_STOP_FLAGS_KILL_get();

  public static final native int ACQ_STOP_FLAGS_CUSTOM_ID_get();

  public static final native int ACQ_QUEUE_INPUT_TO_OUTPUT_get();

  public static final native int ACQ_QUEUE_OUTPUT_DISCARD_get();

  public static final native int ACQ_QUEUE_ALL_TO_INPUT_get();

  public static final native int ACQ_QUEUE_UNQUEUED_TO_INPUT_get();

  public static final native int ACQ_QUEUE_ALL_DISCARD_get();

  public static final native int ACQ_QUEUE_CUSTOM_ID_get();

  // ---- Object model: every instance method takes the holder and its proxy first ----

  public static final native void delete_GenTLProducer(long handle);

  public static final native void delete_TransportLayer(long handle);

  public static final native void delete_InterfaceInfo(long handle);

  public static final native void delete_TLInterface(long handle);

  public static final native void delete_DeviceInfo(long handle);

  public static final native void delete_Device(long handle);

  public static final native void delete_DataStream(long handle);

  public static final native void delete_Buffer(long handle);

  public static final native void delete_Port(long handle);

  public static final native long GenTLProducer_load(String path);

  public static final native void GenTLProducer_close(long self, GenTLProducer proxy);

  public static final native boolean GenTLProducer_isClosed(long self, GenTLProducer proxy);

  public static final native boolean GenTLProducer_checkValid(long self, GenTLProducer proxy);

  public static final native long GenTLProducer_openTransportLayer(long self, GenTLProducer proxy);

  public static final native long new_TransportLayer(long producer, GenTLProducer producerProxy, int handle);

  public static final native void TransportLayer_close(long self, TransportLayer proxy);

  public static final native boolean TransportLayer_isClosed(long self, TransportLayer proxy);

  public static final native boolean TransportLayer_checkValid(long self, TransportLayer proxy);

  public static final native int TransportLayer_getHandle(long self, TransportLayer proxy);

  public static final native long TransportLayer_getPort(long self, TransportLayer proxy);

  public static final native boolean TransportLayer_updateInterfacesList(long self, TransportLayer proxy, long timeout);

  public static final native long TransportLayer_impl_getInterfaces(long self, TransportLayer proxy);

  public static final native long new_InterfaceInfo(long transportLayer, TransportLayer transportLayerProxy, String id);

  public static final native String InterfaceInfo_getID(long self, InterfaceInfo proxy);

  public static final native String InterfaceInfo_getDisplayName(long self, InterfaceInfo proxy);

  public static final native String InterfaceInfo_getTransportLayerType(long self, InterfaceInfo proxy);

  public static final native String InterfaceInfo_getInfoString(long self, InterfaceInfo proxy, int cmd);

  public static final native long InterfaceInfo_open(long self, InterfaceInfo proxy);

  public static final native long new_TLInterface(long transportLayer, TransportLayer transportLayerProxy, int handle);

  public static final native void TLInterface_close(long self, TLInterface proxy);

  public static final native boolean TLInterface_isClosed(long self, TLInterface proxy);

  public static final native boolean TLInterface_checkValid(long self, TLInterface proxy);

  public static final native int TLInterface_getHandle(long self, TLInterface proxy);

  public static final native long TLInterface_getPort(long self, TLInterface proxy);

  public static final native String TLInterface_getInfoString(long self, TLInterface proxy, int cmd);

  public static final native String TLInterface_getID(long self, TLInterface proxy);

  public static final native String TLInterface_getDisplayName(long self, TLInterface proxy);

  public static final native String TLInterface_getTransportLayerType(long self, TLInterface proxy);

  public static final native boolean TLInterface_updateDeviceList(long self, TLInterface proxy, long timeout);

  public static final native long TLInterface_impl_getDeviceList(long self, TLInterface proxy);

  public static final native long new_DeviceInfo(long tlInterface, TLInterface tlInterfaceProxy, String id);

  public static final native String DeviceInfo_getID(long self, DeviceInfo proxy);

  public static final native String DeviceInfo_getVendor(long self, DeviceInfo proxy);

  public static final native String DeviceInfo_getModel(long self, DeviceInfo proxy);

  public static final native String DeviceInfo_getTransportLayerType(long self, DeviceInfo proxy);

  public static final native String DeviceInfo_getDisplayName(long self, DeviceInfo proxy);

  public static final native String DeviceInfo_getUserDefinedName(long self, DeviceInfo proxy);

  public static final native String DeviceInfo_getSerialNumber(long self, DeviceInfo proxy);

  public static final native String DeviceInfo_getVersion(long self, DeviceInfo proxy);

  public static final native String DeviceInfo_getInfoString(long self, DeviceInfo proxy, int cmd);

  public static final native int DeviceInfo_getAccessStatus(long self, DeviceInfo proxy);

  public static final native long DeviceInfo_open(long self, DeviceInfo proxy, int flags);

  public static final native long new_Device(long tlInterface, TLInterface tlInterfaceProxy, int handle);

  public static final native void Device_close(long self, Device proxy);

  public static final native boolean Device_isClosed(long self, Device proxy);

  public static final native boolean Device_checkValid(long self, Device proxy);

  public static final native int Device_getHandle(long self, Device proxy);

  public static final native long Device_getPort(long self, Device proxy);

  public static final native String Device_getID(long self, Device proxy);

  public static final native String Device_getVendor(long self, Device proxy);

  public static final native String Device_getModel(long self, Device proxy);

  public static final native String Device_getTransportLayerType(long self, Device proxy);

  public static final native String Device_getDisplayName(long self, Device proxy);

  public static final native String Device_getUserDefinedName(long self, Device proxy);

  public static final native String Device_getSerialNumber(long self, Device proxy);

  public static final native String Device_getVersion(long self, Device proxy);

  public static final native String Device_getInfoString(long self, Device proxy, int cmd);

  public static final native int Device_getAccessStatus(long self, Device proxy);

  public static final native long Device_openDataStream(long self, Device proxy, String id);

  public static final native long Device_impl_getDataStreamIDs(long self, Device proxy);

  public static final native long new_DataStream(long device, Device deviceProxy, int handle);

  public static final native void DataStream_close(long self, DataStream proxy);

  public static final native boolean DataStream_isClosed(long self, DataStream proxy);

  public static final native boolean DataStream_checkValid(long self, DataStream proxy);

  public static final native int DataStream_getHandle(long self, DataStream proxy);

  public static final native long DataStream_getPort(long self, DataStream proxy);

  public static final native long DataStream_announceBuffer(long self, DataStream proxy, java.nio.ByteBuffer buffer, int userData);

  public static final native int DataStream_revokeBuffer(long self, DataStream proxy, long buffer, Buffer bufferProxy);

  public static final native int DataStream_queueBuffer__SWIG_0(long self, DataStream proxy, long buffer, Buffer bufferProxy, boolean clear);

  public static final native int DataStream_queueBuffer__SWIG_1(long self, DataStream proxy, long buffer, Buffer bufferProxy);

  public static final native int DataStream_flushQueue(long self, DataStream proxy, int operation);

  public static final native int DataStream_startAcquisition(long self, DataStream proxy, int flags, long numToAcquire);

  public static final native int DataStream_stopAcquisition(long self, DataStream proxy, int flags);

  public static final native String DataStream_getInfoString(long self, DataStream proxy, int cmd);

  public static final native long DataStream_getInfoUint64(long self, DataStream proxy, int cmd);

  public static final native long DataStream_getInfoSize(long self, DataStream proxy, int cmd);

  public static final native boolean DataStream_getInfoBool(long self, DataStream proxy, int cmd);

  public static final native String DataStream_getID(long self, DataStream proxy);

  public static final native String DataStream_getTransportLayerType(long self, DataStream proxy);

  public static final native long DataStream_getNumDelivered(long self, DataStream proxy);

  public static final native long DataStream_getNumUnderrun(long self, DataStream proxy);

  public static final native long DataStream_getNumAnnounced(long self, DataStream proxy);

  public static final native long DataStream_getNumQueued(long self, DataStream proxy);

  public static final native long DataStream_getNumAwaitingDelivery(long self, DataStream proxy);

  public static final native long DataStream_getNumStarted(long self, DataStream proxy);

  public static final native long DataStream_getPayloadSize(long self, DataStream proxy);

  public static final native boolean DataStream_isGrabbing(long self, DataStream proxy);

  public static final native boolean DataStream_definesPayloadSize(long self, DataStream proxy);

  public static final native long DataStream_getNumChunksMax(long self, DataStream proxy);

  public static final native long DataStream_getBufferAnnounceMin(long self, DataStream proxy);

  public static final native long DataStream_getBufferAlignment(long self, DataStream proxy);

  public static final native long new_Buffer(long dataStream, DataStream dataStreamProxy, int handle, int userData);

  public static final native int Buffer_getHandle(long self, Buffer proxy);

  public static final native int Buffer_getUserData(long self, Buffer proxy);

  public static final native int Buffer_getPayloadType(long self, Buffer proxy);

  public static final native int Buffer_getInfoPtr(long self, Buffer proxy);

  public static final native long Buffer_getNumBufferParts(long self, Buffer proxy);

  public static final native boolean Buffer_getInfoBool(long self, Buffer proxy, int cmd);

  public static final native int Buffer_getInfoInt32(long self, Buffer proxy, int cmd);

  public static final native String Buffer_getInfoString(long self, Buffer proxy, int cmd);

  public static final native long Buffer_getInfoUint64(long self, Buffer proxy, int cmd);

  public static final native long Buffer_getInfoSize(long self, Buffer proxy, int cmd);

  public static final native long Buffer_getPartDataOffset(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartDataSize(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartDataType(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartDataFormat(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartDataFormatNamespace(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartWidth(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartHeight(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartXOffset(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartYOffset(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartXPadding(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartSourceID(long self, Buffer proxy, int part);

  public static final native long Buffer_getPartDeliveredImageHeight(long self, Buffer proxy, int part);

  public static final native long Buffer_getBufferPartInfoSize(long self, Buffer proxy, int part, int cmd);

  public static final native long Buffer_getBufferPartInfoUint64(long self, Buffer proxy, int part, int cmd);

  public static final native void Buffer_clear(long self, Buffer proxy);

  public static final native boolean Port_checkValid(long self, Port proxy);

  public static final native int Port_getHandle(long self, Port proxy);

  public static final native long Port_read(long self, Port proxy, long address, java.nio.ByteBuffer buffer);

  public static final native long Port_write(long self, Port proxy, long address, java.nio.ByteBuffer buffer);

  public static final native String Port_getPortInfoString(long self, Port proxy, int cmd);

  public static final native String Port_getID(long self, Port proxy);

  public static final native String Port_getVendor(long self, Port proxy);

  public static final native String Port_getModel(long self, Port proxy);

  public static final native String Port_getTLType(long self, Port proxy);

  public static final native String Port_getModule(long self, Port proxy);

  public static final native String Port_getVersion(long self, Port proxy);

  public static final native String Port_getName(long self, Port proxy);

  public static final native boolean Port_getPortInfoBool(long self, Port proxy, int cmd);

  public static final native boolean Port_isLittleEndian(long self, Port proxy);

  public static final native boolean Port_isBigEndian(long self, Port proxy);

  public static final native boolean Port_hasReadAccess(long self, Port proxy);

  public static final native boolean Port_hasWriteAccess(long self, Port proxy);

  public static final native boolean Port_isAccessNA(long self, Port proxy);

  public static final native boolean Port_isAccessNI(long self, Port proxy);

  public static final native int Port_getNumPortURLs(long self, Port proxy);

  public static final native String Port_getURLInfoString(long self, Port proxy, int index, int cmd);

  public static final native String Port_getUrl(long self, Port proxy, int index);

  public static final native String Port_getFilename(long self, Port proxy, int index);

  public static final native int Port_getURLInfoInt32(long self, Port proxy, int index, int cmd);

  public static final native int Port_getSchemaVerMajor(long self, Port proxy, int index);

  public static final native int Port_getSchemaVerMinor(long self, Port proxy, int index);

  public static final native int Port_getFileVerMajor(long self, Port proxy, int index);

  public static final native int Port_getFileVerMinor(long self, Port proxy, int index);

  public static final native int Port_getFileVerSubminor(long self, Port proxy, int index);

  public static final native int Port_getScheme(long self, Port proxy, int index);

  public static final native long Port_getURLInfoUInt64(long self, Port proxy, int index, int cmd);

  public static final native long Port_getFileRegisterAddress(long self, Port proxy, int index);

  public static final native long Port_getFileSize(long self, Port proxy, int index);

  public static final native long Port_getURLInfoBuffer(long self, Port proxy, int index, java.nio.ByteBuffer buffer, int cmd);

  public static final native long Port_getFileSha1Hash(long self, Port proxy, int index, java.nio.ByteBuffer buffer);
}
