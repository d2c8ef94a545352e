#pragma once
// The pieces the simulated programmer is built from: status reports with due times, the bytes
// received for the current transfer, the OTP cells of the chip in the socket and a seeded RNG.
// None of them locks; the simulator's mutex guards them.
#include "link/programmer.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace kelvor::link::sim {

using Clock = std::chrono::steady_clock;
using Report = std::array<std::uint8_t, kReportSize>;

// Byte 0 of a status report: class 3 in the low four bits, kind 1 in the high four.
inline constexpr std::uint8_t kStatusReportHeader = 0x13;
// A status report: header, status code in byte 2, values from byte 3 (at most 61 of them).
Report statusReport(std::uint8_t code, std::span<const std::uint8_t> values = {});

// Reports waiting to be received, in the order they were queued.
class ReportQueue {
public:
    // A report is never due before the one queued ahead of it, so the order of answers holds
    // whatever the delays.
    void push(const Report& r, Clock::time_point due);
    // The first report when it is due at `now`.
    std::optional<Report> popDue(Clock::time_point now);
    std::optional<Clock::time_point> nextDue() const;
    std::size_t size() const { return items_.size(); }
    void clear() { items_.clear(); }

private:
    struct Item {
        Report report;
        Clock::time_point due;
    };
    std::deque<Item> items_;
};

// The bytes received through USBIO_OTP_SEND for the current page or block; offsets restart with
// every page or block, so one buffer of the largest image serves every transfer variant.
class ReceiveBuffer {
public:
    static constexpr std::size_t kCapacity = 65536;
    ReceiveBuffer() : bytes_(kCapacity, 0xFF) {}
    // False (nothing kept) when the range lies outside the buffer.
    bool write(std::size_t offset, std::span<const std::uint8_t> data);
    // One past the highest byte received since the last clear.
    std::size_t highWater() const { return highWater_; }
    std::size_t receivedTotal() const { return total_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    void clear();

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t highWater_ = 0;
    std::size_t total_ = 0;
};

// The OTP cells of a chip: blank cells read 0xFF and programming can only clear bits, once.
class VirtualOtp {
public:
    explicit VirtualOtp(std::size_t size) : cells_(size, 0xFF) {}
    enum class Result { Ok, OutOfRange, Conflict };
    struct ProgramResult {
        Result result = Result::Ok;
        std::size_t firstConflict = 0; // cell that should hold a 1 that was burnt to 0 already
    };
    // Cells become old AND data. A 1 asked for where a cell holds 0 stays 0 and is a conflict;
    // out of range writes nothing.
    ProgramResult program(std::size_t offset, std::span<const std::uint8_t> data);
    bool blank(std::size_t offset, std::size_t count) const;
    std::span<const std::uint8_t> cells() const { return cells_; }
    std::size_t size() const { return cells_.size(); }
    // 16-bit sum of all cells, the checksum the QC firmware reports of a chip it has no image for.
    std::uint16_t sum16() const;
    // The station's CKSUM of the chip image a burn wrote into these cells: what the QC firmware
    // reports of a chip burnt in this session.
    std::optional<std::uint16_t> burntChecksum() const { return burntChecksum_; }
    void setBurntChecksum(std::uint16_t v) { burntChecksum_ = v; }

private:
    std::vector<std::uint8_t> cells_;
    std::optional<std::uint16_t> burntChecksum_;
};

// SplitMix64: the same numbers on every platform and standard library.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform in [lo, hi].
    std::int64_t between(std::int64_t lo, std::int64_t hi);

private:
    std::uint64_t state_;
};

} // namespace kelvor::link::sim
