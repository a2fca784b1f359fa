package org.grabkit;

import java.util.ArrayList;
import java.util.List;

/**
 * An opened object that closes what was opened through it before itself, so that the producer
 * never sees a module closed under its children.
 */
abstract class Owner implements AutoCloseable {
  private final List<AutoCloseable> children = new ArrayList<>();
  private boolean closed;

  final <T extends AutoCloseable> T adopt(T child) {
    children.add(child);
    return child;
  }

  final void forget(AutoCloseable child) {
    children.remove(child);
  }

  /** Releases this object's own resources, once, after its children closed. */
  abstract void closeSelf();

  /** @return what to call this object in messages */
  abstract String describe();

  final void checkOpen() {
    if (closed) {
      throw new IllegalStateException(describe() + " is closed");
    }
  }

  /** @return whether {@link #close()} was called, here or by the object this one came from */
  public boolean isClosed() {
    return closed;
  }

  /** Closes what was opened through this object, newest first, then this. Later calls do nothing. */
  @Override
  public void close() {
    if (closed) {
      return;
    }
    closed = true;
    try {
      Resources.closeAll(new ArrayList<>(children));
    } finally {
      children.clear();
      closeSelf();
    }
  }
}
