/* A small C program against the installed VmKalLib: finds the format of its
 * input, loads it and saves it as a SigMF recording.
 *   convert INPUT OUTPUT.sigmf-meta   → prints "<format name> <samples>" */
#include <VmKalLib.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    IqRec rec;
    int found[IQ_NFMT], st;
    if (argc != 3)
        return 2;
    if (IqDetectFormat(argv[1], IQ_DETECT_ONE_FILE, found, IQ_NFMT, NULL) != 1) {
        fprintf(stderr, "%s: format not clear\n", argv[1]);
        return 1;
    }
    memset(&rec, 0, sizeof rec);
    snprintf(rec.INam, sizeof rec.INam, "%s", argv[1]);
    rec.Typ = found[0];
    if ((st = LoadDatFile(&rec)) != 0) {
        fprintf(stderr, "%s: %s\n", argv[1], IqStatusText(st));
        return 1;
    }
    snprintf(rec.INam, sizeof rec.INam, "%s", argv[2]);
    rec.Rat = 1e6f;
    IqSetSaveFrequency(433.92e6);
    if (SaveSigMF(rec) != 0) {
        fprintf(stderr, "%s: %s\n", argv[2], strerror(errno));
        FreeIqRec(&rec);
        return 1;
    }
    printf("%s %d\n", IqFormatAt(found[0])->name, rec.Len);
    FreeIqRec(&rec);
    return 0;
}
