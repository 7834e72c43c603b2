#pragma once

#include <string>

namespace kivo {

// Wide platform text (UTF-16) as UTF-8; empty for a null or unconvertible
// text. Device names and paths reach the host this way.
std::string toUtf8(const wchar_t* text);

}  // namespace kivo
