#pragma once
// JSON values of the CLI's and the trace's output: nlohmann/json with keys kept in insertion
// order, written on one line as these outputs have always been laid out.
#include <nlohmann/json.hpp>

#include <string>

namespace kelvor {

using Json = nlohmann::ordered_json;

// One line, items separated by ", " and keys by ": " (`Json::dump` puts no spaces). Text that is
// not UTF-8 (a file name, say) comes out with U+FFFD in its place instead of ending the program.
std::string jsonLine(const Json& value);

} // namespace kelvor
