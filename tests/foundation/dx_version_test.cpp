// The DirectX version from the system's files and from DxDiag, on machines Wine does not
// imitate: other file versions, and a DxDiag provider that fails at each step.

#include <kivo/util.h>

#include "foundation/replaceable.h"
#include "support/mocks/system_objects.h"
#include "support/scoped_value.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace kivo {
namespace {

using namespace ::testing;
using test::HandOut;

const char kSystemDirectory[] = "C:\\windows\\system32";

struct Machine {
  std::map<std::string, std::vector<WORD>> versions;
  std::vector<std::string> pathsRead;
  IDxDiagProvider* provider = nullptr;
  HRESULT providerStatus = REGDB_E_CLASSNOTREG;
} machine;

UINT WINAPI fakeSystemDirectory(LPSTR buffer, UINT capacity) {
  lstrcpynA(buffer, kSystemDirectory, static_cast<int>(capacity));
  return static_cast<UINT>(std::strlen(kSystemDirectory));
}

bool fakeFileVersion(const char* path, DWORD* most, DWORD* least) {
  machine.pathsRead.push_back(path);
  auto found = machine.versions.find(std::string(path).substr(sizeof(kSystemDirectory)));
  if (found == machine.versions.end()) return false;
  const std::vector<WORD>& v = found->second;
  *most = MAKELONG(v[1], v[0]);
  *least = MAKELONG(v[3], v[2]);
  return true;
}

HRESULT fakeProvider(IDxDiagProvider** provider) {
  *provider = FAILED(machine.providerStatus) ? nullptr : machine.provider;
  if (*provider) (*provider)->AddRef();
  return machine.providerStatus;
}

auto setUI4(ULONG value) {
  return [value](LPCWSTR, VARIANT* out) {
    out->vt = VT_UI4;
    out->ulVal = value;
    return S_OK;
  };
}

class DXVersion : public Test {
 protected:
  DXVersion() {
    machine = Machine{};
    machine.provider = &provider_;
    ON_CALL(provider_, Initialize).WillByDefault(Return(S_OK));
    ON_CALL(provider_, GetRootContainer).WillByDefault(HandOut<0>(&root_));
    ON_CALL(root_, GetChildContainer(StrEq(L"DxDiag_SystemInfo"), _))
        .WillByDefault(HandOut<1>(&systemInfo_));
    ON_CALL(systemInfo_, GetProp).WillByDefault(Return(E_INVALIDARG));
  }

  void report(ULONG major, ULONG minor, const wchar_t* letter) {
    machine.providerStatus = S_OK;
    ON_CALL(systemInfo_, GetProp(StrEq(L"dwDirectXVersionMajor"), _)).WillByDefault(setUI4(major));
    ON_CALL(systemInfo_, GetProp(StrEq(L"dwDirectXVersionMinor"), _)).WillByDefault(setUI4(minor));
    ON_CALL(systemInfo_, GetProp(StrEq(L"szDirectXVersionLetter"), _))
        .WillByDefault([letter](LPCWSTR, VARIANT* out) {
          out->vt = VT_BSTR;
          out->bstrVal = letter ? SysAllocString(letter) : nullptr;
          return S_OK;
        });
  }

  std::string probe(bool dxDiag = false) {
    char text[16];
    DWORD packed = 0xdeadbeef;
    EXPECT_EQ(util::GetDXVersion(&packed, text, sizeof(text), dxDiag), S_OK);
    char both[32];
    std::snprintf(both, sizeof(both), "%s/%08lx", text, static_cast<unsigned long>(packed));
    return both;
  }

  test::ScopedValue<replaceable::DxVersionSources> sources_{
      replaceable::dxVersionSources,
      replaceable::DxVersionSources{&fakeSystemDirectory, &fakeFileVersion, &fakeProvider}};
  NiceMock<test::MockDxDiagContainer> systemInfo_, root_;
  NiceMock<test::MockDxDiagProvider> provider_;
};

TEST_F(DXVersion, FileTableThresholdsThenDxDiagWhenRequestedFallingBackToTheFiles) {
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
    machine.versions = c.files;
    EXPECT_EQ(probe(), c.result);
  }
  EXPECT_EQ(machine.pathsRead.front(), std::string(kSystemDirectory) + "\\ddraw.dll");
  // DxDiag is asked for the DirectX 9 header only when requested.
  machine.versions.clear();
  report(9, 0, L"c");
  EXPECT_EQ(probe(false), "0.0/00000000");
  DXDIAG_INIT_PARAMS seen = {};
  EXPECT_CALL(provider_, Initialize)
      .WillOnce([&](DXDIAG_INIT_PARAMS* params) { return seen = *params, S_OK; })
      .WillRepeatedly(Return(S_OK));
  EXPECT_EQ(probe(true), "9.0c/00090003");
  EXPECT_EQ(seen.dwSize, sizeof(DXDIAG_INIT_PARAMS));
  EXPECT_EQ(seen.dwDxDiagHeaderVersion, 111u);
  EXPECT_FALSE(seen.bAllowWHQLChecks);
  report(9, 0, L"?");  // outside a-z: zero in the packed form
  EXPECT_EQ(probe(true), "9.0?/00090000");
  // Every failing step falls back to the files.
  machine.versions["ddraw.dll"] = {4, 7, 0, 700};
  report(9, 0, nullptr);  // a null letter text is not read
  EXPECT_EQ(probe(true), "7.0/00070000");
  report(9, 0, L"c");
  ON_CALL(systemInfo_, GetProp(StrEq(L"szDirectXVersionLetter"), _)).WillByDefault(setUI4(2));
  EXPECT_EQ(probe(true), "7.0/00070000");
  report(9, 0, L"c");
  EXPECT_CALL(provider_, Initialize).WillOnce(Return(E_FAIL)).WillRepeatedly(Return(S_OK));
  EXPECT_EQ(probe(true), "7.0/00070000");
  EXPECT_CALL(provider_, GetRootContainer)
      .WillOnce(Return(E_FAIL))
      .WillRepeatedly(HandOut<0>(&root_));
  EXPECT_EQ(probe(true), "7.0/00070000");
  EXPECT_CALL(root_, GetChildContainer)
      .WillOnce(Return(E_INVALIDARG))
      .WillRepeatedly(HandOut<1>(&systemInfo_));
  EXPECT_EQ(probe(true), "7.0/00070000");
  machine.providerStatus = REGDB_E_CLASSNOTREG;
  EXPECT_EQ(probe(true), "7.0/00070000");
  // With no file either, what the provider did read is not kept.
  machine.versions.clear();
  report(12, 3, nullptr);
  EXPECT_EQ(probe(true), "0.0/00000000");
}

}  // namespace
}  // namespace kivo
