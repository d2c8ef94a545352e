// The list forms of the settings file: comma-terminated lists, counted comma lists and recent-file
// lists with their counts. The first four bytes are the count (as a settings value could give it),
// the rest is the list text.
#include "base/settings_lists.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvor;
    if (size < 4) return 0;
    std::int32_t n = 0;
    std::memcpy(&n, data, 4);
    const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);

    commaTerminatedList(text);
    const auto counted = countedCommaList(text, n);
    if (counted.empty()) std::abort();

    const auto recent = recentFileList(n, text);
    if (recent) {
        if (recent->size() != static_cast<std::size_t>(n)) std::abort();
        // What the list writes back must read back the same.
        if (recentFileList(n, joinRecentFiles(*recent)) != recent) std::abort();
        auto list = *recent;
        addToRecent(list, std::string(text.substr(0, 8)));
        if (list.size() > std::max<std::size_t>(recent->size(), kRecentFileLimit)) std::abort();
        moveToFront(list, static_cast<std::size_t>(data[0]));
    }
    return 0;
}
