// The two tables of the layer: socket errors to VISA status, and the text of
// every status the layer produces.
#include "session.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kalvisa {

namespace {

struct ErrnoMap {
    int err;
    ViStatus status;
};

// A socket error says either that the peer went away, that it could not be
// reached at all, or that the machine ran short of something.
constexpr ErrnoMap kErrnoTable[] = {
    {ECONNRESET, VI_ERROR_CONN_LOST},    {EPIPE, VI_ERROR_CONN_LOST},
    {ECONNABORTED, VI_ERROR_CONN_LOST},  {ENOTCONN, VI_ERROR_CONN_LOST},
    {ESHUTDOWN, VI_ERROR_CONN_LOST},     {ETIMEDOUT, VI_ERROR_TMO},
    {ECONNREFUSED, VI_ERROR_RSRC_NFOUND}, {EHOSTUNREACH, VI_ERROR_RSRC_NFOUND},
    {ENETUNREACH, VI_ERROR_RSRC_NFOUND}, {EHOSTDOWN, VI_ERROR_RSRC_NFOUND},
    {ENETDOWN, VI_ERROR_RSRC_NFOUND},    {EADDRNOTAVAIL, VI_ERROR_RSRC_NFOUND},
    {ENOMEM, VI_ERROR_ALLOC},            {ENOBUFS, VI_ERROR_ALLOC},
    {EMFILE, VI_ERROR_SYSTEM_ERROR},     {ENFILE, VI_ERROR_SYSTEM_ERROR},
    {EACCES, VI_ERROR_NPERMISSION},      {EPERM, VI_ERROR_NPERMISSION},
};

struct StatusText {
    ViStatus status;
    const char *name;
    const char *text;
};

constexpr StatusText kStatusTable[] = {
    {VI_SUCCESS, "VI_SUCCESS", "Operation completed successfully."},
    {VI_SUCCESS_TERM_CHAR, "VI_SUCCESS_TERM_CHAR", "The specified termination character was read."},
    {VI_SUCCESS_MAX_CNT, "VI_SUCCESS_MAX_CNT", "The number of bytes read is equal to the input count."},
    {VI_WARN_NULL_OBJECT, "VI_WARN_NULL_OBJECT", "The specified object reference is uninitialized."},
    {VI_ERROR_SYSTEM_ERROR, "VI_ERROR_SYSTEM_ERROR", "Unknown system error."},
    {VI_ERROR_INV_OBJECT, "VI_ERROR_INV_OBJECT", "The given session or object reference is invalid."},
    {VI_ERROR_RSRC_NFOUND, "VI_ERROR_RSRC_NFOUND", "Insufficient location information or resource not present."},
    {VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME", "Invalid resource reference specified."},
    {VI_ERROR_INV_ACC_MODE, "VI_ERROR_INV_ACC_MODE", "Invalid access mode."},
    {VI_ERROR_TMO, "VI_ERROR_TMO", "Timeout expired before operation completed."},
    {VI_ERROR_NSUP_ATTR, "VI_ERROR_NSUP_ATTR", "The specified attribute is not supported."},
    {VI_ERROR_NSUP_ATTR_STATE, "VI_ERROR_NSUP_ATTR_STATE", "The specified state of the attribute is not supported."},
    {VI_ERROR_ATTR_READONLY, "VI_ERROR_ATTR_READONLY", "The specified attribute is read-only."},
    {VI_ERROR_ALLOC, "VI_ERROR_ALLOC", "Insufficient system resources."},
    {VI_ERROR_INV_MASK, "VI_ERROR_INV_MASK", "Invalid buffer mask specified."},
    {VI_ERROR_IO, "VI_ERROR_IO", "Could not perform operation because of I/O error."},
    {VI_ERROR_INV_FMT, "VI_ERROR_INV_FMT", "The data does not match the format specifier."},
    {VI_ERROR_NSUP_FMT, "VI_ERROR_NSUP_FMT", "A format specifier in the format string is not supported."},
    {VI_ERROR_NSUP_OPER, "VI_ERROR_NSUP_OPER", "The operation is not supported by this session."},
    {VI_ERROR_USER_BUF, "VI_ERROR_USER_BUF", "A specified user buffer is not valid."},
    {VI_ERROR_INV_PARAMETER, "VI_ERROR_INV_PARAMETER", "The value of a parameter is invalid."},
    {VI_ERROR_INV_SIZE, "VI_ERROR_INV_SIZE", "Invalid size specified."},
    {VI_ERROR_INV_MODE, "VI_ERROR_INV_MODE", "The specified mode is invalid."},
    {VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST", "The connection for the given session has been lost."},
    {VI_ERROR_NPERMISSION, "VI_ERROR_NPERMISSION", "Access to the remote machine is denied."},
};

}  // namespace

ViStatus statusFromErrno(int err) {
    for (const auto &e : kErrnoTable)
        if (e.err == err) return e.status;
    return VI_ERROR_IO;
}

}  // namespace kalvisa

extern "C" ViStatus viStatusDesc(ViObject, ViStatus status, ViChar desc[]) {
    if (!desc) return VI_ERROR_USER_BUF;
    for (const auto &s : kalvisa::kStatusTable) {
        if (s.status == status) {
            std::snprintf(desc, VI_FIND_BUFLEN, "%s: %s", s.name, s.text);
            return VI_SUCCESS;
        }
    }
    std::snprintf(desc, VI_FIND_BUFLEN, "Unknown status 0x%08X.", unsigned(status));
    return VI_WARN_UNKNOWN_STATUS;
}
