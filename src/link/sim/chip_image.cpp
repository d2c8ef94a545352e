#include "link/sim/chip_image.h"

#include "image/buffers.h"
#include "image/checksums.h"

namespace kelvor::link::sim {
namespace {

using jobs::BlockType;
using jobs::JobFamily;
using jobs::JobLayout;
using jobs::TransferVariant;

// Every code any model of the family sends, in any block.
bool familyCode(const JobFamily& f, std::uint16_t code) {
    return code == f.shortCode || code == f.longCode || (!f.variantModel.empty() && code == f.variantCode);
}

} // namespace

BlockFields blockFields(BlockType type) {
    if (type == BlockType::Params39F) return {0x02, 0x04, 0x08, std::nullopt};
    // The short and long blocks share their head; the charger block starts with the same head.
    return {0x0E, 0x10, 0x14, 0x0A};
}

std::optional<JobLayout> layoutFor(const JobFamily& family, std::size_t length, TransferVariant variant) {
    if (family.kind == jobs::JobKind::Raw) return std::nullopt;
    // EP3901 takes its size from the image: both forms are candidates.
    const int imageLengths[] = {0, 0x4000};
    const int tries = family.length == jobs::LengthRule::ByImageLength ? 2 : 1;
    for (int i = 0; i < tries; ++i) {
        const JobLayout lay = jobs::jobLayout(family, imageLengths[i]);
        if (static_cast<std::size_t>(lay.length) == length && lay.variant == variant) return lay;
    }
    return std::nullopt;
}

ChipImage readChipImage(const JobFamily& family, const JobLayout& layout,
                        std::span<const std::uint8_t> image) {
    ChipImage c;
    c.family = &family;
    c.layout = layout;
    const auto n = static_cast<std::size_t>(layout.programBytes);
    const std::size_t covered = n + jobs::kCheckOffset;
    // A layout from layoutFor always holds its tail; anything shorter reads as a broken check word.
    if (image.size() < covered + 2) {
        c.computedCheck = 0;
        c.storedCheck = 1;
        return c;
    }
    c.blockAt = n + jobs::kBlockOffset;
    const BlockFields f = blockFields(family.block);
    const std::uint8_t* block = image.data() + c.blockAt;
    c.chipCode = image::readLe16(block + f.chipCode);
    c.uidBase = image::readLe32(block + f.uidBase);
    c.uidStep = image::readLe32(block + f.uidStep);
    c.uidAt = c.blockAt + f.uidBase;
    if (f.freqIndex) c.freqIndex = image::readLe16(block + *f.freqIndex);
    c.storedCheck = image::readLe16(image.data() + covered);
    c.computedCheck = family.check == jobs::CheckForm::BlankWords
                          ? image::maskedImageCrc(image.data(), covered, image::CrcForm::BlankWords)
                          : image::imageCrc(image.data(), covered);
    return c;
}

bool acceptsChipCode(const JobFamily& family, std::string_view model, std::uint16_t code) {
    for (bool hw : {false, true})
        if (jobs::chipCode(family, model, jobs::blockKind(family, hw)) == code) return true;
    return false;
}

std::vector<ChipImage> identifyImage(std::span<const std::uint8_t> image, TransferVariant variant) {
    std::vector<ChipImage> out;
    for (const JobFamily& f : jobs::jobFamilies()) {
        const auto lay = layoutFor(f, image.size(), variant);
        if (!lay) continue;
        ChipImage c = readChipImage(f, *lay, image);
        if (familyCode(f, c.chipCode)) out.push_back(c);
    }
    return out;
}

std::vector<const JobFamily*> identifyPagedHead(std::span<const std::uint8_t> head) {
    std::vector<const JobFamily*> out;
    for (const JobFamily& f : jobs::jobFamilies()) {
        const bool paged =
            f.transfer == TransferVariant::Paged || f.length == jobs::LengthRule::ByImageLength;
        const std::size_t at = blockFields(f.block).chipCode;
        if (!paged || f.kind == jobs::JobKind::Raw || head.size() < at + 2) continue;
        if (familyCode(f, image::readLe16(head.data() + at))) out.push_back(&f);
    }
    return out;
}

} // namespace kelvor::link::sim
