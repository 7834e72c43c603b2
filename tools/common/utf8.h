#pragma once

// UTF-8 text to UTF-16 and back: the tools keep text in UTF-8 and meet the
// platform, which takes command lines and file names in UTF-16.

#include <string>

namespace kivo::tools {

std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);

}  // namespace kivo::tools
