#pragma once

// The platform entry points kivo reaches through a variable instead of
// calling them directly, so that a unit test can put a fake in the place of
// one for the test's duration (a platform state or failure Wine cannot
// produce). Each variable holds the real entry point unless a test replaced
// it. Nothing else in the library is replaceable.

#include <kivo/platform.h>

struct IDxDiagProvider;

namespace kivo {
namespace replaceable {

// CoCreateInstance(clsid, no outer object, CLSCTX_ALL, iid, object): every
// COM object the library creates by class comes through here: the filter
// graph manager and capture graph builder of each render, the filters kivo
// creates itself (grabbers, renderers, DV decoder, AVI splitter) and the
// system device enumerator.
using ObjectFactory = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
extern ObjectFactory createObject;

// AMGetErrorTextA: the message of an HRException.
using ErrorTextFunction = DWORD(WINAPI*)(HRESULT hr, LPSTR buffer, DWORD capacity);
extern ErrorTextFunction errorText;

// MessageBoxA: how displayGraphFilters shows the filters' names.
using MessageBoxFunction = int(WINAPI*)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
extern MessageBoxFunction messageBox;

// GetRunningObjectTable: where ROTRegister enters a graph.
using RunningObjectTableFunction = HRESULT(WINAPI*)(DWORD reserved, IRunningObjectTable** table);
extern RunningObjectTableFunction runningObjectTable;

// What the DirectX version query reads of the system.
struct DxVersionSources {
  // GetSystemDirectoryA's contract: the length written, 0 on failure, more
  // than `capacity` when the buffer is too small.
  UINT(WINAPI* systemDirectory)(LPSTR buffer, UINT capacity);
  // The fixed file version of `path` (a.b in `mostSignificant`, c.d in
  // `leastSignificant`); false when the file is missing or has no version
  // information.
  bool (*fileVersion)(const char* path, DWORD* mostSignificant, DWORD* leastSignificant);
  // Creates the DxDiag provider.
  HRESULT (*createDxDiagProvider)(IDxDiagProvider** provider);
};
extern DxVersionSources dxVersionSources;

}  // namespace replaceable
}  // namespace kivo
