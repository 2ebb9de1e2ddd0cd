/* The VISA operations the instrument code calls, with the published VISA
 * types, status codes and attribute values (the same numbers every VISA
 * implementation uses), so that the program reads like any VISA client.
 *
 * Behind the calls stands either a system VISA library, bound at run time,
 * or the built-in transports: SCPI over a raw TCP socket for LAN resources
 * and a GPIB-Ethernet gateway of the "++" command family for GPIB resources.
 * Plain C; usable from C and C++. */
#ifndef KALMIRA_VISA_H
#define KALMIRA_VISA_H

#include <stdarg.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types ---------------------------------------------------------- */
typedef uint32_t ViUInt32;
typedef int32_t ViInt32;
typedef uint16_t ViUInt16;
typedef int16_t ViInt16;
typedef uint8_t ViUInt8;
typedef int8_t ViInt8;
typedef uint64_t ViUInt64;
typedef int64_t ViInt64;
typedef char ViChar;
typedef unsigned char ViByte;
typedef void *ViAddr;
typedef ViUInt16 ViBoolean;
typedef ViInt32 ViStatus;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViUInt32 ViAttr;
typedef ViUInt32 ViAccessMode;
typedef ViUInt32 ViEventType;
/* Attribute values are as wide as a pointer, so that user data fits. */
#if UINTPTR_MAX > 0xFFFFFFFFu
typedef ViUInt64 ViAttrState;
#define KAL_VISA_64BIT 1
#else
typedef ViUInt32 ViAttrState;
#endif
typedef ViByte *ViBuf;
typedef const ViByte *ViConstBuf;
typedef ViByte *ViPBuf;
typedef ViChar *ViString;
typedef const ViChar *ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViSession *ViPSession;
typedef ViUInt32 *ViPUInt32;
typedef ViUInt16 *ViPUInt16;
typedef ViAttrState *ViPAttrState;
typedef va_list ViVAList;

/* ---- Values --------------------------------------------------------- */
#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0
#define VI_FIND_BUFLEN 256

#define VI_INTF_GPIB 1
#define VI_INTF_VXI 2
#define VI_INTF_GPIB_VXI 3
#define VI_INTF_ASRL 4
#define VI_INTF_PXI 5
#define VI_INTF_TCPIP 6
#define VI_INTF_USB 7

#define VI_READ_BUF 1
#define VI_WRITE_BUF 2
#define VI_READ_BUF_DISCARD 4
#define VI_WRITE_BUF_DISCARD 8
#define VI_IO_IN_BUF 16
#define VI_IO_OUT_BUF 32
#define VI_IO_IN_BUF_DISCARD 64
#define VI_IO_OUT_BUF_DISCARD 128

#define VI_FLUSH_ON_ACCESS 1
#define VI_FLUSH_WHEN_FULL 2
#define VI_FLUSH_DISABLE 3

#define VI_TMO_IMMEDIATE 0u
#define VI_TMO_INFINITE 0xFFFFFFFFu

#define VI_NO_LOCK 0
#define VI_EXCLUSIVE_LOCK 1
#define VI_SHARED_LOCK 2
#define VI_LOAD_CONFIG 4

#define VI_GPIB_REN_DEASSERT 0
#define VI_GPIB_REN_ASSERT 1
#define VI_GPIB_REN_DEASSERT_GTL 2
#define VI_GPIB_REN_ASSERT_ADDRESS 3
#define VI_GPIB_REN_ASSERT_LLO 4
#define VI_GPIB_REN_ASSERT_ADDRESS_LLO 5
#define VI_GPIB_REN_ADDRESS_GTL 6

/* ---- Attributes ----------------------------------------------------- */
#define VI_ATTR_RSRC_CLASS 0xBFFF0001u
#define VI_ATTR_RSRC_NAME 0xBFFF0002u
#define VI_ATTR_RSRC_IMPL_VERSION 0x3FFF0003u
#define VI_ATTR_RSRC_LOCK_STATE 0x3FFF0004u
#define VI_ATTR_MAX_QUEUE_LENGTH 0x3FFF0005u
#define VI_ATTR_USER_DATA_32 0x3FFF0007u
#define VI_ATTR_USER_DATA_64 0x3FFF000Au
#ifdef KAL_VISA_64BIT
#define VI_ATTR_USER_DATA VI_ATTR_USER_DATA_64
#else
#define VI_ATTR_USER_DATA VI_ATTR_USER_DATA_32
#endif
#define VI_ATTR_SEND_END_EN 0x3FFF0016u
#define VI_ATTR_TERMCHAR 0x3FFF0018u
#define VI_ATTR_TMO_VALUE 0x3FFF001Au
#define VI_ATTR_GPIB_READDR_EN 0x3FFF001Bu
#define VI_ATTR_IO_PROT 0x3FFF001Cu
#define VI_ATTR_RD_BUF_OPER_MODE 0x3FFF002Au
#define VI_ATTR_RD_BUF_SIZE 0x3FFF002Bu
#define VI_ATTR_WR_BUF_OPER_MODE 0x3FFF002Du
#define VI_ATTR_WR_BUF_SIZE 0x3FFF002Eu
#define VI_ATTR_SUPPRESS_END_EN 0x3FFF0036u
#define VI_ATTR_TERMCHAR_EN 0x3FFF0038u
#define VI_ATTR_RM_SESSION 0x3FFF00C4u
#define VI_ATTR_INTF_TYPE 0x3FFF0171u
#define VI_ATTR_GPIB_PRIMARY_ADDR 0x3FFF0172u
#define VI_ATTR_GPIB_SECONDARY_ADDR 0x3FFF0173u
#define VI_ATTR_INTF_NUM 0x3FFF0176u
#define VI_ATTR_TCPIP_ADDR 0xBFFF0195u
#define VI_ATTR_TCPIP_HOSTNAME 0xBFFF0196u
#define VI_ATTR_TCPIP_PORT 0x3FFF0197u
#define VI_ATTR_TCPIP_NODELAY 0x3FFF019Au
#define VI_ATTR_TCPIP_KEEPALIVE 0x3FFF019Bu

/* The maker's LAN protocol: remote/local state (0 gives the instrument back
 * to local operation) and go-to-local (1 sends it).  Inside a VISA that
 * carries the protocol they are its own; the built-in raw socket passes
 * them to "VMIB" instruments as the interface messages "&GTL" and "&GTR",
 * and other transports accept and ignore them. */
#define KAL_ATTR_LAN_REMOTE 0x3FFC0001u
#define KAL_ATTR_LAN_LOCAL_AFTER_RESET 0x3FFC0002u

/* ---- Completion and error codes -------------------------------------- */
#define VI_SUCCESS ((ViStatus)0)
#define VI_SUCCESS_EVENT_EN ((ViStatus)0x3FFF0002)
#define VI_SUCCESS_EVENT_DIS ((ViStatus)0x3FFF0003)
#define VI_SUCCESS_QUEUE_EMPTY ((ViStatus)0x3FFF0004)
#define VI_SUCCESS_TERM_CHAR ((ViStatus)0x3FFF0005)
#define VI_SUCCESS_MAX_CNT ((ViStatus)0x3FFF0006)
#define VI_WARN_NULL_OBJECT ((ViStatus)0x3FFF0082)
#define VI_WARN_NSUP_ATTR_STATE ((ViStatus)0x3FFF0084)
#define VI_WARN_UNKNOWN_STATUS ((ViStatus)0x3FFF0085)
#define VI_WARN_NSUP_BUF ((ViStatus)0x3FFF0088)

#define VI_ERROR ((ViStatus)0x80000000u)
#define VI_ERROR_SYSTEM_ERROR ((ViStatus)0xBFFF0000u)
#define VI_ERROR_INV_OBJECT ((ViStatus)0xBFFF000Eu)
#define VI_ERROR_INV_SESSION VI_ERROR_INV_OBJECT
#define VI_ERROR_RSRC_LOCKED ((ViStatus)0xBFFF000Fu)
#define VI_ERROR_INV_EXPR ((ViStatus)0xBFFF0010u)
#define VI_ERROR_RSRC_NFOUND ((ViStatus)0xBFFF0011u)
#define VI_ERROR_INV_RSRC_NAME ((ViStatus)0xBFFF0012u)
#define VI_ERROR_INV_ACC_MODE ((ViStatus)0xBFFF0013u)
#define VI_ERROR_TMO ((ViStatus)0xBFFF0015u)
#define VI_ERROR_CLOSING_FAILED ((ViStatus)0xBFFF0016u)
#define VI_ERROR_NSUP_ATTR ((ViStatus)0xBFFF001Du)
#define VI_ERROR_NSUP_ATTR_STATE ((ViStatus)0xBFFF001Eu)
#define VI_ERROR_ATTR_READONLY ((ViStatus)0xBFFF001Fu)
#define VI_ERROR_ABORT ((ViStatus)0xBFFF0030u)
#define VI_ERROR_RAW_WR_PROT_VIOL ((ViStatus)0xBFFF0034u)
#define VI_ERROR_RAW_RD_PROT_VIOL ((ViStatus)0xBFFF0035u)
#define VI_ERROR_OUTP_PROT_VIOL ((ViStatus)0xBFFF0036u)
#define VI_ERROR_INP_PROT_VIOL ((ViStatus)0xBFFF0037u)
#define VI_ERROR_ALLOC ((ViStatus)0xBFFF003Cu)
#define VI_ERROR_INV_MASK ((ViStatus)0xBFFF003Du)
#define VI_ERROR_IO ((ViStatus)0xBFFF003Eu)
#define VI_ERROR_INV_FMT ((ViStatus)0xBFFF003Fu)
#define VI_ERROR_NSUP_FMT ((ViStatus)0xBFFF0041u)
#define VI_ERROR_NSUP_MODE ((ViStatus)0xBFFF0046u)
#define VI_ERROR_NLISTENERS ((ViStatus)0xBFFF005Fu)
#define VI_ERROR_NSUP_OPER ((ViStatus)0xBFFF0067u)
#define VI_ERROR_USER_BUF ((ViStatus)0xBFFF0071u)
#define VI_ERROR_INV_PARAMETER ((ViStatus)0xBFFF0078u)
#define VI_ERROR_INV_SIZE ((ViStatus)0xBFFF007Bu)
#define VI_ERROR_NIMPL_OPER ((ViStatus)0xBFFF0081u)
#define VI_ERROR_INV_LENGTH ((ViStatus)0xBFFF0083u)
#define VI_ERROR_INV_MODE ((ViStatus)0xBFFF0091u)
#define VI_ERROR_LIBRARY_NFOUND ((ViStatus)0xBFFF009Eu)
#define VI_ERROR_CONN_LOST ((ViStatus)0xBFFF00A6u)
#define VI_ERROR_MACHINE_NAVAIL ((ViStatus)0xBFFF00A7u)
#define VI_ERROR_NPERMISSION ((ViStatus)0xBFFF00A8u)

/* ---- Operations ----------------------------------------------------- */
ViStatus viOpenDefaultRM(ViPSession rm);
ViStatus viOpen(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 openTimeout, ViPSession vi);
ViStatus viClose(ViObject vi);
ViStatus viSetAttribute(ViObject vi, ViAttr attr, ViAttrState value);
ViStatus viGetAttribute(ViObject vi, ViAttr attr, void *value);
ViStatus viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size);
/* Raw read of exactly count bytes (line feeds inside binary data do not end
 * it); VI_SUCCESS_MAX_CNT, a positive completion code, when all came.  A
 * time-out (VI_ATTR_TMO_VALUE, counted while no data arrives) gives
 * VI_ERROR_TMO and a closed connection VI_ERROR_CONN_LOST; retCount tells
 * how much arrived before either. */
ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 count, ViPUInt32 retCount);
ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 count, ViPUInt32 retCount);
/* Device clear: the instrument's unread reply is discarded (through the
 * gateway with a Selected Device Clear; on a raw socket, which has no such
 * message, by connecting anew), so that the next exchange starts clean. */
ViStatus viClear(ViSession vi);
ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode);
ViStatus viStatusDesc(ViObject vi, ViStatus status, ViChar desc[]);

/* Formatted I/O.  The write side takes printf conversions (a command that
 * does not end in a line feed gets one); the read side scans one reply line
 * with %s (a word), %Nc (up to N characters, blanks kept), %d, %u, %x, %f,
 * %lf, %e, %g, %t (the whole line) and %[...]; a reply that does not match
 * its format gives VI_ERROR_INV_FMT. */
ViStatus viPrintf(ViSession vi, ViConstString fmt, ...);
ViStatus viVPrintf(ViSession vi, ViConstString fmt, ViVAList args);
ViStatus viScanf(ViSession vi, ViConstString fmt, ...);
ViStatus viVScanf(ViSession vi, ViConstString fmt, ViVAList args);
ViStatus viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...);
ViStatus viVQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ViVAList args);

/* NI-488.2: install or (with mask 0 and no function) remove a notification
 * callback.  Returns the 488.2 status word; a no-op success on the built-in
 * transports. */
typedef int (*GpibNotifyCallback_t)(int ud, int ibsta, int iberr, long ibcntl, void *refData);
int ibInstallCallback(int ud, int mask, GpibNotifyCallback_t callback, void *refData);

/* Which backend serves the calls: "builtin" or the path of the system VISA
 * library that was bound.  The environment variable KALMIRA_VISA_LIBRARY
 * names a library to try first; "builtin" there skips the system ones. */
const char *kalVisaBackend(void);

#ifdef __cplusplus
}
#endif

#endif
