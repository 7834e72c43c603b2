// The in-process COM server: class factories, unloading and registration of
// every device in the video input device category.

#include <olectl.h>

#include <new>
#include <string>
#include <vector>

#include "capture_filter.h"
#include "com_object.h"
#include "profiles.h"
#include "testcam_ids.h"

namespace testcam {

namespace {

std::atomic<long> g_moduleCount{0};
HMODULE g_module = nullptr;

}  // namespace

void moduleAddRef() { ++g_moduleCount; }
void moduleRelease() { --g_moduleCount; }
long moduleCount() { return g_moduleCount; }

namespace {

// A device as it is registered: the working ones and the broken one.
struct Registration {
  const CLSID* clsid;
  const wchar_t* name;
  int number;
};

std::vector<Registration> registrations() {
  std::vector<Registration> list;
  for (const DeviceProfile& profile : deviceProfiles()) {
    list.push_back({profile.clsid, profile.name, profile.number});
  }
  list.push_back({&kBrokenCameraClsid, kBrokenCameraName, 2});
  return list;
}

std::wstring guidText(REFGUID guid) {
  wchar_t text[64] = {};
  StringFromGUID2(guid, text, 64);
  return text;
}

class ClassFactory final : public RefCounted<IClassFactory> {
 public:
  explicit ClassFactory(const DeviceProfile* profile) : profile_(profile) {}

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    // The broken device's hardware never answers.
    if (!profile_) return E_FAIL;
    return CaptureFilter::create(*profile_, iid, result);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      moduleAddRef();
    } else {
      moduleRelease();
    }
    return S_OK;
  }

 private:
  const DeviceProfile* profile_;
};

LONG setString(HKEY key, const wchar_t* name, const wchar_t* value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                        static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

HRESULT writeClassKey(const Registration& entry, const std::wstring& modulePath) {
  const std::wstring key = L"CLSID\\" + guidText(*entry.clsid);
  HKEY classKey = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                &classKey, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  setString(classKey, nullptr, entry.name);
  HKEY serverKey = nullptr;
  status = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                           &serverKey, nullptr);
  RegCloseKey(classKey);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  status = setString(serverKey, nullptr, modulePath.c_str());
  if (status == ERROR_SUCCESS) status = setString(serverKey, L"ThreadingModel", L"Both");
  RegCloseKey(serverKey);
  return HRESULT_FROM_WIN32(status);
}

HRESULT enterInCategory(IFilterMapper2* mapper, const Registration& entry) {
  REGPINTYPES pinType = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
  REGFILTERPINS pin = {};
  pin.strName = const_cast<LPWSTR>(L"Capture");
  pin.bOutput = TRUE;
  pin.clsConnectsToFilter = &CLSID_NULL;
  pin.nMediaTypes = 1;
  pin.lpMediaType = &pinType;
  REGFILTER2 filter = {};
  filter.dwVersion = 1;
  filter.dwMerit = MERIT_DO_NOT_USE;
  filter.cPins = 1;
  filter.rgPins = &pin;

  const std::wstring instance = guidText(*entry.clsid);
  CComPtr<IMoniker> moniker;
  HRESULT hr = mapper->RegisterFilter(*entry.clsid, entry.name, &moniker,
                                      &CLSID_VideoInputDeviceCategory, instance.c_str(), &filter);
  if (FAILED(hr)) return hr;
  if (!moniker) return E_UNEXPECTED;
  CComPtr<IPropertyBag> bag;
  hr = moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag));
  if (FAILED(hr)) return hr;
  // One device has an empty path, as some drivers of virtual devices write.
  const std::wstring path = *entry.clsid == kNoPathCameraClsid
                                ? std::wstring()
                                : std::wstring(kDevicePathPrefix) + std::to_wstring(entry.number);
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(path.c_str());
  if (!value.bstrVal) return E_OUTOFMEMORY;
  hr = bag->Write(L"DevicePath", &value);
  VariantClear(&value);
  if (FAILED(hr) || *entry.clsid != kVfwCameraClsid) return hr;
  // The platform registers each Video for Windows driver it wraps with its
  // driver index; the imitation of one is registered the same way.
  VARIANT driverIndex;
  VariantInit(&driverIndex);
  driverIndex.vt = VT_I4;
  driverIndex.lVal = 0;
  return bag->Write(L"VFWIndex", &driverIndex);
}

// COM for the registration calls, on a thread that may or may not have it.
class ComForRegistration {
 public:
  ComForRegistration() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComForRegistration() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
};

HRESULT unregisterAll() {
  ComForRegistration com;
  CComPtr<IFilterMapper2> mapper;
  HRESULT result = mapper.CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER);
  for (const Registration& entry : registrations()) {
    if (mapper) {
      const std::wstring instance = guidText(*entry.clsid);
      mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, instance.c_str(), *entry.clsid);
    }
    const std::wstring key = L"CLSID\\" + guidText(*entry.clsid);
    const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result)) {
      result = HRESULT_FROM_WIN32(status);
    }
  }
  return result;
}

HRESULT registerAll() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return E_FAIL;
  ComForRegistration com;
  CComPtr<IFilterMapper2> mapper;
  HRESULT hr = mapper.CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER);
  if (FAILED(hr)) return hr;
  for (const Registration& entry : registrations()) {
    hr = writeClassKey(entry, path);
    if (SUCCEEDED(hr)) hr = enterInCategory(mapper, entry);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace
}  // namespace testcam

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    testcam::g_module = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* result) {
  using namespace testcam;
  if (!result) return E_POINTER;
  *result = nullptr;
  const DeviceProfile* profile = findProfile(clsid);
  if (!profile && clsid != kBrokenCameraClsid) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) ClassFactory(profile);
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, result);
  factory->Release();
  return hr;
}

STDAPI DllCanUnloadNow() { return testcam::moduleCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  const HRESULT hr = testcam::registerAll();
  if (FAILED(hr)) testcam::unregisterAll();
  return SUCCEEDED(hr) ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() { return testcam::unregisterAll(); }
