#include <kivo/util.h>

#include <climits>
#include <cmath>
#include <vector>

namespace kivo {
namespace util {

namespace {
// The conversions all compute in double.
const double kSecond = static_cast<double>(kUnitsPerSecond);

// Converting a double outside LONGLONG's range is undefined: a huge time (a position of 1e300
// seconds, a frame rate of zero) saturates instead, and NaN is no time at all.
LONGLONG saturated(double time) {
  if (std::isnan(time)) return 0;
  if (time >= 9223372036854775808.0) return LLONG_MAX;  // 2^63, LLONG_MAX + 1
  if (time <= -9223372036854775808.0) return LLONG_MIN;
  return static_cast<LONGLONG>(time);
}

}  // namespace

LONGLONG secondsToReferenceTime(double seconds) { return saturated(seconds * kSecond); }

double referenceTimeToSeconds(LONGLONG time) { return static_cast<double>(time) / kSecond; }

LONGLONG framesToReferenceTime(LONGLONG frames, double framesPerSecond) {
  return saturated(static_cast<double>(frames) / framesPerSecond * kSecond);
}

LONGLONG referenceTimeToFrames(LONGLONG time, double framesPerSecond) {
  return saturated(static_cast<double>(time) / kSecond * framesPerSecond + 0.5);
}

size_t getWideCharAllocSize(const char* text) {
  if (!text) return 0;
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  return needed > 0 ? static_cast<size_t>(needed) : 0;
}

void charToWideChar(const char* text, wchar_t* buffer, size_t bufferLength) {
  if (!text || !buffer || bufferLength == 0) return;
  MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, static_cast<int>(bufferLength));
}

void stringToWideString(const std::string& text, std::wstring& wideText) {
  const size_t length = getWideCharAllocSize(text.c_str());
  if (length == 0) {
    wideText.clear();
    return;
  }
  std::vector<wchar_t> buffer(length, L'\0');
  charToWideChar(text.c_str(), buffer.data(), length);
  buffer[length - 1] = L'\0';
  wideText.assign(buffer.data());
}

}  // namespace util
}  // namespace kivo
