#include "base/json.h"

#include <cmath>
#include <cstdio>

namespace kelvor {

Json& Json::set(std::string key, Json value) {
    if (!std::holds_alternative<Object>(v_)) v_ = Object{};
    auto& o = std::get<Object>(v_);
    for (auto& [k, v] : o) {
        if (k == key) {
            v = std::move(value);
            return *this;
        }
    }
    o.emplace_back(std::move(key), std::move(value));
    return *this;
}

Json& Json::push(Json value) {
    if (!std::holds_alternative<Array>(v_)) v_ = Array{};
    std::get<Array>(v_).push_back(std::move(value));
    return *this;
}

std::string jsonQuote(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

void Json::dumpTo(std::string& out) const {
    struct Visitor {
        std::string& out;
        void operator()(std::nullptr_t) const { out += "null"; }
        void operator()(bool b) const { out += b ? "true" : "false"; }
        void operator()(std::int64_t i) const { out += std::to_string(i); }
        void operator()(double d) const {
            if (!std::isfinite(d)) {
                out += "null";
                return;
            }
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.17g", d);
            out += buf;
        }
        void operator()(const std::string& s) const { out += jsonQuote(s); }
        void operator()(const Array& a) const {
            out += '[';
            for (std::size_t i = 0; i < a.size(); ++i) {
                if (i) out += ", ";
                a[i].dumpTo(out);
            }
            out += ']';
        }
        void operator()(const Object& o) const {
            out += '{';
            for (std::size_t i = 0; i < o.size(); ++i) {
                if (i) out += ", ";
                out += jsonQuote(o[i].first);
                out += ": ";
                o[i].second.dumpTo(out);
            }
            out += '}';
        }
    };
    std::visit(Visitor{out}, v_);
}

std::string Json::dump() const {
    std::string out;
    dumpTo(out);
    return out;
}

} // namespace kelvor
