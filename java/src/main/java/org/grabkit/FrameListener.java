package org.grabkit;

/**
 * Receives frames on the grab thread of {@link ImageStream#start(int, FrameListener)}. The frame is
 * lent for the call only: its buffer goes back to the camera when {@code onFrame} returns, so copy
 * what must outlive the call. While {@code onFrame} runs, the camera fills the other buffers; a
 * listener slower than the camera costs frames (see {@link AcquisitionStatistics}).
 */
@FunctionalInterface
public interface FrameListener {
  /**
   * Called once per frame, in the order the camera filled them, never for two frames at once.
   *
   * @param frame the frame, valid until this method returns
   * @throws Exception anything: it goes to the acquisition's {@link ErrorHandler} and the grab
   *     goes on with the next frame
   */
  void onFrame(Frame frame) throws Exception;

  /** Hears about what went wrong on the grab thread. */
  @FunctionalInterface
  interface ErrorHandler {
    /**
     * Called on the grab thread. An exception thrown here is written to standard error.
     *
     * @param acquisition the acquisition of the grab thread
     * @param error what the listener threw, or the stream's failure
     * @param grabEnded true for a failure of the stream, after which the acquisition is closed;
     *     false for a listener's exception or a delivery the producer got wrong, after which the
     *     grab goes on
     */
    void onError(Acquisition acquisition, Throwable error, boolean grabEnded);
  }

  /** The handler used when none is given: the error and its stack on standard error. */
  ErrorHandler PRINT_TO_STDERR =
      (acquisition, error, ended) -> {
        System.err.println(
            "Grabkit: "
                + (ended ? "the grab of camera " : "the frame listener of camera ")
                + acquisition.cameraId()
                + (ended ? " ended: " : " failed: ")
                + error);
        error.printStackTrace();
      };
}
