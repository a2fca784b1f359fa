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

  /**
   * What a failed call of {@code operation} leaves: {@code fallback} where the producer cannot
   * tell, else the failure naming the call. The listing's paths catch in place with this instead
   * of wrapping each query in a lambda for {@link #ask} and {@link Calls#call}: a cold JVM pays
   * for the first use of every lambda, dozens of them in one listing.
   */
  static <T> T or(String operation, GenTLException failure, T fallback) {
    GenTLException named = Calls.named(operation, failure);
    if (isUnknown(named)) {
      return fallback;
    }
    throw named;
  }

  /** The text a query gave, "" for none. */
  static String orEmpty(String value) {
    return value == null ? "" : value;
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
