// The DirectX version from other file versions than Wine's, and a DxDiag failing at each step.

#include <kivo/util.h>

#include "foundation/dx_diag.h"
#include "foundation/replaceable.h"
#include "support/com_fake.h"
#include "support/scoped_value.h"

#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace kivo::test {
namespace {

const char kSystemDirectory[] = "C:\\windows\\system32";

// DxDiag's provider and containers in one fake: each step answers its status; then the values.
class FakeDxDiag : public ComFake<IDxDiagProvider, IDxDiagContainer> {
 public:
  explicit FakeDxDiag(ULONG major = 9, ULONG minor = 0, const wchar_t* letter = L"c")
      : numbers{{L"dwDirectXVersionMajor", major}, {L"dwDirectXVersionMinor", minor}},
        letter(letter) {}
  HRESULT STDMETHODCALLTYPE Initialize(DXDIAG_INIT_PARAMS* params) override {
    return seen = *params, initialize;
  }
  HRESULT STDMETHODCALLTYPE GetRootContainer(IDxDiagContainer** out) override {
    return FAILED(root) ? root : HandOut<0>(static_cast<IDxDiagContainer*>(this))(out);
  }
  HRESULT STDMETHODCALLTYPE GetChildContainer(LPCWSTR name, IDxDiagContainer** out) override {
    if (FAILED(child) || std::wcscmp(name, L"DxDiag_SystemInfo") != 0) return E_INVALIDARG;
    return HandOut<0>(static_cast<IDxDiagContainer*>(this))(out);
  }
  HRESULT STDMETHODCALLTYPE GetProp(LPCWSTR name, VARIANT* out) override {
    if (auto n = numbers.find(name); n != numbers.end())
      return out->vt = VT_UI4, out->ulVal = n->second, S_OK;
    if (std::wcscmp(name, L"szDirectXVersionLetter") != 0) return E_INVALIDARG;
    return out->vt = VT_BSTR, out->bstrVal = letter ? SysAllocString(letter) : nullptr, S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetNumberOfChildContainers(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumChildContainerNames(DWORD, LPWSTR, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetNumberOfProps(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumPropNames(DWORD, LPWSTR, DWORD) override { return E_NOTIMPL; }

  std::map<std::wstring, ULONG> numbers;
  const wchar_t* letter;
  HRESULT initialize = S_OK, root = S_OK, child = S_OK;
  DXDIAG_INIT_PARAMS seen = {};
};

// The machine's files (name: a, b, c, d) and DxDiag provider (none when null).
std::map<std::string, std::vector<WORD>> files;
FakeDxDiag* dxDiag = nullptr;

UINT WINAPI fakeSystemDirectory(LPSTR buffer, UINT capacity) {
  lstrcpynA(buffer, kSystemDirectory, static_cast<int>(capacity));
  return static_cast<UINT>(std::strlen(kSystemDirectory));
}

bool fakeFileVersion(const char* path, DWORD* most, DWORD* least) {
  auto found = files.find(std::string(path).substr(sizeof(kSystemDirectory)));
  if (found == files.end()) return false;
  const std::vector<WORD>& v = found->second;
  return *most = MAKELONG(v[1], v[0]), *least = MAKELONG(v[3], v[2]), true;
}

HRESULT fakeProvider(IDxDiagProvider** provider) {
  *provider = nullptr;
  return dxDiag ? HandOut<0>(dxDiag->self())(provider) : REGDB_E_CLASSNOTREG;
}

// The version text and the packed version, as "text/packed".
std::string probe(bool useDxDiag, FakeDxDiag* provider = nullptr) {
  ScopedValue<FakeDxDiag*> machineProvider(dxDiag, provider);
  char text[16];
  DWORD packed = 0xdeadbeef;
  EXPECT_EQ(util::GetDXVersion(&packed, text, sizeof(text), useDxDiag), S_OK);
  char both[32];
  std::snprintf(both, sizeof(both), "%s/%08lx", text, static_cast<unsigned long>(packed));
  return both;
}

TEST(DXVersion, FileTableThresholdsThenDxDiagWhenRequestedFallingBackToTheFiles) {
  ScopedValue<replaceable::DxVersionSources> sources(
      replaceable::dxVersionSources,
      replaceable::DxVersionSources{&fakeSystemDirectory, &fakeFileVersion, &fakeProvider});
  const struct {
    std::map<std::string, std::vector<WORD>> files;
    const char* result;
  } cases[] = {
      {{{"ddraw.dll", {4, 2, 0, 94}}}, "0.0/00000000"},
      {{{"ddraw.dll", {4, 2, 0, 95}}}, "1.0/00010000"},
      // A later row overwrites an earlier one; low halves compare unsigned.
      {{{"ddraw.dll", {4, 8, 0, 400}}, {"dplayx.dll", {4, 6, 3, 518}}}, "8.0/00080000"},
      {{{"dplayx.dll", {4, 6, 0x8000, 0}}}, "6.1a/00060101"},
      // Split tests pass only for a first number of four or five.
      {{{"ddraw.dll", {6, 0, 6000, 16386}}, {"d3d8.dll", {6, 0, 6000, 16386}}}, "7.0/00070000"},
  };
  for (const auto& c : cases) {
    files = c.files;
    EXPECT_EQ(probe(false), c.result);
  }
  // DxDiag is asked for the DirectX 9 header only when requested.
  files.clear();
  FakeDxDiag reporting;
  EXPECT_EQ(probe(false, &reporting), "0.0/00000000");
  EXPECT_EQ(probe(true, &reporting), "9.0c/00090003");
  EXPECT_EQ(reporting.seen.dwSize, sizeof(DXDIAG_INIT_PARAMS));
  EXPECT_EQ(reporting.seen.dwDxDiagHeaderVersion, 111u);
  EXPECT_FALSE(reporting.seen.bAllowWHQLChecks);
  // Every failing step falls back to the files: a null letter text is not read, nor a number.
  files["ddraw.dll"] = {4, 7, 0, 700};
  for (int step = 0; step < 6; ++step) {
    FakeDxDiag failing(9, 0, step == 0 ? nullptr : L"c");
    if (step == 1) failing.numbers[L"szDirectXVersionLetter"] = 2;
    if (step == 2) failing.initialize = E_FAIL;
    if (step == 3) failing.root = E_FAIL;
    if (step == 4) failing.child = E_FAIL;
    EXPECT_EQ(probe(true, step == 5 ? nullptr : &failing), "7.0/00070000") << "step " << step;
  }
}

}  // namespace
}  // namespace kivo::test
