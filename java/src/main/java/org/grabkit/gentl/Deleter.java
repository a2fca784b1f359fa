package org.grabkit.gentl;

import java.util.function.LongConsumer;

/**
 * How each kind of native object is freed. One class with a switch instead of a method reference
 * per kind: every method reference costs a cold JVM the linkage of its call site (a fraction of a
 * millisecond each, even from the class data archive), and a listing makes objects of most kinds.
 */
enum Deleter implements LongConsumer {
  GENTL_PRODUCER,
  TRANSPORT_LAYER,
  TL_INTERFACE,
  DEVICE,
  DATA_STREAM,
  BUFFER,
  PORT,
  INTERFACE_INFO,
  DEVICE_INFO,
  INTERFACE_INFO_LIST,
  DEVICE_INFO_LIST,
  STRING_LIST;

  @Override
  public void accept(long address) {
    switch (this) {
      case GENTL_PRODUCER:
        gentlJNI.delete_GenTLProducer(address);
        break;
      case TRANSPORT_LAYER:
        gentlJNI.delete_TransportLayer(address);
        break;
      case TL_INTERFACE:
        gentlJNI.delete_TLInterface(address);
        break;
      case DEVICE:
        gentlJNI.delete_Device(address);
        break;
      case DATA_STREAM:
        gentlJNI.delete_DataStream(address);
        break;
      case BUFFER:
        gentlJNI.delete_Buffer(address);
        break;
      case PORT:
        gentlJNI.delete_Port(address);
        break;
      case INTERFACE_INFO:
        gentlJNI.delete_InterfaceInfo(address);
        break;
      case DEVICE_INFO:
        gentlJNI.delete_DeviceInfo(address);
        break;
      case INTERFACE_INFO_LIST:
        gentlJNI.delete_InterfaceInfoList(address);
        break;
      case DEVICE_INFO_LIST:
        gentlJNI.delete_DeviceInfoList(address);
        break;
      case STRING_LIST:
        gentlJNI.delete_StringList(address);
        break;
    }
  }
}
