#include "PeImage.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawOffset;
    std::uint32_t rawSize;
};

class Reader {
public:
    explicit Reader(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}

    bool Has(std::size_t offset, std::size_t size) const { return offset <= bytes_.size() && size <= bytes_.size() - offset; }

    std::uint32_t U32(std::size_t offset) const { return Has(offset, 4) ? Le(offset, 4) : 0; }
    std::uint16_t U16(std::size_t offset) const { return static_cast<std::uint16_t>(Has(offset, 2) ? Le(offset, 2) : 0); }

    std::string Text(std::size_t offset) const
    {
        std::string text;
        while (offset < bytes_.size() && bytes_[offset] != 0 && text.size() < 4096) {
            text += static_cast<char>(bytes_[offset++]);
        }
        return text;
    }

private:
    std::uint32_t Le(std::size_t offset, int width) const
    {
        std::uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i) {
            value = value << 8 | bytes_[offset + static_cast<std::size_t>(i)];
        }
        return value;
    }
    const std::vector<unsigned char>& bytes_;
};

bool ToOffset(const std::vector<Section>& sections, std::uint32_t rva, std::size_t& offset)
{
    for (const Section& s : sections) {
        const std::uint32_t span = s.virtualSize ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span && rva - s.virtualAddress < s.rawSize) {
            offset = s.rawOffset + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

} // namespace

PeImage ReadPeImage(const std::vector<unsigned char>& bytes)
{
    PeImage image;
    const Reader in(bytes);
    if (in.U16(0) != 0x5A4D) {
        image.error = "no MZ header";
        return image;
    }
    const std::size_t nt = in.U32(0x3C);
    if (in.U32(nt) != 0x00004550) {
        image.error = "no PE signature";
        return image;
    }
    const std::size_t fileHeader = nt + 4;
    const unsigned sectionCount = in.U16(fileHeader + 2);
    const std::size_t optional = fileHeader + 20;
    const std::size_t optionalSize = in.U16(fileHeader + 16);
    const std::uint16_t magic = in.U16(optional);
    if (magic != 0x10B && magic != 0x20B) {
        image.error = "unknown optional header magic";
        return image;
    }
    image.is64 = magic == 0x20B;
    const std::size_t directories = optional + (image.is64 ? 112 : 96);

    std::vector<Section> sections;
    const std::size_t table = optional + optionalSize;
    for (unsigned i = 0; i < sectionCount; ++i) {
        const std::size_t at = table + i * 40u;
        sections.push_back({in.U32(at + 12), in.U32(at + 8), in.U32(at + 20), in.U32(at + 16)});
    }

    std::size_t exports = 0;
    if (in.U32(directories + 4) != 0 && ToOffset(sections, in.U32(directories), exports)) {
        const std::uint32_t nameCount = in.U32(exports + 24);
        std::size_t names = 0;
        if (nameCount > 0 && !ToOffset(sections, in.U32(exports + 32), names)) {
            image.error = "export name table outside every section";
            return image;
        }
        for (std::uint32_t i = 0; i < nameCount && i < 65536; ++i) {
            std::size_t name = 0;
            if (ToOffset(sections, in.U32(names + 4u * i), name)) {
                image.exportedNames.push_back(in.Text(name));
            }
        }
    }

    std::size_t imports = 0;
    if (in.U32(directories + 12) != 0 && ToOffset(sections, in.U32(directories + 8), imports)) {
        for (std::size_t at = imports; in.Has(at, 20) && in.U32(at + 12) != 0; at += 20) {
            std::size_t name = 0;
            if (!ToOffset(sections, in.U32(at + 12), name)) {
                continue;
            }
            const std::string library = in.Text(name);
            image.importedLibraries.push_back(library);
            // The lookup table, or the address table where a linker left no lookup table.
            std::size_t thunks = 0;
            if (!ToOffset(sections, in.U32(at) ? in.U32(at) : in.U32(at + 16), thunks)) {
                continue;
            }
            const std::size_t width = image.is64 ? 8 : 4;
            for (std::size_t thunk = thunks; in.Has(thunk, width); thunk += width) {
                const std::uint32_t low = in.U32(thunk);
                const bool byOrdinal = image.is64 ? (in.U32(thunk + 4) & 0x80000000u) != 0 : (low & 0x80000000u) != 0;
                if (low == 0 && (!image.is64 || in.U32(thunk + 4) == 0)) {
                    break;
                }
                std::size_t hint = 0;
                if (byOrdinal) {
                    image.importedFunctions.push_back(library + "!#" + std::to_string(low & 0xFFFFu));
                } else if (ToOffset(sections, low, hint)) {
                    image.importedFunctions.push_back(library + "!" + in.Text(hint + 2));
                }
            }
        }
    }
    image.hasTlsDirectory = in.U32(directories + 9 * 8) != 0 || in.U32(directories + 9 * 8 + 4) != 0;
    image.valid = true;
    return image;
}

PeImage ReadPeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        PeImage image;
        image.error = "cannot read " + path;
        return image;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return ReadPeImage(bytes);
}
