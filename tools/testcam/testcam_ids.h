#pragma once

// Identifiers of the KIVO Test Camera (kivo-testcam.dll), for tests and hosts
// that look for its devices. Each device is its own COM class, entered in the
// video input device category under the friendly name given here.

#include <windows.h>

namespace testcam {

// "KIVO Test Camera": a USB camera with many formats, proc-amp, camera
// control and video control.
// {1E7EBAF9-2161-4A92-A665-A469AE9C3176}
inline constexpr CLSID kUsbCameraClsid = {
    0x1e7ebaf9, 0x2161, 0x4a92, {0xa6, 0x65, 0xa4, 0x69, 0xae, 0x9c, 0x31, 0x76}};
inline constexpr const wchar_t* kUsbCameraName = L"KIVO Test Camera";

// "KIVO Test Camera (Analog)": a TV card with an analog video decoder and a
// crossbar wired to its analog video input.
// {2B5BBF5C-E622-4DAA-A710-5DACE0A42E36}
inline constexpr CLSID kAnalogCameraClsid = {
    0x2b5bbf5c, 0xe622, 0x4daa, {0xa7, 0x10, 0x5d, 0xac, 0xe0, 0xa4, 0x2e, 0x36}};
inline constexpr const wchar_t* kAnalogCameraName = L"KIVO Test Camera (Analog)";

// A device entered in the category whose filter cannot be created: its class
// factory refuses every instance with E_FAIL.
// {30BE4BCD-D597-4446-92B3-C71698FD6BC9}
inline constexpr CLSID kBrokenCameraClsid = {
    0x30be4bcd, 0xd597, 0x4446, {0x92, 0xb3, 0xc7, 0x16, 0x98, 0xfd, 0x6b, 0xc9}};
inline constexpr const wchar_t* kBrokenCameraName = L"KIVO Test Camera (Broken)";

// A working device under a name that kivo leaves out of its device list.
// {4CEF58F2-710F-4C04-B3BE-FB66CEC71E0E}
inline constexpr CLSID kDalsaCameraClsid = {
    0x4cef58f2, 0x710f, 0x4c04, {0xb3, 0xbe, 0xfb, 0x66, 0xce, 0xc7, 0x1e, 0x0e}};
inline constexpr const wchar_t* kDalsaCameraName = L"DALSA Imaging Video Source";

// "KIVO Test Camera (VFW)": a simple camera that offers the Video for Windows
// capture dialogs interface.
// {59B41F0E-FBF2-4DE2-8661-63A013CE596E}
inline constexpr CLSID kVfwCameraClsid = {
    0x59b41f0e, 0xfbf2, 0x4de2, {0x86, 0x61, 0x63, 0xa0, 0x13, 0xce, 0x59, 0x6e}};
inline constexpr const wchar_t* kVfwCameraName = L"KIVO Test Camera (VFW)";

// A simple camera whose friendly name is not ASCII:
// "KIVO Test Camera (Cam\u00e9ra \u00dcberwachung \u6e2c\u8a66)".
// {7C2D41A6-93E8-4F1B-8D55-0B7A1C3E9F21}
inline constexpr CLSID kNonAsciiCameraClsid = {
    0x7c2d41a6, 0x93e8, 0x4f1b, {0x8d, 0x55, 0x0b, 0x7a, 0x1c, 0x3e, 0x9f, 0x21}};
inline constexpr const wchar_t* kNonAsciiCameraName =
    L"KIVO Test Camera (Cam\u00e9ra \u00dcberwachung \u6e2c\u8a66)";
// The same name in UTF-8, as kivo reports it.
inline constexpr const char* kNonAsciiCameraUtf8Name =
    "KIVO Test Camera (Cam\xc3\xa9ra \xc3\x9c"
    "berwachung \xe6\xb8\xac\xe8\xa9\xa6)";

// "KIVO Test Camera (No Path)": a simple camera whose "DevicePath" is empty.
// {8E61F0B3-27C4-4D9A-B0E6-5F3A2D8C7B14}
inline constexpr CLSID kNoPathCameraClsid = {
    0x8e61f0b3, 0x27c4, 0x4d9a, {0xb0, 0xe6, 0x5f, 0x3a, 0x2d, 0x8c, 0x7b, 0x14}};
inline constexpr const wchar_t* kNoPathCameraName = L"KIVO Test Camera (No Path)";

// Class identifier the analog device's crossbar reports from GetClassID. It is
// not registered: the crossbar exists only inside its device.
// {6B9019FD-5A55-4758-B1E2-BBB8BD930158}
inline constexpr CLSID kCrossbarClsid = {
    0x6b9019fd, 0x5a55, 0x4758, {0xb1, 0xe2, 0xbb, 0xb8, 0xbd, 0x93, 0x01, 0x58}};

// "DevicePath" of each device: this prefix followed by the device number
// (0 USB, 1 analog, 2 broken, 3 DALSA, 4 VFW, 5 non-ASCII); the device
// without a path (6) has an empty one.
inline constexpr const wchar_t* kDevicePathPrefix =
    L"\\\\?\\root#image#0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\kivo-testcam-";

// Fault injection, read from the environment when a device filter is created.
// After N delivered frames the device reports EC_DEVICE_LOST and goes quiet.
inline constexpr const wchar_t* kLoseAfterVariable = L"KIVO_TESTCAM_LOSE_AFTER";
// Comma-separated "Interface.Method" names that answer E_FAIL.
inline constexpr const wchar_t* kFailVariable = L"KIVO_TESTCAM_FAIL";
// Any value but "0": the device serves one stream at a time, as a real
// camera does; a filter created with it refuses to start streaming (Pause or
// Run from stopped) with HRESULT_FROM_WIN32(ERROR_BUSY) while another such
// filter of the same device streams.
inline constexpr const wchar_t* kExclusiveVariable = L"KIVO_TESTCAM_EXCLUSIVE";
// Any value but "0": IAMStreamConfig reports malformed formats between the
// working ones (see kMalformedCapsCount).
inline constexpr const wchar_t* kMalformedCapsVariable = L"KIVO_TESTCAM_MALFORMED_CAPS";
// The malformed formats the fault adds: a block shorter than a
// VIDEOINFOHEADER, a null block with a non-zero size, FORMAT_None, a
// WAVEFORMATEX block, width and height 0, width and height 2147483647.
inline constexpr int kMalformedCapsCount = 6;

}  // namespace testcam
