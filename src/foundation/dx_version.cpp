#include <kivo/comptr.h>
#include <kivo/util.h>

// The DxDiag identifiers are in no import library: defined here, once.
#include <initguid.h>

#include "foundation/dx_diag.h"
#include "foundation/replaceable.h"

#include <cstdio>
#include <cstring>

namespace kivo {
namespace util {

namespace {

struct DxRelease {
  DWORD major;
  DWORD minor;
  char letter;  // ' ' when the release has none
};

const DxRelease kNoRelease = {0, 0, ' '};

// --- DxDiag provider -------------------------------------------------------

// Reads one property of the container; `read` sees the VARIANT only when
// the container produced it.
template <class Read>
void readProperty(IDxDiagContainer* container, const wchar_t* name, Read read) {
  VARIANT value;
  VariantInit(&value);
  if (SUCCEEDED(container->GetProp(name, &value))) read(value);
  VariantClear(&value);
}

// Reads major, minor and letter from the provider's system information.
// Each value is stored as soon as it is read; S_OK only when all three were.
HRESULT queryDxDiag(DxRelease& release) {
  bool haveMajor = false;
  bool haveMinor = false;
  bool haveLetter = false;
  const HRESULT comStatus = CoInitialize(nullptr);
  {
    CComPtr<IDxDiagProvider> provider;
    CComPtr<IDxDiagContainer> root;
    CComPtr<IDxDiagContainer> systemInfo;
    if (SUCCEEDED(replaceable::dxVersionSources.createDxDiagProvider(&provider)) && provider) {
      DXDIAG_INIT_PARAMS params;
      std::memset(&params, 0, sizeof(params));
      params.dwSize = static_cast<DWORD>(sizeof(params));
      params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
      params.bAllowWHQLChecks = FALSE;
      params.pReserved = nullptr;
      if (SUCCEEDED(provider->Initialize(&params)) &&
          SUCCEEDED(provider->GetRootContainer(&root)) && root &&
          SUCCEEDED(root->GetChildContainer(L"DxDiag_SystemInfo", &systemInfo)) && systemInfo) {
        readProperty(systemInfo, L"dwDirectXVersionMajor", [&](const VARIANT& value) {
          if (value.vt != VT_UI4) return;
          release.major = value.ulVal;
          haveMajor = true;
        });
        readProperty(systemInfo, L"dwDirectXVersionMinor", [&](const VARIANT& value) {
          if (value.vt != VT_UI4) return;
          release.minor = value.ulVal;
          haveMinor = true;
        });
        readProperty(systemInfo, L"szDirectXVersionLetter", [&](const VARIANT& value) {
          if (value.vt != VT_BSTR || !value.bstrVal) return;
          char narrow[10];
          std::memset(narrow, 0, sizeof(narrow));
          // Only the first character matters; converting it alone cannot
          // overflow the buffer.
          if (value.bstrVal[0] != L'\0')
            WideCharToMultiByte(CP_ACP, 0, value.bstrVal, 1, narrow,
                                static_cast<int>(sizeof(narrow)), nullptr, nullptr);
          // An empty letter text means no letter.
          release.letter = narrow[0] != '\0' ? narrow[0] : ' ';
          haveLetter = true;
        });
      }
    }
  }
  if (SUCCEEDED(comStatus)) CoUninitialize();
  return haveMajor && haveMinor && haveLetter ? S_OK : E_FAIL;
}

// --- File versions ---------------------------------------------------------

// A file version a.b.c.d as the version resource stores it.
struct FileVersion {
  DWORD mostSignificant;   // a.b
  DWORD leastSignificant;  // c.d
};

FileVersion makeVersion(WORD a, WORD b, WORD c, WORD d) {
  return {static_cast<DWORD>((a << 16) | b), static_cast<DWORD>((c << 16) | d)};
}

bool atLeast(const FileVersion& version, const FileVersion& minimum) {
  if (version.mostSignificant != minimum.mostSignificant)
    return version.mostSignificant > minimum.mostSignificant;
  return version.leastSignificant >= minimum.leastSignificant;
}

// One test of a probe row: the file's version is at least a.b.c.d, and its
// first number equals `requiredA` when that is not 0.
struct VersionTest {
  WORD requiredA;
  WORD a, b, c, d;
  DxRelease result;
};

const size_t kMaxTests = 4;

struct ProbeRow {
  const char* file;
  size_t testCount;
  VersionTest tests[kMaxTests];
  bool endsProbe;  // a passing test ends the probe
};

// Each file first shipped with the release its tests name; later rows
// overwrite what earlier rows found.
const ProbeRow kProbeRows[] = {
    {"ddraw.dll",
     3,
     {{0, 4, 2, 0, 95, {1, 0, ' '}},
      {0, 4, 3, 0, 1096, {2, 0, ' '}},
      {0, 4, 4, 0, 68, {3, 0, ' '}}},
     false},
    {"d3drg8x.dll", 1, {{0, 4, 4, 0, 70, {3, 0, 'a'}}}, false},
    {"ddraw.dll",
     3,
     {{0, 4, 5, 0, 155, {5, 0, ' '}},
      {0, 4, 6, 0, 318, {6, 0, ' '}},
      {0, 4, 6, 0, 436, {6, 1, ' '}}},
     false},
    {"dplayx.dll", 1, {{0, 4, 6, 3, 518, {6, 1, 'a'}}}, false},
    {"ddraw.dll", 1, {{0, 4, 7, 0, 700, {7, 0, ' '}}}, false},
    {"dinput.dll", 1, {{0, 4, 7, 0, 716, {7, 0, 'a'}}}, false},
    {"ddraw.dll", 2, {{4, 4, 8, 0, 400, {8, 0, ' '}}, {5, 5, 1, 2258, 400, {8, 0, ' '}}}, false},
    {"d3d8.dll",
     4,
     {{4, 4, 8, 1, 881, {8, 1, ' '}},
      {5, 5, 1, 2600, 881, {8, 1, ' '}},
      {4, 4, 8, 1, 901, {8, 1, 'a'}},
      {5, 5, 1, 2600, 901, {8, 1, 'a'}}},
     false},
    {"mpg2splt.ax", 1, {{0, 6, 3, 1, 885, {8, 1, 'b'}}}, false},
    {"dpnet.dll", 2, {{4, 4, 9, 0, 134, {8, 2, ' '}}, {5, 5, 2, 3677, 134, {8, 2, ' '}}}, false},
    // Any version information at all means 9.0.
    {"d3d9.dll", 1, {{0, 0, 0, 0, 0, {9, 0, ' '}}}, true},
};

// The release the system files belong to; never fails (nothing found is
// 0.0).
void probeFileVersions(DxRelease& release) {
  bool found = false;
  char directory[MAX_PATH];
  const UINT length = replaceable::dxVersionSources.systemDirectory(directory, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    const std::string prefix = std::string(directory, length) + "\\";
    bool ended = false;
    for (const ProbeRow& row : kProbeRows) {
      if (ended) break;
      FileVersion version = {0, 0};
      const std::string path = prefix + row.file;
      if (!replaceable::dxVersionSources.fileVersion(path.c_str(), &version.mostSignificant,
                                                     &version.leastSignificant))
        continue;
      const WORD a = HIWORD(version.mostSignificant);
      for (size_t i = 0; i < row.testCount; ++i) {
        const VersionTest& test = row.tests[i];
        if (test.requiredA != 0 && a != test.requiredA) continue;
        if (!atLeast(version, makeVersion(test.a, test.b, test.c, test.d))) continue;
        release = test.result;
        found = true;
        if (row.endsProbe) ended = true;
      }
    }
  }
  if (!found) release = kNoRelease;
}

char toLowerLetter(char letter) {
  return letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
}

DWORD letterIndex(char letter) {
  return letter >= 'a' && letter <= 'z' ? static_cast<DWORD>(letter - 'a' + 1) : 0;
}

}  // namespace

HRESULT GetDXVersion(DWORD* version, char* text, int textLength, bool useDxDiag) {
  if (version) *version = 0;
  if (text && textLength >= 1) text[0] = '\0';

  DxRelease release = kNoRelease;
  if (!useDxDiag || FAILED(queryDxDiag(release))) probeFileVersions(release);
  release.letter = toLowerLetter(release.letter);

  if (version)
    *version = ((release.major * 256 + release.minor) * 256) + letterIndex(release.letter);
  if (text && textLength >= 1) {
    if (release.letter == ' ')
      std::snprintf(text, static_cast<size_t>(textLength), "%u.%u",
                    static_cast<unsigned>(release.major), static_cast<unsigned>(release.minor));
    else
      std::snprintf(text, static_cast<size_t>(textLength), "%u.%u%c",
                    static_cast<unsigned>(release.major), static_cast<unsigned>(release.minor),
                    release.letter);
    text[textLength - 1] = '\0';
  }
  return S_OK;
}

void queryDXVersion(std::string& text, DWORD* version) {
  char buffer[255];
  std::memset(buffer, 0, sizeof(buffer));
  // The file probe always finds an answer, 0.0 at the least.
  GetDXVersion(version, buffer, static_cast<int>(sizeof(buffer)), false);
  text = buffer;
}

}  // namespace util
}  // namespace kivo
