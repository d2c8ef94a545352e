#include "cli/recorded_json.h"

namespace kelvor::cli {

Json messageBox(std::string caption, std::string text) {
    Json o = Json::object();
    o["caption"] = std::move(caption);
    o["text"] = std::move(text);
    return o;
}

Json logLines(const RecordingReporter& reporter) {
    Json out = Json::array();
    for (const auto& e : reporter.entries)
        if (e.kind != RecordingReporter::Kind::Box) out.push_back(e.text);
    return out;
}

Json messageBoxes(const RecordingReporter& reporter) {
    Json out = Json::array();
    for (const auto& e : reporter.entries)
        if (e.kind == RecordingReporter::Kind::Box) out.push_back(messageBox(e.caption, e.text));
    return out;
}

} // namespace kelvor::cli
