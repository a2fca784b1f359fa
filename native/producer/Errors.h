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
  // `kind`: the position of the class in GRABKIT_EXCEPTIONS (see errorKind),
  // so that the Java boundary picks the class without testing the dynamic one.
  GenTLException(std::string message, int32_t code, int kind = -1);
  const char* what() const noexcept override { return text_.c_str(); }
  int kind() const noexcept { return kind_; }

 private:
  std::string text_;  // "<message> (ID: <code>)"; the code lives only here
  int kind_;
};

// X(class, code, message used by checkError). The position of a class in the
// list is its kind; the last two never come from a producer code, so
// checkError has no message for them.
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

enum ErrorKind : int {
#define GRABKIT_KIND(name, code, message) k##name,
  GRABKIT_EXCEPTIONS(GRABKIT_KIND)
#undef GRABKIT_KIND
      kErrorKinds
};

#define GRABKIT_DECLARE_EXCEPTION(name, code, message)                                         \
  class name : public GenTLException {                                                         \
   public:                                                                                     \
    explicit name(std::string text) : GenTLException(std::move(text), code, k##name) {}        \
    name(std::string text, int32_t other) : GenTLException(std::move(text), other, k##name) {} \
  };
GRABKIT_EXCEPTIONS(GRABKIT_DECLARE_EXCEPTION)
#undef GRABKIT_DECLARE_EXCEPTION

// The kind whose class checkError throws for `code`, or -1 where it throws
// nothing or the producer's own code decides.
int errorKind(int32_t code);
// What checkError's exception for a GenTL code says, "<message> (ID: <code>)",
// without making the exception; null where errorKind is -1.
const char* fixedErrorText(int kind);

// Throws the class of a GenTL error code (-1022 ... -1001); every other value,
// producer-specific codes included, counts as success, except in calls for a
// strict load (the Java API's), where a producer-specific code (-10000 and
// below) is an ErrorException with the producer's own text and code.
void checkError(int32_t code);

}  // namespace Grabkit

#endif
