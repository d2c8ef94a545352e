#include "jobs/job.h"

#include "base/strfmt.h"
#include "image/buffers.h"
#include "image/checksums.h"
#include "jobs/charger.h"
#include "jobs/params.h"

#include <algorithm>

namespace kelvor::jobs {
namespace {

using image::ImageBuffers;
using image::readLe16;
using image::writeLe16;

constexpr std::string_view kWarningCaption = "警告!";

struct RunValues {
    std::uint32_t uidBase = 0;
    std::uint32_t uidStep = 0;
    std::uint16_t millivolts = 0;
    int freqIndex = 0;
};

std::uint16_t low16(int v) {
    return static_cast<std::uint16_t>(static_cast<unsigned>(v) & 0xFFFF);
}

std::vector<std::uint8_t> copyOf(const std::uint8_t* p, int count) {
    return std::vector<std::uint8_t>(p, p + std::max(count, 0));
}

// Copies whole 16-bit words; the 14-bit families keep only the low 14 bits of each.
void copyWords(std::uint8_t* dst, const std::uint8_t* src, int bytes, bool mask14) {
    for (int i = 0; i + 1 < bytes; i += 2) {
        std::uint16_t w = readLe16(src + i);
        if (mask14) w &= 0x3FFF;
        writeLe16(dst + i, w);
    }
}

// EEPROM and factory data go ahead of the chip image. Each file is loaded into programArea (the
// image check refills it afterwards) and captured at once into its own request.
// False when side data the operator asked for cannot be sent (no file, unreadable, empty, too long):
// the chip must then not be burnt without it.
bool prepareSideTransfers(const JobFamily& family, const JobInputs& in, const JobContext& ctx,
                          ImageBuffers& buffers, Reporter& reporter, JobResult& r) {
    bool usable = true;
    if (family.eepromSide && in.eepromProgramming) {
        if (!image::loadRawImage(in.eepromPath, buffers, reporter, image::RawCaller::Eeprom)) {
            usable = false;
        } else if (buffers.rawLength == 0) {
            reporter.eventLog(kEmptyEepromFile);
            usable = false;
        } else if (ctx.linkOpen) {
            TransferRequest t;
            t.variant = TransferVariant::Eeprom;
            t.bytes =
                copyOf(buffers.programArea(), std::min<int>(buffers.rawLength, image::kProgramAreaSize));
            r.transfers.push_back(std::move(t));
        } else {
            reporter.eventLog(kLinkClosed);
        }
    }
    if (family.factorySide && in.factoryData && !in.factoryListText.empty()) {
        if (!image::loadRawImage(in.factoryPath, buffers, reporter)) {
            usable = false;
        } else if (buffers.rawLength == 0) {
            reporter.eventLog(kEmptyFactoryFile);
            usable = false;
        } else if (buffers.rawLength > kUserDataMaxBytes) {
            // The user-data transfer carries one 256-byte block; a longer file would overrun it.
            reporter.eventLog(strfmt("出厂信息文件长度%d字节,超过256字节,不发送!", buffers.rawLength));
            usable = false;
        } else if (ctx.linkOpen) {
            TransferRequest t;
            t.variant = TransferVariant::UserData;
            t.modeValue = hexTextValue(in.startAddressText);
            t.bytes = copyOf(buffers.programArea(), buffers.rawLength);
            r.transfers.push_back(std::move(t));
        } else {
            reporter.eventLog(kLinkClosed);
        }
    }
    return usable;
}

// UID, voltage and frequency: stored as typed, then checked. UIDD, UIDS and VOL are written before
// the voltage check, FREQ only after it passed.
std::optional<RunValues> storeRunValues(const JobInputs& in, bool checkVoltage, Settings& settings,
                                        Reporter& reporter, JobResult& r) {
    RunValues v;
    settings.writeText("KELVOR", "UIDD", in.batchText);
    v.uidBase = uidTextValue(in.batchText);
    settings.writeText("KELVOR", "UIDS", in.incrementText);
    v.uidStep = uidTextValue(in.incrementText);
    settings.writeText("KELVOR", "VOL", in.voltageText);
    const SupplyVoltage volt = supplyVoltage(in.voltageText);
    v.millivolts = volt.wire;
    if (checkVoltage && !supplyVoltageInRange(volt)) {
        reporter.messageBox(kWarningCaption, kVoltageWarning, BoxButtons::YesNo, BoxIcon::Question);
        reporter.windowLog(kVoltageWarning);
        r.code = kJobVoltageRejected;
        return std::nullopt;
    }
    v.freqIndex = in.frequencyIndex;
    r.freqIndex = in.frequencyIndex;
    settings.writeText("KELVOR", "FREQ", strfmt("%d", in.frequencyIndex));
    return v;
}

std::vector<std::uint8_t> buildBlock(const JobFamily& family, BlockKind kind, const chips::ModelRow& model,
                                     const JobInputs& in, std::string_view imagePath,
                                     const image::ImageState& state, const RunValues& v) {
    BlockHead head;
    head.freqIndex = low16(v.freqIndex);
    head.chipCode = chipCode(family, model.model, kind);
    head.uidBase = v.uidBase;
    head.uidStep = v.uidStep;
    head.supplyMillivolts = v.millivolts;
    switch (kind) {
    case BlockKind::Short: {
        JobParams p;
        p.head = head;
        p.fastClockCal = family.fastClockCal && in.fastClock ? 1 : 0;
        const auto b = serialize(p);
        return {b.begin(), b.end()};
    }
    case BlockKind::Long: {
        JobParamsLong p;
        p.head = head;
        if (family.kind == JobKind::Bits14) {
            p.calibrationSelect = calibrationSelect(in.calSlosc, in.calEeprom, in.calOp);
            p.firmwareSelect = firmwareSelect(in.firmwareIndex);
            p.autoVoltage = in.autoVoltage ? 1 : 0;
            p.eepromInitMillivolts = decimalTextValue16(in.eepromVoltageText);
        }
        // The built-in families send only the head; the 39F families add the clock.
        if (family.kind == JobKind::Bits14 || family.kind == JobKind::F39)
            p.clockIndex = low16(in.clockIndex);
        if (family.kind == JobKind::Bits14) p.imageName = imageName(imagePath);
        const auto b = serialize(p);
        return {b.begin(), b.end()};
    }
    case BlockKind::F39: {
        JobParams39F p;
        p.chipCode = head.chipCode;
        p.uidBase = head.uidBase;
        p.uidStep = head.uidStep;
        p.supplyMillivolts = head.supplyMillivolts;
        p.clockIndex = low16(in.clockIndex);
        p.clockOutPin = clockOutPin(in.clockPinText);
        p.select32M = family.select32M && in.select32M ? 1 : 0;
        p.imageLength = low16(state.imageLength);
        p.eraseMode = eraseMode(in.eraseFull, in.eraseSectors, in.eraseNone);
        p.select32MAlt = family.select32MAlt && in.select32M ? 1 : 0;
        const auto b = serialize(p);
        return {b.begin(), b.end()};
    }
    case BlockKind::Charger: {
        auto b = buildChargerBlock(family.family, in.charger);
        writeHead(b, head);
        return {b.begin(), b.end()};
    }
    case BlockKind::None:
        break;
    }
    return {};
}

std::uint16_t checkValue(image::CrcForm form, const std::uint8_t* data, int count, int skipStart) {
    return image::maskedImageCrc(data, static_cast<std::size_t>(count), form,
                                 static_cast<std::size_t>(skipStart));
}

void prepareRaw(const JobFamily& family, const JobLayout& layout, const JobInputs& in, const JobContext& ctx,
                image::ImageState& state, Settings& settings, Reporter& reporter, JobResult& r) {
    const int count = layout.length;
    if (count < 0 || count > static_cast<int>(image::kTransferImageSize)) {
        reporter.eventLog(strfmt("程序长度%d字节,超出范围,不发送!", count));
        r.code = kJobRawLengthRefused;
        return;
    }
    auto& ti = state.buffers.transferImage;
    std::copy_n(state.buffers.programArea(), count, ti.begin());
    // The UID and voltage are stored and checked, but the raw image carries no block.
    if (!storeRunValues(in, voltageCheckApplies(family, BlockKind::None, in.autoVoltage), settings, reporter,
                        r))
        return;
    r.cksum = image::imageCrc(ti.data(), static_cast<std::size_t>(count));
    r.cksumText = strfmt("CKSUM: 0x%04x", *r.cksum);
    TransferRequest t;
    t.variant = TransferVariant::OfflineBlock;
    t.modeValue = ctx.programMode;
    t.bytes = copyOf(ti.data(), count);
    r.transfers.push_back(std::move(t));
    r.disableButtons = true;
    r.code = kJobPrepared;
}

void prepareChipImage(const JobFamily& family, const JobLayout& layout, const JobInputs& in,
                      const JobContext& ctx, image::ImageState& state, Settings& settings, Reporter& reporter,
                      JobResult& r) {
    if (layout.variant == TransferVariant::Paged) {
        if (auto refusal = pagedLengthError(layout.length)) {
            reporter.eventLog(*refusal);
            r.code = kJobPagedLengthRefused;
            return;
        }
    }
    const int n = layout.programBytes;
    const bool mask14 = family.kind == JobKind::BuiltIn || family.kind == JobKind::Bits14;
    ImageBuffers& buf = state.buffers;
    std::uint8_t* ti = buf.transferImage.data();

    copyWords(ti, buf.programArea(), layout.copyBytes, mask14);
    switch (family.config) {
    case ConfigSource::ProgramArea4000:
        copyWords(ti + n, buf.programArea() + 0x4000, 128, mask14);
        break;
    case ConfigSource::ConfigBlock:
        copyWords(ti + n, buf.configBlock(), 128, mask14);
        break;
    case ConfigSource::ProgramArea1000: // EP39F08: its words at 0x1000 are part of the program copy
    case ConfigSource::None:
        break;
    }

    const auto values =
        storeRunValues(in, voltageCheckApplies(family, r.block, in.autoVoltage), settings, reporter, r);
    if (!values) return;

    const auto block = buildBlock(family, r.block, *ctx.model, in, ctx.imagePath, state, *values);
    std::copy(block.begin(), block.end(), ti + n + kBlockOffset);

    if (family.customPdo && !placeCustomPdo(in.charger, buf, reporter)) {
        r.code = kJobPdoRejected;
        return;
    }

    const int covered = n + kCheckOffset;
    const auto checkForm =
        family.check == CheckForm::BlankWords ? image::CrcForm::BlankWords : image::CrcForm::Plain;
    const std::uint16_t check = checkValue(checkForm, ti, covered, 0);
    writeLe16(ti + covered, check);
    r.checkWord = check;
    r.cksum = checkValue(family.cksum, ti, covered, n + kSkipOffset);
    r.cksumText = strfmt("CKSUM: 0x%04x", *r.cksum);

    TransferRequest t;
    t.variant = layout.variant;
    t.modeValue = ctx.programMode;
    t.bytes = copyOf(ti, layout.length);
    r.transfers.push_back(std::move(t));
    r.disableButtons = true;
    r.code = kJobPrepared;
}

} // namespace

const TransferRequest* JobResult::chipTransfer() const {
    for (const auto& t : transfers)
        if (t.variant == TransferVariant::Plain || t.variant == TransferVariant::Paged ||
            t.variant == TransferVariant::OfflineBlock)
            return &t;
    return nullptr;
}

bool voltageCheckApplies(const JobFamily& family, BlockKind block, bool autoVoltage) {
    return !(family.kind == JobKind::Bits14 && block == BlockKind::Long && autoVoltage);
}

JobResult startProgrammingJob(const JobInputs& inputs, const JobContext& ctx, image::ImageState& state,
                              Settings& settings, Reporter& reporter) {
    JobResult r;
    if (ctx.model == nullptr) return r;
    const JobFamily& family = jobFamily(ctx.model->family);
    r.family = family.family;
    r.block = blockKind(family, ctx.hwVersionSeen);
    r.variant = family.transfer;

    storeConfigList(inputs.charger, settings);
    if (!prepareSideTransfers(family, inputs, ctx, state.buffers, reporter, r)) {
        reporter.eventLog(kSideDataRefused);
        r.transfers.clear();
        r.code = kJobSideDataRefused;
        return r;
    }
    r.progressByReport = true;
    reporter.windowLog(kJobSeparator);

    if (image::checkImage(*ctx.model, ctx.imagePath, state, reporter) != 0) {
        r.code = kJobImageCheckFailed;
        return r;
    }
    const JobLayout layout = jobLayout(family, state.imageLength);
    r.variant = layout.variant;
    r.length = layout.length;
    if (family.kind == JobKind::Raw)
        prepareRaw(family, layout, inputs, ctx, state, settings, reporter, r);
    else
        prepareChipImage(family, layout, inputs, ctx, state, settings, reporter, r);
    return r;
}

} // namespace kelvor::jobs
