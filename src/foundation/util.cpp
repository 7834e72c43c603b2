#include <kivo/util.h>

#include <vector>

namespace kivo {
namespace util {

namespace {
// The conversions all compute in double.
const double kSecond = static_cast<double>(kUnitsPerSecond);
}  // namespace

LONGLONG secondsToReferenceTime(double seconds) { return static_cast<LONGLONG>(seconds * kSecond); }

double referenceTimeToSeconds(LONGLONG time) { return static_cast<double>(time) / kSecond; }

LONGLONG framesToReferenceTime(LONGLONG frames, double framesPerSecond) {
  return static_cast<LONGLONG>(static_cast<double>(frames) / framesPerSecond * kSecond);
}

LONGLONG referenceTimeToFrames(LONGLONG time, double framesPerSecond) {
  return static_cast<LONGLONG>(static_cast<double>(time) / kSecond * framesPerSecond + 0.5);
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
