#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>

#include <cstddef>
#include <string>

namespace kivo {
namespace util {

// Reference time counts 100-nanosecond units: 10000000 make one second.
constexpr LONGLONG kUnitsPerSecond = 10000000;

KIVO_API LONGLONG secondsToReferenceTime(double seconds);
KIVO_API double referenceTimeToSeconds(LONGLONG time);
// Frames to time truncates; time to frames rounds to the nearest frame.
KIVO_API LONGLONG framesToReferenceTime(LONGLONG frames, double framesPerSecond);
KIVO_API LONGLONG referenceTimeToFrames(LONGLONG time, double framesPerSecond);

// Narrow text in the system code page to wide text. A text that cannot be
// converted gives an empty result.
KIVO_API void stringToWideString(const std::string& text, std::wstring& wideText);
KIVO_API void charToWideChar(const char* text, wchar_t* buffer, size_t bufferLength);
// Wide characters needed for `text`, terminator included; 0 when it cannot
// be converted.
KIVO_API size_t getWideCharAllocSize(const char* text);

// The name of a WAVE format tag without its WAVE_FORMAT_ prefix ("PCM",
// "MPEGLAYER3"); "UNKNOWN" for a tag kivo does not list.
KIVO_API void audioFormatTagName(unsigned int tag, std::string& name);
// The name of a video format: the subtype name for VIDEOINFOHEADER and
// VIDEOINFOHEADER2 blocks, "MPEG1" or "MPEG2" for MPEG video blocks.
KIVO_API void videoFormatName(const GUID& formatType, const char* subtypeName, std::string& name);

// Shows the name of every filter of the graph in a message box, one at a
// time, for diagnosis.
KIVO_API void displayGraphFilters(CComPtr<IGraphBuilder>& graph);

// The installed DirectX version as a packed number ((major * 256 + minor) *
// 256 + letter index) and as text such as "8.1b". Either pointer may be
// null; textLength is the capacity of text, terminator included.
KIVO_API HRESULT GetDXVersion(DWORD* version, char* text, int textLength, bool useDxDiag);
// The version text from the system files ("0.0" when none of them tells a
// release).
KIVO_API void queryDXVersion(std::string& text, DWORD* version);

}  // namespace util
}  // namespace kivo
