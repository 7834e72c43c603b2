#include <kivo/util.h>

#include "foundation/dx_version.h"
#include "support/mocks/idxdiagcontainer.h"
#include "support/mocks/idxdiagprovider.h"
#include "support/scoped_value.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace kivo {
namespace {

using test::HandOut;
using test::MockDxDiagContainer;
using test::MockDxDiagProvider;
using test::ScopedValue;
using ::testing::_;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::StrEq;

// --- The machine the probe sees -----------------------------------------

const char kSystemDirectory[] = "C:\\windows\\system32";

struct Machine {
  bool haveSystemDirectory = true;
  std::map<std::string, std::vector<WORD>> versions;  // file name -> a.b.c.d
  std::vector<std::string> pathsRead;
  IDxDiagProvider* provider = nullptr;
  HRESULT providerStatus = REGDB_E_CLASSNOTREG;
  int providersCreated = 0;
};

Machine* machine = nullptr;

UINT WINAPI fakeSystemDirectory(LPSTR buffer, UINT capacity) {
  if (!machine->haveSystemDirectory) return 0;
  lstrcpynA(buffer, kSystemDirectory, static_cast<int>(capacity));
  return static_cast<UINT>(std::strlen(kSystemDirectory));
}

bool fakeFileVersion(const char* path, DWORD* mostSignificant, DWORD* leastSignificant) {
  machine->pathsRead.push_back(path);
  const std::string prefix = std::string(kSystemDirectory) + "\\";
  const std::string file = std::string(path).substr(prefix.size());
  auto found = machine->versions.find(file);
  if (found == machine->versions.end()) return false;
  const std::vector<WORD>& v = found->second;
  *mostSignificant = MAKELONG(v[1], v[0]);
  *leastSignificant = MAKELONG(v[3], v[2]);
  return true;
}

HRESULT fakeProvider(IDxDiagProvider** provider) {
  ++machine->providersCreated;
  *provider = nullptr;
  if (FAILED(machine->providerStatus)) return machine->providerStatus;
  *provider = machine->provider;
  if (*provider) (*provider)->AddRef();
  return machine->providerStatus;
}

class DXVersion : public ::testing::Test {
 protected:
  DXVersion()
      : sources_(detail::dxVersionSources,
                 detail::DxVersionSources{&fakeSystemDirectory, &fakeFileVersion, &fakeProvider}) {
    machine = &machine_;
  }
  ~DXVersion() override { machine = nullptr; }

  void install(const char* file, WORD a, WORD b, WORD c, WORD d) {
    machine_.versions[file] = {a, b, c, d};
  }

  // The text and packed forms from the file probe.
  std::string probe(DWORD* packed = nullptr) {
    char text[32];
    std::memset(text, 'x', sizeof(text));
    DWORD version = 0xdeadbeef;
    EXPECT_EQ(util::GetDXVersion(&version, text, sizeof(text), false), S_OK);
    if (packed) *packed = version;
    return text;
  }

  Machine machine_;

 private:
  ScopedValue<detail::DxVersionSources> sources_;
};

TEST_F(DXVersion, D3d9WithAnyVersionIs90WhateverTheOthersSay) {
  install("ddraw.dll", 5, 3, 2600, 5512);
  install("d3d8.dll", 5, 1, 2600, 901);
  install("mpg2splt.ax", 6, 3, 1, 885);
  install("d3d9.dll", 0, 0, 0, 0);
  DWORD packed = 0;
  EXPECT_EQ(probe(&packed), "9.0");
  EXPECT_EQ(packed, 0x00090000u);
}

TEST_F(DXVersion, ReadsEveryProbedFileInTableOrder) {
  install("d3d9.dll", 6, 1, 7600, 16385);
  probe();
  const std::string dir = std::string(kSystemDirectory) + "\\";
  const std::vector<std::string> expected = {
      dir + "ddraw.dll",   dir + "d3drg8x.dll", dir + "ddraw.dll", dir + "dplayx.dll",
      dir + "ddraw.dll",   dir + "dinput.dll",  dir + "ddraw.dll", dir + "d3d8.dll",
      dir + "mpg2splt.ax", dir + "dpnet.dll",   dir + "d3d9.dll"};
  EXPECT_EQ(machine_.pathsRead, expected);
}

struct ProbeCase {
  std::map<std::string, std::vector<WORD>> files;
  const char* text;
  DWORD packed;
};

TEST_F(DXVersion, EveryTableRowAndItsThresholds) {
  const ProbeCase cases[] = {
      {{}, "0.0", 0},
      {{{"ddraw.dll", {4, 2, 0, 94}}}, "0.0", 0},
      {{{"ddraw.dll", {4, 2, 0, 95}}}, "1.0", 0x00010000},
      {{{"ddraw.dll", {4, 3, 0, 1096}}}, "2.0", 0x00020000},
      {{{"ddraw.dll", {4, 4, 0, 68}}}, "3.0", 0x00030000},
      {{{"ddraw.dll", {4, 4, 0, 68}}, {"d3drg8x.dll", {4, 4, 0, 70}}}, "3.0a", 0x00030001},
      {{{"d3drg8x.dll", {4, 4, 0, 69}}}, "0.0", 0},
      {{{"ddraw.dll", {4, 5, 0, 155}}, {"d3drg8x.dll", {4, 4, 0, 70}}}, "5.0", 0x00050000},
      {{{"ddraw.dll", {4, 6, 0, 318}}}, "6.0", 0x00060000},
      {{{"ddraw.dll", {4, 6, 0, 436}}}, "6.1", 0x00060100},
      {{{"ddraw.dll", {4, 6, 0, 436}}, {"dplayx.dll", {4, 6, 3, 518}}}, "6.1a", 0x00060101},
      {{{"ddraw.dll", {4, 7, 0, 700}}}, "7.0", 0x00070000},
      {{{"ddraw.dll", {4, 7, 0, 700}}, {"dinput.dll", {4, 7, 0, 716}}}, "7.0a", 0x00070001},
      {{{"ddraw.dll", {4, 8, 0, 400}}}, "8.0", 0x00080000},
      {{{"ddraw.dll", {5, 1, 2258, 400}}}, "8.0", 0x00080000},
      {{{"ddraw.dll", {5, 1, 2258, 399}}}, "7.0", 0x00070000},
      {{{"d3d8.dll", {4, 8, 1, 881}}}, "8.1", 0x00080100},
      {{{"d3d8.dll", {5, 1, 2600, 881}}}, "8.1", 0x00080100},
      {{{"d3d8.dll", {4, 8, 1, 901}}}, "8.1a", 0x00080101},
      {{{"d3d8.dll", {5, 1, 2600, 901}}}, "8.1a", 0x00080101},
      {{{"d3d8.dll", {5, 1, 2600, 900}}}, "8.1", 0x00080100},
      {{{"mpg2splt.ax", {6, 3, 1, 885}}}, "8.1b", 0x00080102},
      {{{"dpnet.dll", {4, 9, 0, 134}}}, "8.2", 0x00080200},
      {{{"dpnet.dll", {5, 2, 3677, 134}}}, "8.2", 0x00080200},
      {{{"dpnet.dll", {5, 2, 3677, 133}}}, "0.0", 0},
      // A later row overwrites what an earlier one found.
      {{{"ddraw.dll", {4, 8, 0, 400}}, {"dplayx.dll", {4, 6, 3, 518}}}, "8.0", 0x00080000},
      // The least significant halves compare unsigned.
      {{{"dplayx.dll", {4, 6, 0x8000, 0}}}, "6.1a", 0x00060101},
      // A greater most significant half passes whatever the rest says.
      {{{"dinput.dll", {4, 8, 0, 0}}}, "7.0a", 0x00070001},
  };
  for (const ProbeCase& c : cases) {
    machine_.versions = c.files;
    DWORD packed = 0;
    EXPECT_EQ(probe(&packed), c.text) << "expected " << c.text;
    EXPECT_EQ(packed, c.packed) << "expected " << c.text;
  }
}

TEST_F(DXVersion, FirstNumberOtherThanFourOrFivePassesNoneOfTheSplitTests) {
  install("ddraw.dll", 6, 0, 6000, 16386);
  install("d3d8.dll", 6, 0, 6000, 16386);
  install("dpnet.dll", 6, 0, 6000, 16386);
  // ddraw.dll still passes every plain "at least" test up to 7.0.
  EXPECT_EQ(probe(), "7.0");
  machine_.versions.clear();
  install("ddraw.dll", 3, 99, 0, 0);
  install("d3d8.dll", 3, 99, 0, 0);
  install("dpnet.dll", 3, 99, 0, 0);
  EXPECT_EQ(probe(), "0.0");
}

TEST_F(DXVersion, NoSystemDirectoryIsZeroNotFailure) {
  machine_.haveSystemDirectory = false;
  install("d3d9.dll", 6, 1, 0, 0);
  DWORD packed = 1;
  EXPECT_EQ(probe(&packed), "0.0");
  EXPECT_EQ(packed, 0u);
  EXPECT_TRUE(machine_.pathsRead.empty());
}

TEST_F(DXVersion, TextIsCutToItsCapacityAndAlwaysTerminated) {
  install("mpg2splt.ax", 6, 3, 1, 885);
  char text[8];
  std::memset(text, 'x', sizeof(text));
  DWORD packed = 0;
  EXPECT_EQ(util::GetDXVersion(&packed, text, 3, false), S_OK);
  EXPECT_STREQ(text, "8.");
  EXPECT_EQ(text[3], 'x');  // nothing written past the capacity
  EXPECT_EQ(packed, 0x00080102u);

  std::memset(text, 'x', sizeof(text));
  EXPECT_EQ(util::GetDXVersion(nullptr, text, 1, false), S_OK);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'x');

  std::memset(text, 'x', sizeof(text));
  EXPECT_EQ(util::GetDXVersion(nullptr, text, 0, false), S_OK);
  EXPECT_EQ(text[0], 'x');  // no capacity: untouched
  EXPECT_EQ(util::GetDXVersion(nullptr, text, -5, false), S_OK);
  EXPECT_EQ(text[0], 'x');
}

TEST_F(DXVersion, EitherOutputMayBeNull) {
  install("ddraw.dll", 4, 6, 0, 436);
  install("dplayx.dll", 4, 6, 3, 518);
  DWORD packed = 0;
  EXPECT_EQ(util::GetDXVersion(&packed, nullptr, 10, false), S_OK);
  EXPECT_EQ(packed, 0x00060101u);
  EXPECT_EQ(util::GetDXVersion(nullptr, nullptr, 0, false), S_OK);
  char text[8];
  EXPECT_EQ(util::GetDXVersion(nullptr, text, sizeof(text), false), S_OK);
  EXPECT_STREQ(text, "6.1a");
}

TEST_F(DXVersion, QueryDXVersionUsesOnlyTheFiles) {
  install("d3d9.dll", 6, 1, 7600, 16385);
  std::string text = "previous";
  DWORD packed = 0;
  util::queryDXVersion(text, &packed);
  EXPECT_EQ(text, "9.0");
  EXPECT_EQ(packed, 0x00090000u);
  util::queryDXVersion(text, nullptr);
  EXPECT_EQ(text, "9.0");
  EXPECT_EQ(machine_.providersCreated, 0);

  machine_.versions.clear();
  util::queryDXVersion(text, &packed);
  EXPECT_EQ(text, "0.0");
  EXPECT_EQ(packed, 0u);
}

// --- The DxDiag provider ---------------------------------------------------

auto setUI4(ULONG value) {
  return [value](LPCWSTR, VARIANT* out) {
    out->vt = VT_UI4;
    out->ulVal = value;
    return S_OK;
  };
}

auto setText(const wchar_t* value) {
  return [value](LPCWSTR, VARIANT* out) {
    out->vt = VT_BSTR;
    out->bstrVal = SysAllocString(value);
    return S_OK;
  };
}

class DxDiagQuery : public DXVersion {
 protected:
  DxDiagQuery() {
    machine_.provider = &provider_;
    machine_.providerStatus = S_OK;
    ON_CALL(provider_, Initialize).WillByDefault(Return(S_OK));
    ON_CALL(provider_, GetRootContainer).WillByDefault(HandOut<0>(&root_));
    ON_CALL(root_, GetChildContainer(StrEq(L"DxDiag_SystemInfo"), _))
        .WillByDefault(HandOut<1>(&systemInfo_));
    ON_CALL(systemInfo_, GetProp).WillByDefault(Return(E_INVALIDARG));
  }

  void report(ULONG major, ULONG minor, const wchar_t* letter) {
    ON_CALL(systemInfo_, GetProp(StrEq(L"dwDirectXVersionMajor"), _))
        .WillByDefault(Invoke(setUI4(major)));
    ON_CALL(systemInfo_, GetProp(StrEq(L"dwDirectXVersionMinor"), _))
        .WillByDefault(Invoke(setUI4(minor)));
    ON_CALL(systemInfo_, GetProp(StrEq(L"szDirectXVersionLetter"), _))
        .WillByDefault(Invoke(setText(letter)));
  }

  std::string query(DWORD* packed) {
    char text[16] = {};
    EXPECT_EQ(util::GetDXVersion(packed, text, sizeof(text), true), S_OK);
    return text;
  }

  NiceMock<MockDxDiagContainer> systemInfo_;
  NiceMock<MockDxDiagContainer> root_;
  NiceMock<MockDxDiagProvider> provider_;
};

TEST_F(DxDiagQuery, InitialisesTheProviderForTheDx9Header) {
  report(9, 0, L"c");
  DXDIAG_INIT_PARAMS seen = {};
  EXPECT_CALL(provider_, Initialize).WillOnce(Invoke([&](DXDIAG_INIT_PARAMS* params) {
    seen = *params;
    return S_OK;
  }));
  DWORD packed = 0;
  EXPECT_EQ(query(&packed), "9.0c");
  EXPECT_EQ(packed, 0x00090003u);
  EXPECT_EQ(seen.dwSize, sizeof(DXDIAG_INIT_PARAMS));
  if (sizeof(void*) == 8) {
    EXPECT_EQ(seen.dwSize, 24u);
  }
  EXPECT_EQ(seen.dwDxDiagHeaderVersion, 111u);
  EXPECT_FALSE(seen.bAllowWHQLChecks);
  EXPECT_EQ(seen.pReserved, nullptr);
  EXPECT_TRUE(machine_.pathsRead.empty());  // the files were not needed
}

TEST_F(DxDiagQuery, UpperCaseLetterBecomesLowerCaseInBothForms) {
  report(8, 1, L"B");
  DWORD packed = 0;
  EXPECT_EQ(query(&packed), "8.1b");
  EXPECT_EQ(packed, 0x00080102u);
}

TEST_F(DxDiagQuery, BlankOrEmptyLetterMeansNone) {
  report(12, 0, L" ");
  DWORD packed = 0;
  EXPECT_EQ(query(&packed), "12.0");
  EXPECT_EQ(packed, 0x000C0000u);
  report(11, 1, L"");
  EXPECT_EQ(query(&packed), "11.1");
  EXPECT_EQ(packed, 0x000B0100u);
}

TEST_F(DxDiagQuery, LetterOutsideATozCountsZeroInThePackedForm) {
  report(9, 0, L"?");
  DWORD packed = 0;
  EXPECT_EQ(query(&packed), "9.0?");
  EXPECT_EQ(packed, 0x00090000u);
}

TEST_F(DxDiagQuery, MissingValueFallsBackToTheFiles) {
  report(12, 3, L"z");
  // The letter comes as a number: not read, so the query failed.
  ON_CALL(systemInfo_, GetProp(StrEq(L"szDirectXVersionLetter"), _))
      .WillByDefault(Invoke(setUI4(2)));
  install("ddraw.dll", 4, 6, 0, 318);
  DWORD packed = 0;
  EXPECT_EQ(query(&packed), "6.0");
  EXPECT_EQ(packed, 0x00060000u);
  EXPECT_FALSE(machine_.pathsRead.empty());

  // With no file either, what the provider did read is not kept.
  machine_.versions.clear();
  EXPECT_EQ(query(&packed), "0.0");
  EXPECT_EQ(packed, 0u);
}

TEST_F(DxDiagQuery, NullLetterTextIsNotRead) {
  report(9, 0, L"c");
  ON_CALL(systemInfo_, GetProp(StrEq(L"szDirectXVersionLetter"), _))
      .WillByDefault(Invoke([](LPCWSTR, VARIANT* out) {
        out->vt = VT_BSTR;
        out->bstrVal = nullptr;
        return S_OK;
      }));
  DWORD packed = 0;
  EXPECT_EQ(query(&packed), "0.0");
}

TEST_F(DxDiagQuery, EveryFailingStepFallsBackToTheFiles) {
  report(9, 0, L"c");
  install("ddraw.dll", 4, 7, 0, 700);
  DWORD packed = 0;

  EXPECT_CALL(provider_, Initialize).WillOnce(Return(E_FAIL)).WillRepeatedly(Return(S_OK));
  EXPECT_EQ(query(&packed), "7.0");

  EXPECT_CALL(provider_, GetRootContainer)
      .WillOnce(Return(E_FAIL))
      .WillRepeatedly(HandOut<0>(&root_));
  EXPECT_EQ(query(&packed), "7.0");

  EXPECT_CALL(root_, GetChildContainer)
      .WillOnce(Return(E_INVALIDARG))
      .WillRepeatedly(HandOut<1>(&systemInfo_));
  EXPECT_EQ(query(&packed), "7.0");

  machine_.providerStatus = REGDB_E_CLASSNOTREG;
  EXPECT_EQ(query(&packed), "7.0");

  machine_.providerStatus = S_OK;
  EXPECT_EQ(query(&packed), "9.0c");
}

TEST_F(DxDiagQuery, NotAskedForUnlessRequested) {
  report(9, 0, L"c");
  DWORD packed = 0;
  char text[8];
  EXPECT_EQ(util::GetDXVersion(&packed, text, sizeof(text), false), S_OK);
  EXPECT_STREQ(text, "0.0");
  EXPECT_EQ(machine_.providersCreated, 0);
}

}  // namespace
}  // namespace kivo
