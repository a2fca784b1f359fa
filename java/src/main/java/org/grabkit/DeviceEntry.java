package org.grabkit;

/**
 * A device as its interface lists it, before or after it is opened. Text the producer cannot give
 * is empty.
 *
 * @param id the device ID, which {@link Producer#openCamera(String)} takes
 * @param interfaceId the ID of the interface that lists the device
 * @param vendor the vendor name
 * @param model the model name
 * @param serialNumber the serial number
 * @param version the device version
 * @param displayName a name for people
 * @param userDefinedName the name a user gave the device
 * @param transportLayerType the transport-layer type
 * @param accessStatus whether the device can be opened now
 */
public record DeviceEntry(
    String id,
    String interfaceId,
    String vendor,
    String model,
    String serialNumber,
    String version,
    String displayName,
    String userDefinedName,
    String transportLayerType,
    AccessStatus accessStatus) {}
