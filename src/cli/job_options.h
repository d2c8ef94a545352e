#pragma once
// The job options shared by the commands that prepare a programming job (checksum, program): each
// sets one value of the pages as the operator would, starting from the pages' start-up contents.
#include "chips/catalog.h"
#include "image/buffers.h"
#include "jobs/job_inputs.h"

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace kelvor::cli {

// The options as given; jobOptionsFrom checks them against the model.
struct JobArgs {
    std::optional<std::string> batch, increment, voltage, freq, firmware, calibration, eeVoltage, clock, clockPin,
        erase, charger, pdo, eepromFile, factoryFile, startAddress, imageKey;
    bool autoVoltage = false, longBlock = false, select32M = false, fastClock = false;
};

void addJobOptions(CLI::App& app, JobArgs& args);

struct JobOptions {
    jobs::JobInputs inputs;
    bool hwVersionSeen = false; // --long-block
    std::optional<image::ImageKey> imageKey;
    bool sideFilesGiven = false; // --eeprom-file or --factory-file
};

// The pages' inputs for `model` with the options given. Returns the message of the first bad
// value (a usage error), or nothing.
std::optional<std::string> jobOptionsFrom(const JobArgs& args, const chips::ModelRow& model, JobOptions& out);

} // namespace kelvor::cli
