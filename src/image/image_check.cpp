#include "image/image_check.h"

namespace kelvor::image {

namespace {
constexpr const char* kWarningCaption = "警告!";
constexpr const char* kWarningText = "选择的hex文件有误，请重新确认此文件！";

// The charger-chip decoder's length is the last record's count (0 for a usual file), so these
// two models pass whatever it returns.
bool passesAlways(chips::Family f) {
    return f == chips::Family::EP39H01 || f == chips::Family::EP39H02;
}
} // namespace

int checkImage(const chips::ModelRow& model, const std::string& imagePath, ImageState& state,
               Reporter& reporter) {
    // A model without a decoder has no length of its own; a stale one from another image must not pass.
    state.imageLength = runDecoder(model, imagePath, state, reporter).value_or(0);
    // The charger chips' decoder gives no length (a normal end record counts 0), so any image it
    // could read passes; one it could not read must not, or a blank or stale image would be burnt.
    const bool usable = passesAlways(model.family) ? state.decoders.lastReadOk : state.imageLength > 0;
    if (usable) return 0;
    reporter.messageBox(kWarningCaption, kWarningText, BoxButtons::YesNo, BoxIcon::Question);
    reporter.eventLog(kWarningText);
    return -1;
}

} // namespace kelvor::image
