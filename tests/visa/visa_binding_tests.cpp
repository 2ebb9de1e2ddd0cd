// Run-time binding of a system VISA library: with one installed, its raw
// operations serve every call, and formatted I/O still comes from the layer.
#include "visa.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string doubleCalls() {
    void *h = ::dlopen(VENDOR_VISA_DOUBLE, RTLD_NOW | RTLD_NOLOAD);
    auto fn = h ? reinterpret_cast<const char *(*)()>(::dlsym(h, "doubleCalls")) : nullptr;
    return fn ? fn() : "";
}

TEST(VisaBinding, SystemLibraryServesTheRawOperations) {
    ::setenv("KALMIRA_VISA_LIBRARY", VENDOR_VISA_DOUBLE, 1);
    ViSession rm = 0, vi = 0;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_STREQ(kalVisaBackend(), VENDOR_VISA_DOUBLE);
    ASSERT_EQ(viOpen(rm, "GPIB::20::INSTR", 0, 0, &vi), VI_SUCCESS);
    EXPECT_NE(vi, 7001u);  // the caller sees the layer's handles, not the library's
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 10000), VI_SUCCESS);
    char idn[101] = {};
    ASSERT_EQ(viQueryf(vi, "*IDN?\n", "%100c", idn), VI_SUCCESS);
    EXPECT_STREQ(idn, "Stub,Analyzer,1,0.1");
    ViUInt16 intf = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_INTF_TYPE, &intf), VI_SUCCESS);
    EXPECT_EQ(intf, VI_INTF_GPIB);
    ViSession owner = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_RM_SESSION, &owner), VI_SUCCESS);
    EXPECT_EQ(owner, rm);
    ASSERT_EQ(viGpibControlREN(vi, VI_GPIB_REN_ADDRESS_GTL), VI_SUCCESS);
    EXPECT_EQ(viClear(vi), VI_ERROR_NSUP_OPER);  // the library has no viClear
    ASSERT_EQ(viClose(rm), VI_SUCCESS);
    EXPECT_EQ(doubleCalls(),
              "viOpenDefaultRM\n"
              "viOpen 7000 GPIB::20::INSTR\n"
              "viSetAttribute 1073676314 10000\n"
              "viWrite *IDN?\n"
              "viRead termchar on\n"
              "viGpibControlREN 7001 6\n"
              "viClose 7001\n"
              "viClose 7000\n");
}

}  // namespace
