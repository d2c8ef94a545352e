#pragma once
// A received chip image read the way the programmer reads it: through the family table the station's
// job fills it from, so that what is sent and what is expected cannot drift apart.
#include "jobs/family_table.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kelvor::link::sim {

// Where the parameter block keeps its fields, by block type.
struct BlockFields {
    std::size_t chipCode;
    std::size_t uidBase;
    std::size_t uidStep;
    std::optional<std::size_t> freqIndex; // JobParams39F has none
};
BlockFields blockFields(jobs::BlockType type);

struct ChipImage {
    const jobs::JobFamily* family = nullptr;
    jobs::JobLayout layout;
    std::size_t blockAt = 0; // N + 0x40
    std::uint16_t chipCode = 0;
    std::uint16_t storedCheck = 0;   // the check word at N + 0x80
    std::uint16_t computedCheck = 0; // the family's check form over the first N + 0x80 bytes
    std::uint32_t uidBase = 0;
    std::uint32_t uidStep = 0;
    std::size_t uidAt = 0; // where the chip's own UID is written: the block's uidBase field
    int freqIndex = -1;    // -1: the block has none
    bool checkWordOk() const { return storedCheck == computedCheck; }
};

// The layout `family` gives an image of `length` bytes that came by `variant`; nothing when the
// family never sends that length that way.
std::optional<jobs::JobLayout> layoutFor(const jobs::JobFamily& family, std::size_t length,
                                         jobs::TransferVariant variant);

// Reads the block fields and computes the check word; `image` holds layout.length bytes.
ChipImage readChipImage(const jobs::JobFamily& family, const jobs::JobLayout& layout,
                        std::span<const std::uint8_t> image);

// The chip codes a chip of `model` answers to: those of its family's blocks (a variant model has its
// own outside the long block).
bool acceptsChipCode(const jobs::JobFamily& family, std::string_view model, std::uint16_t code);

// Without a chip to ask (an image stored for stand-alone programming): the families whose length,
// variant and chip code fit the image, in family order.
std::vector<ChipImage> identifyImage(std::span<const std::uint8_t> image, jobs::TransferVariant variant);

// The same from a paged transfer's first 64 bytes (the block region, N + 0x40 … N + 0x7F): the
// families sent paged whose chip code sits in it.
std::vector<const jobs::JobFamily*> identifyPagedHead(std::span<const std::uint8_t> head);

} // namespace kelvor::link::sim
