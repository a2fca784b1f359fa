package org.grabkit.features;

import java.time.Duration;

/** A feature that makes the device do something, e.g. {@code AcquisitionStart}. */
public final class CommandNode extends Node {
  private Ref target;
  private Ref command;

  CommandNode(NodeMap map, Def def) {
    super(map, def);
  }

  @Override
  void link() {
    super.link();
    target = value("Value", "pValue", false);
    if (target == null || target.node == null) {
      throw def.bad("pValue", "the Command has no node to write");
    }
    command = value("CommandValue", "pCommandValue", false);
    if (command == null) {
      throw def.bad("CommandValue", "the Command has no CommandValue");
    }
  }

  /** Makes the device run the command; returns at once. */
  public void execute() {
    checkWritable();
    target.node.setNumber(command.asLong());
    map.changed(this);
  }

  /** @return whether the last run has finished: the device no longer shows the command value */
  public boolean isDone() {
    // The register changes by itself when the device is done, so no cached value will do.
    map.dropDownward(target.node);
    return target.asLong() != command.asLong();
  }

  /**
   * Runs the command and waits, polling, until it is done.
   *
   * @param timeout how long to wait at most
   * @throws FeatureException of kind {@link FeatureException.Kind#TIMEOUT} if it is not done by then
   */
  public void execute(Duration timeout) {
    execute();
    long end = System.nanoTime() + timeout.toNanos();
    long pause = 1;
    while (!isDone()) {
      if (System.nanoTime() - end >= 0) {
        throw new FeatureException(FeatureException.Kind.TIMEOUT, name(),
            name() + " was not done after " + timeout.toMillis() + " ms");
      }
      try {
        Thread.sleep(pause);
      } catch (InterruptedException e) {
        Thread.currentThread().interrupt();
        throw new FeatureException(FeatureException.Kind.TIMEOUT, name(),
            "interrupted while waiting for " + name(), e);
      }
      pause = Math.min(pause * 2, 50);
    }
    map.changed(this);
  }

  @Override
  Node accessVia() {
    return target.node;
  }

  @Override
  String kind() {
    return "Command";
  }
}
