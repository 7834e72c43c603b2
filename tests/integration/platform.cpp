// What kivo relies on in Wine's platform, seen through kivo as a host sees it.

#include <kivo/kivo.h>

#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace kivo::test {
namespace {

// The DirectX version: the file probe finds d3d9.dll (9.0); Wine's DxDiag provider reports 9.0c,
// but only to a single-threaded apartment (the query makes one on a thread without COM).
TEST(PlatformOnWine, DirectXVersionFromTheFilesAndTheDxDiagProvider) {
  char text[32];
  std::memset(text, 'x', sizeof(text));
  DWORD packed = 0;
  ASSERT_EQ(util::GetDXVersion(&packed, text, sizeof(text), false), S_OK);
  EXPECT_STREQ(text, "9.0");
  ASSERT_EQ(util::GetDXVersion(&packed, text, sizeof(text), true), S_OK);
  EXPECT_STREQ(text, "9.0c");

  // Wine cannot marshal the provider's interface into the multithreaded apartment
  // (E_NOINTERFACE): the query falls back to the files and leaves the caller's COM as it was.
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(util::GetDXVersion(&packed, text, sizeof(text), true), S_OK);
  EXPECT_STREQ(text, "9.0");
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);  // same apartment
  CoUninitialize();
  CoUninitialize();
}

// Wine's AMGetErrorTextA has no message table: "Error: 0x" and the status; exceptions carry it.
TEST(PlatformOnWine, ErrorTextIsTheGenericStatusTextAndExceptionsCarryIt) {
  char buffer[256] = {};
  EXPECT_EQ(AMGetErrorTextA(VFW_E_CANNOT_CONNECT, buffer, sizeof(buffer)), 17u);
  EXPECT_STREQ(buffer, "Error: 0x80040217");
  EXPECT_STREQ(VIDeviceAccessException(E_ACCESSDENIED).getMessage(),
               "Image acquisition device is not accessible.\nError: 0x80070005\n"
               "Make sure no other objects or applications are accessing the same device.");
  EXPECT_STREQ(NoVIDevicesException().getMessage(),
               "No image acquisition device is connected or accessible.");
}

// kivo.dll links at load time only what every host needs; the DLLs behind the error text
// (quartz), the message box and the graph's item name (user32) and the file versions (version)
// come on first use, with the platform's own results (the error texts above, the DirectX
// version and the graph registration here).
TEST(PlatformOnWine, KivoDllImportsOnlyWhatEveryHostNeeds) {
  const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(L"kivo.dll"));
  ASSERT_NE(base, nullptr);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> names;
  for (auto* entry =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       entry->Name; ++entry) {
    std::string name = reinterpret_cast<const char*>(base + entry->Name);
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll"}));
}

CLSID classOf(const Filter& filter) {
  CLSID clsid = GUID_NULL;
  if (filter.getInterface()) filter.getInterface()->GetClassID(&clsid);
  return clsid;
}

TEST(PlatformOnWine, FiltersAreCreatedFromTheirClassesOrRefusedWithTheStatus) {
  ComScope com;
  NullSink null;
  EXPECT_STREQ(null.getUniqueString(), "");  // no device, no path
  EXPECT_FALSE(null.isVFW());
  EXPECT_EQ(classOf(null), CLSID_NullRenderer);
  // Wine's video renderer opens its window on the X display the test run provides.
  VideoSink video;
  EXPECT_EQ(classOf(video), CLSID_VideoRenderer);
  // Wine 8 has no DV video decoder: its creation status shows in the message.
  try {
    DVDecoder dv;
    ADD_FAILURE() << "a DV decoder was created";
  } catch (const FilterCreationException& e) {
    EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
    EXPECT_STREQ(e.getMessage(), "Error: 0x80040154");
  }
}

// The display names of every entry in the Running Object Table.
std::vector<std::wstring> runningObjectNames() {
  std::vector<std::wstring> names;
  CComPtr<IRunningObjectTable> table;
  CComPtr<IEnumMoniker> monikers;
  CComPtr<IBindCtx> context;
  if (FAILED(GetRunningObjectTable(0, &table)) || FAILED(table->EnumRunning(&monikers)) ||
      !monikers || FAILED(CreateBindCtx(0, &context)))
    return names;
  for (CComPtr<IMoniker> moniker; monikers->Next(1, &moniker, nullptr) == S_OK; moniker.Release()) {
    LPOLESTR display = nullptr;
    if (SUCCEEDED(moniker->GetDisplayName(context, nullptr, &display)) && display)
      names.push_back(display);
    CoTaskMemFree(display);
  }
  return names;
}

// How many entries of the table carry the name graph inspection tools look for.
size_t countRunning(IGraphBuilder* graph) {
  wchar_t name[64];
  std::swprintf(name, 64, L"!FilterGraph %08x pid %08x",
                unsigned(reinterpret_cast<uintptr_t>(graph) & 0xffffffffu),
                unsigned(GetCurrentProcessId()));
  const std::vector<std::wstring> names = runningObjectNames();
  return size_t(std::count(names.begin(), names.end(), name));
}

// A registration is listed under the name graph inspection tools look for until it goes.
TEST(PlatformOnWine, AGraphIsListedWhileRegistered) {
  ComScope com;
  CComPtr<IGraphBuilder> graph;
  ASSERT_EQ(graph.CoCreateInstance(CLSID_FilterGraph), S_OK);
  {
    ROTRegister rot(graph);
    ASSERT_EQ(rot.addgraph(), S_OK);
    EXPECT_EQ(countRunning(graph), 1u);
  }
  EXPECT_EQ(countRunning(graph), 0u);
}

}  // namespace
}  // namespace kivo::test
