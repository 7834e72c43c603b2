#include "core/hresult_text.h"

#include <windows.h>
#include <dshow.h>

#include <cstdio>

namespace kivo::probe {

namespace {

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' ||
                           text.back() == '\t' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

struct NamedStatus {
  HRESULT hr;
  const char* name;
};

#define NAMED(status) {status, #status},
// clang-format off
const NamedStatus kNames[] = {
#include "core/hresult_names.inc"
};
// clang-format on
#undef NAMED

const char* hresultName(long hr) {
  for (const NamedStatus& entry : kNames) {
    if (entry.hr == static_cast<HRESULT>(hr)) return entry.name;
  }
  return nullptr;
}

std::string hresultHex(long hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr) & 0xFFFFFFFFul);
  return buffer;
}

std::string systemText(long hr) {
  char* message = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&message), 0, nullptr);
  std::string text;
  if (length && message) text = trimmed(message);
  if (message) LocalFree(message);
  return text;
}

std::string hresultText(long hr) {
  char buffer[256] = {};
  AMGetErrorTextA(static_cast<HRESULT>(hr), buffer, sizeof buffer);
  buffer[sizeof buffer - 1] = '\0';
  const std::string text = trimmed(buffer);
  // Some platforms answer every status with a generic "Error: 0x..." text;
  // the system's own message says more where it has one.
  if (text.empty() || text.compare(0, 9, "Error: 0x") == 0) {
    const std::string system = systemText(hr);
    if (!system.empty()) return system;
    // No words for it anywhere: at least the status's name.
    if (const char* name = hresultName(hr)) return name;
  }
  return text;
}

std::string formatHResult(long hr, const std::string& text) {
  const std::string hex = hresultHex(hr);
  return text.empty() ? hex : hex + " (" + text + ")";
}

}  // namespace

std::string describeHResult(long hr) { return formatHResult(hr, hresultText(hr)); }

}  // namespace kivo::probe
