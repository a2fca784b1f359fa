package org.grabkit;

import java.util.Optional;
import java.util.OptionalLong;
import java.util.function.LongSupplier;
import java.util.function.Supplier;
import org.grabkit.gentl.BufferTooSmallException;
import org.grabkit.gentl.GenTLException;
import org.grabkit.gentl.InvalidParameterException;
import org.grabkit.gentl.NoDataException;
import org.grabkit.gentl.NotAvailableException;
import org.grabkit.gentl.NotImplementedException;

/**
 * Queries that a producer may be unable to answer. Producers differ in which optional functions
 * and information commands they offer, and in how they say no; every such answer means "unknown"
 * here, while other failures (a closed module, an I/O error) still reach the caller.
 */
final class Unknown {
  private Unknown() {}

  static boolean isUnknown(GenTLException e) {
    return e instanceof NotImplementedException
        || e instanceof NotAvailableException
        || e instanceof InvalidParameterException
        || e instanceof NoDataException
        // a value wider or narrower than the one asked for
        || e instanceof BufferTooSmallException;
  }

  static <T> Optional<T> ask(Supplier<T> query) {
    try {
      return Optional.ofNullable(query.get());
    } catch (GenTLException e) {
      if (isUnknown(e)) {
        return Optional.empty();
      }
      throw e;
    }
  }

  static OptionalLong askLong(LongSupplier query) {
    return ask(query::getAsLong).map(OptionalLong::of).orElse(OptionalLong.empty());
  }

  /** Text that may be unknown, as the empty string. */
  static String text(Supplier<String> query) {
    return ask(query).orElse("");
  }
}
