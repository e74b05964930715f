// The last error of the POSIX build: errno's value, with its strerror text; a few codes of the
// layer's own above errno's range.
#include <cerrno>
#include <cstring>

#include "platform/posix/internal.h"

const ErrorCode kErrorNotFound = ENOENT;
const ErrorCode kErrorNameTaken = EEXIST;
const ErrorCode kErrorLinkRefused = ELOOP;
const ErrorCode kErrorNotSupported = ENOTSUP;
const ErrorCode kErrorAttributeWordUnreadable = 0x10001;

namespace {
thread_local ErrorCode lastError = 0;
}  // namespace

ErrorCode LastErrorCode() {
  return lastError;
}

void SetErrorCode(ErrorCode code) {
  lastError = code;
}

std::wstring ErrorText(ErrorCode code) {
  const char* text = code == kErrorAttributeWordUnreadable
                         ? "user.DOSATTRIB holds no attribute number; it was left as it is."
                         : std::strerror(static_cast<int>(code));
  return FromBytes(text, std::strlen(text)) + L"\n";
}
