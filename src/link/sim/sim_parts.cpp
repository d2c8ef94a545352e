#include "link/sim/sim_parts.h"

#include <algorithm>

namespace kelvor::link::sim {

Report statusReport(std::uint8_t code, std::span<const std::uint8_t> values) {
    Report r{};
    r[0] = kStatusReportHeader;
    r[2] = code;
    const std::size_t n = std::min(values.size(), r.size() - 3);
    std::copy_n(values.begin(), n, r.begin() + 3);
    return r;
}

void ReportQueue::push(const Report& r, Clock::time_point due) {
    if (!items_.empty()) due = std::max(due, items_.back().due);
    items_.push_back({r, due});
}

std::optional<Report> ReportQueue::popDue(Clock::time_point now) {
    if (items_.empty() || items_.front().due > now) return std::nullopt;
    Report r = items_.front().report;
    items_.pop_front();
    return r;
}

std::optional<Clock::time_point> ReportQueue::nextDue() const {
    if (items_.empty()) return std::nullopt;
    return items_.front().due;
}

bool ReceiveBuffer::write(std::size_t offset, std::span<const std::uint8_t> data) {
    if (offset > bytes_.size() || data.size() > bytes_.size() - offset) return false;
    std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    highWater_ = std::max(highWater_, offset + data.size());
    total_ += data.size();
    return true;
}

void ReceiveBuffer::clear() {
    // Nothing beyond the high-water mark was written since the last clear.
    std::fill_n(bytes_.begin(), highWater_, 0xFF);
    highWater_ = 0;
    total_ = 0;
}

VirtualOtp::ProgramResult VirtualOtp::program(std::size_t offset, std::span<const std::uint8_t> data) {
    if (offset > cells_.size() || data.size() > cells_.size() - offset) return {Result::OutOfRange, 0};
    ProgramResult out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        auto& cell = cells_[offset + i];
        cell &= data[i];
        if (cell != data[i] && out.result == Result::Ok) out = {Result::Conflict, offset + i};
    }
    return out;
}

bool VirtualOtp::blank(std::size_t offset, std::size_t count) const {
    if (offset > cells_.size() || count > cells_.size() - offset) return false;
    const auto first = cells_.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::all_of(first, first + static_cast<std::ptrdiff_t>(count),
                       [](std::uint8_t c) { return c == 0xFF; });
}

std::uint16_t VirtualOtp::sum16() const {
    std::uint16_t sum = 0;
    for (auto c : cells_)
        sum = static_cast<std::uint16_t>(sum + c);
    return sum;
}

std::uint64_t Rng::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::int64_t Rng::between(std::int64_t lo, std::int64_t hi) {
    if (hi <= lo) return lo;
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<std::int64_t>(next() % span);
}

} // namespace kelvor::link::sim
