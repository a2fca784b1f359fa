package org.grabkit;

import java.util.OptionalLong;

/**
 * What a data stream tells about itself. Values the producer cannot give are empty.
 *
 * @param id the stream ID
 * @param transportLayerType the transport-layer type (empty when unknown)
 * @param payloadSize the bytes one buffer needs for a whole frame
 * @param minimumBuffers the fewest buffers the stream needs to start
 * @param bufferAlignment the alignment buffer memory needs, in bytes
 */
public record StreamEntry(
    String id,
    String transportLayerType,
    OptionalLong payloadSize,
    OptionalLong minimumBuffers,
    OptionalLong bufferAlignment) {}
