#pragma once
// What a programming job does differently for each chip family: one row per family. The job
// procedure and the simulated programmer both read this table, so that what is sent and what is
// expected on arrival cannot drift apart.
#include "chips/catalog.h"
#include "image/checksums.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::jobs {

// Procedure kinds. BuiltIn and Bits14 mask program and configuration words to their low 14 bits.
enum class JobKind : std::uint8_t { BuiltIn, Bits14, Bits16, F39, Charger, Raw };

// Where the 64 configuration words come from.
enum class ConfigSource : std::uint8_t {
    None,
    ProgramArea4000, // the 14-bit layouts keep their block at programArea 0x4000
    ProgramArea1000, // EP39F08: already part of the 8192-byte program copy
    ConfigBlock,
};

// Which parameter block the family uses.
enum class BlockType : std::uint8_t {
    None,
    ShortOrLong, // long when the programmer has reported its hardware version on this link
    Short,
    Long, // always the long block (head and clockIndex only)
    Params39F,
    Charger,
};

// The block a job actually used.
enum class BlockKind : std::uint8_t { None, Short, Long, F39, Charger };

enum class CheckForm : std::uint8_t { None, Plain, BlankWords };

enum class TransferVariant : std::uint8_t { Plain, Paged, OfflineBlock, Eeprom, UserData };

enum class LengthRule : std::uint8_t {
    Fixed,
    ByImageLength, // EP3901: 32 KB (paged) when the image is 0x4000 long, else the 16 KB form
    RawImage,      // EP8505: the image length rounded down to even
};

// How long a burn may go without a report (or after its transfer) before the station stops
// waiting for its verdict: the longest stage of any family's burn takes well under a second.
inline constexpr int kVerdictMs = 10000;

struct JobFamily {
    chips::Family family;
    JobKind kind;
    int programBytes; // N; for ByImageLength the 16 KB form
    int copyBytes;    // program bytes copied from programArea (EP39F08 copies more than N)
    ConfigSource config;
    BlockType block;
    CheckForm check;
    image::CrcForm cksum;
    TransferVariant transfer;
    LengthRule length;
    bool fastClockCal;             // the "13.56" families write fastClockCal in the short block
    bool eepromSide;               // may send EEPROM data ahead of the chip image
    bool factorySide;              // may send factory data ahead of the chip image
    bool customPdo;                // places the custom PDO table at 0x3FE0
    bool select32M;                // JobParams39F byte 0x2F
    bool select32MAlt;             // JobParams39F byte 0x33
    std::uint16_t shortCode;       // chip code in every block but the long one
    std::uint16_t longCode;        // chip code in the long block
    std::string_view variantModel; // a model of the family whose chip code differs outside the long block
    std::uint16_t variantCode;
    int verdictMs = kVerdictMs; // a family whose burn has a longer silent stage sets its own bound
};

// Every family has exactly one row.
const JobFamily& jobFamily(chips::Family f);
std::span<const JobFamily> jobFamilies();

inline constexpr int kTailBytes = 130;    // 128 bytes of configuration words and block, then the check word
inline constexpr int kBlockOffset = 0x40; // from N
inline constexpr int kCheckOffset = 0x80; // from N
inline constexpr int kSkipOffset = 0x50;  // from N: the skip start s of the CKSUM forms
inline constexpr int kPageBytes = 8192;   // page of the paged transfer
inline constexpr int kPdoOffset = 0x3FE0; // custom PDO table in the program part
inline constexpr int kPdoMaxBytes = 32;

// Sizes of the parameter blocks on the wire.
inline constexpr int kShortBlockBytes = 32;
inline constexpr int kLongBlockBytes = 64;
inline constexpr int k39FBlockBytes = 52;
inline constexpr int kChargerBlockBytes = 44;

// The layout of one job's image: N, what is copied, where the check word lies, what is sent.
struct JobLayout {
    int programBytes = 0; // N (raw: L)
    int copyBytes = 0;
    int length = 0; // bytes sent
    TransferVariant variant = TransferVariant::Plain;
    bool hasCheckWord = false; // at N + 0x80, over the first N + 0x80 bytes
};

// imageLength is the last image check's result; only EP3901 and the raw families depend on it.
JobLayout jobLayout(const JobFamily& family, int imageLength);

// The block a family uses, given whether the programmer reported its hardware version.
BlockKind blockKind(const JobFamily& family, bool hwVersionSeen);

// The chip code sent to the programmer.
std::uint16_t chipCode(const JobFamily& family, std::string_view model, BlockKind block);

// A paged transfer sends whole 8192-byte pages and then the 130-byte tail; any other length would
// leave part of the program unannounced. Returns the refusal text, or nothing when length fits.
std::optional<std::string> pagedLengthError(int length);

// Consistency of the table: one row per family in family order, lengths that fit transferImage,
// paged lengths in whole pages, a chip code for every non-raw family. Empty when sound.
std::vector<std::string> validateFamilyTable();

std::string_view variantName(TransferVariant v); // "plain", "paged", "offline-block", "eeprom", "user-data"
std::string_view blockName(BlockKind b);         // "short", "long", "39F", "charger", "none"

} // namespace kelvor::jobs
