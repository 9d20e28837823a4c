#include "engine/failure_capture.h"

#include <cerrno>
#include <exception>
#include <new>

namespace reelkit {

ConversionFailure FailureOfCurrentException() {
  try {
    throw;
  } catch (const CReelkitException& failure) {
    return failure.Failure();
  } catch (const std::bad_alloc&) {
    return {ConvertErrorKind::ReadInputFailed, FailureCode::System(ENOMEM), OutOfMemory{}};
  } catch (const std::exception& failure) {
    return {ConvertErrorKind::Unexpected, {}, UnexpectedFailure{failure.what()}};
  } catch (...) {
    return {ConvertErrorKind::Unexpected, {}, UnexpectedFailure{}};
  }
}

}  // namespace reelkit
