/**
 * A camera's features by name: the node map of its GenICam description file.
 *
 * <pre>{@code
 * NodeMap features = camera.features();           // or NodeMap.parse(xml, registerPort)
 * features.setInteger("Width", 640);
 * features.setEnum("PixelFormat", "Mono8");
 * features.execute("AcquisitionStart", Duration.ofSeconds(1));
 * }</pre>
 *
 * <p>{@link org.grabkit.features.NodeMap} gives typed access by name and the nodes themselves
 * ({@link org.grabkit.features.IntegerNode}, {@link org.grabkit.features.FloatNode},
 * {@link org.grabkit.features.EnumerationNode}, ...). Every failure is an unchecked
 * {@link org.grabkit.features.FeatureException} that names the feature and says why.
 */
package org.grabkit.features;
