// The real entry points behind the replaceable ones.

#include "foundation/replaceable.h"

#include "foundation/dx_diag.h"
#include "foundation/system_library.h"

#include <vector>

namespace kivo {
namespace replaceable {

namespace {

HRESULT createWithCom(REFCLSID clsid, REFIID iid, void** object) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, object);
}

// The version API of version.dll, loaded on first use.
struct VersionApi {
  using SizeFunction = DWORD(WINAPI*)(LPCSTR path, LPDWORD handle);
  using InfoFunction = BOOL(WINAPI*)(LPCSTR path, DWORD handle, DWORD size, LPVOID data);
  using QueryFunction = BOOL(WINAPI*)(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT size);
  SizeFunction size = systemFunctionOf<SizeFunction>(L"version.dll", "GetFileVersionInfoSizeA");
  InfoFunction info = systemFunctionOf<InfoFunction>(L"version.dll", "GetFileVersionInfoA");
  QueryFunction query = systemFunctionOf<QueryFunction>(L"version.dll", "VerQueryValueA");
};

bool readFileVersion(const char* path, DWORD* mostSignificant, DWORD* leastSignificant) {
  static const VersionApi api;
  if (!api.size || !api.info || !api.query) return false;
  DWORD ignored = 0;
  const DWORD size = api.size(path, &ignored);
  if (size == 0) return false;
  std::vector<BYTE> data(size);
  if (!api.info(path, 0, size, data.data())) return false;
  void* block = nullptr;
  UINT blockSize = 0;
  if (!api.query(data.data(), "\\", &block, &blockSize) || !block ||
      blockSize < sizeof(VS_FIXEDFILEINFO))
    return false;
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(block);
  *mostSignificant = info->dwFileVersionMS;
  *leastSignificant = info->dwFileVersionLS;
  return true;
}

DWORD WINAPI errorTextOfQuartz(HRESULT hr, LPSTR buffer, DWORD capacity) {
  static const auto lookUp = systemFunctionOf<ErrorTextFunction>(L"quartz.dll", "AMGetErrorTextA");
  return lookUp ? lookUp(hr, buffer, capacity) : 0;
}

int WINAPI messageBoxOfUser32(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  static const auto show = systemFunctionOf<MessageBoxFunction>(L"user32.dll", "MessageBoxA");
  return show ? show(owner, text, caption, style) : 0;
}

HRESULT createDxDiagProvider(IDxDiagProvider** provider) {
  return CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER,
                          IID_PPV_ARGS(provider));
}

}  // namespace

ObjectFactory createObject = &createWithCom;
ErrorTextFunction errorText = &errorTextOfQuartz;
MessageBoxFunction messageBox = &messageBoxOfUser32;
RunningObjectTableFunction runningObjectTable = &::GetRunningObjectTable;
DxVersionSources dxVersionSources = {&GetSystemDirectoryA, &readFileVersion, &createDxDiagProvider};

}  // namespace replaceable
}  // namespace kivo
