#include "base/json_line.h"

namespace kelvor {
namespace {

std::string scalar(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void append(std::string& out, const Json& value) {
    if (value.is_array()) {
        out += '[';
        const char* separator = "";
        for (const auto& item : value) {
            out += separator;
            append(out, item);
            separator = ", ";
        }
        out += ']';
    } else if (value.is_object()) {
        out += '{';
        const char* separator = "";
        for (const auto& [key, item] : value.items()) {
            out += separator;
            out += scalar(Json(key));
            out += ": ";
            append(out, item);
            separator = ", ";
        }
        out += '}';
    } else {
        out += scalar(value);
    }
}

} // namespace

std::string jsonLine(const Json& value) {
    std::string out;
    append(out, value);
    return out;
}

} // namespace kelvor
