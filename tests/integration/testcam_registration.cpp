// The Test Camera's COM server: unregistering leaves no trace and registering again restores
// every entry. Runs alone (RUN_SERIAL): while it works, the devices vanish for a moment.

#include <kivo/filter_enums.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "support/wait.h"
#include "testcam_ids.h"

namespace {

using ServerCall = HRESULT(STDAPICALLTYPE*)();

const CLSID* const kClasses[] = {&testcam::kUsbCameraClsid,    &testcam::kAnalogCameraClsid,
                                 &testcam::kBrokenCameraClsid, &testcam::kDalsaCameraClsid,
                                 &testcam::kVfwCameraClsid,    &testcam::kNonAsciiCameraClsid,
                                 &testcam::kNoPathCameraClsid};
const wchar_t* const kNames[] = {testcam::kUsbCameraName,    testcam::kAnalogCameraName,
                                 testcam::kBrokenCameraName, testcam::kDalsaCameraName,
                                 testcam::kVfwCameraName,    testcam::kNonAsciiCameraName,
                                 testcam::kNoPathCameraName};

std::wstring guidText(REFGUID guid) {
  wchar_t text[64] = {};
  StringFromGUID2(guid, text, 64);
  return text;
}

bool keyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

std::wstring keyText(const std::wstring& path, const wchar_t* value) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS)
    return L"";
  return buffer;
}

std::wstring instanceKey(REFCLSID clsid) {
  return L"CLSID\\" + guidText(CLSID_VideoInputDeviceCategory) + L"\\Instance\\" + guidText(clsid);
}

// How many devices the host sees (the Test Camera's entries but the two a host must skip).
size_t countListed() { return kivo::FilterEnums().getVideoDevices().size(); }

TEST(TestCamRegistration, UnregisterRemovesEveryTraceAndRegisterRestoresIt) {
  kivo::test::ComScope com;
  ASSERT_HRESULT_SUCCEEDED(com.status());
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dllPath(self);
  dllPath = dllPath.substr(0, dllPath.find_last_of(L"\\/") + 1) + L"kivo-testcam.dll";
  HMODULE module = LoadLibraryW(dllPath.c_str());
  ASSERT_NE(module, nullptr);
  auto procedure = [&](const char* name) {
    return reinterpret_cast<ServerCall>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  };
  const ServerCall registerServer = procedure("DllRegisterServer");
  const ServerCall unregisterServer = procedure("DllUnregisterServer");
  ASSERT_TRUE(registerServer && unregisterServer);
  ASSERT_EQ(countListed(), std::size(kNames) - 2);

  // With no camera left, the enumerator finds no category (S_FALSE): an empty list, no exception.
  EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_EQ(countListed(), 0u);
  for (const CLSID* clsid : kClasses) {
    EXPECT_FALSE(keyExists(L"CLSID\\" + guidText(*clsid))) << guidText(*clsid).c_str();
    EXPECT_FALSE(keyExists(instanceKey(*clsid))) << guidText(*clsid).c_str();
  }
  EXPECT_EQ(unregisterServer(), S_OK);  // nothing left to remove still succeeds

  ASSERT_EQ(registerServer(), S_OK);
  EXPECT_EQ(countListed(), std::size(kNames) - 2);
  for (size_t i = 0; i < std::size(kNames); ++i) {
    const std::wstring key = L"CLSID\\" + guidText(*kClasses[i]);
    EXPECT_EQ(keyText(key, nullptr), kNames[i]);
    EXPECT_EQ(keyText(key + L"\\InprocServer32", L"ThreadingModel"), L"Both");
    EXPECT_EQ(_wcsicmp(keyText(key + L"\\InprocServer32", nullptr).c_str(), dllPath.c_str()), 0);
    EXPECT_TRUE(keyExists(instanceKey(*kClasses[i])));
  }
  registerServer();  // later programs find the devices whatever happened above
  FreeLibrary(module);
}

}  // namespace
