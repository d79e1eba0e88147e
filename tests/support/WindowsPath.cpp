#include "WindowsPath.h"

#include <algorithm>

std::string WindowsPathOf(const std::string& path)
{
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}
