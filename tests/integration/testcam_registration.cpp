// The Test Camera unregisters without a trace and registers again. Runs alone (RUN_SERIAL).

#include <kivo/filter_enums.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <utility>

#include "support/wait.h"
#include "testcam_ids.h"

namespace {

using namespace testcam;

const std::pair<const CLSID*, const wchar_t*> kDevices[] = {
    {&kUsbCameraClsid, kUsbCameraName},       {&kAnalogCameraClsid, kAnalogCameraName},
    {&kBrokenCameraClsid, kBrokenCameraName}, {&kDalsaCameraClsid, kDalsaCameraName},
    {&kVfwCameraClsid, kVfwCameraName},       {&kNonAsciiCameraClsid, kNonAsciiCameraName},
    {&kNoPathCameraClsid, kNoPathCameraName}};

std::wstring guidText(REFGUID guid) {
  wchar_t text[64] = {};
  StringFromGUID2(guid, text, 64);
  return text;
}

// The text of a value under HKEY_CLASSES_ROOT; "-" when the key is missing, "" when the value is.
std::wstring keyText(const std::wstring& path, const wchar_t* value = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return L"-";
  wchar_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  RegGetValueW(key, nullptr, value, RRF_RT_REG_SZ, nullptr, buffer, &size);
  RegCloseKey(key);
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
  const std::wstring dllPath =
      std::filesystem::path(self).replace_filename(L"kivo-testcam.dll").wstring();
  HMODULE module = LoadLibraryW(dllPath.c_str());
  ASSERT_NE(module, nullptr);
  using ServerCall = HRESULT(STDAPICALLTYPE*)();
  auto procedure = [&](const char* name) {
    return reinterpret_cast<ServerCall>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  };
  const ServerCall registerServer = procedure("DllRegisterServer");
  const ServerCall unregisterServer = procedure("DllUnregisterServer");
  ASSERT_TRUE(registerServer && unregisterServer);
  ASSERT_EQ(countListed(), std::size(kDevices) - 2);

  // With no camera left, the enumerator finds no category (S_FALSE): an empty list, no exception.
  EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_EQ(countListed(), 0u);
  for (const auto& [clsid, name] : kDevices) {
    EXPECT_EQ(keyText(L"CLSID\\" + guidText(*clsid)), L"-") << name;
    EXPECT_EQ(keyText(instanceKey(*clsid)), L"-") << name;
  }

  ASSERT_EQ(registerServer(), S_OK);
  EXPECT_EQ(countListed(), std::size(kDevices) - 2);
  for (const auto& [clsid, name] : kDevices) {
    const std::wstring key = L"CLSID\\" + guidText(*clsid);
    EXPECT_EQ(keyText(key), name);
    EXPECT_EQ(keyText(key + L"\\InprocServer32", L"ThreadingModel"), L"Both");
    EXPECT_EQ(_wcsicmp(keyText(key + L"\\InprocServer32").c_str(), dllPath.c_str()), 0);
    EXPECT_NE(keyText(instanceKey(*clsid)), L"-");
  }
  registerServer();  // later programs find the devices whatever happened above
  FreeLibrary(module);
}

}  // namespace
