// The configuration file: eight text lines with the window position, the
// instrument, the analyzer settings, the formats, the mode, the port, the LAN
// address, the last directories and the Jasper baseband settings.
#pragma once

#include "files/formats.h"
#include "state/devrec.h"

#include <cstddef>
#include <string>

// Writes the settings (and the main panel's position) into `path`, safely:
// a temporary file beside it is renamed over it once complete.  Returns 0, or
// -1 when the file cannot be written (the previous file stays as it was).
int SaveCfgFile(const char *path, DevRec dev);

// Reads the settings from `path` into the globals and `dev`, pushes them into
// the panels and marks the data not valid.  Fields that cannot be read, or
// whose values no control could show, keep their previous values.  Returns 0,
// or -1 when the file cannot be opened (the panels' values are then copied
// into the globals).
int LoadCfgFile(const char *path, DevRec *dev, const FormatTable &tbl);

// The program's own configuration file: "<program directory>/<name>.cfg" when
// the program directory is writable, else the same name in the user's
// configuration directory.  An installed program (ProgramInstalled) always
// uses the user's configuration directory; "" when it has none.
void CfgPath(char *path);

// Texts are stored as single words: a blank, a '%' or a control character
// becomes %XX, and an empty word of line 3 is "%00".  Files of older versions,
// whose words hold none of these, read the same.
std::string CfgEncode(const char *text, bool emptyAsToken);
void CfgDecode(const std::string &word, char *out, size_t size);
