package org.grabkit.gentl;

/** Lets tests outside this package read the count of native holders alive. */
public final class LiveHolders {
  private LiveHolders() {}

  /**
   * The holders alive once proxies that became unreachable were released.
   *
   * @return the count
   * @throws InterruptedException if interrupted while waiting for the cleaner
   */
  public static long settled() throws InterruptedException {
    long last = -1;
    long now = NativeSelfTest.liveHolders();
    for (int i = 0; i < 20 && now != last; i++) {
      System.gc();
      Thread.sleep(50);
      last = now;
      now = NativeSelfTest.liveHolders();
    }
    return now;
  }
}
