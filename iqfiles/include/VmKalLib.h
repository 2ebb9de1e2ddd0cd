/*
 * VmKalLib — readers and writers of complex baseband (I/Q) sample files.
 *
 * Plain C interface, usable from C, C++ and other languages (Python ctypes).
 * Every loader takes the address of an IqRec and returns a status (0 on
 * success, negative codes below).  Every writer takes the record by value and
 * returns 0 on success or -1 when the file could not be written completely.
 *
 * Ownership: a loader allocates I and Q with calloc(); from then on they
 * belong to the record and are released with free() (or FreeIqRec) by the
 * caller.  LoadDatFile releases whatever a record still holds before loading.
 *
 * Writers never touch the caller's arrays.  They write into a temporary file
 * in the destination's directory and rename it over the destination only when
 * every byte has been written and flushed, so a failed save never destroys an
 * existing file.
 */
#ifndef VMKALLIB_H
#define VMKALLIB_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VMKAL_API __attribute__((visibility("default")))
#else
#define VMKAL_API
#endif

#define IQ_PATH_LEN 260

/* The shared I/Q record.  Field order is part of the binary interface. */
typedef struct IqRec {
    char INam[IQ_PATH_LEN]; /* first file (or the I file of a two-file format) */
    char QNam[IQ_PATH_LEN]; /* Q file of a two-file format */
    int Typ;                /* format index 0..23 */
    int Len;                /* samples per channel */
    float *I;               /* Len values, or NULL */
    float *Q;               /* Len values, or NULL */
    float Rat;              /* sample rate in Hz */
} IqRec;

/* Load status codes. */
enum {
    IQ_OK = 0,
    IQ_ERR_OPEN1 = -1,     /* first file cannot be opened (or sized, or too few MAT variables) */
    IQ_ERR_OPEN2 = -2,     /* second file cannot be opened */
    IQ_ERR_ABORT = -3,     /* aborted through EscFlg */
    IQ_ERR_WAV = -4,       /* WAV file not accepted */
    IQ_ERR_MAT_Q = -5,     /* second MAT file holds no variable */
    IQ_ERR_IBN_HDR = -6,   /* Tessera header's last word is not 0 */
    IQ_ERR_ALLOC_I = -7,   /* I array cannot be allocated */
    IQ_ERR_ALLOC_Q = -8,   /* Q array cannot be allocated */
    IQ_ERR_FORMAT = -9     /* not a file of this format: header keyword never found,
                              DAB header without ':', a sample count that is negative
                              or larger than the file could hold */
};

/* Number of format indices (0..IQ_NFMT-1). */
#define IQ_NFMT 24

/* Abort request for the load in progress: non-zero aborts it.  The library
 * resets it to 0 when a loader finishes. */
extern VMKAL_API int EscFlg;

/* Event hook: a program registers a function that processes its pending
 * user-interface events.  Loaders call it every 25000 samples, so a caller
 * can keep its window alive and set EscFlg from a button.  NULL removes it. */
typedef void (*IqEventHook)(void);
VMKAL_API void IqSetEventHook(IqEventHook hook);

/* Text of a load status (never NULL). */
VMKAL_API const char *IqStatusText(int status);

/* One row of the format table: the one place that names the 24 formats. */
typedef int (*IqLoader)(IqRec *rec);
typedef int (*IqWriter)(IqRec rec);
typedef struct IqFormat {
    const char *name;      /* short name for command lines, e.g. "kal" */
    const char *label;     /* label of the Load ring */
    const char *saveLabel; /* label of the Save ring, NULL when not writable */
    int files;             /* 1 or 2 */
    const char *pat1;      /* dialog pattern of the only or the I file */
    const char *pat2;      /* pattern of the Q file, "" for one-file formats */
    IqLoader load;         /* reader (load and append) */
    IqWriter save;         /* writer, NULL when the format is read-only */
} IqFormat;

/* Row of format index typ, or NULL outside 0..23. */
VMKAL_API const IqFormat *IqFormatAt(int typ);

/* Frees I and Q and sets both to NULL. */
VMKAL_API void FreeIqRec(IqRec *rec);

/* Dispatcher: frees the record's arrays, then loads format rec->Typ. */
VMKAL_API int LoadDatFile(IqRec *rec);

/* Loaders. */
VMKAL_API int LoadIbn(IqRec *rec);
VMKAL_API int LoadAscSg(IqRec *rec);
VMKAL_API int LoadAscMx(IqRec *rec);
VMKAL_API int LoadBin(IqRec *rec);
VMKAL_API int LoadWav(IqRec *rec);
VMKAL_API int LoadLeCroy(IqRec *rec);
VMKAL_API int LoadAWG(IqRec *rec);
VMKAL_API int LoadKAL(IqRec *rec);
VMKAL_API int LoadDAB(IqRec *rec);
VMKAL_API int LoadMCadSgl(IqRec *rec);
VMKAL_API int LoadAscMixNoLF(IqRec *rec);
VMKAL_API int LoadMLabSgl(IqRec *rec);
VMKAL_API int LoadMLabMix(IqRec *rec);
VMKAL_API int LoadCsapSgl(IqRec *rec);
VMKAL_API int LoadCsapMix(IqRec *rec);
VMKAL_API int LoadDDspSgl(IqRec *rec);
VMKAL_API int LoadDDspMix(IqRec *rec);
VMKAL_API int LoadEsg8Sgl(IqRec *rec);

/* Writers: 0 on success, -1 when the file could not be written. */
VMKAL_API int SaveIBN(IqRec rec);
VMKAL_API int SaveDAB(IqRec rec);
VMKAL_API int SaveMCadSgl(IqRec rec);
VMKAL_API int SaveMCadMix(IqRec rec);
VMKAL_API int SaveMLabSgl(IqRec rec);
VMKAL_API int SaveMLabMix(IqRec rec);
VMKAL_API int SaveDDspSgl(IqRec rec);
VMKAL_API int SaveDDspMix(IqRec rec);
VMKAL_API int SaveADSSgl(IqRec rec);
VMKAL_API int SaveADSMix(IqRec rec);
VMKAL_API int SaveSPWBin(IqRec rec);
VMKAL_API int SaveKAL(IqRec rec);
VMKAL_API int SaveWav(IqRec rec);

#ifdef __cplusplus
}
#endif

#endif
