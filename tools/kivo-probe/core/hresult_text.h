#pragma once

#include <string>

namespace kivo::probe {

// "0x80040217": the status as eight upper-case hexadecimal digits.
std::string hresultHex(long hr);

// The platform's text for a status (AMGetErrorTextA), without trailing
// blanks or line ends; the system's message when DirectShow has none; ""
// when neither knows it.
std::string hresultText(long hr);

// "0x80040217 (text)", or only the hexadecimal form when there is no text.
std::string formatHResult(long hr, const std::string& text);
std::string describeHResult(long hr);

}  // namespace kivo::probe
