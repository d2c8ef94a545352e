#include "image/image_check.h"

namespace kelvor::image {

namespace {
constexpr const char* kWarningCaption = "警告!";
constexpr const char* kWarningText = "选择的hex文件有误，请重新确认此文件！";

// The charger-chip decoder's length is the last record's count (0 for a usual file), so these
// two models pass whatever it returns.
bool passesAlways(chips::Family f) { return f == chips::Family::EP39H01 || f == chips::Family::EP39H02; }
} // namespace

int checkImage(const chips::ModelRow& model, const std::string& imagePath, ImageState& state, Reporter& reporter) {
    // A model without a decoder has no length of its own; a stale one from another image must not pass.
    state.imageLength = runDecoder(model, imagePath, state, reporter).value_or(0);
    if (passesAlways(model.family) || state.imageLength > 0) return 0;
    reporter.messageBox(kWarningCaption, kWarningText, BoxButtons::YesNo, BoxIcon::Question);
    reporter.eventLog(kWarningText);
    return -1;
}

} // namespace kelvor::image
