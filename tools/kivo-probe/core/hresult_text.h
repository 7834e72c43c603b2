#pragma once

#include <string>

namespace kivo::probe {

// "0x80040217 (text)": the status as eight upper-case hexadecimal digits and
// the platform's text for it (AMGetErrorTextA) without trailing blanks, full
// stops or line ends. When DirectShow has no text, or only a generic
// "Error: 0x..." one, the system's message is taken if there is one, else
// the status's name ("VFW_E_CANNOT_CONNECT"); only the hexadecimal form when
// none of them knows the status.
std::string describeHResult(long hr);

}  // namespace kivo::probe
