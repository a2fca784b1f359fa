package org.grabkit.gentl;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/** The command of a JVM of its own that loads the same native files as the running tests. */
public final class ChildJvm {
  private ChildJvm() {}

  /** java [options] -cp (ours) (our native files) main args... */
  public static List<String> command(List<String> options, String main, String... args) {
    List<String> command = new ArrayList<>();
    command.add(Path.of(System.getProperty("java.home"), "bin", "java").toString());
    command.addAll(options);
    command.add("-cp");
    command.add(System.getProperty("java.class.path"));
    command.add("-Dgrabkit.build.dir=" + TestProducerControl.BUILD.toAbsolutePath());
    // Under the sanitized run the child must load the same library as the tests.
    String library = System.getProperty("grabkit.library.path");
    if (library != null) {
      command.add("-Dgrabkit.library.path=" + library);
    }
    command.add(main);
    command.addAll(List.of(args));
    return command;
  }
}
