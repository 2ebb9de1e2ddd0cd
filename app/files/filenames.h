// File names of the Load and Save panels.
#pragma once

// Splits a path into directory (drive and directory with the trailing
// separator), base name (the text before the first '.') and lower-case
// extension (the text after it).  Each output holds MAX_PATHNAME_LEN bytes.
void FileNoExt(const char *path, char *dir, char *base, char *ext);

// Whether a path names an existing file (no error is raised).
bool FileExists(const char *path);

// After the first file of format `typ` was chosen: puts its directory into
// `dir`; when the format uses two files and the extension is exactly "i",
// derives "<dir><base>.q" into `qPath` (SPW and ADS single, 11 and 14, keep
// `qPath` as it is) and returns true.
bool SplitIFile(int typ, const char *iPath, char *dir, char *qPath);
