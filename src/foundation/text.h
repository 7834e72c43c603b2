#pragma once

#include <kivo/platform.h>

#include <string>

namespace kivo {

// Wide platform text (UTF-16) as UTF-8; empty for a null or unconvertible
// text. Device names and paths reach the host this way.
std::string toUtf8(const wchar_t* text);
// UTF-8 text as wide platform text; empty for a null or empty text. Bytes
// that are not UTF-8 become U+FFFD.
std::wstring fromUtf8(const char* text);

// A text value of a property bag as UTF-8; false when the bag holds no text
// under that name.
bool readBagText(IPropertyBag* bag, const wchar_t* property, std::string& text);
// Whether the bag holds any value under that name.
bool bagHasValue(IPropertyBag* bag, const wchar_t* property);

// A text value of a device moniker's property bag ("FriendlyName",
// "DevicePath") as UTF-8; false when the bag cannot be bound or holds no
// text under that name.
bool readDeviceText(IMoniker* moniker, const wchar_t* property, std::string& text);

}  // namespace kivo
