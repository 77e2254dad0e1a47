#pragma once
// Reading and replacing the resources of a Windows program file (PE32 and
// PE32+) without Windows: the resource section is written anew, so that a
// program built elsewhere can be given a resource on any system.
#include <cstdint>
#include <string>
#include <vector>

namespace pe {

// A resource type or name: an integer id or a text.
struct ResourceKey {
    bool isId = true;
    uint16_t id = 0;
    std::u16string text;
    bool operator==(const ResourceKey& other) const
    {
        return isId == other.isId && (isId ? id == other.id : text == other.text);
    }
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;
};

constexpr uint16_t kRcData = 10;

// All resources of the image, in the order of its resource directory. An image
// without resources gives an empty list. False (error set) when the file is no
// PE image or its resource directory is damaged.
bool ReadResources(const std::vector<uint8_t>& image, std::vector<Resource>& resources, std::string& error);

// The data of the first resource of that type and integer name, any language.
bool FindResource(const std::vector<uint8_t>& image, uint16_t type, uint16_t name, std::vector<uint8_t>& data,
                  std::string& error);

// Writes into out a copy of image in which the resource of that type and
// integer name (every language of it) is replaced by data in the neutral
// language. The new resource section takes the place of the old one when only
// the relocations follow it (they are moved behind), and is appended
// otherwise. A symbol table behind the sections moves along. The checksum is
// recomputed. Signed images are refused, since the signature would no longer
// match, and so are images with other data behind their sections.
bool SetResource(const std::vector<uint8_t>& image, uint16_t type, uint16_t name, const std::vector<uint8_t>& data,
                 std::vector<uint8_t>& out, std::string& error);

}  // namespace pe
