// Paths given on a Unix command line, as the Windows programs under Wine see them.
#pragma once

#include <string>

// "/tmp/x.pdf" becomes "Z:\tmp\x.pdf", Wine's drive for the Unix root; any other path is
// taken to be a Windows path already and is returned as it is.
std::string WindowsPathOf(const std::string& path);
