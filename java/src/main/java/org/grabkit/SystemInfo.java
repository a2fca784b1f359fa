package org.grabkit;

import java.nio.file.Path;

/**
 * What a loaded producer tells about its system module. Text the producer cannot give is empty.
 *
 * @param path the producer file
 * @param id the system ID
 * @param vendor the producer's vendor
 * @param model the producer's model
 * @param version the producer's version
 * @param transportLayerType the transport-layer type, e.g. {@code GEV}, {@code U3V}
 * @param displayName a name for people
 * @param genTLVersion the GenTL version the producer implements, e.g. {@code 1.5}
 */
public record SystemInfo(
    Path path,
    String id,
    String vendor,
    String model,
    String version,
    String transportLayerType,
    String displayName,
    String genTLVersion) {}
