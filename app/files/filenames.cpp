#include "files/filenames.h"

#include "files/formats.h"
#include "userint.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

void FileNoExt(const char *path, char *dir, char *base, char *ext)
{
    char drive[MAX_PATHNAME_LEN] = "", folder[MAX_PATHNAME_LEN] = "", name[MAX_PATHNAME_LEN] = "";
    SplitPath(path, drive, folder, name);
    std::snprintf(dir, MAX_PATHNAME_LEN, "%s%s", drive, folder);
    const char *dot = std::strchr(name, '.');
    if (!dot) {
        std::snprintf(base, MAX_PATHNAME_LEN, "%s", name);
        ext[0] = '\0';
        return;
    }
    std::snprintf(base, MAX_PATHNAME_LEN, "%.*s", static_cast<int>(dot - name), name);
    std::snprintf(ext, MAX_PATHNAME_LEN, "%s", dot + 1);
    StringLowerCase(ext);
}

bool FileExists(const char *path)
{
    int ro, sys, hid, arc;
    return path[0] != '\0' && GetFileAttrs(path, &ro, &sys, &hid, &arc) == 0;
}

bool SplitIFile(int typ, const char *iPath, char *dir, char *qPath)
{
    char base[MAX_PATHNAME_LEN], ext[MAX_PATHNAME_LEN];
    FileNoExt(iPath, dir, base, ext);
    if (t[typ].Files != 2 || std::strcmp(ext, "i") != 0)
        return false;
    if (typ != 11 && typ != 14) {
        // A derived name that does not fit names no file.
        std::string q = std::string(dir) + base + ".q";
        if (q.size() >= static_cast<size_t>(MAX_PATHNAME_LEN))
            q.clear();
        std::memcpy(qPath, q.c_str(), q.size() + 1);
    }
    return true;
}

int ChooseFile(const char *dir, const char *pattern, int button, char *path)
{
    // The dialog empties its buffer before it opens: the current name must
    // survive a change of mind.
    char chosen[MAX_PATHNAME_LEN] = "";
    const int result = FileSelectPopup(dir, pattern, pattern, "Select File", button, 0, 0, 1, 1, chosen);
    if (result > 0)
        std::memcpy(path, chosen, sizeof chosen);
    return result;
}

std::string FailureText(const char *first, const char *reason, int err)
{
    std::string line = reason;
    if (!line.empty())
        line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
    if (err != 0)
        line += std::string(": ") + std::strerror(err);
    return std::string(first) + "\n" + line + ".";
}
