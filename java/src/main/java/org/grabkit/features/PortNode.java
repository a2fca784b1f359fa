package org.grabkit.features;

import java.nio.ByteBuffer;

/**
 * The way to the registers. Every port of the file reaches the node map's one
 * {@link RegisterPort}, except a chunk port, whose registers are the bytes of one chunk of the
 * buffer attached to the node map.
 */
final class PortNode extends Node {
  /** The chunk's ID; meaningless unless {@link #chunk}. */
  private final long chunkId;
  private final boolean chunk;

  PortNode(NodeMap map, Def def) {
    super(map, def);
    String id = def.text("ChunkID");
    chunk = id != null;
    chunkId = chunk ? parseChunkId(def, id) : 0;
  }

  // Numbers are decimal or 0x hex; an ID with hex letters but no prefix can only mean hex.
  private static long parseChunkId(Def def, String text) {
    String t = text.trim();
    if (!t.isEmpty() && t.chars().allMatch(c -> Character.digit(c, 16) >= 0)
        && !t.chars().allMatch(Character::isDigit)) {
      try {
        return Long.parseUnsignedLong(t, 16);
      } catch (NumberFormatException e) {
        throw def.bad("ChunkID", "'" + text + "' is not a chunk ID");
      }
    }
    return def.parseInteger("ChunkID", t);
  }

  boolean isChunk() {
    return chunk;
  }

  /** The chunk's bytes from position to limit, null when the attached buffer lacks it. */
  private ByteBuffer chunkBytes() {
    return map.chunks.apply(chunkId);
  }

  @Override
  FeatureAccess ownAccess() {
    if (!chunk) {
      return FeatureAccess.RW;
    }
    if (map.chunks == null) {
      return FeatureAccess.NA;
    }
    ByteBuffer b;
    try {
      b = chunkBytes();
    } catch (RuntimeException e) {
      // E.g. the frame was given back: whyNot reports the message.
      return FeatureAccess.NA;
    }
    return b == null ? FeatureAccess.NA : b.isReadOnly() ? FeatureAccess.RO : FeatureAccess.RW;
  }

  @Override
  String whyNot(boolean write) {
    String why = chunk ? chunkWhyNot(write) : null;
    return why != null ? why : super.whyNot(write);
  }

  /** Why the chunk refuses the access, null when it allows it. */
  private String chunkWhyNot(boolean write) {
    if (map.chunks == null) {
      return "it reads chunk " + hex() + ", and no buffer's chunks are attached";
    }
    ByteBuffer b;
    try {
      b = chunkBytes();
    } catch (RuntimeException e) {
      return "chunk " + hex() + " is out of reach: " + e.getMessage();
    }
    if (b == null) {
      return "the attached buffer has no chunk " + hex();
    }
    return write && b.isReadOnly() ? "chunk " + hex() + " is read-only" : null;
  }

  private String hex() {
    return "0x" + Long.toHexString(chunkId);
  }

  /** Reads {@code into.length} bytes at {@code address} of the chunk for {@code owner}. */
  void readChunk(Node owner, long address, byte[] into) {
    ByteBuffer b = reachable(owner, address, into.length, false);
    b.get(b.position() + (int) address, into);
  }

  /** Writes {@code from} at {@code address} of the chunk for {@code owner}. */
  void writeChunk(Node owner, long address, byte[] from) {
    ByteBuffer b = reachable(owner, address, from.length, true);
    b.put(b.position() + (int) address, from);
  }

  private ByteBuffer reachable(Node owner, long address, int length, boolean write) {
    ByteBuffer b = chunkBytes();
    if (b == null) {
      // The source answered for the access check but not now: it changed in between.
      throw new FeatureException(FeatureException.Kind.NOT_AVAILABLE, owner.name(),
          owner.name() + " is not available: the attached buffer has no chunk " + hex());
    }
    int size = b.remaining();
    if (address < 0 || length > size || address > size - length) {
      throw new FeatureException(
          write ? FeatureException.Kind.NOT_WRITABLE : FeatureException.Kind.NOT_READABLE, owner.name(),
          owner.name() + " needs bytes " + address + " to " + (address + length - 1) + " of chunk "
              + hex() + ", which has " + size + " bytes");
    }
    return b;
  }

  @Override
  String kind() {
    return "Port";
  }
}
