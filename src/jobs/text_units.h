#pragma once
// The station's fields hold UTF-16 text; several wire fields take "the low byte of each UTF-16 code
// unit". Domain code keeps text as UTF-8, so these helpers give the UTF-16 view of it.
#include <string>
#include <string_view>

namespace kelvor::jobs {

// UTF-16 code units of UTF-8 text. A malformed byte becomes U+FFFD, so nothing is ever dropped
// silently and the count of units stays predictable.
std::u16string utf16Units(std::string_view utf8);
std::string utf8FromUnits(std::u16string_view units);

} // namespace kelvor::jobs
