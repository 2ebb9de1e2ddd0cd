/*
 * VmKalLib — readers and writers of complex baseband (I/Q) sample files.
 *
 * Plain C interface, usable from C, C++ and other languages (Python ctypes).
 * Every loader takes the address of an IqRec and returns a status (0 on
 * success, negative codes below).  Every writer takes the record by value and
 * returns 0 on success or -1, with errno telling why, when the file could not
 * be written completely.
 *
 * Ownership: a loader allocates I and Q with calloc(); from then on they
 * belong to the record and are released with free() (or FreeIqRec) by the
 * caller.  LoadDatFile releases whatever a record still holds before loading.
 *
 * Numbers in text files are written and read with a decimal point whatever
 * locale (LC_NUMERIC) the calling program has set.
 *
 * Saving.  Writers never touch the caller's arrays.  Every writer follows one
 * policy, decided by what the destination path names:
 *  - a regular file the caller may write, or a new name in a folder the
 *    caller may write: the new contents go to a temporary file in the same
 *    folder, are flushed to disk and then renamed over the destination, so a
 *    failed save leaves an existing file byte for byte as it was.  A replaced
 *    file keeps its permission bits (and its owner where the caller may set
 *    it).
 *  - a regular file the caller may not write (mode 0444, another user's file,
 *    a read-only mount): -1 with errno EACCES (EPERM, EROFS), as opening it
 *    for writing would be refused.  Nothing is changed.
 *  - a symbolic link: the file it points to is saved as above (and created,
 *    when the link points to nothing yet); the link stays.
 *  - not a regular file (a named pipe, a character device such as /dev/null,
 *    or one of the caller's open descriptors named /dev/stdout, /dev/stderr,
 *    /dev/fd/N or /proc/self/fd/N, whatever it refers to): the bytes are
 *    written into it in place, in order, with no temporary file and no
 *    rename.  A failure there leaves what was written so far.
 *  - a regular file the caller may write but no rename may replace (its
 *    folder is not writable, or is sticky like /tmp and neither the folder
 *    nor the file belongs to the caller): the file is written in place.  The
 *    space the new file needs (for the text formats, the most it can take)
 *    is reserved first, so a disk too full for it fails before the old
 *    contents are touched; where the file system cannot reserve space the
 *    save is refused with -1, errno EOPNOTSUPP, and nothing is changed.
 *    Once the first byte is written the old contents are gone: a later
 *    failure (a failing disk, a quota) leaves only the bytes written so far
 *    (the file is cut to them).  Links are followed by the system, with its
 *    own checks (a link in a sticky folder that the system will not follow
 *    gives -1, errno EACCES).
 *  - a folder: -1 with errno EISDIR.
 * Two-file writers replace neither file unless both are complete; once the
 * first is replaced the second follows whatever EscFlg says, and a file
 * written in place or a pipe comes after the file replaced by a rename.  A
 * writer also stops when EscFlg is set before or while it writes (for a
 * regular file written in place: before its first byte): -1 with errno EINTR,
 * the destination as it was.  Like a loader, a writer resets EscFlg to 0
 * when it returns.  A record with a negative Len or without arrays behind a
 * positive one gives -1 with errno EINVAL; a record too long for the
 * format's size fields, -1 with EFBIG.
 *
 * Reading.  Every read, seek and rewind is checked: a read that fails gives
 * -1 for the first file, -2 for the second, errno EIO, and no arrays, never
 * a short record with status 0.  A folder gives -1 / -2 (errno EISDIR).  A
 * pipe, terminal or device can be read only once from start to end: the
 * readers that go through their file once take it (LoadIbn, LoadKAL,
 * LoadWav, LoadBin, LoadAscSg, LoadAscMx, LoadLeCroy, LoadAWG, LoadEsg8Sgl
 * and LoadDAB hold it in memory first, up to what a record of the format can
 * hold and half the memory the system has available, and refuse a longer
 * input such as an endless device with -1, errno EFBIG; LoadCsapMix and LoadMCadSgl read it as it comes); those that read
 * their file twice or seek in it (LoadDDspSgl, LoadDDspMix, LoadAscMixNoLF,
 * LoadCsapSgl, the MAT readers) give -1 / -2 with errno ESPIPE.  For -1 and
 * -2, errno tells the cause of the failure to open or read (ENOENT, EACCES,
 * EISDIR, ESPIPE, EIO, EFBIG); it is 0 when a MAT
 * file holds too few variables.
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

/* The shared I/Q record.  Field order is part of the binary interface; on
 * x86-64 (LP64) the offsets are INam 0, QNam 260, Typ 520, Len 524, I 528,
 * Q 536, Rat 544 and the size 552 (a test compiled as C checks them). */
typedef struct IqRec {
    char INam[IQ_PATH_LEN]; /* first file (or the I file of a two-file format) */
    char QNam[IQ_PATH_LEN]; /* Q file of a two-file format */
    int Typ;                /* format index 0..IQ_NFMT-1 */
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
    IQ_ERR_FORMAT = -9,    /* not a file of this format: header keyword never found,
                              DAB header without ':', a sample count that is negative
                              or larger than the file could hold */
    IQ_ERR_DATATYPE = -10, /* the file holds no complex samples of a type this library
                              reads (SigMF: a real or unknown core:datatype, more than
                              one channel, a recording of metadata only) */
    IQ_ERR_SHORT = -11,    /* the data file is shorter than its metadata says */
    IQ_ERR_NAME = -12      /* the name is no SigMF recording's: an existing file of
                              another name (a .sigmf archive, a metadata file named
                              otherwise), where NAME.sigmf-meta is missing */
};

/* Number of format indices (0..IQ_NFMT-1).  Indices never change meaning
 * (configuration files store them); new formats are added at the end. */
#define IQ_NFMT 25

/* Abort request for the load or save in progress: non-zero aborts it (a
 * save then leaves its destination as it was, see "Saving" above).  The
 * library resets it to 0 when a loader or writer finishes.  A signal handler
 * may set it; every reader and writer looks at it while it works, also
 * while it copies a pipe into memory. */
extern VMKAL_API int EscFlg;

/* Event hook: a program registers a function that processes its pending
 * user-interface events.  Loaders call it every 25000 samples (the text
 * readers that count numbers rather than samples, about every 50 ms), writers
 * about every 256 KB they write, so a caller can keep its window alive and
 * set EscFlg from a button.  It runs only on the thread that called the
 * loader or writer, never on a thread the library starts.  NULL removes it. */
typedef void (*IqEventHook)(void);
VMKAL_API void IqSetEventHook(IqEventHook hook);

/* Removes the temporary files of the saves in progress, and the targets that
 * a save through a link to nothing had created for them; it only calls
 * unlink(), so it is async-signal-safe.  For a program that ends at once from
 * a signal handler (a second Ctrl-C), where the save cannot clean up after
 * itself: without it a hidden ".name.XXXXXX" of the size of the data stays
 * beside the destination.  A save still running afterwards fails and leaves
 * its destination as it was.  Files written in place are not touched. */
VMKAL_API void IqRemoveTemporaries(void);

/* Which file of the last save on the calling thread failed: 1 the first
 * (INam), 2 the second (QNam), 0 after a save that succeeded. */
VMKAL_API int IqSaveFailedFile(void);

/* Text of a load status (never NULL). */
VMKAL_API const char *IqStatusText(int status);

/* One row of the format table: the one place that names the formats. */
typedef int (*IqLoader)(IqRec *rec);
typedef int (*IqWriter)(IqRec rec);
typedef struct IqFormat {
    const char *name;      /* short name for command lines, e.g. "kal" */
    const char *label;     /* label of the Load ring */
    const char *saveLabel; /* label of the Save ring, NULL when not writable */
    int files;             /* 1 or 2 */
    const char *pat1;      /* dialog pattern of the only or the I file; several
                              are separated by ';' ("*.sigmf-meta;*.sigmf-data") */
    const char *pat2;      /* pattern of the Q file, "" for one-file formats */
    IqLoader load;         /* reader (load and append) */
    IqWriter save;         /* writer, NULL when the format is read-only */
} IqFormat;

/* Row of format index typ, or NULL outside 0..IQ_NFMT-1. */
VMKAL_API const IqFormat *IqFormatAt(int typ);

/* Frees I and Q and sets both to NULL, and Len to 0. */
VMKAL_API void FreeIqRec(IqRec *rec);

/* Dispatcher: frees the record's arrays, then loads format rec->Typ.  An
 * index outside 0..IQ_NFMT-1 loads nothing and returns 0 with an empty record.
 * Every loader that fails after its files are open leaves no arrays and Len
 * 0 behind, so a record never claims samples that its arrays do not hold; a
 * successful load of no samples leaves Len 0 with valid (one-element)
 * arrays.  Text readers accept LF and CR LF line ends and lines of any
 * length (a number is never split). */
VMKAL_API int LoadDatFile(IqRec *rec);

/* Loaders. */
/* Tessera .ibn: sets Len and Rat from the header.  -6 when the header's last
 * word is not 0; -9 for a header cut short or a count that is negative or
 * larger than the file holds (nothing is allocated from such a count). */
VMKAL_API int LoadIbn(IqRec *rec);
/* SPW/ADS ASCII signal files (one per channel; LoadAscMx: "I Q" pairs in one
 * file): sets Rat (from the I file) and Len (the smaller count of the pair).
 * LF and CR LF line ends alike; lines of any length.  -9 when the file ends
 * before the "Sampling", "Number" and "$DATA" lines are found, or for a count
 * that is negative or larger than the file could hold; -3 when EscFlg is set
 * during the header search.  Lines missing at the end leave their samples 0. */
VMKAL_API int LoadAscSg(IqRec *rec);
VMKAL_API int LoadAscMx(IqRec *rec);
/* SPW binary (big-endian doubles after "$DATA BINARY"): sets Rat and Len.
 * -9 as for the ASCII files, and when fewer samples follow than counted. */
VMKAL_API int LoadBin(IqRec *rec);
/* WAV: only 16-bit and 8-bit stereo PCM are I/Q; every other layout (mono,
 * 24 or 32 bits, more than two channels, not PCM) gives -4.  The chunks after
 * "WAVE" are walked to "data" ("LIST", "fact" and others may come first; the
 * "fmt " chunk must precede "data", else -4).  Len is the smaller of (data
 * size field / bytes per frame) and (bytes present after the data chunk's
 * header / bytes per frame): a standard file of N frames loads N samples, a
 * file of SaveWav (whose size fields count 8 bytes per sample while 4
 * follow) loads its Len, and a file cut short loads the frames it holds.
 * Rat is not read. */
VMKAL_API int LoadWav(IqRec *rec);
/* LeCroy .trc pair: Len is the smaller point count (at most 16,000,000);
 * -1 when either file is missing; -9 for a count of 0 or less or a trace
 * shorter than its count. */
VMKAL_API int LoadLeCroy(IqRec *rec);
/* AWG 2000 .wfm pair: Len is the smaller of the two point counts, so the
 * record never claims more samples than either file has; -9 for a header cut
 * short or a count that is negative or beyond the file. */
VMKAL_API int LoadAWG(IqRec *rec);
/* KAL: Len = file size / 8 (a trailing partial sample is ignored; an empty
 * file is an empty record).  Rat is left as the caller set it. */
VMKAL_API int LoadKAL(IqRec *rec);
/* DAB symbol file: Len is the count after the first ':' of the first header
 * word.  -9 when that word has no ':' or no count after it, or the count is
 * negative or larger than the file size (nothing is allocated from it). */
VMKAL_API int LoadDAB(IqRec *rec);
/* One number per line, I and Q files: Len is the smaller line count (blank
 * lines count); a word that does not convert ends its channel, the rest of
 * which stays 0.  Either array failing to allocate gives -7. */
VMKAL_API int LoadMCadSgl(IqRec *rec);
/* Free-flowing numbers, first half I, second half Q.  The count starts from
 * 0 whatever rec->Len held; an odd count leaves the last Q sample 0. */
VMKAL_API int LoadAscMixNoLF(IqRec *rec);
/* MAT files, v4, v5 (also compressed) and v7.3: the first variable of each
 * file (LoadMLabSgl), or the first two variables of one file (LoadMLabMix;
 * in a v7.3 file "first" is the first name in alphabetical order).  Every
 * element counts, in storage (column-major) order; Len is the smaller count
 * of the two.  Any real numeric class is read; complex, sparse, character,
 * cell, structure and object variables give -9.  The sizes a file claims are
 * checked against the file before anything is allocated, so a truncated or
 * corrupted file (also a compressed element that does not inflate whole)
 * gives -9, never values read from beyond it.  An empty numeric variable is
 * an empty channel.  -1 / -5 for too few variables in the first / second
 * file.  A v7.3 file is an HDF5 file, whose library does not guard itself
 * against damaged files: it is read in a child process (fork) with bounded
 * memory, so such a file gives -9 and cannot harm the caller. */
VMKAL_API int LoadMLabSgl(IqRec *rec);
VMKAL_API int LoadMLabMix(IqRec *rec);
/* Free-form numbers (separators blank, comma, tab; '%' starts a comment;
 * a+jb and a-jb give a and +b or -b).  LoadCsapSgl: Len is the smaller count
 * of the two files.  LoadCsapMix: numbers alternate I, Q; an unpaired last
 * number is ignored. */
VMKAL_API int LoadCsapSgl(IqRec *rec);
VMKAL_API int LoadCsapMix(IqRec *rec);
/* DaDisp: the samples follow the line "DATA"; -9 when the file has none. */
VMKAL_API int LoadDDspSgl(IqRec *rec);
VMKAL_API int LoadDDspMix(IqRec *rec);
/* SigMF recording (format index 24): the metadata file NAME.sigmf-meta (JSON)
 * and the dataset file NAME.sigmf-data beside it.  INam names either of the
 * two, or NAME itself (a name without either ending gets them appended).
 * Every complex core:datatype is read: cf64, cf32, ci32, ci16, ci8, cu32,
 * cu16 and cu8, with _le or _be (the 8-bit types need none); integers are
 * taken as the values they hold, without scaling.  core:sample_rate becomes
 * Rat (a recording without one leaves Rat as the caller set it).  All
 * captures are read and concatenated in order: the dataset from its first
 * sample to its end, skipping each capture's core:header_bytes before its
 * core:sample_start and the global core:trailing_bytes at the end; a partial
 * sample at the end is ignored.  core:offset is the index of the dataset's
 * first sample in the stream the recording was cut from, and the captures'
 * core:sample_start count in that stream: a capture lies at sample_start -
 * offset of the dataset.  core:dataset names the dataset file (a plain file
 * name in the metadata file's folder) in place of NAME.sigmf-data.  The
 * endings may be in capitals (NAME.SIGMF-META); the other file's ending then
 * is too.  Sizes come from the dataset file: the metadata's numbers are
 * checked against it before anything is allocated.  Status: -1 for the
 * metadata file (errno; EFBIG for one over 16 MiB), -2 for the dataset file
 * (errno, ENOENT when it is missing); with either, QNam names the file that
 * could not be opened or read.  -9 for metadata that is not a SigMF object
 * (bad JSON, no global core:datatype, a capture without a sample_start that
 * is a whole number, captures out of order or before core:offset, nesting
 * more than 64 deep), -10 for a real or unknown datatype,
 * core:num_channels above 1 or core:metadata_only, -11 when a capture starts
 * or its header bytes lie beyond the end of the dataset, -12 when INam is an
 * existing file without either ending and NAME.sigmf-meta does not exist
 * (a .sigmf archive, metadata under another name). */
VMKAL_API int LoadSigMF(IqRec *rec);

/* ESG 16-bit word pair (no format index): Len is the word count of the
 * shorter file, so no sample is left unread. */
VMKAL_API int LoadEsg8Sgl(IqRec *rec);

/* Writers: 0 on success, -1 with errno when the file could not be written
 * (see "Saving" above for what happens to the destination). */
VMKAL_API int SaveIBN(IqRec rec);
/* Text writers print each value as "%0.7e" and end lines with "\n"; the
 * two-file ones replace neither file unless both are written. */
VMKAL_API int SaveDAB(IqRec rec);
VMKAL_API int SaveMCadSgl(IqRec rec);
VMKAL_API int SaveMCadMix(IqRec rec);
/* MAT v5 with 1 x Len double variables "I" and "Q" (one per file for
 * SaveMLabSgl, which replaces neither file unless both are written), in the
 * layout libmatio writes: uncompressed, 56 bytes of head per variable.  Len
 * above 536,870,905 does not fit a v5 size field: -1 with errno EFBIG. */
VMKAL_API int SaveMLabSgl(IqRec rec);
VMKAL_API int SaveMLabMix(IqRec rec);
/* DaDisp: INTERVAL is Len / Rat (the record length in seconds), "%0.6E" with
 * a decimal point. */
VMKAL_API int SaveDDspSgl(IqRec rec);
VMKAL_API int SaveDDspMix(IqRec rec);
/* SPW/ADS ASCII writers write "\n" line ends.  SaveADSSgl replaces neither
 * file unless both are written; SaveADSMix writes the ADS header when Typ is
 * 15, else the SPW header. */
VMKAL_API int SaveADSSgl(IqRec rec);
VMKAL_API int SaveADSMix(IqRec rec);
VMKAL_API int SaveSPWBin(IqRec rec);
VMKAL_API int SaveKAL(IqRec rec);
/* SaveWav: 16-bit stereo.  The scale is the larger of 65535.9 / (max - min)
 * of I and of Q; a channel whose values are all equal does not take part
 * (both equal: scale 1).  Values beyond the 16-bit range saturate at -32768
 * and 32767 instead of wrapping.  Len 0 writes a valid file with no samples. */
VMKAL_API int SaveWav(IqRec rec);
/* SaveSigMF: NAME.sigmf-data as cf32_le (I then Q per sample, as KAL) and
 * NAME.sigmf-meta with core:datatype, core:sample_rate (when Rat is
 * positive), core:version "1.0.0", core:recorder "Kalmira v<version>", one
 * capture at sample 0 with core:datetime (the time of the save, UTC, ISO
 * 8601) and core:frequency (when set with IqSetSaveFrequency), and an empty
 * annotation list.  NAME comes from INam as for LoadSigMF.  Both files follow
 * the save policy above and neither is replaced unless both are complete.
 * A recording is two files side by side, so INam without a SigMF ending
 * that names a pipe, a device or a descriptor (/dev/stdout) gives -1 with
 * errno ESPIPE; an existing folder, EISDIR; a name too long for IQ_PATH_LEN
 * once the ending is added, ENAMETOOLONG. */
VMKAL_API int SaveSigMF(IqRec rec);

/* Metadata for the next save.  The centre frequency in Hz of the samples
 * that the next writer called on this thread saves; a writer that stores it
 * (SaveSigMF, as core:frequency) writes it.  Every writer forgets it when it
 * returns, whether it stored it or not, so it never reaches a later save.
 * A value that is not a positive number means "not known". */
VMKAL_API void IqSetSaveFrequency(double hz);

/* Format detection.  Finds the formats a file may be in: from its content
 * where the content tells (WAV, MAT, SPW and ADS, DaDisp, Tessera, LeCroy,
 * SigMF, AWG 2000, DAB), else from the ending of its name where that ending
 * belongs to the candidate formats only.  Where the content names several
 * formats (a MAT file may be single or mixed, an SPW/ADS ASCII header does
 * not always tell which tool wrote it), the name's ending chooses among them
 * when it can.  flags restrict the candidates:
 *   IQ_DETECT_ONE_FILE   formats that keep I and Q in one file (SigMF too)
 *   IQ_DETECT_TWO_FILES  formats with one file per channel (path: the I file)
 *   IQ_DETECT_WRITABLE   formats that have a writer
 *   IQ_DETECT_NAME_ONLY  look at the name only (the file need not exist)
 * The candidates go to found[0..max-1] in index order.  Returns their number
 * (0: nothing fits; 1: the format; more: the file does not tell), or -1 with
 * errno when the file cannot be opened or read.  *how (may be NULL) tells
 * what decided: IQ_FOUND_BY_CONTENT, IQ_FOUND_BY_NAME,
 * IQ_FOUND_BY_CONTENT_AND_NAME (the name chose among what the content left
 * open) or IQ_FOUND_NONE.  An
 * AWG 2000 file is known by its size matching its header's point count
 * exactly, a LeCroy trace by "WAVEDESC" or a descriptor that fits the file. */
#define IQ_DETECT_ONE_FILE 1
#define IQ_DETECT_TWO_FILES 2
#define IQ_DETECT_WRITABLE 4
#define IQ_DETECT_NAME_ONLY 8
enum { IQ_FOUND_NONE = 0, IQ_FOUND_BY_CONTENT = 1, IQ_FOUND_BY_NAME = 2, IQ_FOUND_BY_CONTENT_AND_NAME = 3 };
VMKAL_API int IqDetectFormat(const char *path, int flags, int *found, int max, int *how);

#ifdef __cplusplus
}
#endif

#endif
