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
import java.util.function.Function;
import java.util.stream.Collectors;
import org.grabkit.gentl.DeviceInfo;
import org.grabkit.gentl.GenTLProducer;
import org.grabkit.gentl.InterfaceInfo;
import org.grabkit.gentl.TLInterface;
import org.grabkit.gentl.TransportLayer;
import org.grabkit.gentl.gentlJNI;

/**
 * A loaded producer ({@code *.cti}) and its system: lists interfaces and devices and opens cameras.
 * Several producers can be open at once, each with its own cameras; opening the same file twice
 * shares one load of it. {@link #close()} closes every camera opened through it and unloads it
 * (once no other {@code Producer} of the same file is open). Not safe for use by several threads at
 * once.
 */
public final class Producer extends Owner {
  // How long a producer may take to look for new interfaces and devices.
  private static final long DISCOVERY_TIMEOUT_MS = 1000;

  private final Path path;
  private final GenTLProducer library;
  private final TransportLayer system;
  private final Map<String, TLInterface> openInterfaces = new LinkedHashMap<>();

  private Producer(Path path, GenTLProducer library, TransportLayer system) {
    this.path = path;
    this.library = library;
    this.system = system;
  }

  /**
   * Loads a producer and opens its system module.
   *
   * @param path the producer file
   * @return the producer
   * @throws UncheckedIOException with a {@link NoSuchFileException} if there is no such file
   * @throws org.grabkit.gentl.LoadLibraryException if the file is no loadable producer (the
   *     message names the file and the loader's reason), or its {@code GCInitLib} fails; nothing
   *     stays loaded then
   */
  public static Producer open(Path path) {
    Path file = path.toAbsolutePath().normalize();
    if (!Files.isRegularFile(file)) {
      throw new UncheckedIOException(
          "No such producer file: " + file, new NoSuchFileException(file.toString()));
    }
    GenTLProducer library = GenTLProducer.open(file);
    try {
      return new Producer(file, library, library.openTransportLayer());
    } catch (RuntimeException e) {
      library.close();
      throw e;
    }
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

  /** @return what the producer tells about its system */
  public SystemInfo system() {
    checkOpen();
    String version =
        Unknown.ask(
                () ->
                    library.getInfoInt32(gentlJNI.TL_INFO_GENTL_VER_MAJOR_get())
                        + "."
                        + library.getInfoInt32(gentlJNI.TL_INFO_GENTL_VER_MINOR_get()))
            .orElse("");
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
   * Asks the producer for its interfaces and their devices, as they are now.
   *
   * @return the interfaces in the producer's order
   */
  public List<InterfaceEntry> interfaces() {
    List<InterfaceEntry> result = new ArrayList<>();
    for (TLInterface itf : refreshInterfaces()) {
      result.add(
          new InterfaceEntry(
              itf.getID(),
              Unknown.text(itf::getDisplayName),
              Unknown.text(itf::getTransportLayerType),
              withDevices(itf, infos -> map(infos, info -> entry(info, itf.getID())))));
    }
    return result;
  }

  /** @return the devices of all interfaces, in the producer's order */
  public List<DeviceEntry> devices() {
    return interfaces().stream()
        .flatMap(i -> i.devices().stream())
        .collect(Collectors.toUnmodifiableList());
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
    return openCamera(all.get(0).id());
  }

  /**
   * Opens a device for control.
   *
   * @param deviceId the device's ID ({@link DeviceEntry#id()})
   * @return the camera
   * @throws NoSuchElementException if no interface lists the device
   */
  public Camera openCamera(String deviceId) {
    return openCamera(deviceId, AccessMode.CONTROL);
  }

  /**
   * Opens a device.
   *
   * @param deviceId the device's ID ({@link DeviceEntry#id()})
   * @param mode how to open it
   * @return the camera
   * @throws NoSuchElementException if no interface lists the device
   * @throws org.grabkit.gentl.AccessDeniedException if the device is busy or the mode is refused
   */
  public Camera openCamera(String deviceId, AccessMode mode) {
    List<String> known = new ArrayList<>();
    for (TLInterface itf : refreshInterfaces()) {
      Camera camera =
          withDevices(
              itf,
              infos -> {
                for (DeviceInfo info : infos) {
                  if (info.getID().equals(deviceId)) {
                    DeviceEntry entry = entry(info, itf.getID());
                    return new Camera(this, info.open(mode.flags()), entry);
                  }
                  known.add(info.getID());
                }
                return null;
              });
      if (camera != null) {
        return adopt(camera);
      }
    }
    throw new NoSuchElementException(
        "No device '" + deviceId + "' (devices: " + String.join(", ", known) + ")");
  }

  /** Closes the cameras opened through this producer, then the system, and unloads the file. */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void closeSelf() {
    try {
      Resources.closeAll(new ArrayList<>(openInterfaces.values()));
    } finally {
      openInterfaces.clear();
      try {
        system.close();
      } finally {
        library.close();
      }
    }
  }

  @Override
  String describe() {
    return "Producer " + path;
  }

  private String systemText(int cmd) {
    return Unknown.text(() -> library.getInfoString(cmd));
  }

  /** The producer's interfaces, opened once and kept open for their devices. */
  private List<TLInterface> refreshInterfaces() {
    checkOpen();
    Unknown.ask(() -> system.updateInterfacesList(DISCOVERY_TIMEOUT_MS));
    List<InterfaceInfo> listed = system.getInterfaces();
    try {
      List<TLInterface> result = new ArrayList<>();
      for (InterfaceInfo info : listed) {
        result.add(openInterfaces.computeIfAbsent(info.getID(), id -> info.open()));
      }
      return result;
    } finally {
      listed.forEach(InterfaceInfo::close);
    }
  }

  /** Runs {@code use} on the interface's device records, released afterwards. */
  private static <R> R withDevices(TLInterface itf, Function<List<DeviceInfo>, R> use) {
    Unknown.ask(() -> itf.updateDeviceList(DISCOVERY_TIMEOUT_MS));
    List<DeviceInfo> infos = itf.getDevices();
    try {
      return use.apply(infos);
    } finally {
      infos.forEach(DeviceInfo::close);
    }
  }

  private static <T, R> List<R> map(List<T> items, Function<T, R> f) {
    return items.stream().map(f).collect(Collectors.toUnmodifiableList());
  }

  private static DeviceEntry entry(DeviceInfo info, String interfaceId) {
    return new DeviceEntry(
        info.getID(),
        interfaceId,
        Unknown.text(info::getVendor),
        Unknown.text(info::getModel),
        Unknown.text(info::getSerialNumber),
        Unknown.text(info::getVersion),
        Unknown.text(info::getDisplayName),
        Unknown.text(info::getUserDefinedName),
        Unknown.text(info::getTransportLayerType),
        Unknown.ask(info::getAccessStatus).map(AccessStatus::of).orElse(AccessStatus.UNKNOWN));
  }
}
