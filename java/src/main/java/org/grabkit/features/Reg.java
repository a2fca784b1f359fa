package org.grabkit.features;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import org.w3c.dom.Element;

/**
 * The register behind a register node: where it is, how long, through which port, and the
 * bytes last read or written. Several StructReg entries share one.
 */
final class Reg {
  private final Def def;
  private final List<Ref> addresses = new ArrayList<>();
  private final List<Ref[]> indexed = new ArrayList<>();
  private Ref length;
  private FeatureAccess mode;
  private PortNode port;
  private boolean caching;
  private boolean writeThrough;
  final boolean bigEndian;
  private long cachedAt;
  private byte[] cached;
  private List<Node> linked;

  Reg(Def def) {
    this.def = def;
    String e = def.text("Endianess", "LittleEndian");
    if (!e.equals("LittleEndian") && !e.equals("BigEndian")) {
      throw def.bad("Endianess", "'" + e + "' is neither LittleEndian nor BigEndian");
    }
    bigEndian = e.equals("BigEndian");
  }

  /** Resolves the address terms, length and port; {@code owner} records the references. */
  void link(Node owner) {
    if (linked != null) {
      // A StructEntry shares the register its StructReg describes: same terms, same references.
      owner.references.addAll(linked);
      return;
    }
    int before = owner.references.size();
    linkTerms(owner);
    linked = new ArrayList<>(owner.references.subList(before, owner.references.size()));
  }

  private void linkTerms(Node owner) {
    for (Element child : Def.children(def.element)) {
      String kind = Def.local(child);
      String text = child.getTextContent().trim();
      switch (kind) {
        case "Address":
          addresses.add(Ref.constant(def.parseInteger(kind, text)));
          break;
        case "pAddress":
          addresses.add(owner.reference(kind, text));
          break;
        case "IntSwissKnife": {
          Node knife = owner.map.embedded(child, owner);
          owner.references.add(knife);
          owner.edges.add(new Node.Edge(false, knife, false));
          addresses.add(Ref.node(knife, null));
          break;
        }
        case "pIndex": {
          Ref offset;
          if (child.hasAttribute("pOffset")) {
            offset = owner.reference("pIndex", child.getAttribute("pOffset"));
          } else {
            offset = Ref.constant(child.hasAttribute("Offset")
                ? def.parseInteger("pIndex", child.getAttribute("Offset")) : 1L);
          }
          indexed.add(new Ref[] {owner.reference(kind, text), offset});
          break;
        }
        default:
          break;
      }
    }
    if (addresses.isEmpty() && indexed.isEmpty()) {
      throw def.bad("Address", "the register has no address");
    }
    String pLength = def.text("pLength");
    String constant = def.text("Length");
    if (pLength != null) {
      length = owner.reference("pLength", pLength);
    } else if (constant != null) {
      length = Ref.constant(def.parseInteger("Length", constant));
    } else {
      throw def.bad("Length", "the register has no length");
    }
    mode = Node.accessMode(def, "AccessMode", def.text("AccessMode", "RW"));
    String p = def.text("pPort");
    if (p != null) {
      Node n = owner.use("pPort", p);
      if (!(n instanceof PortNode)) {
        throw def.bad("pPort", p + " is " + Node.article(n.type()) + ", not a Port");
      }
      port = (PortNode) n;
    }
    String c = def.text("Cachable", "WriteThrough");
    if (!List.of("NoCache", "WriteThrough", "WriteAround").contains(c)) {
      throw def.bad("Cachable", "'" + c + "' is not NoCache, WriteThrough or WriteAround");
    }
    // A value that changes by itself is read afresh each time: nothing polls it for us.
    caching = !c.equals("NoCache") && !def.has("PollingTime");
    writeThrough = c.equals("WriteThrough");
  }

  FeatureAccess access() {
    return port == null ? mode : FeatureAccess.both(mode, port.accessMode());
  }

  long address() {
    long a = 0;
    for (Ref r : addresses) {
      a += r.asLong();
    }
    for (Ref[] r : indexed) {
      a += r[0].asLong() * r[1].asLong();
    }
    return a;
  }

  int length() {
    return (int) length.asLong();
  }

  byte[] read(Node owner) {
    long at = address();
    int n = length();
    if (port != null && port.isChunk()) {
      // Chunk bytes belong to one buffer: a cached copy would outlive it.
      byte[] bytes = new byte[n];
      port.readChunk(owner, at, bytes);
      return bytes;
    }
    if (cached != null && cachedAt == at && cached.length == n) {
      return cached.clone();
    }
    byte[] bytes = new byte[n];
    try {
      owner.map.port.read(at, bytes);
    } catch (RuntimeException e) {
      throw refused(owner, "read", n, at, e);
    }
    if (caching) {
      cachedAt = at;
      cached = bytes.clone();
    }
    return bytes;
  }

  void write(Node owner, byte[] bytes) {
    long at = address();
    if (port != null && port.isChunk()) {
      port.writeChunk(owner, at, bytes);
      return;
    }
    try {
      owner.map.port.write(at, bytes);
    } catch (RuntimeException e) {
      throw refused(owner, "write", bytes.length, at, e);
    }
    if (caching && writeThrough) {
      cachedAt = at;
      cached = bytes.clone();
    } else {
      cached = null;
    }
  }

  // A user who set a feature expects to hear about it in the node map's terms, with the
  // device's own reason kept as the cause.
  private static FeatureException refused(Node owner, String what, int n, long at, RuntimeException e) {
    if (e instanceof FeatureException) {
      return (FeatureException) e;
    }
    return new FeatureException(FeatureException.Kind.DEVICE_ERROR, owner.name(),
        owner.name() + ": the device refused to " + what + " " + n + " bytes at 0x"
            + Long.toHexString(at).toUpperCase() + ": " + e.getMessage(), e);
  }

  /** Why the port refuses the access, null when it allows it. */
  String whyNot(boolean write) {
    if (port == null) {
      return null;
    }
    FeatureAccess p = port.accessMode();
    return (write ? p.writable() : p.readable()) ? null : "through " + port.name() + ", " + port.whyNot(write);
  }

  void drop() {
    cached = null;
  }

  /** The bytes as an unsigned number in the register's byte order. */
  long toLong(byte[] b) {
    long v = 0;
    for (int i = 0; i < b.length; i++) {
      int index = bigEndian ? i : b.length - 1 - i;
      v = (v << 8) | (b[index] & 0xFF);
    }
    return v;
  }

  byte[] fromLong(long v, int n) {
    byte[] b = new byte[n];
    for (int i = 0; i < n; i++) {
      b[bigEndian ? n - 1 - i : i] = (byte) (v >>> (8 * i));
    }
    return b;
  }

  @Override
  public String toString() {
    return def.name + "@" + Arrays.toString(new long[] {address()});
  }
}
