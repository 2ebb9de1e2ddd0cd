// The VISA entry points: the table of open objects (resource managers and
// instrument sessions) and the choice of transport for a resource.
#include "foreign.h"
#include "resource.h"
#include "transports.h"

#include <map>
#include <mutex>
#include <vector>

namespace kalvisa {

namespace {

// Built-in transports by interface type and resource class.
struct Transport {
    ViUInt16 intf;
    const char *rsrcClass;
    ViStatus (*open)(const Resource &, ViUInt32, std::unique_ptr<Session> &);
};
constexpr Transport kTransports[] = {
    {VI_INTF_TCPIP, "INSTR", openSocketSession},
    {VI_INTF_TCPIP, "SOCKET", openSocketSession},
    {VI_INTF_GPIB, "INSTR", openGatewaySession},
};

// A connection is given at least this long, whatever open time-out the
// caller passes (that one is the VISA lock time-out, often 0).
constexpr ViUInt32 kConnectTmoMs = 5000;

struct Object {
    bool isRm = false;
    ViSession foreignRm = 0;  // the system library's resource manager
    std::shared_ptr<Session> session;
};

std::mutex gMutex;
std::map<ViSession, Object> gObjects;
ViSession gNext = 1;

ViSession addObject(Object obj) {
    std::lock_guard lock(gMutex);
    while (gNext == 0 || gObjects.count(gNext)) ++gNext;
    ViSession id = gNext++;
    gObjects[id] = std::move(obj);
    return id;
}

bool findObject(ViObject vi, Object &out) {
    std::lock_guard lock(gMutex);
    auto it = gObjects.find(vi);
    if (it == gObjects.end()) return false;
    out = it->second;
    return true;
}

ViStatus openBuiltin(const char *name, ViUInt32 openTmo, std::unique_ptr<Session> &out) {
    Resource r;
    ViStatus st = parseResource(name, r);
    if (st != VI_SUCCESS) return st;
    for (const auto &t : kTransports)
        if (t.intf == r.intf && r.rsrcClass == t.rsrcClass) return t.open(r, std::max(openTmo, kConnectTmoMs), out);
    return VI_ERROR_RSRC_NFOUND;
}

// Closing a resource manager closes every session opened through it.
std::vector<std::shared_ptr<Session>> detach(ViObject vi) {
    std::lock_guard lock(gMutex);
    std::vector<std::shared_ptr<Session>> closing;
    auto it = gObjects.find(vi);
    if (it == gObjects.end()) return closing;
    bool isRm = it->second.isRm;
    if (it->second.session) closing.push_back(it->second.session);
    gObjects.erase(it);
    if (!isRm) return closing;
    for (auto i = gObjects.begin(); i != gObjects.end();) {
        if (i->second.session && i->second.session->rm() == vi) {
            closing.push_back(i->second.session);
            i = gObjects.erase(i);
        } else {
            ++i;
        }
    }
    return closing;
}

}  // namespace

std::shared_ptr<Session> findSession(ViSession vi) {
    Object o;
    return findObject(vi, o) ? o.session : nullptr;
}

}  // namespace kalvisa

using namespace kalvisa;

extern "C" {

const char *kalVisaBackend(void) {
    const ForeignApi *api = foreignApi();
    return api ? api->path.c_str() : "builtin";
}

ViStatus viOpenDefaultRM(ViPSession rm) {
    if (!rm) return VI_ERROR_USER_BUF;
    Object obj;
    obj.isRm = true;
    if (const ForeignApi *api = foreignApi()) {
        ViStatus st = api->openDefaultRM(&obj.foreignRm);
        if (st < 0) return st;
    }
    *rm = addObject(obj);
    return VI_SUCCESS;
}

ViStatus viOpen(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 openTimeout, ViPSession vi) {
    if (!vi) return VI_ERROR_USER_BUF;
    *vi = 0;
    Object rmObj;
    if (!findObject(rm, rmObj) || !rmObj.isRm) return VI_ERROR_INV_OBJECT;
    if (!name) return VI_ERROR_INV_RSRC_NAME;
    if (mode & ~ViAccessMode(VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK | VI_LOAD_CONFIG)) return VI_ERROR_INV_ACC_MODE;
    std::unique_ptr<Session> s;
    ViStatus st;
    if (const ForeignApi *api = foreignApi()) {
        ViSession fvi = 0;
        st = api->open(rmObj.foreignRm, name, mode, openTimeout, &fvi);
        if (st >= 0) s = makeForeignSession(*api, fvi, name);
    } else {
        st = openBuiltin(name, openTimeout, s);
    }
    if (st < 0) return st;
    s->setRm(rm);
    Object obj;
    obj.session = std::move(s);
    *vi = addObject(obj);
    return st;
}

ViStatus viClose(ViObject vi) {
    if (vi == VI_NULL) return VI_WARN_NULL_OBJECT;
    Object obj;
    if (!findObject(vi, obj)) return VI_ERROR_INV_OBJECT;
    ViStatus result = VI_SUCCESS;
    for (auto &s : detach(vi)) {
        ViStatus st = s->close();
        if (st < 0) result = st;
    }
    const ForeignApi *api = foreignApi();
    if (obj.isRm && api && obj.foreignRm) api->close(obj.foreignRm);
    return result;
}

ViStatus viSetAttribute(ViObject vi, ViAttr attr, ViAttrState value) {
    Object obj;
    if (!findObject(vi, obj)) return VI_ERROR_INV_OBJECT;
    if (obj.isRm) return attr == VI_ATTR_TMO_VALUE ? VI_SUCCESS : VI_ERROR_NSUP_ATTR;
    return obj.session->setAttribute(attr, value);
}

ViStatus viGetAttribute(ViObject vi, ViAttr attr, void *value) {
    if (!value) return VI_ERROR_USER_BUF;
    Object obj;
    if (!findObject(vi, obj)) return VI_ERROR_INV_OBJECT;
    if (obj.isRm) {
        if (attr != VI_ATTR_RM_SESSION) return VI_ERROR_NSUP_ATTR;
        *static_cast<ViSession *>(value) = vi;
        return VI_SUCCESS;
    }
    return obj.session->getAttribute(attr, value);
}

ViStatus viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size) {
    auto s = findSession(vi);
    return s ? s->setBuf(mask, size) : VI_ERROR_INV_OBJECT;
}

ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 count, ViPUInt32 retCount) {
    if (retCount) *retCount = 0;
    auto s = findSession(vi);
    if (!s) return VI_ERROR_INV_OBJECT;
    if (!buf && count) return VI_ERROR_USER_BUF;
    return count ? s->read(buf, count, retCount, false) : VI_SUCCESS_MAX_CNT;
}

ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 count, ViPUInt32 retCount) {
    if (retCount) *retCount = 0;
    auto s = findSession(vi);
    if (!s) return VI_ERROR_INV_OBJECT;
    if (!buf && count) return VI_ERROR_USER_BUF;
    return s->write(buf, count, retCount);
}

ViStatus viClear(ViSession vi) {
    auto s = findSession(vi);
    return s ? s->clear() : VI_ERROR_INV_OBJECT;
}

ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode) {
    auto s = findSession(vi);
    return s ? s->gpibControlREN(mode) : VI_ERROR_INV_OBJECT;
}

// The program passes its VISA session as the unit descriptor to drop any
// service-request callback.  The built-in transports install none.
int ibInstallCallback(int ud, int mask, GpibNotifyCallback_t callback, void *refData) {
    const ForeignApi *api = foreignApi();
    if (!api || !api->ibInstallCallback) return 0x0100;  // CMPL, no ERR
    auto s = findSession(ViSession(ud));
    int foreignUd = s ? int(foreignHandleOf(*s)) : ud;
    return api->ibInstallCallback(foreignUd, mask, callback, refData);
}

}  // extern "C"
