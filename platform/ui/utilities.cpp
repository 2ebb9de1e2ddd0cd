// Paths, files, strings, the clock, system and monitor attributes.
#include "panelwidget.h"
#include "uistate.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

#include <cctype>
#include <chrono>
#include <cstring>
#include <string>

using namespace kui;

namespace {

int resolutionAdjustment = 0;
QString moduleDir;   // set by tests only
const auto startTime = std::chrono::steady_clock::now();

int PathOut(const QString &s, char *out)
{
    return CopyOut(QDir::toNativeSeparators(s).toStdString(), out, MAX_PATHNAME_LEN) ? 0 : UIEInvalidValue;
}

QString ExecutablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo("/proc/self/exe").canonicalFilePath();
}

}  // namespace

int GetModuleDir(char *dir)
{
    if (!moduleDir.isEmpty())
        return PathOut(moduleDir, dir);
    return PathOut(QFileInfo(ExecutablePath()).absolutePath(), dir);
}

int GetProgramPath(char *path)
{
    return PathOut(ExecutablePath(), path);
}

int SetDir(const char *dir)
{
    if (!dir || !QDir::setCurrent(QString::fromUtf8(dir)))
        return UIEInvalidValue;
    return 0;
}

// Linux has no drive letters: the drive is always empty and the directory
// keeps its trailing separator, so that drive + dir + file gives the path back.
int SplitPath(const char *path, char *drive, char *dir, char *file)
{
    const std::string p = path ? path : "";
    const size_t cut = p.find_last_of('/');
    const std::string d = cut == std::string::npos ? "" : p.substr(0, cut + 1);
    const std::string f = cut == std::string::npos ? p : p.substr(cut + 1);
    if (drive)
        drive[0] = '\0';
    if (dir && !CopyOut(d, dir, MAX_PATHNAME_LEN))
        return UIEInvalidValue;
    if (file && !CopyOut(f, file, MAX_PATHNAME_LEN))
        return UIEInvalidValue;
    return 0;
}

int GetFileAttrs(const char *path, int *readOnly, int *system, int *hidden, int *archive)
{
    const QFileInfo fi(QString::fromUtf8(path ? path : ""));
    if (!path || !*path || !fi.exists())
        return -1;
    if (readOnly)
        *readOnly = !fi.isWritable();
    if (system)
        *system = 0;
    if (hidden)
        *hidden = fi.isHidden();
    if (archive)
        *archive = 0;
    return fi.isDir() ? 1 : 0;
}

int LaunchExecutable(const char *commandLine)
{
    QStringList args = QProcess::splitCommand(QString::fromUtf8(commandLine ? commandLine : ""));
    if (args.isEmpty())
        return UIEInvalidValue;
    const QString program = args.takeFirst();
    return QProcess::startDetached(program, args) ? 0 : -1;
}

int OpenDocument(const char *path)
{
    const QFileInfo fi(QString::fromUtf8(path ? path : ""));
    if (!path || !fi.exists())
        return -1;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(fi.absoluteFilePath())) ? 0 : -1;
}

void StringLowerCase(char *text)
{
    for (; text && *text; ++text)
        *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
}

// Searches buffer[start, start + count) (count < 0: to the end of the text)
// and returns the index of the first (or, from the right, last) match.
int FindPattern(const char *buffer, int start, int count, const char *pattern, int caseSensitive,
                int fromRight)
{
    if (!buffer || !pattern || start < 0)
        return -1;
    const int len = static_cast<int>(std::strlen(buffer));
    if (start > len)
        return -1;
    const int end = count < 0 ? len : std::min(len, start + count);
    const int plen = static_cast<int>(std::strlen(pattern));
    if (plen == 0 || end - start < plen)
        return -1;
    auto same = [caseSensitive](char a, char b) {
        return caseSensitive ? a == b
                             : std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    auto matchAt = [&](int i) {
        for (int k = 0; k < plen; ++k)
            if (!same(buffer[i + k], pattern[k]))
                return false;
        return true;
    };
    if (fromRight) {
        for (int i = end - plen; i >= start; --i)
            if (matchAt(i))
                return i;
    } else {
        for (int i = start; i <= end - plen; ++i)
            if (matchAt(i))
                return i;
    }
    return -1;
}

double Timer()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
}

int CVI_GetFileSize(const char *path, long *size)
{
    const QFileInfo fi(QString::fromUtf8(path ? path : ""));
    if (!path || !fi.exists() || !fi.isFile())
        return -1;
    if (size)
        *size = static_cast<long>(fi.size());
    return 0;
}

int GetSystemAttribute(int attr, int *value)
{
    if (!value)
        return UIEInvalidValue;
    switch (attr) {
    case ATTR_RESOLUTION_ADJUSTMENT: *value = resolutionAdjustment; return 0;
    case ATTR_PRIMARY_MONITOR: *value = 1; return 0;
    default: return UIEInvalidAttribute;
    }
}

int SetSystemAttribute(int attr, int value)
{
    if (attr != ATTR_RESOLUTION_ADJUSTMENT)
        return UIEInvalidAttribute;
    resolutionAdjustment = value;
    return 0;
}

// Monitors are numbered from 1 in the order the desktop lists its screens.
int GetMonitorFromPanel(int panel, int *monitor)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    if (!monitor)
        return UIEInvalidValue;
    const QList<QScreen *> screens = QGuiApplication::screens();
    const int i = static_cast<int>(screens.indexOf(p->w->window()->screen()));
    *monitor = i < 0 ? 1 : i + 1;
    return 0;
}

int GetMonitorAttribute(int monitor, int attr, int *value)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (monitor < 1 || monitor > screens.size())
        return UIEInvalidValue;
    if (!value)
        return UIEInvalidValue;
    const QRect g = screens[monitor - 1]->geometry();
    switch (attr) {
    case ATTR_SYSTEM_MONITOR_WIDTH: *value = g.width(); return 0;
    case ATTR_SYSTEM_MONITOR_HEIGHT: *value = g.height(); return 0;
    default: return UIEInvalidAttribute;
    }
}

int GetUserConfigDir(char *dir)
{
    const QString d = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (d.isEmpty() || !QDir().mkpath(d))
        return -1;
    return PathOut(d, dir);
}

namespace ui_test {

void SetModuleDir(const std::string &dir)
{
    moduleDir = QString::fromStdString(dir);
}

}  // namespace ui_test
