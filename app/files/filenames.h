// File names of the Load and Save panels.
#pragma once

#include <string>

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

// The file dialog of the Load and Save panels, opened in `dir` on `pattern`.
// A chosen path goes into `path`; a cancelled dialog, a failed one or a path
// too long for the buffer leaves `path` as it was.  Returns the dialog's
// result (> 0 when a file was chosen).
int ChooseFile(const char *dir, const char *pattern, int button, char *path);

// The text of a failed load or save: `first` as the first line, then the
// reason with the system's error text when `err` (an errno value) is not 0.
std::string FailureText(const char *first, const char *reason, int err);
