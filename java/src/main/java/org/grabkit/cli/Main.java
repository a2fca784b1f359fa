package org.grabkit.cli;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import org.grabkit.gentl.GenTLException;
import org.grabkit.gentl.NativeLibrary;
import org.grabkit.gentl.gentlJNI;

/**
 * The {@code grabkit} command-line tool. Without {@code --cti} it works on the simulated camera that
 * the jar carries.
 */
public final class Main {
  private static final String MISSING = "GenTL producer does not implement ";

  private Main() {}

  /**
   * Entry point.
   *
   * @param args command line
   */
  public static void main(String[] args) {
    System.exit(run(args));
  }

  static int run(String[] args) {
    Path cti = null;
    for (int i = 0; i < args.length; i++) {
      switch (args[i]) {
        case "info":
          break;
        case "--cti":
          if (++i == args.length) {
            return usage("--cti needs a path");
          }
          cti = Path.of(args[i]);
          break;
        case "--help":
        case "-h":
          System.out.println("usage: grabkit [info] [--cti PATH]");
          System.out.println("  info   load the producer and tell what it offers");
          return 0;
        default:
          return usage("unknown argument: " + args[i]);
      }
    }
    if (cti == null) {
      cti = NativeLibrary.extract("grabkit-sim.cti");
    } else if (!Files.isRegularFile(cti)) {
      System.err.println("grabkit: no such producer file: " + cti);
      return 2;
    }
    return info(cti);
  }

  private static int info(Path cti) {
    System.out.println("Producer: " + cti);
    // The loader reports missing functions on standard error; capture them to list them here.
    gentlJNI.StdErrRedirectStart();
    int code = 0;
    GenTLException failure = null;
    String loadOutput;
    try {
      code = gentlJNI.GCInitLib(cti.toString());
    } catch (GenTLException e) {
      failure = e;
    } finally {
      loadOutput = gentlJNI.StdErrRedirectStop();
    }
    if (failure != null) {
      System.err.println("grabkit: " + failure.getMessage());
      return 1;
    }
    List<String> missing = new ArrayList<>();
    for (String line : loadOutput.split("\n")) {
      if (line.startsWith(MISSING)) {
        missing.add(line.substring(MISSING.length()));
      }
    }
    System.out.println("GCInitLib: " + code + (code == 0 ? " (success)" : " (error)"));
    System.out.println("Functions: " + (57 - missing.size()) + " of 57");
    if (!missing.isEmpty()) {
      System.out.println("Missing: " + String.join(", ", missing));
    }
    System.out.println("GCCloseLib: " + gentlJNI.GCCloseLib());
    return code == 0 ? 0 : 1;
  }

  private static int usage(String message) {
    System.err.println("grabkit: " + message + " (try --help)");
    return 2;
  }
}
