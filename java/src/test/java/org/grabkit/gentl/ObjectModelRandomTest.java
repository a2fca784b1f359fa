package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Deque;
import java.util.List;
import java.util.Random;
import java.util.Set;
import java.util.TreeSet;
import java.util.concurrent.TimeUnit;
import java.util.function.Supplier;
import org.junit.jupiter.api.Test;

/**
 * Random sequences of operations on the object model against the simulated camera, each outcome
 * checked against a small reference model of what is open, closed below a closed ancestor, or
 * released. Operations that change the tree (open, close, drop, load, buffers, acquisition) run
 * one at a time and must give exactly the outcome the model predicts; queries and waits for
 * buffers run alongside them in other threads and may race with a close, so they may give the
 * outcome of the state before or of the state after, and nothing else.
 *
 * <p>The seed is printed on failure; {@code -Dgrabkit.random.seed=N} replays its operations (with
 * several threads, not their interleaving). The threaded sequences run in a child JVM, so that a
 * crash of native code is reported as a failure with its seed.
 */
class ObjectModelRandomTest {
  private static final long SEED = Long.getLong("grabkit.random.seed", System.nanoTime());
  private static final int SEQUENCES = Integer.getInteger("grabkit.random.sequences", 12);
  private static final int STEPS = Integer.getInteger("grabkit.random.steps", 400);
  private static final long WIDTH = 0x100;
  private static final long HEIGHT = 0x104;
  private static final long FRAME_RATE = 0x110;
  private static final int PAYLOAD = 32 * 24;
  private static final int MAX_BUFFERS = 4;
  private static final long WAIT_MS = 5;

  private static final int PRODUCER = 0;
  private static final int TL = 1;
  private static final int ITF = 2;
  private static final int DEV = 3;
  private static final int DS = 4;
  // The producer writes into announced memory until its stream closes, which for a dropped
  // stream is whenever the collector gets to it: keep it reachable until the library is gone.
  private static final List<ByteBuffer> RETAINED =
      java.util.Collections.synchronizedList(new ArrayList<>());
  /** How often each kind of operation had each outcome, printed for the record. */
  private static final java.util.Map<String, Integer> STATS =
      new java.util.concurrent.ConcurrentSkipListMap<>();
  private static final String[] LEVEL = {"producer", "system", "interface", "device", "stream"};

  private static final String OK = "ok";
  private static final String RELEASED = "IllegalStateException";
  private static final String CLOSED = "ClosedException";
  private static final String IN_USE = "ResourceInUseException";

  @Test
  void singleThreaded() throws InterruptedException {
    long holders = LiveHolders.settled();
    for (int s = 0; s < SEQUENCES; s++) {
      String failure = new Sequence(SEED + s, 1).run();
      if (failure != null) {
        throw new AssertionError(failure);
      }
      assertEquals(holders, LiveHolders.settled(), "holders left behind; seed " + (SEED + s));
      assertFalse(gentlJNI.GCLibIsInited(), "the producer stayed loaded; seed " + (SEED + s));
      RETAINED.clear();
    }
    printStats();
  }

  private static void printStats() {
    STATS.forEach((k, v) -> System.out.printf("%6d  %s%n", v, k));
    STATS.clear();
  }

  @Test
  void severalThreadsInAChildJvm() throws IOException, InterruptedException {
    Path java = Path.of(System.getProperty("java.home"), "bin", "java");
    ProcessBuilder builder =
        new ProcessBuilder(
            java.toString(),
            "-Xcheck:jni",
            "-XX:ErrorFile=" + Path.of("target", "hs_err_random_%p.log").toAbsolutePath(),
            "-cp",
            System.getProperty("java.class.path"),
            "-Dgrabkit.build.dir=" + TestProducerControl.BUILD.toAbsolutePath(),
            "-Dgrabkit.random.seed=" + SEED,
            "-Dgrabkit.random.sequences=" + SEQUENCES,
            "-Dgrabkit.random.steps=" + STEPS,
            ObjectModelRandomTest.class.getName());
    builder.redirectErrorStream(true);
    Process child = builder.start();
    String output = readAll(child.getInputStream());
    // A safety net against a hang, not a time limit of the test.
    assertTrue(child.waitFor(5, TimeUnit.MINUTES), "the child JVM hung; seed " + SEED);
    int exit = child.exitValue();
    assertEquals(0, exit, "seed " + SEED + ", exit " + exit + ":\n" + tail(output));
    System.out.print(output);
  }

  /** The threaded sequences: exits 0 when every outcome was allowed, else prints why. */
  public static void main(String[] args) throws InterruptedException {
    long holders = LiveHolders.settled();
    for (int s = 0; s < SEQUENCES; s++) {
      long seed = SEED + s;
      int threads = 2 + new Random(seed).nextInt(3);
      // Named before it runs: a crash leaves nothing else to tell which one it was.
      System.out.println("sequence " + s + ": seed " + seed + ", " + threads + " threads");
      System.out.flush();
      String failure = new Sequence(seed, threads).run();
      if (failure == null && LiveHolders.settled() != holders) {
        failure = "holders left behind; seed " + seed;
      }
      if (failure == null && gentlJNI.GCLibIsInited()) {
        failure = "the producer stayed loaded; seed " + seed;
      }
      RETAINED.clear();
      if (failure != null) {
        System.out.println(failure);
        System.out.flush();
        System.exit(1);
      }
    }
    printStats();
    System.out.println(SEQUENCES + " threaded sequences passed from seed " + SEED);
    System.exit(0);
  }

  private static String readAll(InputStream in) throws IOException {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    in.transferTo(out);
    return out.toString(StandardCharsets.UTF_8);
  }

  private static String tail(String text) {
    return text.length() <= 6000 ? text : "..." + text.substring(text.length() - 6000);
  }

  /** What a proxy's own state predicts for a call through it. */
  enum Status {
    OPEN,
    RELEASED,
    ORPHANED
  }

  /** A proxy of the tree and what the model knows of it. */
  static final class Rec {
    final int level;
    final Rec parent;
    ModelObject proxy; // null once dropped
    boolean closed;
    // Stream state
    final List<Buf> buffers = new ArrayList<>();
    int announced; // in the producer, dropped proxies included
    boolean acquiring;
    Event event;
    int waiters;

    Rec(int level, Rec parent, ModelObject proxy) {
      this.level = level;
      this.parent = parent;
      this.proxy = proxy;
    }

    Status status() {
      if (closed) {
        return Status.RELEASED;
      }
      for (Rec p = parent; p != null; p = p.parent) {
        if (p.closed) {
          return Status.ORPHANED;
        }
      }
      return Status.OPEN;
    }

    @Override
    public String toString() {
      return LEVEL[level] + "@" + Integer.toHexString(System.identityHashCode(this)) + "("
          + status() + (proxy == null ? ", dropped" : "") + ")";
    }
  }

  /** An announced buffer of a stream. */
  static final class Buf {
    final Rec stream;
    Buffer proxy;
    final int handle;
    boolean queued;
    // Delivered to a waiter around the time it was queued again: queued or not, in either order.
    boolean uncertain;
    long lastQueued;
    boolean released;

    Buf(Rec stream, Buffer proxy, int handle) {
      this.stream = stream;
      this.proxy = proxy;
      this.handle = handle;
    }

    @Override
    public String toString() {
      return "buffer of " + stream;
    }

    /** A buffer answers through its stream: closed with it. */
    Status status() {
      if (released) {
        return Status.RELEASED;
      }
      return stream.status() == Status.OPEN ? Status.OPEN : Status.ORPHANED;
    }
  }

  /** A registered new-buffer event. */
  static final class Event {
    final Rec stream;
    final int handle;
    boolean unregistered;
    boolean doomed; // its stream was dropped: it dies whenever the collector gets to it

    Event(Rec stream, int handle) {
      this.stream = stream;
      this.handle = handle;
    }

    boolean live() {
      return !unregistered && !doomed && stream.status() == Status.OPEN;
    }
  }

  /** Thrown inside a sequence when an outcome is not among the allowed ones. */
  static final class Disallowed extends RuntimeException {
    private static final long serialVersionUID = 1;

    Disallowed(String message, Throwable cause) {
      super(message, cause);
    }
  }

  private static Set<String> allowed(Status s) {
    return switch (s) {
      case OPEN -> Set.of(OK);
      case RELEASED -> Set.of(RELEASED);
      case ORPHANED -> Set.of(CLOSED);
    };
  }

  private static Set<String> union(Set<String> a, Set<String> b) {
    Set<String> u = new TreeSet<>(a);
    u.addAll(b);
    return u;
  }

  private static String code(int code) {
    return code == 0 ? OK : "code " + code;
  }

  /** An outcome: {@link #OK}, a refusal code, or the simple name of the exception thrown. */
  record Outcome(String kind, Object value, Throwable thrown) {
    static Outcome of(Supplier<Object> call) {
      try {
        return new Outcome(OK, call.get(), null);
      } catch (RuntimeException e) {
        return new Outcome(e.getClass().getSimpleName(), null, e);
      }
    }

    static Outcome ofCode(Supplier<Integer> call) {
      try {
        return new Outcome(code(call.get()), null, null);
      } catch (RuntimeException e) {
        return new Outcome(e.getClass().getSimpleName(), null, e);
      }
    }
  }

  /** One random sequence over {@code threads} threads, sharing one model. */
  static final class Sequence {
    private final long seed;
    private final int threads;
    private final Object lock = new Object();
    private final Rec[] slot = new Rec[5];
    // A dropped proxy of the level may still hold its module open in the producer.
    private final boolean[] lingering = new boolean[5];
    private final List<Rec> live = new ArrayList<>();
    private final List<Buf> liveBuffers = new ArrayList<>();
    private final Deque<String> history = new ArrayDeque<>();
    // Counts successful queueings, so that a waiter can tell whether its buffer was queued again
    // while it reported the delivery.
    private long queueings;
    private volatile String failure;
    private final int inUse = gentlJNI.GC_ERR_RESOURCE_IN_USE_get();
    private final int invalidBuffer = gentlJNI.GC_ERR_INVALID_BUFFER_get();
    private final int notAvailable = gentlJNI.GC_ERR_NOT_AVAILABLE_get();

    Sequence(long seed, int threads) {
      this.seed = seed;
      this.threads = threads;
    }

    /** @return null when every outcome was allowed, else the report */
    String run() throws InterruptedException {
      List<Thread> workers = new ArrayList<>();
      for (int t = 0; t < threads; t++) {
        Random random = new Random(seed * 31 + t);
        int id = t;
        workers.add(new Thread(() -> steps(id, random), "random-" + t));
      }
      workers.forEach(Thread::start);
      for (Thread w : workers) {
        w.join();
      }
      String teardown = failure == null ? closeAll() : null;
      if (failure == null && teardown != null) {
        failure = teardown;
      }
      if (failure != null) {
        closeAll();
        return failure;
      }
      return null;
    }

    private void steps(int id, Random random) {
      for (int step = 0; step < STEPS && failure == null; step++) {
        try {
          step(random);
        } catch (Disallowed e) {
          fail(id, step, e.getMessage(), e.getCause());
        } catch (RuntimeException | Error e) {
          fail(id, step, "the test's own step threw", e);
        }
      }
    }

    private void fail(int thread, int step, String what, Throwable cause) {
      synchronized (lock) {
        if (failure != null) {
          return;
        }
        StringBuilder report = new StringBuilder();
        report.append("Seed ").append(seed).append(" (").append(threads).append(" threads; replay with")
            .append(" -Dgrabkit.random.seed=").append(seed).append(" -Dgrabkit.random.sequences=1)")
            .append(", thread ").append(thread).append(", step ").append(step).append(": ")
            .append(what).append("\nlast operations:\n");
        history.forEach(h -> report.append("  ").append(h).append('\n'));
        if (cause != null) {
          java.io.StringWriter trace = new java.io.StringWriter();
          cause.printStackTrace(new java.io.PrintWriter(trace));
          report.append(trace);
        }
        failure = report.toString();
      }
    }

    private void note(String line) {
      STATS.merge(line.replaceAll("@[0-9a-f]+", ""), 1, Integer::sum);
      synchronized (lock) {
        history.addLast(Thread.currentThread().getName() + ": " + line);
        if (history.size() > 40) {
          history.removeFirst();
        }
      }
    }

    private static void check(String op, Outcome outcome, Set<String> allowed) {
      if (!allowed.contains(outcome.kind())) {
        throw new Disallowed(
            op + " gave " + outcome.kind() + " where the model allows " + allowed, outcome.thrown());
      }
    }

    private void step(Random random) {
      // Weighted so that whole trees with running acquisitions are common and teardowns rare
      // enough to let them form, yet happen many times in a sequence.
      int missing = missingLevel();
      if (missing >= 0 && random.nextInt(3) != 0) {
        if (stillHeld(missing) && random.nextBoolean()) {
          closeBelow(missing);
        } else if (missing == PRODUCER) {
          loadProducer();
        } else {
          open(missing);
        }
        return;
      }
      int pick = random.nextInt(1000);
      boolean done;
      if (pick < 5) {
        done = loadProducer();
      } else if (pick < 10) {
        done = closeProducer();
      } else if (pick < 25) {
        done = close(1 + random.nextInt(4));
      } else if (pick < 40) {
        done = drop(random);
      } else if (pick < 60) {
        done = open(1 + random.nextInt(4));
      } else if (pick < 160) {
        done = announce();
      } else if (pick < 310) {
        done = queue(random);
      } else if (pick < 360) {
        done = revoke(random);
      } else if (pick < 440) {
        done = startOrStop(random.nextInt(4) != 0);
      } else if (pick < 510) {
        done = registerOrUnregister(random.nextInt(4) != 0);
      } else if (pick < 710) {
        done = await();
      } else {
        done = false;
      }
      if (!done) {
        query(random);
      }
    }

    // ---- operations that change the tree: one at a time, exact outcomes

    /** The shallowest level without an open proxy, -1 when the whole tree is open. */
    private int missingLevel() {
      synchronized (lock) {
        for (int level = PRODUCER; level <= DS; level++) {
          if (slot[level] == null || slot[level].status() != Status.OPEN) {
            return level;
          }
        }
        return -1;
      }
    }

    /** Whether a dropped proxy of the level may still be open in the producer. */
    private boolean stillHeld(int level) {
      synchronized (lock) {
        return lingering[level];
      }
    }

    /**
     * Closes the deepest proxy below {@code level}: a dropped proxy lives on while its children
     * do, and the collector can then take it.
     */
    private void closeBelow(int level) {
      synchronized (lock) {
        // Buffers of closed streams hold their stream, and so the whole tree, in memory.
        for (Buf buf : new ArrayList<>(liveBuffers)) {
          if (buf.status() != Status.OPEN) {
            note("release " + buf);
            buf.proxy.close();
            buf.released = true;
            buf.stream.buffers.remove(buf);
            liveBuffers.remove(buf);
          }
        }
        for (int deepest = DS; deepest > level; deepest--) {
          if (close(deepest)) {
            break;
          }
        }
      }
      System.gc();
    }

    private boolean loadProducer() {
      synchronized (lock) {
        Rec old = slot[PRODUCER];
        Set<String> expected;
        if (old != null && old.status() == Status.OPEN) {
          expected = Set.of("LoadLibraryException");
        } else if (lingering[PRODUCER]) {
          expected = Set.of(OK, "LoadLibraryException");
        } else {
          expected = Set.of(OK);
        }
        String path = NativeLibrary.extract("grabkit-sim.cti").toString();
        Outcome o = Outcome.of(() -> GenTLProducer.load(path));
        note("load producer: " + o.kind());
        check("loading the producer", o, expected);
        if (o.kind().equals(OK)) {
          lingering[PRODUCER] = false;
          put(new Rec(PRODUCER, null, (ModelObject) o.value()));
        }
        return true;
      }
    }

    private boolean closeProducer() {
      synchronized (lock) {
        Rec p = slot[PRODUCER];
        if (p == null) {
          return false;
        }
        Outcome o = Outcome.of(() -> {
          p.proxy.close();
          return null;
        });
        note("close " + p + ": " + o.kind());
        check("closing " + p, o, Set.of(OK));
        p.closed = true;
        return true;
      }
    }

    private void put(Rec rec) {
      slot[rec.level] = rec;
      live.add(rec);
    }

    private boolean open(int level) {
      synchronized (lock) {
        Rec parent = slot[level - 1];
        if (parent == null) {
          return false;
        }
        Rec old = slot[level];
        Set<String> expected;
        if (parent.status() != Status.OPEN) {
          expected = allowed(parent.status());
        } else if (old != null && old.status() == Status.OPEN) {
          expected = Set.of(IN_USE);
        } else if (lingering[level]) {
          expected = Set.of(OK, IN_USE);
        } else {
          expected = Set.of(OK);
        }
        Outcome o = Outcome.of(() -> openBelow(level, parent.proxy));
        note("open " + LEVEL[level] + " below " + parent + ": " + o.kind());
        check("opening a " + LEVEL[level] + " below " + parent, o, expected);
        if (o.kind().equals(OK)) {
          lingering[level] = false;
          put(new Rec(level, parent, (ModelObject) o.value()));
        }
        return true;
      }
    }

    private static Object openBelow(int level, ModelObject parent) {
      switch (level) {
        case TL:
          return ((GenTLProducer) parent).openTransportLayer();
        case ITF: {
          List<InterfaceInfo> infos = ((TransportLayer) parent).getInterfaces();
          try {
            return infos.get(0).open();
          } finally {
            infos.forEach(InterfaceInfo::close);
          }
        }
        case DEV: {
          List<DeviceInfo> infos = ((TLInterface) parent).getDevices();
          Device device;
          try {
            device = infos.get(0).open(gentlJNI.DEVICE_ACCESS_CONTROL_get());
          } finally {
            infos.forEach(DeviceInfo::close);
          }
          // Small frames, as fast as buffers come back.
          try (Port port = device.getPort()) {
            writeU32(port, WIDTH, 32);
            writeU32(port, HEIGHT, 24);
            writeU32(port, FRAME_RATE, 0);
          }
          return device;
        }
        default:
          return ((Device) parent).openDataStream("Stream0");
      }
    }

    private static void writeU32(Port port, long address, int value) {
      ByteBuffer b = ByteBuffer.allocateDirect(4).order(java.nio.ByteOrder.LITTLE_ENDIAN);
      port.write(address, b.putInt(0, value));
    }

    private boolean close(int level) {
      synchronized (lock) {
        Rec rec = slot[level];
        if (rec == null) {
          return false;
        }
        // Closing never fails: an orphan or a released proxy closes without a producer call.
        Outcome o = Outcome.of(() -> {
          rec.proxy.close();
          return null;
        });
        note("close " + rec + ": " + o.kind());
        check("closing " + rec, o, Set.of(OK));
        rec.closed = true;
        return true;
      }
    }

    private boolean drop(Random random) {
      synchronized (lock) {
        List<Object> candidates = new ArrayList<>();
        for (Rec r : slot) {
          if (r != null) {
            candidates.add(r);
          }
        }
        if (candidates.isEmpty()) {
          return false;
        }
        // Mostly buffers and streams, the leaves that programs forget most.
        Object victim;
        if (random.nextBoolean() && !liveBuffers.isEmpty()) {
          victim = liveBuffers.get(random.nextInt(liveBuffers.size()));
        } else if (random.nextInt(4) == 0) {
          victim = candidates.get(random.nextInt(candidates.size()));
        } else {
          victim = candidates.get(candidates.size() - 1);
        }
        if (victim instanceof Rec rec) {
          note("drop " + rec);
          if (rec.status() == Status.OPEN) {
            lingering[rec.level] = true;
          }
          if (rec.event != null) {
            rec.event.doomed = true;
          }
          // A program that forgets a stream forgets its buffers with it.
          for (Buf buf : rec.buffers) {
            liveBuffers.remove(buf);
            buf.proxy = null;
          }
          rec.buffers.clear();
          slot[rec.level] = null;
          live.remove(rec);
          rec.proxy = null;
        } else {
          Buf buf = (Buf) victim;
          note("drop " + buf);
          buf.stream.buffers.remove(buf);
          liveBuffers.remove(buf);
          buf.proxy = null;
        }
      }
      System.gc();
      return true;
    }

    /** The stream in its slot, or null. */
    private Rec stream() {
      return slot[DS];
    }

    private boolean announce() {
      synchronized (lock) {
        Rec ds = stream();
        if (ds == null || ds.buffers.size() >= MAX_BUFFERS) {
          return false;
        }
        ByteBuffer m = ByteBuffer.allocateDirect(PAYLOAD);
        RETAINED.add(m);
        DataStream proxy = (DataStream) ds.proxy;
        Outcome o = Outcome.of(() -> proxy.announceBuffer(m, ds.buffers.size()));
        note("announce on " + ds + ": " + o.kind());
        check("announcing on " + ds, o, allowed(ds.status()));
        if (o.kind().equals(OK)) {
          Buffer b = (Buffer) o.value();
          Buf buf = new Buf(ds, b, b.getHandle());
          ds.buffers.add(buf);
          liveBuffers.add(buf);
          ds.announced++;
        }
        return true;
      }
    }

    private Buf pickBuffer(Random random) {
      Rec ds = stream();
      if (ds == null || ds.buffers.isEmpty()) {
        return null;
      }
      return ds.buffers.get(random.nextInt(ds.buffers.size()));
    }

    private boolean queue(Random random) {
      synchronized (lock) {
        Buf buf = pickBuffer(random);
        if (buf == null) {
          return false;
        }
        Rec ds = buf.stream;
        Set<String> expected;
        if (ds.status() != Status.OPEN) {
          expected = allowed(ds.status());
        } else if (buf.uncertain || buf.queued && ds.waiters > 0) {
          // A waiter may have taken it from the producer and not told the model yet.
          expected = Set.of(OK, code(inUse));
        } else if (!buf.queued) {
          expected = Set.of(OK);
        } else {
          expected = Set.of(code(inUse));
        }
        DataStream proxy = (DataStream) ds.proxy;
        Outcome o = Outcome.ofCode(() -> proxy.queueBuffer(buf.proxy, false));
        note("queue " + buf + (buf.queued ? " (queued)" : "") + ": " + o.kind());
        check("queueing a buffer on " + ds, o, expected);
        if (expected.contains(o.kind()) && ds.status() == Status.OPEN) {
          // Either way the producer has it queued now.
          buf.queued = true;
          buf.uncertain = false;
          if (o.kind().equals(OK)) {
            buf.lastQueued = ++queueings;
          }
        }
        return true;
      }
    }

    private boolean revoke(Random random) {
      synchronized (lock) {
        Buf buf = pickBuffer(random);
        if (buf == null) {
          return false;
        }
        Rec ds = buf.stream;
        Set<String> expected;
        if (ds.status() != Status.OPEN) {
          expected = allowed(ds.status());
        } else if (buf.uncertain || buf.queued && ds.waiters > 0) {
          expected = Set.of(OK, "BusyException");
        } else if (!buf.queued) {
          expected = Set.of(OK);
        } else {
          expected = Set.of("BusyException");
        }
        DataStream proxy = (DataStream) ds.proxy;
        Outcome o = Outcome.of(() -> proxy.revokeBuffer(buf.proxy));
        note("revoke " + buf + (buf.queued ? " (queued)" : "") + ": " + o.kind());
        check("revoking a buffer of " + ds, o, expected);
        if (o.kind().equals("BusyException")) {
          buf.queued = true;
          buf.uncertain = false;
        }
        if (o.kind().equals(OK)) {
          ds.announced--;
          ds.buffers.remove(buf);
          liveBuffers.remove(buf);
          buf.proxy.close();
          buf.released = true;
          buf.proxy = null;
        }
        return true;
      }
    }

    private boolean startOrStop(boolean start) {
      synchronized (lock) {
        Rec ds = stream();
        if (ds == null) {
          return false;
        }
        DataStream proxy = (DataStream) ds.proxy;
        Set<String> expected;
        Outcome o;
        if (start) {
          if (ds.status() != Status.OPEN) {
            expected = allowed(ds.status());
          } else if (ds.acquiring) {
            expected = Set.of(code(inUse));
          } else if (ds.announced == 0) {
            expected = Set.of(code(invalidBuffer));
          } else {
            expected = Set.of(OK);
          }
          o = Outcome.ofCode(
              () -> proxy.startAcquisition(gentlJNI.ACQ_START_FLAGS_DEFAULT_get(), -1));
        } else {
          expected = allowed(ds.status());
          o = Outcome.ofCode(() -> proxy.stopAcquisition(gentlJNI.ACQ_STOP_FLAGS_KILL_get()));
        }
        note((start ? "start " : "stop ") + ds + ": " + o.kind());
        check((start ? "starting " : "stopping ") + ds, o, expected);
        if (o.kind().equals(OK)) {
          ds.acquiring = start;
        }
        return true;
      }
    }

    private boolean registerOrUnregister(boolean register) {
      synchronized (lock) {
        Rec ds = stream();
        if (ds == null) {
          return false;
        }
        DataStream proxy = (DataStream) ds.proxy;
        boolean registered = ds.event != null && ds.event.live();
        Set<String> expected;
        Outcome o;
        int type = gentlJNI.EVENT_NEW_BUFFER_get();
        if (register) {
          expected =
              ds.status() != Status.OPEN
                  ? allowed(ds.status())
                  : registered ? Set.of(IN_USE) : Set.of(OK);
          o = Outcome.of(() -> gentlJNI.GCRegisterEvent(proxy.getHandle(), type));
        } else {
          expected =
              ds.status() != Status.OPEN
                  ? allowed(ds.status())
                  : registered ? Set.of(OK) : Set.of(code(notAvailable));
          o = Outcome.ofCode(() -> gentlJNI.GCUnregisterEvent(proxy.getHandle(), type));
        }
        note((register ? "register on " : "unregister on ") + ds + ": " + o.kind());
        check((register ? "registering the event of " : "unregistering the event of ") + ds,
            o, expected);
        if (o.kind().equals(OK)) {
          if (register) {
            ds.event = new Event(ds, (Integer) o.value());
          } else {
            ds.event.unregistered = true;
          }
        }
        return true;
      }
    }

    // ---- operations that may race with the ones above: outcome of the state before or after

    /** Waits briefly for a filled buffer on the stream's event, outside the model's lock. */
    private boolean await() {
      Event event;
      long since;
      synchronized (lock) {
        since = queueings;
        Rec ds = stream();
        if (ds == null || ds.event == null || !ds.event.live()) {
          return false;
        }
        event = ds.event;
        ds.waiters++;
      }
      Outcome o = Outcome.of(() -> {
        long record = gentlJNI.EventNewBufferGetData(event.handle, WAIT_MS);
        try {
          return gentlJNI.NewBufferEvent_BufferHandle_get(record);
        } finally {
          gentlJNI.delete_NewBufferEvent(record);
        }
      });
      synchronized (lock) {
        event.stream.waiters--;
        boolean stable = event.live(); // it was live when the wait began
        Set<String> expected = new TreeSet<>(Set.of(OK, "TimeoutException"));
        if (!stable) {
          // Ended by a close, an unregistration or an unload: the wait is aborted, or its handle
          // is gone before the producer sees it.
          expected.addAll(
              Set.of("AbortException", "InvalidHandleException", "NotInitializedException"));
        }
        note("wait on " + event.stream + ": " + o.kind());
        check("waiting for a buffer of " + event.stream, o, expected);
        if (o.kind().equals(OK)) {
          int handle = (Integer) o.value();
          for (Buf b : event.stream.buffers) {
            if (b.handle == handle) {
              if (b.lastQueued > since) {
                b.uncertain = true;
              } else {
                b.queued = false;
                b.uncertain = false;
              }
            }
          }
        }
      }
      return true;
    }

    /** A query through one proxy, outside the model's lock. */
    private void query(Random random) {
      Object target;
      Status before;
      ModelObject proxyOf;
      synchronized (lock) {
        List<Object> candidates = new ArrayList<>();
        for (Rec r : slot) {
          if (r != null) {
            candidates.add(r);
          }
        }
        Rec ds = stream();
        if (ds != null) {
          candidates.addAll(ds.buffers);
        }
        if (candidates.isEmpty()) {
          return;
        }
        target = candidates.get(random.nextInt(candidates.size()));
        before = target instanceof Rec r ? r.status() : ((Buf) target).status();
        proxyOf = target instanceof Rec r ? r.proxy : ((Buf) target).proxy;
      }
      Outcome o;
      Object expectedValue;
      ModelObject proxy = proxyOf;
      if (target instanceof Rec rec) {
        expectedValue = switch (rec.level) {
          case PRODUCER -> true;
          case TL, ITF -> "SimInterface0";
          case DEV -> "SimCam0";
          default -> "Stream0";
        };
        o = Outcome.of(() -> ask(rec.level, proxy));
      } else {
        expectedValue = (long) PAYLOAD;
        o = Outcome.of(() -> ((Buffer) proxy).getInfoSize(gentlJNI.BUFFER_INFO_SIZE_get()));
      }
      synchronized (lock) {
        Status after = target instanceof Rec r ? r.status() : ((Buf) target).status();
        Set<String> expected = union(allowed(before), allowed(after));
        if (before != after) {
          // Closed natively a moment before the proxy is released.
          expected.add(CLOSED);
          if (target instanceof Buf) {
            // Revoked in the producer a moment before the proxy is released: the producer's
            // own answer for a buffer it no longer has.
            expected.add("InvalidHandleException");
          }
        }
        note("query " + target + ": " + o.kind());
        check("a query through " + target, o, expected);
        if (before == Status.OPEN && after == Status.OPEN && !expectedValue.equals(o.value())) {
          throw new Disallowed(
              "a query through " + target + " gave " + o.value() + ", not " + expectedValue, null);
        }
      }
    }

    private static Object ask(int level, ModelObject proxy) {
      switch (level) {
        case PRODUCER:
          return ((GenTLProducer) proxy).checkValid();
        case TL: {
          List<InterfaceInfo> infos = ((TransportLayer) proxy).getInterfaces();
          try {
            return infos.get(0).getID();
          } finally {
            infos.forEach(InterfaceInfo::close);
          }
        }
        case ITF:
          return ((TLInterface) proxy).getID();
        case DEV:
          return ((Device) proxy).getID();
        default:
          return ((DataStream) proxy).getID();
      }
    }

    /**
     * Releases what the sequence left: buffers, then modules from the leaves up, then the
     * producer; dropped proxies go with the collector.
     *
     * @return null, or why closing failed
     */
    private String closeAll() {
      synchronized (lock) {
        try {
          for (Buf b : liveBuffers) {
            b.proxy.close();
          }
          liveBuffers.clear();
          for (int level = DS; level >= PRODUCER; level--) {
            for (Rec r : live) {
              if (r.level == level) {
                r.proxy.close();
                r.closed = true;
              }
            }
          }
          live.clear();
          return null;
        } catch (RuntimeException e) {
          return "Seed " + seed + ": closing what was left threw " + e;
        }
      }
    }
  }
}
