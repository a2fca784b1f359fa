package org.grabkit;

import java.time.Duration;
import java.util.OptionalLong;

/**
 * What an acquisition delivered so far.
 *
 * <p>Frames a slow consumer cost (a listener slower than the camera, or a program that holds its
 * frames too long) show in two figures: {@code underruns}, the producer's count of frames that
 * found no free buffer, and {@code frameIdGaps}, the frame IDs missing between consecutive
 * deliveries, which also counts frames lost elsewhere (on the cable, in the producer) and works
 * for producers that do not count underruns. A camera without a fixed frame rate waits for a free
 * buffer instead of losing the frame; its producer may still count that wait as an underrun,
 * while no frame ID goes missing.
 *
 * @param delivered frames handed out (to {@code next} or to the listener)
 * @param incomplete of those, the frames the camera marked incomplete
 * @param bytes bytes of image data handed out
 * @param underruns the producer's underrun count (empty when it does not tell); the last known
 *     value once the acquisition is closed
 * @param frameIdGaps frame IDs skipped between consecutive frames
 * @param listenerErrors exceptions the listener threw
 * @param frameRate frames per second over the last full second (over the time since the first
 *     frame until a second has passed; 0 before the second frame)
 * @param elapsed time since the first frame
 */
public record AcquisitionStatistics(
    long delivered,
    long incomplete,
    long bytes,
    OptionalLong underruns,
    long frameIdGaps,
    long listenerErrors,
    double frameRate,
    Duration elapsed) {}
