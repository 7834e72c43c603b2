#pragma once

#include <kivo/platform.h>

namespace kivo {
namespace detail {

// Where ROTRegister gets the Running Object Table from: the platform's
// GetRunningObjectTable unless a unit test puts a fake table in its place.
using RunningObjectTableFunction = HRESULT(WINAPI*)(DWORD reserved, IRunningObjectTable** table);
extern RunningObjectTableFunction getRunningObjectTable;

}  // namespace detail
}  // namespace kivo
