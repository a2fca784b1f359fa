package org.grabkit.cli;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.awt.image.BufferedImage;
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import javax.imageio.ImageIO;
import javax.xml.parsers.DocumentBuilderFactory;
import org.grabkit.Producers;
import org.grabkit.gentl.ChildJvm;
import org.grabkit.gentl.TestProducerControl;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/** The grabkit tool in this process, on the simulated camera and on error cases. */
public class MainTest {
  /** One run: exit code, standard output, standard error. */
  public record Run(int code, String out, String err) {}

  /** Runs the tool in this JVM with the given environment. */
  public static Run run(Map<String, String> env, String... args) {
    return run(false, env, args);
  }

  private static Run run(boolean terminal, Map<String, String> env, String... args) {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    ByteArrayOutputStream err = new ByteArrayOutputStream();
    int code =
        Main.run(
            args,
            env,
            new PrintStream(out, true, StandardCharsets.UTF_8),
            new PrintStream(err, true, StandardCharsets.UTF_8),
            terminal);
    return new Run(code, out.toString(StandardCharsets.UTF_8), err.toString(StandardCharsets.UTF_8));
  }

  private static Run run(String... args) {
    return run(Map.of(), args);
  }

  /** Redrawn on a terminal, a line a second in a log, nothing with --quiet. */
  @ParameterizedTest
  @ValueSource(strings = {"terminal", "log", "quiet"})
  void grabShowsProgressWhereItFitsAndWritesTheLastFrame(String where, @TempDir Path dir)
      throws Exception {
    Path png = dir.resolve("last.png");
    // The simulated camera runs at about 30 fps: 40 frames give a log a line or more.
    String frames = where.equals("log") ? "40" : "4";
    Run r =
        where.equals("quiet")
            ? run("grab", "--frames", frames, "--png", png.toString(), "--quiet")
            : run(where.equals("terminal"), Map.of(), "grab", "--frames", frames, "--buffers", "2",
                "--png", png.toString());
    assertEquals(0, r.code(), r.err());
    switch (where) {
      case "terminal" -> {
        assertTrue(r.err().contains("\rframes 4/4 "), r.err());
        assertTrue(r.err().matches("(?s).*fps .* MB/s  incomplete 0  underruns \\d+ *\n"), r.err());
      }
      case "log" -> {
        assertFalse(r.err().contains("\r"), r.err());
        assertFalse(r.err().isEmpty());
        r.err().lines().forEach(l -> assertTrue(
            l.matches("frames \\d+/40  [\\d.]+ fps  [\\d.]+ MB/s  incomplete 0  underruns \\d+"), l));
      }
      default -> assertEquals("", r.err());
    }
    assertTrue(r.out().startsWith("Grabbed " + frames + " frames from SimCam0 in "), r.out());
    assertTrue(r.out().contains("Wrote " + png + ": frame "), r.out());
    assertTrue(r.out().contains(", 640x480 Mono8"), r.out());
    BufferedImage image = ImageIO.read(png.toFile());
    assertEquals(640, image.getWidth());
    assertEquals(BufferedImage.TYPE_BYTE_GRAY, image.getType());
  }

  /** Each part of the 3-D camera's frames becomes its own PNG. */
  @ParameterizedTest
  @CsvSource({"0, Mono16, 11", "1, Mono8, 10"})
  void grabWritesThePartAsked(int part, String format, int type, @TempDir Path dir)
      throws Exception {
    Path png = dir.resolve("part.png");
    Run r = run("grab", "--device", "SimCam3D", "--frames", "2", "--png", png.toString(),
        "--part", Integer.toString(part));
    assertEquals(0, r.code(), r.err());
    assertTrue(r.out().contains(" part " + part + ", 640x480 " + format + "\n"), r.out());
    assertEquals(type, ImageIO.read(png.toFile()).getType());
  }

  /** An output file that cannot be written is the same one line and code in every command. */
  @ParameterizedTest
  @CsvSource({
    "xml --out, /no/such/dir/x.xml, no such directory /no/such/dir",
    "grab --png, /no/such/dir/x.png, no such directory /no/such/dir",
    "settings save, /no/such/dir/cam.txt, no such directory /no/such/dir",
    "grab --png, ., it is a directory",
  })
  void anUnwritableOutputIsCodeFiveInEveryCommand(String command, String file, String why) {
    List<String> args = new java.util.ArrayList<>(List.of(command.split(" ")));
    args.add(file);
    Run r = run(args.toArray(new String[0]));
    assertEquals(5, r.code(), r.err());
    assertEquals("grabkit: cannot write " + file + ": " + why + "\n", r.err());
  }

  /** Ctrl-C: the summary and the PNG still come, and the process ends with 130. */
  @Test
  void ctrlCEndsAGrabWithItsSummaryAndPng(@TempDir Path dir) throws Exception {
    Path png = dir.resolve("stopped.png");
    Process p = tool(Map.of("GRABKIT_SIM_FPS", "20"), "grab", "--frames", "100000", "--png",
        png.toString());
    // The first progress line (a log: one a second) says frames are flowing.
    java.io.BufferedReader err = new java.io.BufferedReader(
        new java.io.InputStreamReader(p.getErrorStream(), StandardCharsets.UTF_8));
    String first = err.readLine();
    assertTrue(first != null && first.startsWith("frames "), first);
    new ProcessBuilder("kill", "-INT", Long.toString(p.pid())).start().waitFor();
    String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
    assertTrue(p.waitFor(30, TimeUnit.SECONDS));
    assertEquals(130, p.exitValue(), out);
    assertTrue(out.matches("Grabbed \\d+ of 100000 frames from SimCam0 in [\\d.]+ s \\(interrupted\\)"
        + ": .*\nWrote " + java.util.regex.Pattern.quote(png.toString()) + ": frame \\d+, 640x480 Mono8\n"), out);
    assertEquals(640, ImageIO.read(png.toFile()).getWidth());
  }

  @Test
  void regsReadsDumpsAndWrites() {
    Run read = run("regs", "--device", "SimCam0", "read", "0", "8");
    assertEquals(0, read.code(), read.err());
    assertEquals(
        "00000000  47 72 61 62 6b 69 74 00                           |Grabkit.|\n", read.out());
    Run write = run("regs", "write", "0x110", "0x00000000");
    assertEquals(0, write.code(), write.err());
    assertEquals("Wrote 4 bytes at 0x00000110\n", write.out());
    Run readOnly = run("regs", "write", "0x11C", "01000000"); // AcquisitionStatus
    assertEquals(1, readOnly.code());
    assertTrue(readOnly.err().startsWith("grabkit: ") && readOnly.err().contains("(ID: -1005)"),
        readOnly.err());
  }

  @ParameterizedTest
  @ValueSource(strings = {"SimCam0", "SimCam3D", "GKS3D-0000", "sim0", "Grabkit SimCam3D (SimCam3D)"})
  void xmlPrintsAParsableDescription(String device) throws Exception {
    Run r = run("xml", "--device", device);
    assertEquals(0, r.code(), r.err());
    String root =
        DocumentBuilderFactory.newInstance()
            .newDocumentBuilder()
            .parse(new ByteArrayInputStream(r.out().getBytes(StandardCharsets.UTF_8)))
            .getDocumentElement()
            .getTagName();
    assertEquals("RegisterDescription", root);
  }

  /** Without --cti, GENICAM_GENTL64_PATH gives the producers; files that did not load a line each. */
  @Test
  void infoListsEveryProducerOnThePathAndALinePerFileThatDidNotLoad(@TempDir Path dir)
      throws Exception {
    Path nothing = Files.createDirectories(dir.resolve("empty"));
    Run none = run(Map.of("GENICAM_GENTL64_PATH", nothing.toString()), "info");
    assertEquals(3, none.code());
    assertEquals("grabkit: GENICAM_GENTL64_PATH names no producer (*.cti)\n", none.err());
    Path bad = Files.createDirectories(dir.resolve("bad"));
    Path empty = Files.createFile(bad.resolve("empty.cti"));
    Path notProducer =
        Files.copy(
            TestProducerControl.BUILD.resolve("producers/test/libgrabkit-testctl.so"),
            bad.resolve("lib.cti"));
    Path missing = dir.resolve("missing.cti");
    String badList = String.join(":", bad.toString(), missing.toString());
    Run failed = run(Map.of("GENICAM_GENTL64_PATH", badList), "info");
    assertEquals(1, failed.code(), failed.err());
    List<String> notLoaded = List.of(
        "Not loaded " + empty + ": file too short (ID: -10001)",
        "Not loaded " + notProducer + ": it has no GCInitLib",
        "Not loaded " + missing + ": no such file or directory");
    for (String line : notLoaded) {
      assertTrue(failed.out().contains(line), failed.out());
    }
    Path good = Files.createDirectories(dir.resolve("good"));
    Path sim = Files.copy(Producers.simulated(), good.resolve("sim.cti"));
    Path copy = Files.copy(Producers.simulated(), good.resolve("sim-copy.cti"));
    Map<String, String> env = Map.of("GENICAM_GENTL64_PATH", badList + ":" + good);
    Run all = run(env, "info");
    assertEquals(0, all.code(), all.err());
    for (String line : notLoaded) {
      assertTrue(all.out().contains(line), all.out());
    }
    for (String part : List.of("System GrabkitSim: Grabkit", "\n  Interface SimInterface0: ",
        "\n    Device SimCam0: Grabkit SimCam, serial ", "  file " + sim + "\n", "  file " + copy + "\n",
        "\n      Stream Stream0: payload 307200 bytes, at least 1 buffers")) {
      assertTrue(all.out().contains(part), all.out());
    }
    assertEquals(2, all.out().lines().filter(l -> l.startsWith("    Device SimCam3D:")).count());
    // One camera seen through both producers opens by its serial number or user name.
    for (String name : List.of("GKS-0000", "sim3d")) {
      Run xml = run(env, "xml", "--device", name);
      assertEquals(0, xml.code(), xml.err());
    }
  }

  @Test
  void featuresShowsTheTreeWithValuesRangesAndAccess() {
    Run r = run("features");
    assertEquals(0, r.code(), r.err());
    assertTrue(r.out().startsWith("Root\n"), r.out());
    assertTrue(r.out().contains("\n    Width = 640  [1..2448]  RW\n"), r.out());
    assertTrue(r.out().matches("(?s).*\n    PixelFormat = Mono8  \\{Mono8, .*\\}  RW\n.*"), r.out());
    assertTrue(r.out().contains("\n    AcquisitionStart  (command)  WO\n"), r.out());
    assertTrue(r.out().contains("\n    PayloadSize = 307200  RO\n"), r.out());
    assertFalse(r.out().contains("TLParamsLocked"), r.out());
    Run filtered = run("features", "wIDth");
    assertEquals(0, filtered.code(), filtered.err());
    assertEquals(
        "Root\n  ImageFormatControl\n    SensorWidth = 2448  RO\n    WidthMax = 2448  RO\n"
            + "    Width = 640  [1..2448]  RW\n",
        filtered.out());
    Run invisible = run("features", "--all", "TLParams");
    assertEquals(0, invisible.code(), invisible.err());
    assertTrue(invisible.out().contains("TLParamsLocked = 0  [0..1]  RW"), invisible.out());
  }

  @Test
  void getPrintsAndSetWritesFeaturesByName() {
    Run get = run("get", "Width", "PixelFormat");
    assertEquals(0, get.code(), get.err());
    assertEquals("Width = 640\nPixelFormat = Mono8\n", get.out());
    // Each run opens the camera anew at its defaults: set shows what it read back.
    Run set = run("set", "Width=320", "PixelFormat=Mono16", "AcquisitionStop");
    assertEquals(0, set.code(), set.err());
    assertEquals("Width = 320\nPixelFormat = Mono16\nExecuted AcquisitionStop\n", set.out());
  }

  @Test
  void settingsSaveWritesAFileThatLoadApplies(@TempDir Path dir) throws Exception {
    Path file = dir.resolve("cam.txt");
    Run save = run("settings", "save", file.toString());
    assertEquals(0, save.code(), save.err());
    assertTrue(Files.readString(file).contains("\nWidth = 640\n"), Files.readString(file));
    Run load = run("settings", "load", file.toString());
    assertEquals(0, load.code(), load.err());
    assertEquals("Applied " + file + "\n", load.out());
    Path bad = Files.writeString(dir.resolve("bad.txt"), "Widht = 5\n# fine\nHeight = 480\n");
    Run failed = run("settings", "load", bad.toString());
    assertEquals(1, failed.code());
    assertEquals(
        bad + ": line 1: no feature is named Widht; did you mean Width?\n", failed.out());
    assertEquals("grabkit: 1 line of " + bad + " could not be applied\n", failed.err());
  }

  @Test
  void grabSetsFeaturesBeforeTheStreamStarts(@TempDir Path dir) throws Exception {
    Path png = dir.resolve("narrow.png");
    Run r =
        run("grab", "--frames", "2", "--set", "Width=320", "--set", "PixelFormat=Mono8",
            "--png", png.toString());
    assertEquals(0, r.code(), r.err());
    assertTrue(r.out().startsWith("Width = 320\nPixelFormat = Mono8\nGrabbed 2 frames"), r.out());
    assertTrue(r.out().contains(", 320x480 Mono8"), r.out());
    assertEquals(320, ImageIO.read(png.toFile()).getWidth());
    // At one frame in ten seconds only triggers bring frames within the second allowed.
    String[] slow = {"grab", "--frames", "3", "--timeout", "1000", "--set",
        "AcquisitionFrameRate=0.1"};
    Run triggered = run(concat(slow, "--trigger", "software"));
    assertEquals(0, triggered.code(), triggered.err());
    assertTrue(triggered.out().contains("Grabbed 3 frames"), triggered.out());
    Run late = run(slow);
    assertEquals(4, late.code(), late.err());
    assertTrue(
        late.err().endsWith("grabkit: no frame within 1000 ms (waiting for frame 2 of 3)\n"),
        late.err());
  }

  private static String[] concat(String[] a, String... b) {
    String[] all = java.util.Arrays.copyOf(a, a.length + b.length);
    System.arraycopy(b, 0, all, a.length, b.length);
    return all;
  }

  /** Usage errors end with a hint at the command's help, all errors with their exit code. */
  @ParameterizedTest(name = "grabkit {1}")
  @CsvSource(delimiterString = " => ", quoteCharacter = '`', value = {
    "3 => --cti /no/such.cti info => no such producer file: /no/such.cti",
    "3 => xml --device Nope => no device 'Nope' (devices: SimCam0 [serial GKS-0000, user name sim0,"
        + " display name Grabkit SimCam (SimCam0)] in grabkit-sim.cti, SimCam3D [serial GKS3D-0000,"
        + " user name sim3d, display name Grabkit SimCam3D (SimCam3D)] in grabkit-sim.cti)",
    "2 => snap => unknown command 'snap'|grabkit",
    "2 => `` => no command given|grabkit",
    "2 => grab --frames 0 => --frames must be at least 1, not 0|grabkit grab",
    "2 => grab --fast => unknown option --fast|grabkit grab",
    "2 => grab --buffers 1025 => --buffers must be at most 1024, not 1025|grabkit grab",
    "2 => grab --part 1 => --part picks the part that --png writes: give --png too|grabkit grab",
    "2 => grab --trigger line0 => --trigger takes 'software', not 'line0'|grabkit grab",
    "2 => regs peek 0 => regs needs 'read ADDR LEN' or 'write ADDR HEX'|grabkit regs",
    "3 => get Widht => no feature is named Widht; did you mean Width?",
    "3 => grab --set Widht=320 => no feature is named Widht; did you mean Width?",
    "2 => set Width => Width is no command: give Width=VALUE|grabkit set",
    "2 => set =5 => '=5' names no feature: NAME=VALUE or COMMAND|grabkit set",
    "2 => get => get needs at least one feature name|grabkit get",
    "3 => features Zoom => no feature name contains 'Zoom'",
    "3 => settings load /no/such.txt => cannot read /no/such.txt",
    "2 => settings show => settings needs 'save FILE' or 'load FILE'|grabkit settings",
    "1 => get AcquisitionStart => AcquisitionStart is a Command, not a value",
    // A value the feature refuses: the feature and why, in one line.
    "1 => set Width=99999 => Width = 99999 is out of range: min 1, max 2448, inc 1",
    "1 => set Width=wide => Width: 'wide' is not an integer",
    "1 => set PixelFormat=Mono13 => Mono13 is not an entry of PixelFormat; available entries: Mono8,"
        + " Mono10, Mono12, Mono14, Mono16, Mono10p, Mono12p, Mono10Packed, Mono12Packed, RGB8, BGR8,"
        + " RGBa8, BGRa8, YCbCr422_8, YCbCr422_8_CbYCrY, YUV422_8, YUV422_8_UYVY, BayerGR8, BayerRG8,"
        + " BayerGB8, BayerBG8, BayerGR10, BayerRG10, BayerGB10, BayerBG10, BayerGR12, BayerRG12,"
        + " BayerGB12, BayerBG12, BayerGR16, BayerRG16, BayerGB16, BayerBG16",
  })
  void errorsAreOneLineWithTheirExitCode(int code, String args, String err) {
    Run r = run(args.isEmpty() ? new String[0] : args.split(" "));
    String[] messageAndHelp = err.split("\\|");
    String expected = "grabkit: " + messageAndHelp[0] + "\n"
        + (messageAndHelp.length > 1 ? "Try '" + messageAndHelp[1] + " --help'.\n" : "");
    assertEquals(List.of(code, expected, ""), List.of(r.code(), r.err(), r.out()));
  }

  @ParameterizedTest
  @ValueSource(strings = {"info", "features", "get", "set", "grab", "settings", "regs", "xml"})
  void everyCommandHasHelp(String command) {
    Run r = run(command, "--help");
    assertEquals(0, r.code());
    assertTrue(r.out().startsWith("usage: grabkit [--cti PATH] " + command), r.out());
    Run overview = run("--help");
    assertTrue(overview.out().contains("  " + command + " "), overview.out());
  }

  /** The tool as a separate process: the simulated camera reads its frame rate from there. */
  private static Process tool(Map<String, String> env, String... args) throws Exception {
    ProcessBuilder pb =
        new ProcessBuilder(ChildJvm.command(List.of(), Main.class.getName(), args));
    pb.environment().putAll(env);
    pb.environment().remove("GENICAM_GENTL64_PATH");
    return pb.start();
  }
}
