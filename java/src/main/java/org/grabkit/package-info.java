/**
 * Grabkit for Java programs: find GenTL producers, list their cameras, open one, read its registers
 * and description file, and grab frames that convert to {@link java.awt.image.BufferedImage}.
 *
 * <pre>{@code
 * try (Producer producer = Producer.open(Producers.simulated());
 *     Camera camera = producer.openCamera();
 *     Acquisition acquisition = camera.openStream().start(4)) {
 *   try (Frame frame = acquisition.next(Duration.ofSeconds(5))) {
 *     frame.writePng(Path.of("frame.png"));
 *   }
 * }
 * }</pre>
 *
 * <p>Every class here is a thin layer over the binding in {@link org.grabkit.gentl}, which stays
 * available for what this layer does not cover. Failures of the producer arrive as the binding's
 * unchecked {@link org.grabkit.gentl.GenTLException} family; information a producer cannot give is
 * reported as absent ({@link java.util.Optional}, empty text) instead.
 */
package org.grabkit;
