#pragma once

#include <string>

namespace kivo::probe {

// "0x80040217": the status as eight upper-case hexadecimal digits.
std::string hresultHex(long hr);

// The platform's text for a status (AMGetErrorTextA), without trailing
// blanks, full stops or line ends. When DirectShow has no text, or only a
// generic "Error: 0x..." one, the system's message is taken if there is
// one, else the status's name; "" when none of them knows the status.
std::string hresultText(long hr);

// The symbolic name of a DirectShow or common COM error status
// ("VFW_E_CANNOT_CONNECT"), or null.
const char* hresultName(long hr);

// The system's message for a status (FormatMessage), trimmed; "" if none.
std::string systemText(long hr);

// "0x80040217 (text)", or only the hexadecimal form when there is no text.
std::string formatHResult(long hr, const std::string& text);
std::string describeHResult(long hr);

}  // namespace kivo::probe
