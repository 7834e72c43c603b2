// The Test Camera's COM server: unregistering leaves no trace of it,
// registering again restores every device, and the class factories and the
// unload query answer as COM asks. This program runs alone (RUN_SERIAL):
// while it works, the devices vanish for a moment.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "testcam_helpers.h"

namespace {

using kivo::CComPtr;
using namespace testcam_test;

using ServerCall = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectCall = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

const CLSID* const kClasses[] = {&testcam::kUsbCameraClsid,    &testcam::kAnalogCameraClsid,
                                 &testcam::kBrokenCameraClsid, &testcam::kDalsaCameraClsid,
                                 &testcam::kVfwCameraClsid,    &testcam::kNonAsciiCameraClsid,
                                 &testcam::kNoPathCameraClsid};
const wchar_t* const kNames[] = {testcam::kUsbCameraName,    testcam::kAnalogCameraName,
                                 testcam::kBrokenCameraName, testcam::kDalsaCameraName,
                                 testcam::kVfwCameraName,    testcam::kNonAsciiCameraName,
                                 testcam::kNoPathCameraName};

// An export of the DLL, cast through the generic function pointer type.
template <class F>
F procedure(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::wstring guidText(REFGUID guid) {
  wchar_t text[64] = {};
  StringFromGUID2(guid, text, 64);
  return text;
}

bool keyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::wstring keyText(const std::wstring& path, const wchar_t* value) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return L"";
  }
  return buffer;
}

std::wstring instanceKey(REFCLSID clsid) {
  return L"CLSID\\" + guidText(CLSID_VideoInputDeviceCategory) + L"\\Instance\\" + guidText(clsid);
}

size_t countListed() {
  size_t n = 0;
  for (const DeviceEntry& entry : listVideoDevices()) {
    if (std::find(std::begin(kNames), std::end(kNames), entry.name) != std::end(kNames)) ++n;
  }
  return n;
}

class TestCamRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(com_.status());
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
    dllPath_ = folder + L"kivo-testcam.dll";
    module_ = LoadLibraryW(dllPath_.c_str());
    ASSERT_NE(module_, nullptr);
    registerServer_ = procedure<ServerCall>(module_, "DllRegisterServer");
    unregisterServer_ = procedure<ServerCall>(module_, "DllUnregisterServer");
    canUnload_ = procedure<ServerCall>(module_, "DllCanUnloadNow");
    getClassObject_ = procedure<GetClassObjectCall>(module_, "DllGetClassObject");
    ASSERT_TRUE(registerServer_ && unregisterServer_ && canUnload_ && getClassObject_);
  }

  void TearDown() override {
    // Whatever happened, later programs find the devices registered.
    if (registerServer_) registerServer_();
    if (module_) FreeLibrary(module_);
  }

  kivo::test::ComScope com_;
  std::wstring dllPath_;
  HMODULE module_ = nullptr;
  ServerCall registerServer_ = nullptr;
  ServerCall unregisterServer_ = nullptr;
  ServerCall canUnload_ = nullptr;
  GetClassObjectCall getClassObject_ = nullptr;
};

TEST_F(TestCamRegistration, UnregisterRemovesEveryTraceAndRegisterRestoresIt) {
  ASSERT_EQ(countListed(), std::size(kNames));

  ASSERT_EQ(unregisterServer_(), S_OK);
  EXPECT_EQ(countListed(), 0u);
  for (const CLSID* clsid : kClasses) {
    EXPECT_FALSE(keyExists(L"CLSID\\" + guidText(*clsid))) << guidText(*clsid).c_str();
    EXPECT_FALSE(keyExists(instanceKey(*clsid))) << guidText(*clsid).c_str();
  }
  // A second unregistration finds nothing to remove and still succeeds.
  EXPECT_EQ(unregisterServer_(), S_OK);

  ASSERT_EQ(registerServer_(), S_OK);
  EXPECT_EQ(countListed(), std::size(kNames));
  for (size_t i = 0; i < std::size(kNames); ++i) {
    const std::wstring key = L"CLSID\\" + guidText(*kClasses[i]);
    EXPECT_EQ(keyText(key, nullptr), kNames[i]);
    EXPECT_EQ(keyText(key + L"\\InprocServer32", L"ThreadingModel"), L"Both");
    EXPECT_EQ(_wcsicmp(keyText(key + L"\\InprocServer32", nullptr).c_str(), dllPath_.c_str()), 0);
    EXPECT_TRUE(keyExists(instanceKey(*kClasses[i])));
  }
  CComPtr<IBaseFilter> filter;
  EXPECT_HRESULT_SUCCEEDED(bindDevice(testcam::kUsbCameraName, &filter));
}

TEST_F(TestCamRegistration, ClassFactoriesAndUnloading) {
  CComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject_(testcam::kCrossbarClsid, IID_IClassFactory,
                            reinterpret_cast<void**>(&factory)),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(getClassObject_(testcam::kBrokenCameraClsid, IID_IClassFactory,
                            reinterpret_cast<void**>(&factory)),
            S_OK);
  CComPtr<IBaseFilter> filter;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
            E_FAIL);
  factory.Release();

  ASSERT_EQ(getClassObject_(testcam::kUsbCameraClsid, IID_IClassFactory,
                            reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(canUnload_(), S_FALSE);
  CComPtr<IUnknown> outer;
  EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, reinterpret_cast<void**>(&outer)),
            CLASS_E_NOAGGREGATION);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
            S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Release();
  EXPECT_EQ(canUnload_(), S_FALSE);  // a filter and a lock
  filter.Release();
  EXPECT_EQ(canUnload_(), S_FALSE);  // the lock
  ASSERT_EQ(getClassObject_(testcam::kUsbCameraClsid, IID_IClassFactory,
                            reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Release();
  EXPECT_EQ(canUnload_(), S_OK);
}

}  // namespace
