#include "app/ReturnCodes.h"

#include <array>
#include <cstdio>

namespace {
constexpr std::array<const char*, RC_COUNT_> kNames = {
    "RC_UNDEFINED",
    "RC_SUCCESS_START",
    "RC_SUCCESS",
    "RC_PARTIAL_SUCCESS",
    "RC_SUCCESS_END",
    "RC_FAILURE",
    "RC_ABORTED",
    "RC_INVALID_PARAMS",
    "RC_FAILED_ALLOC",
    "RC_FAILED_INITALIZATION",
    "RC_FAILED_SETUP",
    "RC_FAILED_CREATE",
    "RC_FAILED_ADD",
    "RC_BAD_STATE",
    "RC_PENDING",
    "RC_FORBIDDEN",
    "RC_UNKNOWN_STATE",
    "RC_FAILED_REPLY",
    "RC_UNAVAILABLE",
    "RC_HANDLED",
    "RC_HANDLING_FAILED",
    "RC_INVALID_POINTER",
    "RC_INVALID_OBJECT",
    "RC_INVALID_TYPE",
    "RC_CHECK_FAILED",
    "RC_OUT_OF_BOUNDS",
    "RC_ENQUEUE_FAILED",
    "RC_NOT_READY",
    "RC_COMPLETED",
    "RC_EMPTY",
    "RC_NOT_RUNNING",
    "RC_FIELD_NOT_INITIALIZED",
    "RC_BAD_INPUT_DATA",
    "RC_DEST_NOT_READY",
    "RC_WAIT_FAILED",
    "RC_TERMINATED",
    "RC_EXCEPTION_TRIGGERED",
    "RC_CREATE_TAPI_INTERFACE",
    "RC_CREATE_NETWORK_INTERFACE",
    "RC_CREATE_SOCKET",
    "RC_DNS_FAILED",
    "RC_CONNECT_FAILED",
    "RC_CONNECTION_CLOSED",
    "RC_OPERATION_FAILED",
    "RC_OPERATION_WOULDBLOCK",
    "RC_SEND_FAILED",
    "RC_RECEIVE_FAILED",
    "RC_TIMEOUT",
    "RC_BUFFER_OVERFLOW",
    "RC_DATA_MISMATCH",
    "RC_RENDER_ERROR",
    "RC_UPDATE_ERROR",
    "RC_OPEN_FAILED",
    "RC_SEEK_FAILED",
    "RC_WRITE_FAILED",
    "RC_READ_FAILED",
    "RC_FILE_NOT_FOUND",
    "RC_LOAD_FAILED",
    "RC_SAVE_FAILED",
    "RC_NO_SERVERS",
    "RC_LOCKED",
    "RC_MAPI_SEND_FAILED",
    "RC_CANNOT_SHOW",
    "RC_NO_IDENTITIES",
    "RC_CANNOT_SEND",
    "RC_CLEANUP_FAILED",
    "RC_INVALID_TYPECAST",
};
}  // namespace

const char* ReturnCodeName(RETURN_CODES code) {
  if (code < RC_COUNT_) return kNames[code];
  // Codes come from stored bytes too; never index past the table.
  static thread_local char unknown[16];
  std::snprintf(unknown, sizeof unknown, "RC_%u", static_cast<unsigned>(code));
  return unknown;
}
