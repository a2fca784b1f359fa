package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.*;

import java.io.*;
import java.nio.*;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.*;
import java.util.concurrent.*;
import java.util.function.*;
import org.junit.jupiter.api.Test;

/**
 * Random sequences of operations on the object model against the simulated camera, each outcome
 * checked against a small reference model of what is open, closed below a closed ancestor, or
 * released. Operations that change the tree run one at a time and must give an outcome the model
 * allows; queries and waits run alongside them in other threads and may race with a change, so
 * they may give the outcome of the state before or of the state after, and nothing else.
 *
 * <p>Each sequence prints its seed; {@code -Dgrabkit.random.seed=N} replays its operations (with
 * several threads, not their interleaving). The threaded sequences run in a child JVM, so that a
 * crash of native code is reported as a failure with its seed.
 */
class ObjectModelRandomTest {
  private static final long SEED = Long.getLong("grabkit.random.seed", System.nanoTime());
  private static final int SEQUENCES = Integer.getInteger("grabkit.random.sequences", 12);
  private static final int STEPS = Integer.getInteger("grabkit.random.steps", 400);
  private static final long WIDTH = 0x100, HEIGHT = 0x104, FRAME_RATE = 0x110;
  private static final int PAYLOAD = 32 * 24, MAX_BUFFERS = 4;
  private static final long WAIT_MS = 5;

  private static final int PRODUCER = 0, TL = 1, ITF = 2, DEV = 3, DS = 4, BUF = 5, EVENT = 6;
  private static final String[] LEVEL =
      {"producer", "system", "interface", "device", "stream", "buffer", "event"};
  /** What a query through an open proxy of each level answers. */
  private static final Object[] ANSWER =
      {true, "SimInterface0", "SimInterface0", "SimCam0", "Stream0", (long) PAYLOAD};

  private static final String OK = "ok", RELEASED = "IllegalStateException";
  private static final String CLOSED = "ClosedException", IN_USE = "ResourceInUseException";

  // The producer writes into announced memory until its stream closes, which for a dropped
  // stream is whenever the collector gets to it: keep it reachable until the library is gone.
  private static final List<ByteBuffer> RETAINED = Collections.synchronizedList(new ArrayList<>());
  /** How often each kind of operation had each outcome: what a run exercised. */
  private static final Map<String, Integer> STATS = new ConcurrentSkipListMap<>();

  @Test
  void singleThreaded() throws InterruptedException {
    assertNull(sequences(false));
  }

  @Test
  void severalThreadsInAChildJvm() throws IOException, InterruptedException {
    Path log = Files.createTempFile("grabkit-random", ".log");
    Process child = new ProcessBuilder(ChildJvm.command(List.of("-Xcheck:jni",
            "-XX:ErrorFile=" + Path.of("target", "hs_err_random_%p.log").toAbsolutePath(),
            "-Dgrabkit.random.seed=" + SEED, "-Dgrabkit.random.sequences=" + SEQUENCES,
            "-Dgrabkit.random.steps=" + STEPS), ObjectModelRandomTest.class.getName()))
        .redirectErrorStream(true).redirectOutput(log.toFile()).start();
    // A safety net against a hang, not a time limit of the test.
    boolean ended = child.waitFor(5, TimeUnit.MINUTES);
    if (!ended) child.destroyForcibly();
    String out = Files.readString(log, StandardCharsets.UTF_8);
    assertTrue(ended, "the child JVM hung; seed " + SEED + "\n" + out);
    assertEquals(0, child.exitValue(), "seed " + SEED + ":\n"
        + (out.length() <= 6000 ? out : "..." + out.substring(out.length() - 6000)));
    System.out.print(out);
  }

  /** The threaded sequences: exits 0 when every outcome was allowed, else prints why. */
  public static void main(String[] args) throws InterruptedException {
    String failure = sequences(true);
    System.out.println(failure != null ? failure : SEQUENCES + " threaded sequences passed");
    System.exit(failure == null ? 0 : 1);
  }

  /** @return null when every sequence passed, else the report of the first that did not */
  private static String sequences(boolean threaded) throws InterruptedException {
    long holders = LiveHolders.settled();
    for (int s = 0; s < SEQUENCES; s++) {
      long seed = SEED + s;
      int threads = threaded ? 2 + new Random(seed).nextInt(3) : 1;
      // Named before it runs: a crash leaves nothing else to tell which one it was.
      System.out.println("sequence " + s + ": seed " + seed + ", " + threads + " threads");
      String failure = new Sequence(seed, threads).run();
      failure = failure != null ? failure
          : LiveHolders.settled() != holders ? "holders left behind; seed " + seed
          : gentlJNI.GCLibIsInited() ? "the producer stayed loaded; seed " + seed : null;
      RETAINED.clear();
      if (failure != null) return failure;
    }
    STATS.forEach((outcome, n) -> System.out.printf("%6d  %s%n", n, outcome));
    STATS.clear();
    return null;
  }

  /** What a proxy's own state predicts for a call through it. */
  enum Status { OPEN, RELEASED, ORPHANED }

  private static Set<String> byStatus(Status s, Set<String> ifOpen) {
    return s == Status.OPEN ? ifOpen : Set.of(s == Status.RELEASED ? RELEASED : CLOSED);
  }

  /** A proxy of a module or a buffer, or a registered event, and what the model knows of it. */
  static final class Rec {
    final int level;
    final Rec parent; // a buffer or event answers through its stream
    ModelObject proxy; // null once the program let go of it
    boolean closed; // of an event: unregistered
    // of a stream
    final List<Rec> buffers = new ArrayList<>();
    int announced; // in the producer, dropped proxies included
    int waiters;
    boolean acquiring;
    Rec event;
    // of a buffer or an event
    int handle;
    boolean queued;
    // Delivered to a waiter around the time it was queued again: queued or not, in either order.
    boolean uncertain;
    long lastQueued;

    Rec(int level, Rec parent, ModelObject proxy) {
      this.level = level;
      this.parent = parent;
      this.proxy = proxy;
    }

    Status status() {
      if (closed) return Status.RELEASED;
      return parent == null || parent.status() == Status.OPEN ? Status.OPEN : Status.ORPHANED;
    }

    /** Of a stream: its event dies with it, and with a dropped one whenever the collector does. */
    boolean registered() {
      return event != null && event.status() == Status.OPEN && proxy != null;
    }

    @Override
    public String toString() {
      return LEVEL[level] + "@" + Integer.toHexString(System.identityHashCode(this)) + "("
          + status() + (proxy == null ? ", dropped" : "") + ")"
          + (level == BUF ? " #" + handle + " of " + parent : "");
    }
  }

  /** An outcome: {@link #OK}, a refusal code, or the simple name of the exception thrown. */
  record Outcome(String kind, Object value, Throwable thrown) {
    static Outcome of(Supplier<Object> call) {
      try {
        Object value = call.get();
        return value instanceof Outcome coded ? coded : new Outcome(OK, value, null);
      } catch (RuntimeException e) {
        return new Outcome(e.getClass().getSimpleName(), null, e);
      }
    }

    /** What a call that answers with a code returned. */
    static Outcome coded(int code) {
      return new Outcome(code == 0 ? OK : "code " + code, null, null);
    }

    boolean ok() {
      return kind.equals(OK);
    }
  }

  /** An operation and its weight out of 1000; one with nothing to act on gives way to a query. */
  record Op(int weight, Predicate<Random> run) {}

  /** One random sequence over {@code threads} threads sharing one model, guarded by this. */
  static final class Sequence {
    private final long seed;
    private final int threads;
    private final Rec[] slot = new Rec[DS + 1];
    // A dropped proxy of the level may still hold its module open in the producer.
    private final boolean[] lingering = new boolean[DS + 1];
    private final List<Rec> live = new ArrayList<>();
    private final Deque<String> history = new ArrayDeque<>();
    // Counts successful queueings, so that a waiter can tell whether its buffer was queued again
    // while it reported the delivery.
    private long queueings;
    private volatile String failure;
    private final String inUse = Outcome.coded(gentlJNI.GC_ERR_RESOURCE_IN_USE_get()).kind();
    private final String invalidBuffer = Outcome.coded(gentlJNI.GC_ERR_INVALID_BUFFER_get()).kind();
    private final String notAvailable = Outcome.coded(gentlJNI.GC_ERR_NOT_AVAILABLE_get()).kind();
    private final int newBuffer = gentlJNI.EVENT_NEW_BUFFER_get();
    // Weighted so that whole trees with running acquisitions are common and teardowns rare
    // enough to let them form, yet happen many times in a sequence.
    private final List<Op> ops = List.of(
        new Op(5, r -> open(PRODUCER)), new Op(5, r -> close(PRODUCER)),
        new Op(15, r -> close(1 + r.nextInt(4))), new Op(15, this::drop),
        new Op(20, r -> open(1 + r.nextInt(4))), new Op(100, r -> announce()),
        new Op(150, r -> queueOrRevoke(r, true)), new Op(50, r -> queueOrRevoke(r, false)),
        new Op(80, r -> r.nextInt(4) != 0
            ? onStream("start", ds -> ds.acquiring ? inUse : ds.announced == 0 ? invalidBuffer : OK,
                p -> Outcome.coded(p.startAcquisition(gentlJNI.ACQ_START_FLAGS_DEFAULT_get(), -1)),
                (ds, o) -> ds.acquiring = true)
            : onStream("stop", ds -> OK,
                p -> Outcome.coded(p.stopAcquisition(gentlJNI.ACQ_STOP_FLAGS_KILL_get())),
                (ds, o) -> ds.acquiring = false)),
        new Op(70, r -> r.nextInt(4) != 0
            ? onStream("register", ds -> ds.registered() ? IN_USE : OK,
                p -> gentlJNI.GCRegisterEvent(p.getHandle(), newBuffer),
                (ds, o) -> (ds.event = new Rec(EVENT, ds, null)).handle = (Integer) o.value())
            : onStream("unregister", ds -> ds.registered() ? OK : notAvailable,
                p -> Outcome.coded(gentlJNI.GCUnregisterEvent(p.getHandle(), newBuffer)),
                (ds, o) -> ds.event.closed = true)),
        new Op(200, r -> await()), new Op(290, r -> false));

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
        workers.add(new Thread(() -> {
          for (int step = 0; step < STEPS && failure == null; step++) {
            try {
              step(random);
            } catch (AssertionError e) {
              fail(id, step, e.getMessage(), e.getCause());
            } catch (RuntimeException | Error e) {
              fail(id, step, "the test's own step threw", e);
            }
          }
        }, "random-" + t));
      }
      workers.forEach(Thread::start);
      for (Thread w : workers) w.join();
      String teardown = closeAll();
      return failure != null ? failure : teardown;
    }

    private synchronized void fail(int thread, int step, String what, Throwable cause) {
      if (failure != null) return;
      StringWriter report = new StringWriter();
      if (cause != null) cause.printStackTrace(new PrintWriter(report));
      failure = String.format("Seed %d (%d threads; replay with -Dgrabkit.random.seed=%d"
              + " -Dgrabkit.random.sequences=1), thread %d, step %d: %s%n"
              + "last operations:%n  %s%n%s",
          seed, threads, seed, thread, step, what, String.join("\n  ", history), report);
    }

    private synchronized void note(String what, String kind) {
      STATS.merge(what.split(" ")[0] + ": " + kind, 1, Integer::sum);
      history.addLast(Thread.currentThread().getName() + ": " + what + ": " + kind);
      if (history.size() > 40) history.removeFirst();
    }

    private Outcome check(String what, Outcome o, Set<String> allowed) {
      note(what, o.kind());
      if (allowed.contains(o.kind())) return o;
      throw new AssertionError(what + " gave " + o.kind() + " where the model allows " + allowed,
          o.thrown());
    }

    /** Calls through a proxy of status {@code s}, which must give what that status allows. */
    private Outcome expect(String what, Status s, Set<String> ifOpen, Supplier<Object> call) {
      return check(what, Outcome.of(call), byStatus(s, ifOpen));
    }

    private void step(Random random) {
      int missing = missingLevel();
      if (missing >= 0 && random.nextInt(3) != 0) {
        if (!(random.nextBoolean() && closeBelow(missing))) open(missing);
        return;
      }
      int pick = random.nextInt(1000), i = 0;
      while ((pick -= ops.get(i).weight()) >= 0) i++;
      if (!ops.get(i).run().test(random)) query(random);
    }

    // ---- operations that change the tree: under the model's lock, one at a time

    /** The shallowest level without an open proxy, -1 when the whole tree is open. */
    private synchronized int missingLevel() {
      int level = PRODUCER;
      while (level <= DS && slot[level] != null && slot[level].status() == Status.OPEN) level++;
      return level > DS ? -1 : level;
    }

    /** A dropped proxy of {@code level} that may still be open lives on while its children do:
     * closes the deepest of them, and the collector can then take it. */
    private boolean closeBelow(int level) {
      synchronized (this) {
        if (!lingering[level]) return false;
        // Buffers of closed streams hold their stream, and so the whole tree, in memory.
        live.stream().filter(b -> b.level == BUF && b.status() != Status.OPEN).toList()
            .forEach(this::release);
        for (int deepest = DS; deepest > level && !close(deepest); deepest--) {}
      }
      System.gc();
      return true;
    }

    private synchronized boolean open(int level) {
      Rec parent = level == PRODUCER ? null : slot[level - 1];
      if (level != PRODUCER && parent == null) return false;
      Rec old = slot[level];
      String busy = level == PRODUCER ? "LoadLibraryException" : IN_USE;
      Outcome o = expect(
          parent == null ? "load producer" : "open " + LEVEL[level] + " below " + parent,
          parent == null ? Status.OPEN : parent.status(),
          old != null && old.status() == Status.OPEN ? Set.of(busy)
              : lingering[level] ? Set.of(OK, busy) : Set.of(OK),
          () -> openBelow(level, parent == null ? null : parent.proxy));
      if (o.ok()) {
        lingering[level] = false;
        live.add(slot[level] = new Rec(level, parent, (ModelObject) o.value()));
      }
      return true;
    }

    private static Object openBelow(int level, ModelObject parent) {
      return switch (level) {
        case PRODUCER -> GenTLProducer.load(NativeLibrary.extract("grabkit-sim.cti").toString());
        case TL -> ((GenTLProducer) parent).openTransportLayer();
        case ITF -> first(((TransportLayer) parent).getInterfaces(), InterfaceInfo::open);
        case DEV -> smallFrames(first(((TLInterface) parent).getDevices(),
            i -> i.open(gentlJNI.DEVICE_ACCESS_CONTROL_get())));
        default -> ((Device) parent).openDataStream("Stream0");
      };
    }

    private static <I extends ModelObject, R> R first(List<I> infos, Function<I, R> use) {
      try {
        return use.apply(infos.get(0));
      } finally {
        infos.forEach(ModelObject::close);
      }
    }

    /** Small frames, as fast as buffers come back. */
    private static Device smallFrames(Device device) {
      try (Port port = device.getPort()) {
        ByteBuffer b = ByteBuffer.allocateDirect(4).order(ByteOrder.LITTLE_ENDIAN);
        port.write(WIDTH, b.putInt(0, 32));
        port.write(HEIGHT, b.putInt(0, 24));
        port.write(FRAME_RATE, b.putInt(0, 0));
      }
      return device;
    }

    /** The program lets go of the proxy, and the collector may take it. */
    private void forget(Rec rec) {
      live.remove(rec);
      if (rec.level == BUF) rec.parent.buffers.remove(rec);
      else slot[rec.level] = null;
      rec.proxy = null;
    }

    private void release(Rec buf) {
      note("release " + buf, OK);
      buf.proxy.close();
      buf.closed = true;
      forget(buf);
    }

    private synchronized boolean close(int level) {
      Rec rec = slot[level];
      if (rec == null) return false;
      // Closing never fails: an orphan or a released proxy closes without a producer call.
      expect("close " + rec, Status.OPEN, Set.of(OK), () -> {
        rec.proxy.close();
        return null;
      });
      rec.closed = true;
      return true;
    }

    private boolean drop(Random random) {
      synchronized (this) {
        List<Rec> modules = Arrays.stream(slot).filter(Objects::nonNull).toList();
        if (modules.isEmpty()) return false;
        List<Rec> buffers = live.stream().filter(r -> r.level == BUF).toList();
        // Mostly buffers and streams, the leaves that programs forget most.
        Rec victim =
            random.nextBoolean() && !buffers.isEmpty() ? buffers.get(random.nextInt(buffers.size()))
                : random.nextInt(4) == 0 ? modules.get(random.nextInt(modules.size()))
                : modules.get(modules.size() - 1);
        note("drop " + victim, OK);
        if (victim.level != BUF && victim.status() == Status.OPEN) lingering[victim.level] = true;
        // A program that forgets a stream forgets its buffers with it.
        new ArrayList<>(victim.buffers).forEach(this::forget);
        forget(victim);
      }
      System.gc();
      return true;
    }

    /** A call on the stream in its slot, which {@code then} follows if it succeeded. */
    private synchronized boolean onStream(String what, Function<Rec, String> ifOpen,
        Function<DataStream, Object> call, BiConsumer<Rec, Outcome> then) {
      Rec ds = slot[DS];
      if (ds == null) return false;
      Outcome o = expect(what + " on " + ds, ds.status(), Set.of(ifOpen.apply(ds)),
          () -> call.apply((DataStream) ds.proxy));
      if (o.ok()) then.accept(ds, o);
      return true;
    }

    private synchronized boolean announce() {
      Rec ds = slot[DS];
      if (ds == null || ds.buffers.size() >= MAX_BUFFERS) return false;
      ByteBuffer m = ByteBuffer.allocateDirect(PAYLOAD);
      RETAINED.add(m);
      return onStream("announce", s -> OK, p -> p.announceBuffer(m, ds.buffers.size()), (s, o) -> {
        Rec buf = new Rec(BUF, ds, (Buffer) o.value());
        buf.handle = ((Buffer) o.value()).getHandle();
        live.add(buf);
        ds.buffers.add(buf);
        ds.announced++;
      });
    }

    private synchronized boolean queueOrRevoke(Random random, boolean queue) {
      Rec ds = slot[DS];
      if (ds == null || ds.buffers.isEmpty()) return false;
      Rec buf = ds.buffers.get(random.nextInt(ds.buffers.size()));
      String busy = queue ? inUse : "BusyException";
      DataStream proxy = (DataStream) ds.proxy;
      Buffer b = (Buffer) buf.proxy;
      Outcome o = expect((queue ? "queue " : "revoke ") + buf + (buf.queued ? " (queued)" : ""),
          ds.status(),
          // A waiter may have taken it from the producer and not told the model yet.
          buf.uncertain || buf.queued && ds.waiters > 0 ? Set.of(OK, busy)
              : Set.of(buf.queued ? busy : OK),
          () -> queue ? Outcome.coded(proxy.queueBuffer(b, false)) : proxy.revokeBuffer(b));
      if (o.kind().equals(busy) || queue && o.ok()) {
        // Either way the producer has it queued now.
        buf.queued = true;
        buf.uncertain = false;
        if (o.ok()) buf.lastQueued = ++queueings;
      } else if (o.ok()) {
        ds.announced--;
        release(buf);
      }
      return true;
    }

    // ---- operations that may race with the ones above: outcome of the state before or after

    /** Waits briefly for a filled buffer on the stream's event, outside the model's lock. */
    private boolean await() {
      Rec event;
      long since;
      synchronized (this) {
        Rec ds = slot[DS];
        if (ds == null || !ds.registered()) return false;
        event = ds.event;
        ds.waiters++;
        since = queueings;
      }
      Outcome o = Outcome.of(() -> {
        long record = gentlJNI.EventNewBufferGetData(event.handle, WAIT_MS);
        int handle = gentlJNI.NewBufferEvent_BufferHandle_get(record);
        gentlJNI.delete_NewBufferEvent(record);
        return handle;
      });
      synchronized (this) {
        Rec ds = event.parent;
        ds.waiters--;
        // It was live when the wait began. Ended by a close, an unregistration or an unload, the
        // wait is aborted, or its handle is gone before the producer sees it.
        Rec delivered = o.ok()
            ? ds.buffers.stream().filter(b -> b.handle == (Integer) o.value()).findFirst()
                  .orElse(null)
            : null;
        check("wait on " + ds + (o.ok() ? " gave " + (delivered != null ? delivered
                : "handle " + o.value() + " of no buffer the program holds") : ""),
            o, ds.event == event && ds.registered()
            ? Set.of(OK, "TimeoutException")
            : Set.of(OK, "TimeoutException", "AbortException", "InvalidHandleException",
                "NotInitializedException"));
        for (Rec b : ds.buffers) {
          if (b == delivered) {
            // Queued again since the wait began: the model cannot tell which came first.
            b.uncertain = b.lastQueued > since;
            b.queued &= b.uncertain;
          }
        }
      }
      return true;
    }

    /** A query through one proxy, outside the model's lock. */
    private void query(Random random) {
      Rec target;
      Status before;
      ModelObject proxy;
      synchronized (this) {
        List<Rec> candidates = new ArrayList<>(Arrays.asList(slot));
        if (slot[DS] != null) candidates.addAll(slot[DS].buffers);
        candidates.removeIf(Objects::isNull);
        if (candidates.isEmpty()) return;
        target = candidates.get(random.nextInt(candidates.size()));
        before = target.status();
        proxy = target.proxy;
      }
      Outcome o = Outcome.of(() -> ask(target.level, proxy));
      synchronized (this) {
        Status after = target.status();
        Set<String> expected = new TreeSet<>(byStatus(before, Set.of(OK)));
        expected.addAll(byStatus(after, Set.of(OK)));
        if (before != after) {
          // Closed natively a moment before the proxy is released.
          expected.add(CLOSED);
          // Revoked in the producer a moment before the proxy is released: the producer's own
          // answer for a buffer it no longer has.
          if (target.level == BUF) expected.add("InvalidHandleException");
        }
        check("query " + target, o, expected);
        Object answer = ANSWER[target.level];
        if (before == Status.OPEN && after == Status.OPEN && !answer.equals(o.value())) {
          throw new AssertionError("query " + target + " gave " + o.value() + ", not " + answer);
        }
      }
    }

    private static Object ask(int level, ModelObject proxy) {
      return switch (level) {
        case PRODUCER -> ((GenTLProducer) proxy).checkValid();
        case TL -> first(((TransportLayer) proxy).getInterfaces(), InterfaceInfo::getID);
        case ITF -> ((TLInterface) proxy).getID();
        case DEV -> ((Device) proxy).getID();
        case DS -> ((DataStream) proxy).getID();
        default -> ((Buffer) proxy).getInfoSize(gentlJNI.BUFFER_INFO_SIZE_get());
      };
    }

    /** @return null, or why releasing what the sequence left, leaves first, failed */
    private synchronized String closeAll() {
      live.sort(Comparator.comparingInt(r -> -r.level));
      try {
        live.forEach(r -> r.proxy.close());
        return null;
      } catch (RuntimeException e) {
        return "Seed " + seed + ": closing what was left threw " + e;
      } finally {
        live.clear();
      }
    }
  }
}
