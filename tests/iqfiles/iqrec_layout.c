/* The record's layout as a C compiler lays it out.  Programs outside this
 * project (C, Python ctypes, other languages' foreign-function interfaces)
 * pass IqRec by address and by value, so a reordered or resized field would
 * break them silently: this program fails instead.  The offsets are those of
 * x86-64 Linux (LP64); elsewhere it reports a skip (exit 77). */
#include "VmKalLib.h"

#include <stddef.h>
#include <stdio.h>

struct Field {
    const char *name;
    size_t offset, want;
};

int main(void)
{
#if defined(__x86_64__) && defined(__LP64__)
    const struct Field fields[] = {
        {"INam", offsetof(IqRec, INam), 0},  {"QNam", offsetof(IqRec, QNam), 260},
        {"Typ", offsetof(IqRec, Typ), 520},  {"Len", offsetof(IqRec, Len), 524},
        {"I", offsetof(IqRec, I), 528},      {"Q", offsetof(IqRec, Q), 536},
        {"Rat", offsetof(IqRec, Rat), 544},  {"sizeof(IqRec)", sizeof(IqRec), 552},
        {"sizeof(INam)", sizeof(((IqRec *)0)->INam), 260},
        {"sizeof(Rat)", sizeof(((IqRec *)0)->Rat), 4},
    };
    int failed = 0;
    for (size_t k = 0; k < sizeof fields / sizeof fields[0]; ++k)
        if (fields[k].offset != fields[k].want) {
            printf("IqRec %s is %zu, not %zu\n", fields[k].name, fields[k].offset, fields[k].want);
            failed = 1;
        }
    if (!failed)
        printf("IqRec has the layout that outside callers rely on\n");
    return failed;
#else
    printf("skipped: the expected offsets are those of x86-64 (LP64)\n");
    return 77;
#endif
}
