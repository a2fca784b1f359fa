package org.grabkit.features;

/**
 * The way to the registers. Every port of the file reaches the node map's one
 * {@link RegisterPort}, except a chunk port, which needs a buffer's chunk data.
 */
final class PortNode extends Node {
  private final boolean chunk;

  PortNode(NodeMap map, Def def) {
    super(map, def);
    chunk = def.has("ChunkID");
  }

  @Override
  FeatureAccess ownAccess() {
    return chunk ? FeatureAccess.NA : FeatureAccess.RW;
  }

  @Override
  String whyNot(boolean write) {
    return chunk ? "it reads chunk data, and no buffer is attached" : super.whyNot(write);
  }

  @Override
  String kind() {
    return "Port";
  }
}
