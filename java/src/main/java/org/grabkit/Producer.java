package org.grabkit;

import java.io.UncheckedIOException;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.NoSuchElementException;
import org.grabkit.gentl.DeviceInfo;
import org.grabkit.gentl.GenTLException;
import org.grabkit.gentl.GenTLProducer;
import org.grabkit.gentl.InterfaceInfo;
import org.grabkit.gentl.TLInterface;
import org.grabkit.gentl.TransportLayer;
import org.grabkit.gentl.gentlJNI;

/**
 * A loaded producer ({@code *.cti}) and its system: lists interfaces and devices and opens cameras.
 * Several producers can be open at once, each with its own cameras. Opening the same file again
 * gives another {@code Producer} on the same load and system module (a producer opens its system
 * only once per process): both list the same devices, and each closes only the cameras opened
 * through it. {@link #close()} closes those cameras and unloads the file once no other {@code
 * Producer} of it is open. Not safe for use by several threads at once.
 */
public final class Producer extends Owner {
  // How long a producer may take to look for new interfaces and devices.
  private static final long DISCOVERY_TIMEOUT_MS = 1000;

  /** One load of a file and its system module, shared by the Producers of that file. */
  private static final class Loaded {
    final GenTLProducer library;
    final TransportLayer system;
    final Map<String, TLInterface> openInterfaces = new LinkedHashMap<>();
    // The helper's files, for an isolated load.
    Isolated isolated;
    org.grabkit.gentl.Port systemPort;
    java.util.Optional<org.grabkit.features.NodeMap> features;
    int users = 1;

    Loaded(GenTLProducer library, TransportLayer system) {
      this.library = library;
      this.system = system;
    }
  }

  // By real path; an isolated load has a key of its own, as it has a helper process of its own.
  private static final Map<Object, Loaded> LOADED = new java.util.HashMap<>();

  private final Path path;
  private final Object key;
  private final Loaded loaded;
  private final GenTLProducer library;
  private final TransportLayer system;
  private final Map<String, TLInterface> openInterfaces;

  private Producer(Path path, Object key, Loaded loaded) {
    this.path = path;
    this.key = key;
    this.loaded = loaded;
    this.library = loaded.library;
    this.system = loaded.system;
    this.openInterfaces = loaded.openInterfaces;
  }

  /**
   * Loads a producer, where {@link Isolation#configured()} says (in the JVM unless configured
   * otherwise), and opens its system module.
   *
   * @param path the producer file
   * @return the producer
   * @throws UncheckedIOException with a {@link NoSuchFileException} if there is no such file
   * @throws org.grabkit.gentl.LoadLibraryException if the file is no loadable producer (the
   *     message names the file and the loader's reason), or its {@code GCInitLib} fails; nothing
   *     stays loaded then
   * @throws org.grabkit.gentl.GenTLException naming {@code TLOpen} if the system does not open
   * @see Producers#loadAll(List)
   */
  public static Producer open(Path path) {
    return open(path, Isolation.configured());
  }

  /**
   * Loads a producer in the JVM or in a helper process of its own and opens its system module.
   * Each isolated open starts a helper of its own; everything else works as in the JVM.
   *
   * @param path the producer file
   * @param isolation where the producer's code runs
   * @return the producer
   * @throws UncheckedIOException with a {@link NoSuchFileException} if there is no such file
   * @throws org.grabkit.gentl.LoadLibraryException if the file is no loadable producer, or its
   *     {@code GCInitLib} fails; nothing stays loaded then
   * @throws ProducerCrashedException if the isolated producer's helper dies while loading it
   * @throws org.grabkit.gentl.GenTLException naming {@code TLOpen} if the system does not open
   */
  public static Producer open(Path path, Isolation isolation) {
    return open(path, isolation, List.of());
  }

  /** {@link #open(Path, Isolation)}, the helper getting {@code NAME=value} entries in its environment. */
  static Producer open(Path path, Isolation isolation, List<String> helperEnvironment) {
    Path file = path.toAbsolutePath().normalize();
    if (!Files.isRegularFile(file)) {
      throw new UncheckedIOException(
          "No such producer file: " + file, new NoSuchFileException(file.toString()));
    }
    Path real;
    try {
      real = file.toRealPath();
    } catch (java.io.IOException e) {
      real = file;
    }
    if (isolation == Isolation.PROCESS) {
      return openIsolated(file, real, helperEnvironment);
    }
    Path key = real;
    synchronized (LOADED) {
      Loaded shared = LOADED.get(key);
      if (shared != null) {
        shared.users++;
        return new Producer(file, key, shared);
      }
      GenTLProducer library = GenTLProducer.open(file);
      try {
        shared = new Loaded(library, openSystem(library));
      } catch (RuntimeException e) {
        library.close();
        throw e;
      }
      LOADED.put(key, shared);
      return new Producer(file, key, shared);
    }
  }

  private static Producer openIsolated(Path file, Path real, List<String> helperEnvironment) {
    Isolated isolated = Isolated.prepare(real, helperEnvironment);
    try {
      GenTLProducer library;
      try {
        library = GenTLProducer.open(isolated.shim());
      } catch (GenTLException e) {
        if (ProducerCrashedException.isCrash(e)) {
          throw Calls.named("GCInitLib", e);
        }
        throw naming(e, isolated.shim().toString(), real.toString());
      }
      Loaded loaded;
      try {
        loaded = new Loaded(library, openSystem(library));
      } catch (RuntimeException e) {
        library.close();
        throw e;
      }
      loaded.isolated = isolated;
      Object key = new Object();
      synchronized (LOADED) {
        LOADED.put(key, loaded);
      }
      return new Producer(file, key, loaded);
    } catch (RuntimeException e) {
      isolated.close();
      throw e;
    }
  }

  private static TransportLayer openSystem(GenTLProducer library) {
    try {
      return library.openTransportLayer();
    } catch (GenTLException e) {
      throw Calls.named("TLOpen", e);
    }
  }

  /** The same failure, naming the producer the user gave instead of its stand-in. */
  private static GenTLException naming(GenTLException e, String standIn, String producer) {
    String text = e.getMessage() == null ? "" : e.getMessage();
    if (!text.contains(standIn)) {
      return e;
    }
    try {
      GenTLException copy =
          e.getClass().getConstructor(String.class).newInstance(text.replace(standIn, producer));
      copy.initCause(e);
      return copy;
    } catch (ReflectiveOperationException | RuntimeException unexpected) {
      return e;
    }
  }

  /** @return where the producer's code runs */
  public Isolation isolation() {
    return loaded.isolated != null ? Isolation.PROCESS : Isolation.IN_PROCESS;
  }

  /**
   * Loads the simulated camera producer that the jar carries.
   *
   * @return the producer
   * @see Producers#simulated()
   */
  public static Producer openSimulated() {
    return open(Producers.simulated());
  }

  /** @return the producer file */
  public Path path() {
    return path;
  }

  /**
   * The producer's own features (of its system module), where it offers a description file for
   * them: read and parsed on the first call, the same node map after.
   *
   * @return the node map, empty when the producer offers none
   */
  public java.util.Optional<org.grabkit.features.NodeMap> features() {
    checkOpen();
    if (loaded.features == null) {
      if (loaded.systemPort == null) {
        loaded.systemPort = Calls.call("TLOpen", system::getPort);
      }
      loaded.features = ModuleFeatures.of(loaded.systemPort, path.getParent());
    }
    return loaded.features;
  }

  /** @return what the producer tells about its system */
  public SystemInfo system() {
    checkOpen();
    String version;
    try {
      version =
          library.getInfoInt32(gentlJNI.TL_INFO_GENTL_VER_MAJOR_get())
              + "."
              + library.getInfoInt32(gentlJNI.TL_INFO_GENTL_VER_MINOR_get());
    } catch (GenTLException e) {
      if (!Unknown.isUnknown(e)) {
        throw e;
      }
      version = "";
    }
    return new SystemInfo(
        path,
        systemText(gentlJNI.TL_INFO_ID_get()),
        systemText(gentlJNI.TL_INFO_VENDOR_get()),
        systemText(gentlJNI.TL_INFO_MODEL_get()),
        systemText(gentlJNI.TL_INFO_VERSION_get()),
        systemText(gentlJNI.TL_INFO_TLTYPE_get()),
        systemText(gentlJNI.TL_INFO_DISPLAYNAME_get()),
        version);
  }

  /**
   * Asks the producer for its interfaces and their devices, as they are now. Information a
   * producer cannot give is empty rather than a failure of the whole list.
   *
   * @return the interfaces in the producer's order
   */
  public List<InterfaceEntry> interfaces() {
    List<InterfaceEntry> result = new ArrayList<>();
    for (Map.Entry<String, TLInterface> opened : refreshInterfaces().entrySet()) {
      String id = opened.getKey();
      TLInterface itf = opened.getValue();
      String displayName;
      try {
        displayName = Unknown.orEmpty(itf.getDisplayName());
      } catch (GenTLException e) {
        displayName = Unknown.or("IFGetInfo", e, "");
      }
      String type;
      try {
        type = Unknown.orEmpty(itf.getTransportLayerType());
      } catch (GenTLException e) {
        type = Unknown.or("IFGetInfo", e, "");
      }
      result.add(new InterfaceEntry(id, displayName, type, devices(itf, id)));
    }
    return result;
  }

  /** @return the devices of all interfaces, in the producer's order */
  public List<DeviceEntry> devices() {
    List<DeviceEntry> all = new ArrayList<>();
    for (InterfaceEntry itf : interfaces()) {
      all.addAll(itf.devices());
    }
    return List.copyOf(all);
  }

  /**
   * Opens the first device the producer lists, for control.
   *
   * @return the camera
   * @throws NoSuchElementException if the producer lists no device
   */
  public Camera openCamera() {
    List<DeviceEntry> all = devices();
    if (all.isEmpty()) {
      throw new NoSuchElementException("The producer " + path + " lists no device");
    }
    return open(all.get(0), AccessMode.CONTROL);
  }

  /**
   * Opens a device for control.
   *
   * @param name the device's ID ({@link DeviceEntry#id()}), serial number, user-defined name or
   *     display name, tried in that order
   * @return the camera
   * @throws NoSuchElementException if no device has that name; the message lists the devices
   * @throws AmbiguousNameException if several devices have that name at the first level that fits
   */
  public Camera openCamera(String name) {
    return openCamera(name, AccessMode.CONTROL);
  }

  /**
   * Opens a device.
   *
   * @param name the device's ID ({@link DeviceEntry#id()}), serial number, user-defined name or
   *     display name, tried in that order
   * @param mode how to open it
   * @return the camera
   * @throws NoSuchElementException if no device has that name; the message lists the devices
   * @throws AmbiguousNameException if several devices have that name at the first level that fits
   * @throws org.grabkit.gentl.AccessDeniedException if the device is busy or the mode is refused
   */
  public Camera openCamera(String name, AccessMode mode) {
    List<DeviceEntry> devices = devices();
    List<List<DeviceEntry>> routes = new ArrayList<>(devices.size());
    List<String> labels = new ArrayList<>(devices.size());
    for (DeviceEntry d : devices) {
      routes.add(List.of(d));
      labels.add(d.id());
    }
    return open(DeviceNames.find(name, devices, routes, labels), mode);
  }

  /** Opens a device this producer listed, by its entry. */
  Camera open(DeviceEntry device, AccessMode mode) {
    checkOpen();
    TLInterface itf = openInterfaces.get(device.interfaceId());
    if (itf == null) {
      throw new NoSuchElementException(
          "No interface '" + device.interfaceId() + "' in the producer " + path);
    }
    // The record of an ID the interface listed: opening it needs no new device list.
    try (DeviceInfo info = new DeviceInfo(itf, device.id())) {
      org.grabkit.gentl.Device opened;
      try {
        opened = info.open(mode.flags());
      } catch (GenTLException e) {
        throw Calls.named("IFOpenDevice", e);
      }
      return adopt(new Camera(this, opened, device));
    }
  }

  /** Closes the cameras opened through this producer, then the system, and unloads the file. */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void closeSelf() {
    synchronized (LOADED) {
      if (--loaded.users > 0) {
        return;
      }
      LOADED.remove(key);
    }
    try {
      Resources.closeAll(new ArrayList<>(openInterfaces.values()));
    } finally {
      openInterfaces.clear();
      if (loaded.systemPort != null) {
        loaded.systemPort.close();
      }
      try {
        system.close();
      } finally {
        try {
          library.close();
        } finally {
          if (loaded.isolated != null) {
            loaded.isolated.close();
          }
        }
      }
    }
  }

  @Override
  String describe() {
    return "Producer " + path;
  }

  private String systemText(int cmd) {
    try {
      return Unknown.orEmpty(library.getInfoString(cmd));
    } catch (GenTLException e) {
      return Unknown.or("GCGetInfo", e, "");
    }
  }

  /**
   * The producer's interfaces by ID, opened once and kept open for their devices. The IDs come
   * from the producer's list, so no interface is asked for its own ID.
   */
  private Map<String, TLInterface> refreshInterfaces() {
    checkOpen();
    try {
      system.updateInterfacesList(DISCOVERY_TIMEOUT_MS);
    } catch (GenTLException e) {
      Unknown.or("TLUpdateInterfaceList", e, null);
    }
    List<InterfaceInfo> listed;
    try {
      listed = system.getInterfaces();
    } catch (GenTLException e) {
      throw Calls.named("TLGetNumInterfaces/TLGetInterfaceID", e);
    }
    try {
      Map<String, TLInterface> result = new LinkedHashMap<>();
      for (InterfaceInfo info : listed) {
        String id = info.getID();
        TLInterface itf = openInterfaces.get(id);
        if (itf == null) {
          try {
            itf = info.open();
          } catch (GenTLException e) {
            throw Calls.named("TLOpenInterface", e);
          }
          openInterfaces.put(id, itf);
        }
        result.put(id, itf);
      }
      return result;
    } finally {
      for (InterfaceInfo info : listed) {
        info.close();
      }
    }
  }

  /** The interface's devices, from records released afterwards. */
  private static List<DeviceEntry> devices(TLInterface itf, String interfaceId) {
    try {
      itf.updateDeviceList(DISCOVERY_TIMEOUT_MS);
    } catch (GenTLException e) {
      Unknown.or("IFUpdateDeviceList", e, null);
    }
    List<DeviceInfo> infos;
    try {
      infos = itf.getDevices();
    } catch (GenTLException e) {
      throw Calls.named("IFGetNumDevices/IFGetDeviceID", e);
    }
    try {
      List<DeviceEntry> result = new ArrayList<>(infos.size());
      for (DeviceInfo info : infos) {
        result.add(entry(info, interfaceId));
      }
      return List.copyOf(result);
    } finally {
      for (DeviceInfo info : infos) {
        info.close();
      }
    }
  }

  private static DeviceEntry entry(DeviceInfo info, String interfaceId) {
    return new DeviceEntry(
        info.getID(),
        interfaceId,
        deviceText(info, DeviceText.VENDOR),
        deviceText(info, DeviceText.MODEL),
        deviceText(info, DeviceText.SERIAL_NUMBER),
        deviceText(info, DeviceText.VERSION),
        deviceText(info, DeviceText.DISPLAY_NAME),
        deviceText(info, DeviceText.USER_DEFINED_NAME),
        deviceText(info, DeviceText.TRANSPORT_LAYER_TYPE),
        accessStatus(info));
  }

  private static AccessStatus accessStatus(DeviceInfo info) {
    try {
      return AccessStatus.of(info.getAccessStatus());
    } catch (GenTLException e) {
      return Unknown.or("IFGetDeviceInfo", e, AccessStatus.UNKNOWN);
    }
  }

  /** The texts of a device record, asked for by a switch rather than by a lambda each. */
  private enum DeviceText {
    VENDOR,
    MODEL,
    SERIAL_NUMBER,
    VERSION,
    DISPLAY_NAME,
    USER_DEFINED_NAME,
    TRANSPORT_LAYER_TYPE
  }

  private static String deviceText(DeviceInfo info, DeviceText which) {
    try {
      switch (which) {
        case VENDOR:
          return Unknown.orEmpty(info.getVendor());
        case MODEL:
          return Unknown.orEmpty(info.getModel());
        case SERIAL_NUMBER:
          return Unknown.orEmpty(info.getSerialNumber());
        case VERSION:
          return Unknown.orEmpty(info.getVersion());
        case DISPLAY_NAME:
          return Unknown.orEmpty(info.getDisplayName());
        case USER_DEFINED_NAME:
          return Unknown.orEmpty(info.getUserDefinedName());
        default:
          return Unknown.orEmpty(info.getTransportLayerType());
      }
    } catch (GenTLException e) {
      return Unknown.or("IFGetDeviceInfo", e, "");
    }
  }
}
