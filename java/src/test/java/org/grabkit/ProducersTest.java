package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Producer discovery from path lists such as GENICAM_GENTL64_PATH. */
class ProducersTest {
  @Test
  void directoriesGiveTheirProducersInNameOrderAndFilesThemselves(@TempDir Path tmp)
      throws IOException {
    Path vendor = Files.createDirectories(tmp.resolve("vendor"));
    Path b = Files.createFile(vendor.resolve("b.cti"));
    Path a = Files.createFile(vendor.resolve("A.CTI"));
    Files.createFile(vendor.resolve("readme.txt"));
    Files.createDirectories(vendor.resolve("nested.cti")); // a directory, not a producer
    Path single = Files.createFile(tmp.resolve("single.cti"));
    String list =
        String.join(
            ":", single.toString(), "", tmp.resolve("missing").toString(), vendor.toString(),
            vendor.resolve("b.cti").toString());
    assertEquals(List.of(single, a, b), Producers.fromPathList(list));
  }

  @Test
  void nothingListedGivesNoProducer() {
    assertEquals(List.of(), Producers.fromPathList(null));
    assertEquals(List.of(), Producers.fromPathList(" : "));
  }
}
