// One open instrument session of the layer.  Every transport derives from
// Session and keeps the VISA attributes common to all of them here; the
// formatted I/O of visa.h is written once on top of read() and write().
#pragma once

#include "visa.h"

#include <memory>
#include <string>

namespace kalvisa {

class Session {
public:
    virtual ~Session() = default;

    // Reads up to count bytes.  Stops after a line feed when toLineEnd is
    // set (VI_SUCCESS_TERM_CHAR), otherwise when count bytes have come
    // (VI_SUCCESS_MAX_CNT); a backend that sees the end of a message
    // returns VI_SUCCESS there.
    virtual ViStatus read(ViByte *buf, ViUInt32 count, ViUInt32 *got, bool toLineEnd) = 0;
    virtual ViStatus write(const ViByte *buf, ViUInt32 count, ViUInt32 *done) = 0;
    virtual ViStatus clear() { return VI_ERROR_NSUP_OPER; }
    virtual ViStatus gpibControlREN(ViUInt16 mode) { return VI_ERROR_NSUP_OPER; }
    virtual ViStatus setAttribute(ViAttr attr, ViAttrState value);
    virtual ViStatus getAttribute(ViAttr attr, void *value);
    virtual ViStatus setBuf(ViUInt16 mask, ViUInt32 size);
    virtual ViStatus close() { return VI_SUCCESS; }

    void setRm(ViSession rm) { rm_ = rm; }
    ViSession rm() const { return rm_; }
    // Size of the formatted-I/O read buffer (viSetBuf).
    ViUInt32 readBufSize() const { return rdBufSize_; }

protected:
    Session(ViUInt16 intfType, std::string rsrcName) : intfType_(intfType), rsrcName_(std::move(rsrcName)) {}

    ViUInt32 tmo_ = 2000;  // ms; the VISA default
    ViUInt16 intfType_;
    std::string rsrcName_;
    ViUInt16 rdOperMode_ = VI_FLUSH_ON_ACCESS;
    ViUInt16 wrOperMode_ = VI_FLUSH_WHEN_FULL;
    ViUInt32 rdBufSize_ = 4096;
    ViUInt32 wrBufSize_ = 4096;
    ViBoolean sendEnd_ = VI_TRUE;
    ViBoolean suppressEnd_ = VI_FALSE;
    ViUInt8 termChar_ = '\n';
    ViBoolean termCharEn_ = VI_FALSE;
    ViAttrState userData_ = 0;
    ViAttrState lanRemote_ = 1;
    ViAttrState lanLocalAfterReset_ = 0;

private:
    ViSession rm_ = 0;
};

// Copies a text attribute into the caller's VI_FIND_BUFLEN buffer.
void copyAttrText(void *dst, const std::string &text);

// The open instrument session with this handle, or null (visa.cpp).
std::shared_ptr<Session> findSession(ViSession vi);

// Status of a failed socket call, from errno (one table in status.cpp).
ViStatus statusFromErrno(int err);

}  // namespace kalvisa
