#pragma once
// The job options shared by the commands that prepare a programming job (checksum, program): each
// sets one value of the pages as the operator would, starting from the pages' start-up contents.
#include "chips/catalog.h"
#include "cli/cli.h"
#include "image/buffers.h"
#include "jobs/job_inputs.h"

#include <optional>
#include <string>

namespace kelvor::cli {

struct JobOptions {
    jobs::JobInputs inputs;
    bool hwVersionSeen = false; // --long-block
    std::optional<image::ImageKey> imageKey;
    bool sideFilesGiven = false; // --eeprom-file or --factory-file
};

// Consumes the job options from `args` for `model`. Returns the message of the first bad value
// (a usage error), or nothing.
std::optional<std::string> parseJobOptions(ArgParser& args, const chips::ModelRow& model, JobOptions& out);

// Option lines for usage texts.
extern const char* const kJobOptionsHelp;

} // namespace kelvor::cli
