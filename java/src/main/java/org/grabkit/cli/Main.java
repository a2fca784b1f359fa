package org.grabkit.cli;

import java.io.PrintStream;
import java.io.UncheckedIOException;
import java.nio.file.NoSuchFileException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.NoSuchElementException;
import java.util.Optional;
import java.util.Set;
import org.grabkit.AcquisitionInterruptedException;
import org.grabkit.Isolation;
import org.grabkit.features.FeatureException;
import org.grabkit.gentl.GenTLException;
import org.grabkit.gentl.TimeoutException;

/**
 * The {@code grabkit} command-line tool: {@code info}, {@code features}, {@code get}, {@code set},
 * {@code grab}, {@code settings}, {@code regs} and {@code xml} on the producers named by {@code --cti} or {@code GENICAM_GENTL64_PATH}, else on the simulated
 * camera that the jar carries. Errors are one line on standard error and a non-zero exit code.
 */
public final class Main {
  private static final List<Command> COMMANDS =
      List.of(
          new InfoCommand(),
          new FeaturesCommand(),
          new GetCommand(),
          new SetCommand(),
          new GrabCommand(),
          new SettingsCommand(),
          new RegsCommand(),
          new XmlCommand());
  private static final Set<String> GLOBAL_VALUED = Set.of("--cti");
  private static final Set<String> HELP = Set.of("--help", "-h");
  // Producers in helper processes, for every command.
  private static final String ISOLATED = "--isolated";

  private Main() {}

  /**
   * Runs the tool and exits with its code.
   *
   * @param args the command line
   */
  public static void main(String[] args) {
    // Images are only written to files: never look for a display.
    System.setProperty("java.awt.headless", "true");
    System.exit(run(args, System.getenv(), System.out, System.err));
  }

  /**
   * Runs the tool in this process.
   *
   * @param args the command line
   * @param env the environment to read {@code GENICAM_GENTL64_PATH} from
   * @param out standard output
   * @param err standard error
   * @return the exit code: 0 success, 1 failure, 2 usage error, 3 producer file, device, feature,
   *     input file or frame part not found or the device name ambiguous, 4 time-out, 5 output file
   *     not writable, 130 interrupted
   */
  public static int run(String[] args, Map<String, String> env, PrintStream out, PrintStream err) {
    return run(args, env, out, err, System.console() != null);
  }

  /** {@link #run(String[], Map, PrintStream, PrintStream)} with or without a terminal. */
  static int run(
      String[] args, Map<String, String> env, PrintStream out, PrintStream err, boolean terminal) {
    Optional<Command> command = Optional.empty();
    try {
      List<String> rest = new ArrayList<>(Arrays.asList(args));
      command = findCommand(rest);
      Set<String> valued = new HashSet<>(GLOBAL_VALUED);
      Set<String> flags = new HashSet<>(HELP);
      flags.add(ISOLATED);
      // No lambdas on the way of every command: each costs a cold start its call site's linkage.
      if (command.isPresent()) {
        valued.addAll(command.get().valued());
        flags.addAll(command.get().flags());
      }
      Options options = Options.parse(rest, valued, flags);
      if (options.has("--help") || options.has("-h")) {
        out.println(command.map(Command::help).orElseGet(Main::overview));
        return CliException.OK;
      }
      if (command.isEmpty()) {
        throw CliException.usage(
            options.positional().isEmpty()
                ? "no command given"
                : "unknown command '" + options.positional().get(0) + "'");
      }
      Session session =
          new Session(
              out,
              err,
              terminal,
              env,
              options.value("--cti"),
              options.has(ISOLATED) ? Isolation.PROCESS : Isolation.configured());
      return command.get().run(options, session);
    } catch (CliException e) {
      err.println("grabkit: " + e.getMessage());
      if (e.exitCode() == CliException.USAGE) {
        err.println("Try 'grabkit " + command.map(c -> c.name() + " ").orElse("") + "--help'.");
      }
      return e.exitCode();
    } catch (FeatureException e) {
      err.println("grabkit: " + e.getMessage());
      return exitCode(e.kind());
    } catch (TimeoutException e) {
      err.println("grabkit: timed out: " + e.getMessage());
      return CliException.TIMEOUT;
    } catch (UncheckedIOException e) {
      err.println("grabkit: " + e.getMessage());
      return e.getCause() instanceof NoSuchFileException
          ? CliException.NOT_FOUND
          : CliException.FAILURE;
    } catch (AcquisitionInterruptedException e) {
      err.println("grabkit: interrupted");
      return CliException.INTERRUPTED;
    } catch (NoSuchElementException e) {
      err.println("grabkit: " + e.getMessage());
      return CliException.NOT_FOUND;
    } catch (GenTLException | UnsupportedOperationException | IllegalStateException e) {
      err.println("grabkit: " + e.getMessage());
      return CliException.FAILURE;
    }
  }

  /** A missing feature is "not found" and a late command a time-out, as for devices and frames. */
  private static int exitCode(FeatureException.Kind kind) {
    switch (kind) {
      case UNKNOWN_FEATURE:
        return CliException.NOT_FOUND;
      case TIMEOUT:
        return CliException.TIMEOUT;
      default:
        return CliException.FAILURE;
    }
  }

  /** Takes the command word out of the arguments: the first word that is no option's value. */
  private static Optional<Command> findCommand(List<String> args) {
    for (int i = 0; i < args.size(); i++) {
      String arg = args.get(i);
      if (GLOBAL_VALUED.contains(arg)) {
        i++;
      } else if (!arg.startsWith("-")) {
        for (Command c : COMMANDS) {
          if (c.name().equals(arg)) {
            args.remove(i);
            return Optional.of(c);
          }
        }
        return Optional.empty();
      }
    }
    return Optional.empty();
  }

  private static String overview() {
    StringBuilder text =
        new StringBuilder(
            "usage: grabkit [--cti PATH] COMMAND [OPTIONS]\n\n"
                + "Machine-vision cameras through GenTL producers.\n\nCommands:\n");
    for (Command c : COMMANDS) {
      text.append(String.format("  %-9s %s%n", c.name(), c.summary()));
    }
    return text.append(
            "\nProducers: --cti PATH (a .cti file or a directory of them), else the files and\n"
                + "directories listed in GENICAM_GENTL64_PATH ('"
                + java.io.File.pathSeparator
                + "'-separated), else the simulated\n"
                + "camera in the jar. --isolated runs each producer in a helper process, so that\n"
                + "a producer that crashes ends the command with an error, not the JVM (default:\n"
                + "in the JVM, unless grabkit.isolation or GRABKIT_ISOLATION is 'process').\n"
                + "Exit codes:\n"
                + "  0    success\n"
                + "  1    the camera or producer failed (or refused a value)\n"
                + "  2    usage error\n"
                + "  3    not found: producer file, device (or a name that fits several), feature,\n"
                + "       input file, frame part\n"
                + "  4    time-out of a frame or a command\n"
                + "  5    an output file (--png, --out, settings save) cannot be written\n"
                + "  130  interrupted (Ctrl-C); grab still prints its summary and writes --png\n"
                + "Run 'grabkit COMMAND --help' for a command's options.")
        .toString();
  }
}
