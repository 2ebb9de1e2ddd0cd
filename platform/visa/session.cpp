#include "session.h"

#include <cstring>

namespace kalvisa {

void copyAttrText(void *dst, const std::string &text) {
    size_t n = std::min(text.size(), size_t(VI_FIND_BUFLEN - 1));
    std::memcpy(dst, text.data(), n);
    static_cast<char *>(dst)[n] = '\0';
}

ViStatus Session::setAttribute(ViAttr attr, ViAttrState value) {
    switch (attr) {
    case VI_ATTR_TMO_VALUE: tmo_ = ViUInt32(value); return VI_SUCCESS;
    case VI_ATTR_RD_BUF_OPER_MODE:
    case VI_ATTR_WR_BUF_OPER_MODE:
        if (value != VI_FLUSH_ON_ACCESS && value != VI_FLUSH_WHEN_FULL && value != VI_FLUSH_DISABLE)
            return VI_ERROR_NSUP_ATTR_STATE;
        (attr == VI_ATTR_RD_BUF_OPER_MODE ? rdOperMode_ : wrOperMode_) = ViUInt16(value);
        return VI_SUCCESS;
    case VI_ATTR_SEND_END_EN: sendEnd_ = value ? VI_TRUE : VI_FALSE; return VI_SUCCESS;
    case VI_ATTR_SUPPRESS_END_EN: suppressEnd_ = value ? VI_TRUE : VI_FALSE; return VI_SUCCESS;
    case VI_ATTR_TERMCHAR: termChar_ = ViUInt8(value); return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN: termCharEn_ = value ? VI_TRUE : VI_FALSE; return VI_SUCCESS;
    case VI_ATTR_USER_DATA_32:
    case VI_ATTR_USER_DATA_64: userData_ = value; return VI_SUCCESS;
    // The maker's LAN protocol: the raw socket session sends it on.
    case KAL_ATTR_LAN_REMOTE: lanRemote_ = value; return VI_SUCCESS;
    case KAL_ATTR_LAN_LOCAL_AFTER_RESET: lanLocalAfterReset_ = value; return VI_SUCCESS;
    case VI_ATTR_INTF_TYPE:
    case VI_ATTR_RM_SESSION:
    case VI_ATTR_RSRC_NAME:
    case VI_ATTR_RSRC_CLASS:
    case VI_ATTR_INTF_NUM:
    case VI_ATTR_RD_BUF_SIZE:
    case VI_ATTR_WR_BUF_SIZE: return VI_ERROR_ATTR_READONLY;
    default: return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus Session::getAttribute(ViAttr attr, void *value) {
    switch (attr) {
    case VI_ATTR_TMO_VALUE: *static_cast<ViUInt32 *>(value) = tmo_; return VI_SUCCESS;
    case VI_ATTR_INTF_TYPE: *static_cast<ViUInt16 *>(value) = intfType_; return VI_SUCCESS;
    case VI_ATTR_INTF_NUM: *static_cast<ViUInt16 *>(value) = 0; return VI_SUCCESS;
    case VI_ATTR_RD_BUF_OPER_MODE: *static_cast<ViUInt16 *>(value) = rdOperMode_; return VI_SUCCESS;
    case VI_ATTR_WR_BUF_OPER_MODE: *static_cast<ViUInt16 *>(value) = wrOperMode_; return VI_SUCCESS;
    case VI_ATTR_RD_BUF_SIZE: *static_cast<ViUInt32 *>(value) = rdBufSize_; return VI_SUCCESS;
    case VI_ATTR_WR_BUF_SIZE: *static_cast<ViUInt32 *>(value) = wrBufSize_; return VI_SUCCESS;
    case VI_ATTR_SEND_END_EN: *static_cast<ViBoolean *>(value) = sendEnd_; return VI_SUCCESS;
    case VI_ATTR_SUPPRESS_END_EN: *static_cast<ViBoolean *>(value) = suppressEnd_; return VI_SUCCESS;
    case VI_ATTR_TERMCHAR: *static_cast<ViUInt8 *>(value) = termChar_; return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN: *static_cast<ViBoolean *>(value) = termCharEn_; return VI_SUCCESS;
    case VI_ATTR_USER_DATA_64: *static_cast<ViUInt64 *>(value) = ViUInt64(userData_); return VI_SUCCESS;
    case VI_ATTR_USER_DATA_32: *static_cast<ViUInt32 *>(value) = ViUInt32(userData_); return VI_SUCCESS;
    case VI_ATTR_RM_SESSION: *static_cast<ViSession *>(value) = rm_; return VI_SUCCESS;
    case VI_ATTR_RSRC_NAME: copyAttrText(value, rsrcName_); return VI_SUCCESS;
    case VI_ATTR_RSRC_CLASS:
        copyAttrText(value, rsrcName_.size() >= 6 && rsrcName_.ends_with("SOCKET") ? "SOCKET" : "INSTR");
        return VI_SUCCESS;
    default: return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus Session::setBuf(ViUInt16 mask, ViUInt32 size) {
    if (mask & ~ViUInt16(VI_READ_BUF | VI_WRITE_BUF | VI_IO_IN_BUF | VI_IO_OUT_BUF)) return VI_ERROR_INV_MASK;
    if (size == 0) return VI_ERROR_INV_SIZE;
    if (mask & VI_READ_BUF) rdBufSize_ = size;
    if (mask & VI_WRITE_BUF) wrBufSize_ = size;
    return VI_SUCCESS;
}

}  // namespace kalvisa
