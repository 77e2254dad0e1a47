#pragma once
// Reading and replacing the resources of a Windows program file (PE32 and
// PE32+) without Windows: the resource section is written anew, so that a
// program built elsewhere can be given a resource on any system.
#include <cstdint>
#include <istream>
#include <ostream>
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
    // Not 0: the data is not held (data stays empty) and has this size.
    // Written into a SplitImage, such a resource leaves a gap for its bytes.
    uint32_t outsideSize = 0;
    uint64_t fileOffset = 0;  // where the data was found in the file read

    uint32_t DataSize() const { return outsideSize != 0 ? outsideSize : static_cast<uint32_t>(data.size()); }
};

constexpr uint16_t kIconImage = 3;  // RT_ICON: one image of an icon
constexpr uint16_t kRcData = 10;
constexpr uint16_t kIconGroup = 14;    // RT_GROUP_ICON: the directory of an icon's images
constexpr uint16_t kVersionInfo = 16;  // RT_VERSION
constexpr uint16_t kManifest = 24;     // RT_MANIFEST

// All resources of the image, in the order of its resource directory. An image
// without resources gives an empty list. False (error set) when the file is no
// PE image or its resource directory is damaged.
bool ReadResources(const std::vector<uint8_t>& image, std::vector<Resource>& resources, std::string& error);

// The data of the first resource of that type and integer name, any language.
bool FindResource(const std::vector<uint8_t>& image, uint16_t type, uint16_t name, std::vector<uint8_t>& data,
                  std::string& error);

// Writes into out a copy of image whose resources are exactly the given ones
// (as a rule those of ReadResources, changed). The new resource section takes the place of the old one when only
// the relocations follow it (they are moved behind), and is appended
// otherwise. A symbol table behind the sections moves along. The checksum is
// recomputed. Signed images are refused, since the signature would no longer
// match, and so are images with other data behind their sections.
bool WriteResources(const std::vector<uint8_t>& image, const std::vector<Resource>& resources,
                    std::vector<uint8_t>& out, std::string& error);

// An image laid out around the gap of its one resource not held: head, then
// gapSize bytes of that resource, then tail. Its checksum (at checksumAt, 0
// in head) is computed when it is written.
struct SplitImage {
    std::vector<uint8_t> head;
    uint32_t gapSize = 0;
    std::vector<uint8_t> tail;
    size_t checksumAt = 0;
};

// WriteResources for a list with at most one resource not held (outsideSize):
// the image is laid out as it would be with the resource's bytes in it. The
// list of the other overload must hold every resource's bytes.
bool WriteResources(const std::vector<uint8_t>& image, const std::vector<Resource>& resources, SplitImage& out,
                    std::string& error);

// Writes the image, the gap's bytes read from gapBytes a chunk at a time,
// and its checksum computed on the way.
bool WriteSplitImage(const SplitImage& image, std::istream& gapBytes, std::ostream& out, std::string& error);

// Where the first resource of that type and integer name lies in a file of
// fileSize bytes of which beginning holds the start: enough for its headers
// and resource directory. False when they do not lie in beginning.
bool LocateResource(const std::vector<uint8_t>& beginning, uint64_t fileSize, uint16_t type, uint16_t name,
                    uint64_t& offset, uint32_t& size, std::string& error);

// Replaces in the list the resource of that type and integer name by one
// of size bytes that is not held (written with a SplitImage).
void HoldOutside(std::vector<Resource>& resources, uint16_t type, uint16_t name, uint32_t size);

// Replaces in the list the resource of that type and integer name (every
// language of it) by data in the neutral language.
void ReplaceResource(std::vector<Resource>& resources, uint16_t type, uint16_t name, const std::vector<uint8_t>& data);

// WriteResources with one resource replaced (ReplaceResource).
bool SetResource(const std::vector<uint8_t>& image, uint16_t type, uint16_t name, const std::vector<uint8_t>& data,
                 std::vector<uint8_t>& out, std::string& error);

}  // namespace pe
