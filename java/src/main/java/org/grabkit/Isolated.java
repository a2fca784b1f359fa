package org.grabkit;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.channels.FileChannel;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.Comparator;
import java.util.EnumSet;
import java.util.List;
import java.util.Set;
import java.util.stream.Stream;
import org.grabkit.gentl.NativeLibrary;

/**
 * The files behind an isolated producer: a private directory holding a copy of the isolating
 * producer {@code grabkit-isolated.cti} (a copy per open, since the dynamic loader shares one load
 * per file) and its configuration, which names the real producer and the helper executable. The
 * copy is then loaded like any producer; it starts the helper itself.
 */
final class Isolated implements AutoCloseable {
  static final String SHIM = "grabkit-isolated.cti";
  static final String HELPER = "grabkit-producer-host";
  /** Milliseconds a call may take before its helper counts as hung; 0 turns the watchdog off. */
  static final String WATCHDOG_PROPERTY = "grabkit.isolation.watchdog.ms";
  /** Where frame buffers are shared from, instead of {@code /dev/shm}. */
  static final String SHARED_DIR_PROPERTY = "grabkit.isolation.shm.dir";

  private static final Path SHARED_MEMORY = Path.of("/dev/shm");
  private static final Set<PosixFilePermission> OWNER_RW =
      PosixFilePermissions.fromString("rw-------");

  private final Path dir;
  private final Path shim;

  private Isolated(Path dir, Path shim) {
    this.dir = dir;
    this.shim = shim;
  }

  /**
   * Prepares an isolated load of {@code producer}.
   *
   * @param environment {@code NAME=value} entries the helper gets on top of the JVM's environment
   */
  static Isolated prepare(Path producer, List<String> environment) {
    Path dir = null;
    try {
      Path helper = NativeLibrary.extract(HELPER);
      if (!Files.isExecutable(helper)) {
        Set<PosixFilePermission> perms = EnumSet.copyOf(Files.getPosixFilePermissions(helper));
        perms.add(PosixFilePermission.OWNER_EXECUTE);
        Files.setPosixFilePermissions(helper, perms);
      }
      dir = Files.createTempDirectory("grabkit-isolated-");
      Path shim = dir.resolve(SHIM);
      Files.copy(NativeLibrary.extract(SHIM), shim);
      StringBuilder conf = new StringBuilder();
      conf.append("producer=").append(producer).append('\n');
      conf.append("helper=").append(helper.toAbsolutePath()).append('\n');
      String watchdog = System.getProperty(WATCHDOG_PROPERTY);
      if (watchdog != null) {
        conf.append("watchdog_ms=").append(Long.parseLong(watchdog.strip())).append('\n');
      }
      for (String entry : environment) {
        conf.append("env=").append(entry).append('\n');
      }
      Files.writeString(dir.resolve("grabkit-isolated.conf"), conf, StandardCharsets.UTF_8);
      return new Isolated(dir, shim);
    } catch (IOException | RuntimeException e) {
      if (dir != null) {
        delete(dir);
      }
      if (e instanceof IOException) {
        throw new UncheckedIOException("Cannot prepare the isolated load of " + producer,
            (IOException) e);
      }
      throw (RuntimeException) e;
    }
  }

  /** @return the isolating producer to load in place of the real one */
  Path shim() {
    return shim;
  }

  /** Removes the directory; the loaded copy stays usable until it is unloaded. */
  @Override
  public void close() {
    delete(dir);
  }

  /**
   * Memory for a frame buffer that the helper can share: a mapping of a file in {@code /dev/shm}
   * (or the temporary directory, or {@value #SHARED_DIR_PROPERTY}), which the isolating producer recognises and hands to the helper.
   * The file's pages are written once here, so that a full file system fails now rather than with
   * a fault when the camera writes. Delete {@link SharedMemory#file()} once the buffer is announced;
   * the mapping lives on until the buffer is garbage.
   */
  static SharedMemory sharedMemory(int size) throws IOException {
    String configured = System.getProperty(SHARED_DIR_PROPERTY);
    Path dir =
        configured != null
            ? Path.of(configured)
            : Files.isDirectory(SHARED_MEMORY) && Files.isWritable(SHARED_MEMORY)
                ? SHARED_MEMORY
                : Path.of(System.getProperty("java.io.tmpdir"));
    Path file =
        Files.createTempFile(dir, "grabkit-frame-", "", PosixFilePermissions.asFileAttribute(OWNER_RW));
    try (FileChannel channel =
        FileChannel.open(file, StandardOpenOption.READ, StandardOpenOption.WRITE)) {
      ByteBuffer zeros = ByteBuffer.allocate(Math.min(size, 1 << 20));
      for (long at = 0; at < size; ) {
        zeros.clear().limit((int) Math.min(zeros.capacity(), size - at));
        at += channel.write(zeros, at);
      }
      ByteBuffer memory =
          channel.map(FileChannel.MapMode.READ_WRITE, 0, size).order(ByteOrder.LITTLE_ENDIAN);
      return new SharedMemory(memory, file);
    } catch (IOException | RuntimeException e) {
      Files.deleteIfExists(file);
      throw e;
    }
  }

  /** A frame buffer's memory and the file it maps. */
  record SharedMemory(ByteBuffer memory, Path file) {}

  private static void delete(Path dir) {
    try (Stream<Path> files = Files.walk(dir)) {
      files.sorted(Comparator.reverseOrder()).forEach(p -> p.toFile().delete());
    } catch (IOException | UncheckedIOException e) {
      // A leftover in the temporary directory is no reason to fail a close.
    }
  }
}
