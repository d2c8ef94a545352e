#pragma once
// What a command's run said to the operator, as JSON: log lines and message boxes apart, as the
// window keeps them apart (a box is never a line of the log pane).
#include "base/json_line.h"
#include "base/reporter.h"

#include <string>

namespace kelvor::cli {

// The event and window log lines, in order.
Json logLines(const RecordingReporter& reporter);
// Every message box shown: [{"caption": …, "text": …}].
Json messageBoxes(const RecordingReporter& reporter);
Json messageBox(std::string caption, std::string text);

} // namespace kelvor::cli
