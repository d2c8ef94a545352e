#pragma once
// printf-style formatting into std::string, for the station's fixed log formats.
#include <cstdarg>
#include <string>

namespace kelvor {

std::string strfmt(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vstrfmt(const char* fmt, va_list ap);

// Cuts text to at most maxBytes without splitting a UTF-8 character.
std::string cutUtf8(std::string text, std::size_t maxBytes);

} // namespace kelvor
