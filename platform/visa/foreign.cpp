// Run-time binding of a system VISA library.  The library's raw operations
// serve our sessions; formatted I/O stays ours, so it behaves alike on
// every backend.
#include "foreign.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <vector>

namespace kalvisa {

namespace {

// Where the VISA vendors install their Linux libraries.  The environment
// variable KALMIRA_VISA_LIBRARY is tried first; "builtin" skips them all.
const char *const kVisaLibraries[] = {
    "libvisa.so", "libvisa.so.0", "librsvisa.so", "librsvisa.so.7", "libiovisa.so", "libktvisa32.so",
};
// The NI-488.2 run-time, only for removing service-request callbacks.
const char *const kGpibLibraries[] = {"libni4882.so", "libni4882.so.1", "libgpibapi.so"};

template <class F>
bool bind(void *h, const char *name, F &fn) {
    fn = reinterpret_cast<F>(::dlsym(h, name));
    return fn != nullptr;
}

// RTLD_DEEPBIND keeps the library's own calls inside it, never in our
// functions of the same names.  The sanitizer run-times refuse it; there
// the program's symbols are not exported, which protects as well.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kBindFlags = RTLD_NOW | RTLD_LOCAL;
#else
constexpr int kBindFlags = RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND;
#endif
void *openLibrary(const char *name) { return ::dlopen(name, kBindFlags); }

bool tryLibrary(const char *name, ForeignApi &api) {
    void *h = openLibrary(name);
    if (!h) return false;
    bool ok = bind(h, "viOpenDefaultRM", api.openDefaultRM) && bind(h, "viOpen", api.open) &&
              bind(h, "viClose", api.close) && bind(h, "viSetAttribute", api.setAttribute) &&
              bind(h, "viGetAttribute", api.getAttribute) && bind(h, "viRead", api.read) &&
              bind(h, "viWrite", api.write);
    if (!ok) {
        ::dlclose(h);
        return false;
    }
    bind(h, "viSetBuf", api.setBuf);
    bind(h, "viClear", api.clear);
    bind(h, "viGpibControlREN", api.gpibControlREN);
    api.path = name;
    return true;
}

void bindGpib(ForeignApi &api) {
    for (const char *name : kGpibLibraries) {
        void *h = openLibrary(name);
        if (h && bind(h, "ibInstallCallback", api.ibInstallCallback)) return;
        if (h) ::dlclose(h);
    }
}

ForeignApi *load() {
    static ForeignApi api;
    const char *env = std::getenv("KALMIRA_VISA_LIBRARY");
    std::vector<const char *> names;
    if (env && std::strcmp(env, "builtin") == 0) return nullptr;
    if (env && *env) names.push_back(env);
    names.insert(names.end(), std::begin(kVisaLibraries), std::end(kVisaLibraries));
    for (const char *name : names) {
        api = ForeignApi{};
        if (tryLibrary(name, api)) {
            bindGpib(api);
            return &api;
        }
    }
    return nullptr;
}

class ForeignSession : public Session {
public:
    ForeignSession(const ForeignApi &api, ViSession vi, const char *name)
        : Session(0, name ? name : ""), api_(api), vi_(vi) {}

    ViStatus read(ViByte *buf, ViUInt32 count, ViUInt32 *got, bool toLineEnd) override {
        if (!toLineEnd) return api_.read(vi_, buf, count, got);
        // Formatted replies end at the line feed, whatever the session is set to.
        ViUInt8 tc = '\n';
        ViBoolean tcEn = VI_FALSE;
        api_.getAttribute(vi_, VI_ATTR_TERMCHAR, &tc);
        api_.getAttribute(vi_, VI_ATTR_TERMCHAR_EN, &tcEn);
        api_.setAttribute(vi_, VI_ATTR_TERMCHAR, '\n');
        api_.setAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_TRUE);
        ViStatus st = api_.read(vi_, buf, count, got);
        api_.setAttribute(vi_, VI_ATTR_TERMCHAR, tc);
        api_.setAttribute(vi_, VI_ATTR_TERMCHAR_EN, tcEn);
        return st;
    }
    ViStatus write(const ViByte *buf, ViUInt32 count, ViUInt32 *done) override {
        return api_.write(vi_, buf, count, done);
    }
    ViStatus clear() override { return api_.clear ? api_.clear(vi_) : VI_ERROR_NSUP_OPER; }
    ViStatus gpibControlREN(ViUInt16 mode) override {
        return api_.gpibControlREN ? api_.gpibControlREN(vi_, mode) : VI_ERROR_NSUP_OPER;
    }
    ViStatus setAttribute(ViAttr attr, ViAttrState value) override { return api_.setAttribute(vi_, attr, value); }
    ViStatus getAttribute(ViAttr attr, void *value) override {
        // The resource manager the caller knows is ours, not the library's.
        if (attr == VI_ATTR_RM_SESSION) return Session::getAttribute(attr, value);
        return api_.getAttribute(vi_, attr, value);
    }
    ViStatus setBuf(ViUInt16 mask, ViUInt32 size) override {
        Session::setBuf(mask, size);
        return api_.setBuf ? api_.setBuf(vi_, mask, size) : VI_SUCCESS;
    }
    ViStatus close() override { return api_.close(vi_); }

    ViSession handle() const { return vi_; }

private:
    const ForeignApi &api_;
    ViSession vi_;
};

}  // namespace

const ForeignApi *foreignApi() {
    static std::once_flag once;
    static ForeignApi *api = nullptr;
    std::call_once(once, [] { api = load(); });
    return api;
}

std::unique_ptr<Session> makeForeignSession(const ForeignApi &api, ViSession foreignVi, const char *name) {
    return std::make_unique<ForeignSession>(api, foreignVi, name);
}

ViSession foreignHandleOf(const Session &s) {
    auto *f = dynamic_cast<const ForeignSession *>(&s);
    return f ? f->handle() : 0;
}

}  // namespace kalvisa
