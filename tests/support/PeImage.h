// Reads the export and import tables of a PE image from its bytes, as a loader would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PeImage {
    bool valid = false;
    std::string error;
    bool is64 = false;
    std::vector<std::string> exportedNames;
    std::vector<std::string> importedLibraries;
    std::vector<std::string> importedFunctions; // "library!name", or "library!#ordinal"
    bool hasTlsDirectory = false;
};

PeImage ReadPeImage(const std::vector<unsigned char>& bytes);
PeImage ReadPeFile(const std::string& path);
