// The exception family of Grabkit: one class per GenTL error code, plus the
// library's own LoadLibraryException and ClosedException.
#ifndef GRABKIT_PRODUCER_ERRORS_H
#define GRABKIT_PRODUCER_ERRORS_H

#include <cstdint>
#include <exception>
#include <string>

namespace Grabkit {

class GenTLException : public std::exception {
 public:
  GenTLException(std::string message, int32_t code);
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;  // "<message> (ID: <code>)"; the code lives only here
};

// X(class, code, message used by checkError). The order is the order in which
// the Java boundary tests the dynamic class; the last two never come from a
// producer code, so checkError has no message for them.
#define GRABKIT_EXCEPTIONS(X)                                                          \
  X(ErrorException, -1001, "Unspecified runtime exception")                            \
  X(NotInitializedException, -1002, "Module or resource not initialized")              \
  X(NotImplementedException, -1003, "Requested operation not implemented")             \
  X(ResourceInUseException, -1004, "Requested resource is already in use")             \
  X(AccessDeniedException, -1005, "Requested operation is not allowed")                \
  X(InvalidHandleException, -1006, "Given handle does not support the operation")      \
  X(InvalidIdException, -1007, "ID could not be connected to a resource")              \
  X(NoDataException, -1008, "Function has no data to work on")                         \
  X(InvalidParameterException, -1009, "Parameter not valid or out of range")           \
  X(IoException, -1010, "Communication error, read or write to remote device failed")  \
  X(TimeoutException, -1011, "Operation timed out before completion")                  \
  X(AbortException, -1012, "Operation aborted")                                        \
  X(InvalidBufferException, -1013,                                                     \
    "Insufficient amount of announced buffers to start acquisition")                   \
  X(NotAvailableException, -1014, "Resource or information is not available")          \
  X(InvalidAddressException, -1015, "Address is out of range or invalid")              \
  X(BufferTooSmallException, -1016, "Buffer used is to small for operation")           \
  X(InvalidIndexException, -1017, "Provided index is out of range")                    \
  X(ParsingChunkDataException, -1018, "Error parsing chunk data buffer")               \
  X(InvalidValueException, -1019, "Attempting to write an invalid register value")     \
  X(ResourceExhaustedException, -1020, "The requested resource is exhausted")          \
  X(OutOfMemoryException, -1021, "System and/or hardware has run out of memory")       \
  X(BusyException, -1022, "Operation cannot be performed. Responsible module is busy") \
  X(LoadLibraryException, -10001, nullptr)                                             \
  X(ClosedException, -10002, nullptr)

#define GRABKIT_DECLARE_EXCEPTION(name, code, message)                                \
  class name : public GenTLException {                                                \
   public:                                                                            \
    explicit name(std::string text) : GenTLException(std::move(text), code) {}        \
    name(std::string text, int32_t other) : GenTLException(std::move(text), other) {} \
  };
GRABKIT_EXCEPTIONS(GRABKIT_DECLARE_EXCEPTION)
#undef GRABKIT_DECLARE_EXCEPTION

// Throws the class of a GenTL error code (-1022 ... -1001); every other value,
// producer-specific codes included, counts as success, except in calls for a
// strict load (the Java API's), where a producer-specific code (-10000 and
// below) is an ErrorException with the producer's own text and code.
void checkError(int32_t code);

}  // namespace Grabkit

#endif
