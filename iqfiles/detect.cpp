// Format detection (IqDetectFormat): what the first bytes of a file say
// about its format, and which formats use the ending of its name.  The
// content decides where it can; the name chooses among what the content
// leaves open (a MAT file may be single or mixed, a single SPW/ADS ASCII
// file reads the same from either tool) and is all there is for the formats
// without a header (plain numbers, KAL, 16-bit words).
#include "samples.h"

#include <sys/stat.h>

#include <bit>
#include <cctype>
#include <initializer_list>
#include <string>

using namespace iqs;

namespace {

// Bit k stands for format index k.
using Set = unsigned;
static_assert(IQ_NFMT <= 32, "a Set holds one bit per format");

Set Of(std::initializer_list<int> formats)
{
    Set s = 0;
    for (int k : formats)
        s |= 1u << k;
    return s;
}

constexpr size_t kHead = 4096;

bool StartsWith(const std::string &s, const char *prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// Whether a line of the text begins with prefix.
bool HasLine(const std::string &text, const char *prefix)
{
    for (size_t at = 0; at < text.size();) {
        if (text.compare(at, std::strlen(prefix), prefix) == 0)
            return true;
        size_t lf = text.find('\n', at);
        if (lf == std::string::npos)
            break;
        at = lf + 1;
    }
    return false;
}

// SPW and ADS signal files share "$SIGNAL_FILE"; the binary one has its
// marker, a mixed ADS file names its tool, and the rest is left to the name.
Set SpwFamily(const std::string &head)
{
    if (HasLine(head, "$DATA BINARY"))
        return Of({13});
    if (HasLine(head, "ADS Version"))
        return Of({14, 15});
    return Of({11, 12, 14, 15});
}

Set ByContent(InFile &f, const std::string &head)
{
    auto bytes = reinterpret_cast<const unsigned char *>(head.data());
    if (head.size() >= 12 && StartsWith(head, "RIFF") && head.compare(8, 4, "WAVE") == 0)
        return Of({16});
    if (SigMFHead(bytes, head.size(), f.size))
        return Of({24});
    if (StartsWith(head, "$SIGNAL_FILE"))
        return SpwFamily(head);
    if (StartsWith(head, "DATASET"))
        return Of({7, 8});
    if (StartsWith(head, "length_of_symbol:"))
        return Of({19});
    if (IbnHead(bytes, head.size(), f.size))
        return Of({0});
    if (LeCroyHead(bytes, head.size(), f.size))
        return Of({17});
    if (AwgHead(bytes, head.size(), f.size))
        return Of({21});
    if (LooksLikeMat(f.fp, f.size))
        return Of({3, 4});
    return 0;
}

// The lower-case last component of a path.
std::string FileName(const char *path)
{
    std::string name = path;
    if (size_t slash = name.rfind('/'); slash != std::string::npos)
        name.erase(0, slash + 1);
    for (char &c : name)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// The formats whose first-file patterns ("*.ext", several split by ';')
// match the end of the name.
Set ByName(const char *path)
{
    const std::string name = FileName(path);
    Set s = 0;
    for (int k = 0; k < IQ_NFMT; ++k) {
        std::string pats = IqFormatAt(k)->pat1;
        for (size_t from = 0; from <= pats.size();) {
            size_t end = std::min(pats.find(';', from), pats.size());
            std::string ending = pats.substr(from, end - from);
            if (ending.rfind("*.", 0) == 0 && name.size() > ending.size() - 1 &&
                name.compare(name.size() - (ending.size() - 1), ending.size() - 1, ending, 1) == 0)
                s |= 1u << k;
            from = end + 1;
        }
    }
    return s;
}

// A SigMF archive (NAME.sigmf, a tar of the recording's files) is not read,
// but it is a recording: its reader, not a guess, says what to do with it.
// A name to write is never taken for one.
Set SigMFArchive(const char *path, int flags)
{
    const std::string name = FileName(path);
    const bool archive = name.size() > 6 && name.compare(name.size() - 6, 6, ".sigmf") == 0;
    return archive && !(flags & IQ_DETECT_WRITABLE) ? Of({24}) : 0;
}

Set Allowed(int flags)
{
    Set s = 0;
    int files = (flags & IQ_DETECT_ONE_FILE) && !(flags & IQ_DETECT_TWO_FILES)   ? 1
                : (flags & IQ_DETECT_TWO_FILES) && !(flags & IQ_DETECT_ONE_FILE) ? 2
                                                                                 : 0;
    for (int k = 0; k < IQ_NFMT; ++k) {
        const IqFormat *f = IqFormatAt(k);
        if ((files == 0 || f->files == files) && (!(flags & IQ_DETECT_WRITABLE) || f->save))
            s |= 1u << k;
    }
    return s;
}

// What the file's content says, or -1 with errno when it cannot be read.  A
// pipe or device is not opened: opening a pipe waits for its writer, and
// what it delivers would be lost to the caller.
int ContentOf(const char *path, Set &content)
{
    struct stat st;
    content = 0;
    if (::stat(path, &st) != 0)
        return -1;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return -1;
    }
    if (!S_ISREG(st.st_mode))
        return 0;
    InFile f(path);
    if (!f.fp)
        return -1;
    if (SigMFDataset(path)) {
        content = Of({24});
        return 0;
    }
    std::string head(kHead, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), f.fp));
    if (f.failed()) {
        errno = EIO;
        return -1;
    }
    std::rewind(f.fp);
    content = ByContent(f, head);
    return 0;
}

} // namespace

int IqDetectFormat(const char *path, int flags, int *found, int max, int *how)
{
    if (how)
        *how = IQ_FOUND_NONE;
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    const Set allowed = Allowed(flags), name = (ByName(path) | SigMFArchive(path, flags)) & allowed;
    Set content = 0;
    if (!(flags & IQ_DETECT_NAME_ONLY) && ContentOf(path, content) != 0)
        return -1;
    content &= allowed;
    Set result = content ? content : name;
    if (std::popcount(content) > 1 && (content & name))
        result = content & name;
    if (how && result)
        *how = !content ? IQ_FOUND_BY_NAME : result != content ? IQ_FOUND_BY_CONTENT_AND_NAME : IQ_FOUND_BY_CONTENT;
    int n = 0;
    for (int k = 0; k < IQ_NFMT; ++k)
        if (result & (1u << k)) {
            if (found && n < max)
                found[n] = k;
            ++n;
        }
    return n;
}
