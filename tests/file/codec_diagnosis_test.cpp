// Naming the decoder a file lacks: what the file source says about the
// stream, and what the AVI header declares, read straight from the file.

#include <kivo/file_capture_graph.h>
#include <kivo/filter.h>

#include "file/avi_header.h"
#include "file/file_graph_access.h"
#include "support/com_fake.h"
#include "support/mocks/ibasefilter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace kivo {
namespace {

using Access = TestAccess<FileCaptureGraph>;

// What a file source filter says about the file it opened.
class FakeFileSource : public test::ComFake<IFileSourceFilter> {
 public:
  FakeFileSource(const GUID& major, const GUID& sub, bool named = true)
      : major(major), sub(sub), named(named) {}
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) override {
    *name = named ? static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof(L"f"))) : nullptr;
    if (named) wcscpy(*name, L"f");
    *type = AM_MEDIA_TYPE{};
    type->majortype = major;
    type->subtype = sub;
    type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type->cbFormat = 8));
    return S_OK;
  }
  GUID major, sub;
  bool named;
};

std::string diagnose(FakeFileSource* fileSource) {
  ::testing::NiceMock<test::MockBaseFilter> filter;
  if (fileSource) filter.answer(IID_IFileSourceFilter, fileSource);
  Filter source("File Source Filter", &filter, CComPtr<IMoniker>(), CComPtr<IBindCtx>());
  FileCaptureGraph graph(L"unused");
  Access::plantSource(graph, &source);
  const std::string name = Access::findMissingCodecName(graph);
  Access::plantSource(graph, nullptr);
  return name;
}

TEST(CodecDiagnosis, NamesMpeg2StreamsAndNothingElse) {
  for (const GUID& mpeg2 : {MEDIASUBTYPE_MPEG2_PROGRAM, MEDIASUBTYPE_MPEG2_TRANSPORT,
                            MEDIASUBTYPE_MPEG2_TRANSPORT_STRIDE, MEDIASUBTYPE_MPEG2_VIDEO}) {
    FakeFileSource stream(MEDIATYPE_Stream, mpeg2);
    EXPECT_EQ(diagnose(&stream), "MPEG-2");
  }
  FakeFileSource wave(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE);
  FakeFileSource notAStream(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_PROGRAM);
  FakeFileSource unnamed(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_PROGRAM, false);
  for (FakeFileSource* source :
       {&wave, &notAStream, &unnamed, static_cast<FakeFileSource*>(nullptr)})
    EXPECT_EQ(diagnose(source), "Unknown Codec");
  FileCaptureGraph withoutSource(L"unused");
  EXPECT_EQ(Access::findMissingCodecName(withoutSource), "Unknown Codec");
}

void append(std::vector<char>& out, const char* code) { out.insert(out.end(), code, code + 4); }
void append(std::vector<char>& out, DWORD value) {
  out.insert(out.end(), reinterpret_cast<char*>(&value), reinterpret_cast<char*>(&value) + 4);
}

// RIFF AVI, LIST hdrl, LIST strl, strh, strf (a bitmap header of strfSize bytes).
std::vector<char> aviHeader(const char* streamType, DWORD compression, DWORD strfSize = 40) {
  std::vector<char> strl;
  append(strl, "strl");
  append(strl, "strh");
  append(strl, 56);
  append(strl, streamType);
  strl.resize(strl.size() + 52, 0);
  append(strl, "strf");
  append(strl, strfSize);
  const size_t bitmap = strl.size();
  strl.resize(bitmap + strfSize, 0);
  if (strfSize >= 20) std::memcpy(strl.data() + bitmap + 16, &compression, 4);
  std::vector<char> file;
  append(file, "RIFF");
  append(file, static_cast<DWORD>(strl.size() + 24));
  append(file, "AVI ");
  append(file, "LIST");
  append(file, static_cast<DWORD>(strl.size() + 12));
  append(file, "hdrl");
  append(file, "LIST");
  append(file, static_cast<DWORD>(strl.size()));
  file.insert(file.end(), strl.begin(), strl.end());
  return file;
}

// Writes `bytes` to a temporary file, hands its name to `check` and deletes it.
template <class Check>
void withFile(const std::vector<char>& bytes, Check check) {
  wchar_t folder[MAX_PATH], path[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"kvo", 0, path);
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  check(std::wstring(path));
  DeleteFileW(path);
}

TEST(AviHeader, TheFirstVideoStreamsCompressionIsRead) {
  const DWORD divx = MAKEFOURCC('D', 'I', 'V', 'X');
  auto compression = [](DWORD expected) {
    return [expected](const std::wstring& path) {
      EXPECT_EQ(readAviVideoCompression(path), expected);
    };
  };
  withFile(aviHeader("vids", divx), compression(divx));
  withFile(aviHeader("vids", divx, 41), compression(divx));  // odd size, pad byte missing
  withFile(aviHeader("auds", divx), compression(0));
  withFile(aviHeader("vids", divx, 12), compression(0));  // too short for a bitmap header
  std::vector<char> truncated = aviHeader("vids", divx);
  truncated.resize(truncated.size() - 30);
  withFile(truncated, compression(0));
  EXPECT_EQ(readAviVideoCompression(L"Z:\\no\\such\\file.avi"), 0u);

  // Lists nested 80000 deep: following them all would take a stack frame each.
  const int depth = 80000;
  std::vector<char> nested(12 + static_cast<size_t>(depth) * 12);
  std::memcpy(nested.data(), "RIFF", 4);
  std::memcpy(nested.data() + 8, "AVI ", 4);
  for (int level = 0; level < depth; ++level) {
    char* at = nested.data() + 12 + static_cast<size_t>(level) * 12;
    const DWORD size = static_cast<DWORD>((depth - level) * 12 - 8);
    std::memcpy(at, "LIST", 4);
    std::memcpy(at + 4, &size, 4);
    std::memcpy(at + 8, "hdrl", 4);
  }
  withFile(nested, compression(0));
}

TEST(AviHeader, AFileCutBeforeItsDataIsRecognised) {
  // The header, then a data list of 1000 bytes of which `written` are there.
  auto withData = [](DWORD written) {
    std::vector<char> file = aviHeader("vids", BI_RGB);
    append(file, "LIST");
    append(file, 1004);
    append(file, "movi");
    file.resize(file.size() + written, 0);
    return file;
  };
  auto cut = [](bool expected) {
    return
        [expected](const std::wstring& path) { EXPECT_EQ(isAviCutBeforeItsData(path), expected); };
  };
  withFile(withData(1000), cut(false));
  withFile(withData(10), cut(false));  // data cut short: splitters read up to the end
  withFile(aviHeader("vids", BI_RGB), cut(true));
  std::vector<char> listHeaderCut = withData(0);
  listHeaderCut.resize(listHeaderCut.size() - 6);
  withFile(listHeaderCut, cut(true));
  withFile(std::vector<char>(64, 'x'), cut(false));
  EXPECT_FALSE(isAviCutBeforeItsData(L"Z:\\no\\such\\file.avi"));
}

}  // namespace
}  // namespace kivo
