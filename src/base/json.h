#pragma once
// A small JSON value with ordered object keys, for the CLI's and the trace's output.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kelvor {

class Json {
public:
    using Array = std::vector<Json>;
    using Object = std::vector<std::pair<std::string, Json>>;

    Json() : v_(nullptr) {}
    Json(std::nullptr_t) : v_(nullptr) {}
    Json(bool b) : v_(b) {}
    Json(int i) : v_(static_cast<std::int64_t>(i)) {}
    Json(unsigned i) : v_(static_cast<std::int64_t>(i)) {}
    Json(long i) : v_(static_cast<std::int64_t>(i)) {}
    Json(unsigned long i) : v_(static_cast<std::int64_t>(i)) {}
    Json(long long i) : v_(static_cast<std::int64_t>(i)) {}
    Json(unsigned long long i) : v_(static_cast<std::int64_t>(i)) {}
    Json(double d) : v_(d) {}
    Json(const char* s) : v_(std::string(s)) {}
    Json(std::string s) : v_(std::move(s)) {}
    Json(std::string_view s) : v_(std::string(s)) {}
    Json(Array a) : v_(std::move(a)) {}
    Json(Object o) : v_(std::move(o)) {}

    static Json array() { return Json(Array{}); }
    static Json object() { return Json(Object{}); }

    // Object: appends (or replaces) a key, keeping insertion order.
    Json& set(std::string key, Json value);
    // Array: appends.
    Json& push(Json value);

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(v_); }
    std::string dump() const;

private:
    void dumpTo(std::string& out) const;
    std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, Array, Object> v_;
};

// JSON string literal of UTF-8 text, quotes included.
std::string jsonQuote(std::string_view s);

} // namespace kelvor
