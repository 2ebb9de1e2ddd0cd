// A system VISA library, bound at run time.
#pragma once

#include "session.h"

namespace kalvisa {

struct ForeignApi {
    ViStatus (*openDefaultRM)(ViPSession);
    ViStatus (*open)(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViPSession);
    ViStatus (*close)(ViObject);
    ViStatus (*setAttribute)(ViObject, ViAttr, ViAttrState);
    ViStatus (*getAttribute)(ViObject, ViAttr, void *);
    ViStatus (*setBuf)(ViSession, ViUInt16, ViUInt32);
    ViStatus (*read)(ViSession, ViPBuf, ViUInt32, ViPUInt32);
    ViStatus (*write)(ViSession, ViConstBuf, ViUInt32, ViPUInt32);
    ViStatus (*clear)(ViSession);
    ViStatus (*gpibControlREN)(ViSession, ViUInt16);
    int (*ibInstallCallback)(int, int, GpibNotifyCallback_t, void *);
    std::string path;
};

// The bound library, or nullptr when the built-in transports serve.
const ForeignApi *foreignApi();

// Wraps a session that the system library opened.
std::unique_ptr<Session> makeForeignSession(const ForeignApi &api, ViSession foreignVi, const char *name);

// The system library's handle behind one of our sessions (for the 488.2 call).
ViSession foreignHandleOf(const Session &s);

}  // namespace kalvisa
