#pragma once
// Programming job preparation: from the current image and the pages' values to the exact bytes the
// programmer receives. Pure over its inputs apart from the image state it refills, the settings it
// writes and the reporter it talks through; the station applies the result (transfer threads,
// buttons, g_freqIndex, progress).
#include "base/reporter.h"
#include "base/settings.h"
#include "chips/catalog.h"
#include "image/image_check.h"
#include "jobs/family_table.h"
#include "jobs/job_inputs.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvor::jobs {

struct JobContext {
    const chips::ModelRow* model = nullptr; // the selected model
    std::string imagePath;
    int programMode = 0;        // 0: "烧录"; offline pages: 1, or 1-6 for the EP8505 models
    bool linkOpen = false;      // side transfers are only prepared on an open link
    bool hwVersionSeen = false; // the programmer reported its hardware version: long block
};

enum JobCode : int {
    kJobPrepared = 0,
    kJobImageCheckFailed = -1,
    kJobVoltageRejected = -2,
    kJobPdoRejected = -3,
    kJobPagedLengthRefused = -4, // paged program part not in whole 8192-byte pages
    kJobRawLengthRefused = -5,   // raw image longer than transferImage or negative
    kJobNoModel = -6,
    kJobSideDataRefused = -7, // EEPROM or factory data asked for but not sendable: nothing is sent
};

// One transfer to run. Each owns its bytes, so no transfer shares a buffer with another one or
// with a later job.
struct TransferRequest {
    TransferVariant variant = TransferVariant::Plain;
    int modeValue = 0; // chip: programMode; user data: the start address; EEPROM: 0
    std::vector<std::uint8_t> bytes;
    int length() const { return static_cast<int>(bytes.size()); }
};

struct JobResult {
    int code = kJobNoModel;
    chips::Family family = chips::Family::EP2702;
    BlockKind block = BlockKind::None;
    TransferVariant variant = TransferVariant::Plain;
    int length = 0; // chip transfer length; 0 until the layout is known
    std::optional<std::uint16_t> checkWord;
    std::optional<std::uint16_t> cksum;
    std::string cksumText;        // "CKSUM: 0x%04x" for the checksum label; empty when not reached
    std::optional<int> freqIndex; // g_freqIndex, once the voltage check has passed
    // Set by every job that got past its model lookup: g_progressByReport := 1 and the progress
    // bar to 0, before the image check.
    bool progressByReport = false;
    // The chip transfer was prepared: disable "烧录器连接" and "烧录" until it ends.
    bool disableButtons = false;
    // In order, to run one after another: EEPROM data, factory (user) data, then the chip image.
    // Side transfers are prepared before the image check and are listed whatever the code; the
    // chip transfer only when the code is kJobPrepared.
    std::vector<TransferRequest> transfers;

    const TransferRequest* chipTransfer() const;
};

inline constexpr std::string_view kJobSeparator = kLogSeparator;
inline constexpr std::string_view kVoltageWarning = "请在校准信息栏上输入烧录器实测4.5V电压实测值！";
inline constexpr std::string_view kLinkClosed = "请使能烧录器连接!";
inline constexpr int kUserDataMaxBytes = 256;
// An empty side file would start a transfer that carries nothing; it is refused before any sending.
inline constexpr std::string_view kEmptyEepromFile = "EEPROM文件长度为0字节,不发送!";
inline constexpr std::string_view kEmptyFactoryFile = "出厂信息文件长度为0字节,不发送!";
inline constexpr std::string_view kSideDataRefused = "EEPROM或出厂信息数据不能发送,本次不烧录!";

JobResult startProgrammingJob(const JobInputs& inputs, const JobContext& context, image::ImageState& state,
                              Settings& settings, Reporter& reporter);

// Whether the voltage check applies: every job checks, except a 14-bit family using the long block
// with the auto-voltage box checked.
bool voltageCheckApplies(const JobFamily& family, BlockKind block, bool autoVoltage);

} // namespace kelvor::jobs
