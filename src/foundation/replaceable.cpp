// The real entry points behind the replaceable ones.

#include "foundation/replaceable.h"

#include "foundation/dx_diag.h"

#include <vector>

namespace kivo {
namespace replaceable {

namespace {

HRESULT createWithCom(REFCLSID clsid, REFIID iid, void** object) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, object);
}

bool readFileVersion(const char* path, DWORD* mostSignificant, DWORD* leastSignificant) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return false;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoA(path, 0, size, data.data())) return false;
  void* block = nullptr;
  UINT blockSize = 0;
  if (!VerQueryValueA(data.data(), "\\", &block, &blockSize) || !block ||
      blockSize < sizeof(VS_FIXEDFILEINFO))
    return false;
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(block);
  *mostSignificant = info->dwFileVersionMS;
  *leastSignificant = info->dwFileVersionLS;
  return true;
}

HRESULT createDxDiagProvider(IDxDiagProvider** provider) {
  return CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER,
                          IID_PPV_ARGS(provider));
}

}  // namespace

ObjectFactory createObject = &createWithCom;
ErrorTextFunction errorText = &AMGetErrorTextA;
MessageBoxFunction messageBox = &MessageBoxA;
RunningObjectTableFunction runningObjectTable = &::GetRunningObjectTable;
DxVersionSources dxVersionSources = {&GetSystemDirectoryA, &readFileVersion,
                                     &createDxDiagProvider};

}  // namespace replaceable
}  // namespace kivo
