package org.grabkit.gentl;

import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.UncheckedIOException;
import java.net.JarURLConnection;
import java.net.URISyntaxException;
import java.net.URL;
import java.nio.ByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.charset.StandardCharsets;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.security.DigestInputStream;
import java.security.MessageDigest;
import java.security.CodeSource;
import java.security.NoSuchAlgorithmException;
import java.util.HashMap;
import java.util.HexFormat;
import java.util.Map;
import java.util.Set;
import java.util.jar.JarEntry;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/**
 * Finds the native files that the jar carries ({@code libgrabkit.so}, on Windows {@code
 * grabkit.dll}, and the simulated camera {@code grabkit-sim.cti}) and makes them loadable. The
 * jar has one directory of them per platform (see {@link NativePlatform}); this JVM's {@code
 * os.name} and {@code os.arch} choose one.
 *
 * <p>A file is copied out of the jar once per user, not once per process: into {@code
 * $XDG_CACHE_HOME/grabkit} (by default {@code ~/.cache/grabkit}), under a directory named by the
 * SHA-256 of its content that the build recorded in the jar. Every start checks the cached copy
 * against the jar's file and replaces a copy that differs; a copy is written to a temporary file and
 * renamed into place, so that processes starting at the same time never see half a file. A cache
 * directory that is not the user's own, or that others may write to, is not trusted: the files
 * then go to a private temporary directory of the process, as they do when the jar carries no
 * hashes or nothing can be written to the cache (and on Windows, whose file systems lack POSIX
 * permissions).
 *
 * <p>The system property {@code grabkit.library.path} names a library to load instead of the
 * bundled one (for development builds, and on platforms the jar has no files for); {@code
 * grabkit.cache.dir} names the cache.
 */
public final class NativeLibrary {
  /** "sha256  name" lines, written by the build next to the files. */
  private static final String INDEX = "native-files.sha256";

  private static final Set<PosixFilePermission> OWNER_ONLY =
      PosixFilePermissions.fromString("rwx------");

  private static NativePlatform platform;
  private static Map<String, String> hashes;
  private static Path extractDir;
  private static boolean loaded;
  // The jar this class came from, read directly (see jar()); null from a class directory.
  private static ZipFile jar;
  private static boolean jarLooked;

  private NativeLibrary() {}

  /**
   * Loads the Grabkit library into the JVM once; later calls do nothing.
   *
   * @throws UnsupportedOperationException if the jar has no library for this platform and no
   *     {@code grabkit.library.path} names one
   */
  public static synchronized void load() {
    if (loaded) {
      return;
    }
    String override = System.getProperty("grabkit.library.path");
    Path library = override != null ? Path.of(override) : extract(platform().library());
    System.load(library.toAbsolutePath().toString());
    loaded = true;
  }

  /**
   * The path of a native file bundled in the jar, copied out of the jar the first time a user
   * needs it.
   *
   * @param name the file name, e.g. {@code grabkit-sim.cti}
   * @return a path that the dynamic loader can open
   * @throws UncheckedIOException if the jar lacks the file or it cannot be copied
   * @throws UnsupportedOperationException if the jar has no files for this platform
   */
  public static synchronized Path extract(String name) {
    platform();
    try {
      String hash = hashes().get(name);
      Path cache = hash == null ? null : trustedCache();
      if (cache != null) {
        try {
          return cached(cache.resolve(hash), name, hash);
        } catch (IOException e) {
          // A cache we can't use costs a copy per process, nothing else.
        }
      }
      return privateCopy(name);
    } catch (IOException e) {
      throw new UncheckedIOException("Cannot extract " + name + " from the Grabkit jar", e);
    }
  }

  private static NativePlatform platform() {
    if (platform == null) {
      platform = NativePlatform.current();
    }
    return platform;
  }

  private static String resourceDir() {
    return platform().resourceDir();
  }

  private static InputStream resource(String name) throws IOException {
    InputStream in = resourceOrNull(name);
    if (in == null) {
      throw new IOException("The Grabkit jar does not contain " + resourceDir() + name);
    }
    return in;
  }

  private static InputStream resourceOrNull(String name) throws IOException {
    ZipFile zip = jar();
    if (zip != null) {
      ZipEntry entry = zip.getEntry(entryName(name));
      return entry == null ? null : zip.getInputStream(entry);
    }
    return NativeLibrary.class.getResourceAsStream(resourceDir() + name);
  }

  private static String entryName(String name) {
    return NativeLibrary.class.getPackageName().replace('.', '/') + "/" + resourceDir() + name;
  }

  /**
   * The jar this class was loaded from, opened once, or null when it came from elsewhere (a class
   * directory in the build). Its entries are read straight from it: through the class loader,
   * the first lookup of a resource searches every module of the JDK first (opening the runtime
   * image) and then sets up the class path's jar loader and a URL connection, several
   * milliseconds of a start that, with the class data archive, needs neither.
   */
  private static ZipFile jar() {
    if (!jarLooked) {
      jarLooked = true;
      try {
        CodeSource source = NativeLibrary.class.getProtectionDomain().getCodeSource();
        URL location = source == null ? null : source.getLocation();
        if (location != null && "file".equals(location.getProtocol())) {
          Path file = Path.of(location.toURI());
          if (Files.isRegularFile(file)) {
            jar = new ZipFile(file.toFile());
          }
        }
      } catch (IOException | URISyntaxException | RuntimeException e) {
        jar = null; // read through the class loader instead
      }
    }
    return jar;
  }

  private static Map<String, String> hashes() throws IOException {
    if (hashes == null) {
      Map<String, String> index = new HashMap<>();
      InputStream in = resourceOrNull(INDEX);
      if (in != null) {
        try (in) {
          // No regular expressions: their first use costs a cold JVM more than the rest.
          String text = new String(in.readAllBytes(), StandardCharsets.US_ASCII);
          for (int start = 0; start < text.length(); ) {
            int end = text.indexOf('\n', start);
            end = end < 0 ? text.length() : end;
            String line = text.substring(start, end).trim();
            start = end + 1;
            int space = line.indexOf(' ');
            if (space == 64 && isHex(line.substring(0, 64))) {
              index.put(line.substring(space).trim(), line.substring(0, 64));
            }
          }
        }
      }
      hashes = index;
    }
    return hashes;
  }

  private static boolean isHex(String text) {
    for (int i = 0; i < text.length(); i++) {
      char c = text.charAt(i);
      if ((c < '0' || c > '9') && (c < 'a' || c > 'f')) {
        return false;
      }
    }
    return true;
  }

  /** The per-user cache, or null where it is missing, shared or can't be made. */
  static Path trustedCache() {
    String configured = System.getProperty("grabkit.cache.dir");
    Path dir;
    if (configured != null) {
      dir = Path.of(configured);
    } else {
      String xdg = System.getenv("XDG_CACHE_HOME");
      Path base =
          xdg != null && !xdg.isEmpty()
              ? Path.of(xdg)
              : Path.of(System.getProperty("user.home"), ".cache");
      dir = base.resolve("grabkit");
    }
    try {
      if (!FileSystems.getDefault().supportedFileAttributeViews().contains("posix")) {
        return null;
      }
      if (!Files.isDirectory(dir, LinkOption.NOFOLLOW_LINKS)) {
        Files.createDirectories(dir.getParent());
        try {
          Files.createDirectory(dir, PosixFilePermissions.asFileAttribute(OWNER_ONLY));
        } catch (java.nio.file.FileAlreadyExistsException e) {
          // Another process made it first; it is checked below like any other.
        }
      }
      return ownedPrivately(dir) ? dir : null;
    } catch (IOException | SecurityException | UnsupportedOperationException e) {
      return null;
    }
  }

  /** A real directory of this user that no one else may write to. */
  private static boolean ownedPrivately(Path dir) throws IOException {
    if (!Files.isDirectory(dir, LinkOption.NOFOLLOW_LINKS)) {
      return false;
    }
    String me = System.getProperty("user.name");
    Set<PosixFilePermission> perms = Files.getPosixFilePermissions(dir, LinkOption.NOFOLLOW_LINKS);
    return Files.getOwner(dir, LinkOption.NOFOLLOW_LINKS).getName().equals(me)
        && !perms.contains(PosixFilePermission.GROUP_WRITE)
        && !perms.contains(PosixFilePermission.OTHERS_WRITE);
  }

  /** The checked copy of `name` in `dir`, written there first if it is missing or differs. */
  private static Path cached(Path dir, String name, String hash) throws IOException {
    Path target = dir.resolve(name);
    if (Files.isRegularFile(target, LinkOption.NOFOLLOW_LINKS) && matches(target, name, hash)) {
      return target;
    }
    if (!Files.isDirectory(dir, LinkOption.NOFOLLOW_LINKS)) {
      try {
        Files.createDirectory(dir, PosixFilePermissions.asFileAttribute(OWNER_ONLY));
      } catch (java.nio.file.FileAlreadyExistsException e) {
        // Made by a process that started at the same time.
      }
    }
    if (!ownedPrivately(dir)) {
      throw new IOException(dir + " is not a private directory");
    }
    Path part = Files.createTempFile(dir, name, ".part");
    try {
      String written;
      try (InputStream in = resource(name);
          DigestInputStream digest = new DigestInputStream(in, sha256Digest());
          OutputStream out = Files.newOutputStream(part)) {
        digest.transferTo(out);
        written = HexFormat.of().formatHex(digest.getMessageDigest().digest());
      }
      if (!written.equals(hash)) {
        throw new IOException(
            "The Grabkit jar's " + name + " does not match the hash the build recorded");
      }
      try {
        Files.move(part, target, StandardCopyOption.ATOMIC_MOVE);
      } catch (AtomicMoveNotSupportedException e) {
        throw new IOException("cannot rename within " + dir, e);
      }
      return target;
    } finally {
      Files.deleteIfExists(part);
    }
  }

  /** The old way: one copy per process, removed when the JVM exits. */
  private static Path privateCopy(String name) throws IOException {
    try (InputStream in = resource(name)) {
      if (extractDir == null) {
        extractDir = Files.createTempDirectory("grabkit-");
        extractDir.toFile().deleteOnExit();
      }
      Path target = extractDir.resolve(name);
      if (!Files.exists(target)) {
        Files.copy(in, target, StandardCopyOption.REPLACE_EXISTING);
        target.toFile().deleteOnExit();
      }
      return target;
    }
  }

  private static MessageDigest sha256Digest() {
    try {
      return MessageDigest.getInstance("SHA-256");
    } catch (NoSuchAlgorithmException e) {
      throw new IllegalStateException("every Java platform has SHA-256", e);
    }
  }

  /**
   * Whether the cached copy is the jar's file. Where the jar records the entry's CRC-32 and size,
   * those are compared (zlib's CRC runs at memory speed from the first call, a SHA-256 in a JVM
   * that just started costs more than the rest of the start): the directory is the user's alone,
   * so what can change a copy is an accident or the user's own hand, which the CRC catches. From
   * a class directory, the SHA-256 the build recorded.
   */
  private static boolean matches(Path file, String name, String hash) throws IOException {
    ZipFile zip = jar();
    if (zip != null) {
      ZipEntry entry = zip.getEntry(entryName(name));
      if (entry != null && entry.getCrc() != -1 && entry.getSize() != -1) {
        return Files.size(file) == entry.getSize() && crc32(file) == entry.getCrc();
      }
      return hash.equals(sha256(file));
    }
    URL url = NativeLibrary.class.getResource(resourceDir() + name);
    if (url != null && "jar".equals(url.getProtocol())) {
      JarURLConnection connection = (JarURLConnection) url.openConnection();
      connection.setUseCaches(true);
      JarEntry entry = connection.getJarEntry();
      if (entry.getCrc() != -1 && entry.getSize() != -1) {
        return Files.size(file) == entry.getSize() && crc32(file) == entry.getCrc();
      }
    }
    return hash.equals(sha256(file));
  }

  // A plain stream: a file channel would load the JDK's network and NIO libraries at each start.
  // Reads of 32 KB: the stream copies through a native buffer of the read's size, and buffers
  // past 128 KB are fresh memory from the kernel each time (a 256 KB one made the check three
  // times slower).
  private static long crc32(Path file) throws IOException {
    CRC32 crc = new CRC32();
    try (InputStream in = new FileInputStream(file.toFile())) {
      byte[] buffer = new byte[1 << 15];
      for (int n; (n = in.read(buffer)) >= 0; ) {
        crc.update(buffer, 0, n);
      }
    }
    return crc.getValue();
  }

  static String sha256(Path file) throws IOException {
    MessageDigest digest = sha256Digest();
    try (FileChannel channel = FileChannel.open(file, StandardOpenOption.READ)) {
      ByteBuffer buffer = ByteBuffer.allocateDirect(1 << 16);
      while (channel.read(buffer) >= 0) {
        buffer.flip();
        digest.update(buffer);
        buffer.clear();
      }
    }
    return HexFormat.of().formatHex(digest.digest());
  }
}
