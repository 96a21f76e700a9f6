// Failures of the archive library: a code the DLL hands to the engine unchanged, and a message for logs.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qov {

// The values are the engine-visible codes of qov.lib (see dll/qovlibApi.h).
enum class ErrorCode : std::int32_t {
    Ok = 0,
    ArchiveNotFound = 1001,
    CannotOpen = 1003,
    DamagedArchive = 1004,
    UnsupportedMethod = 1005,
    UnsafePath = 1006,
    WriteFailed = 1007,
    StoppedByCaller = 1008,
    BadArguments = 1009,
    OutOfMemory = 1010,
    CrcMismatch = 1011,
    EntryNotFound = 1012,
    UnrepresentableName = 1013,
};

class ArchiveError : public std::runtime_error {
  public:
    ArchiveError(ErrorCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
    ErrorCode code() const { return code_; }

  private:
    ErrorCode code_;
};

[[noreturn]] inline void fail(ErrorCode code, const std::string& message) {
    throw ArchiveError(code, message);
}
[[noreturn]] inline void damaged(const std::string& message) {
    fail(ErrorCode::DamagedArchive, message);
}

} // namespace qov
