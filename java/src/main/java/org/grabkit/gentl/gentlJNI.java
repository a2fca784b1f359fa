package org.grabkit.gentl;

/**
 * The native methods of the Grabkit library, one per exported function. This is the C-style
 * layer: it mirrors the GenTL C functions and the object model's operations one to one. Most
 * programs use the classes built on top of it instead.
 *
 * <p>Failures arrive as the {@link GenTLException} family, or as {@code NullPointerException}
 * ("null string"), {@code RuntimeException} ("ByteBuffer must be direct.", "C++ std::exception:
 * ...") and {@code UnknownError} ("C++ anonymous exception").
 */
@SuppressWarnings("checkstyle:MethodName")
public final class gentlJNI {
  static {
    NativeLibrary.load();
  }

  private gentlJNI() {}

  // ---- Producer loading ----

  /**
   * Loads the producer file, resolves its functions and runs its {@code GCInitLib}.
   *
   * @param path the producer file
   * @return the code of the producer's {@code GCInitLib}, unchanged (also when it is an error)
   * @throws LoadLibraryException "Failed to load CTI file (ID: -10001)"
   */
  public static final native int GCInitLib(String path);

  /**
   * Runs the producer's {@code GCCloseLib} and releases the file.
   *
   * @return the producer's code, unchanged
   * @throws NotInitializedException when no producer is loaded
   * @throws LoadLibraryException "Could not free library (ID: -10001)"
   */
  public static final native int GCCloseLib();

  /** @return whether a producer is loaded and initialised */
  public static final native boolean GCLibIsInited();

  // ---- Diagnostics ----

  /** @param on whether trace lines of module and object life go to standard error */
  public static final native void enableTracing(boolean on);

  /**
   * Starts capturing the process's standard error (file descriptor 2).
   *
   * @return 0, or -1 if the capture could not start
   */
  public static final native int StdErrRedirectStart();

  /**
   * Ends the capture and returns the first 20480 bytes written since the start, cut at a NUL byte.
   * Output beyond that is dropped; writers never block.
   *
   * @return the captured text, empty if nothing was written
   */
  public static final native String StdErrRedirectStop();

  // ---- Exception upcasts (identity: every exception's address is that of its base) ----

  public static final native long AbortException_SWIGUpcast(long jarg1);

  public static final native long AccessDeniedException_SWIGUpcast(long jarg1);

  public static final native long BufferTooSmallException_SWIGUpcast(long jarg1);

  public static final native long BusyException_SWIGUpcast(long jarg1);

  public static final native long ClosedException_SWIGUpcast(long jarg1);

  public static final native long ErrorException_SWIGUpcast(long jarg1);

  public static final native long InvalidAddressException_SWIGUpcast(long jarg1);

  public static final native long InvalidBufferException_SWIGUpcast(long jarg1);

  public static final native long InvalidHandleException_SWIGUpcast(long jarg1);

  public static final native long InvalidIdException_SWIGUpcast(long jarg1);

  public static final native long InvalidIndexException_SWIGUpcast(long jarg1);

  public static final native long InvalidParameterException_SWIGUpcast(long jarg1);

  public static final native long InvalidValueException_SWIGUpcast(long jarg1);

  public static final native long IoException_SWIGUpcast(long jarg1);

  public static final native long LoadLibraryException_SWIGUpcast(long jarg1);

  public static final native long NoDataException_SWIGUpcast(long jarg1);

  public static final native long NotAvailableException_SWIGUpcast(long jarg1);

  public static final native long NotImplementedException_SWIGUpcast(long jarg1);

  public static final native long NotInitializedException_SWIGUpcast(long jarg1);

  public static final native long OutOfMemoryException_SWIGUpcast(long jarg1);

  public static final native long ParsingChunkDataException_SWIGUpcast(long jarg1);

  public static final native long ResourceExhaustedException_SWIGUpcast(long jarg1);

  public static final native long ResourceInUseException_SWIGUpcast(long jarg1);

  public static final native long TimeoutException_SWIGUpcast(long jarg1);
}
