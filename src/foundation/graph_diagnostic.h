#pragma once

#include <kivo/platform.h>

namespace kivo {
namespace detail {

// How the graph diagnostic shows its message boxes. MessageBoxA unless a
// unit test puts a recorder in its place.
using MessageBoxFunction = int(WINAPI*)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
extern MessageBoxFunction showMessageBox;

}  // namespace detail
}  // namespace kivo
