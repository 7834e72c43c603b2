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

using ::testing::_;
using ::testing::Invoke;
using ::testing::NiceMock;
using Access = TestAccess<FileCaptureGraph>;

// What a file source filter says about the file it opened.
class FakeFileSource : public test::ComFake<IFileSourceFilter> {
 public:
  FakeFileSource(const GUID& major, const GUID& sub, bool named = true)
      : major(major), sub(sub), named(named) {}
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) override {
    *name = nullptr;
    if (named) {
      *name = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof(wchar_t) * 2));
      wcscpy(*name, L"f");
    }
    std::memset(type, 0, sizeof(*type));
    type->majortype = major;
    type->subtype = sub;
    type->cbFormat = 8;
    type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(8));
    return S_OK;
  }
  GUID major, sub;
  bool named;
};

std::string diagnose(IFileSourceFilter* fileSource, bool offerInterface = true) {
  NiceMock<test::MockBaseFilter> filter;
  if (offerInterface) filter.answer(IID_IFileSourceFilter, fileSource);
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
  EXPECT_EQ(diagnose(&wave), "Unknown Codec");
  FakeFileSource notAStream(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_PROGRAM);
  EXPECT_EQ(diagnose(&notAStream), "Unknown Codec");
  FakeFileSource unnamed(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_PROGRAM, false);
  EXPECT_EQ(diagnose(&unnamed), "Unknown Codec");
  FakeFileSource refused(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_PROGRAM);
  EXPECT_EQ(diagnose(&refused, false), "Unknown Codec");
}

TEST(CodecDiagnosis, WithoutSourceTheCodecIsUnknown) {
  FileCaptureGraph graph(L"unused");
  EXPECT_EQ(Access::findMissingCodecName(graph), "Unknown Codec");
}

// A minimal AVI header: RIFF AVI, LIST hdrl, LIST strl, strh, strf.
std::vector<char> aviHeader(const char* streamType, DWORD compression, DWORD strfSize = 40) {
  auto dword = [](std::vector<char>& out, DWORD v) {
    out.insert(out.end(), reinterpret_cast<char*>(&v), reinterpret_cast<char*>(&v) + 4);
  };
  auto code = [](std::vector<char>& out, const char* c) { out.insert(out.end(), c, c + 4); };
  std::vector<char> strl;
  code(strl, "strl");
  code(strl, "strh");
  dword(strl, 56);
  code(strl, streamType);
  strl.resize(strl.size() + 52, 0);
  code(strl, "strf");
  dword(strl, strfSize);
  std::vector<char> bitmap(strfSize, 0);
  if (strfSize >= 20) std::memcpy(bitmap.data() + 16, &compression, 4);
  strl.insert(strl.end(), bitmap.begin(), bitmap.end());
  std::vector<char> hdrl;
  code(hdrl, "hdrl");
  code(hdrl, "LIST");
  dword(hdrl, static_cast<DWORD>(strl.size()));
  hdrl.insert(hdrl.end(), strl.begin(), strl.end());
  std::vector<char> file;
  code(file, "RIFF");
  dword(file, static_cast<DWORD>(hdrl.size() + 12));
  code(file, "AVI ");
  code(file, "LIST");
  dword(file, static_cast<DWORD>(hdrl.size()));
  file.insert(file.end(), hdrl.begin(), hdrl.end());
  return file;
}

std::wstring writeTemporary(const std::vector<char>& bytes) {
  wchar_t folder[MAX_PATH], path[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"kvo", 0, path);
  std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
  return path;
}

TEST(AviHeader, TheFirstVideoStreamsCompressionIsRead) {
  const DWORD divx = MAKEFOURCC('D', 'I', 'V', 'X');
  const std::wstring video = writeTemporary(aviHeader("vids", divx));
  EXPECT_EQ(readAviVideoCompression(video), divx);
  const std::wstring audio = writeTemporary(aviHeader("auds", divx));
  EXPECT_EQ(readAviVideoCompression(audio), 0u);
  // A format chunk too short for a bitmap header is not read.
  const std::wstring shortFormat = writeTemporary(aviHeader("vids", divx, 12));
  EXPECT_EQ(readAviVideoCompression(shortFormat), 0u);
  std::vector<char> truncated = aviHeader("vids", divx);
  truncated.resize(truncated.size() - 30);
  const std::wstring cut = writeTemporary(truncated);
  EXPECT_EQ(readAviVideoCompression(cut), 0u);
  EXPECT_EQ(readAviVideoCompression(L"Z:\\no\\such\\file.avi"), 0u);
  for (const std::wstring& path : {video, audio, shortFormat, cut}) DeleteFileW(path.c_str());
}

TEST(AviHeader, DeeplyNestedListsAreNotFollowed) {
  // Lists nested 80000 deep, each holding the next: walking them all would
  // take a stack frame per list.
  const int depth = 80000;
  std::vector<char> file(12 + static_cast<size_t>(depth) * 12);
  std::memcpy(file.data(), "RIFF", 4);
  std::memcpy(file.data() + 8, "AVI ", 4);
  for (int level = 0; level < depth; ++level) {
    char* at = file.data() + 12 + static_cast<size_t>(level) * 12;
    const DWORD size = static_cast<DWORD>((depth - level) * 12 - 8);
    std::memcpy(at, "LIST", 4);
    std::memcpy(at + 4, &size, 4);
    std::memcpy(at + 8, "hdrl", 4);
  }
  const std::wstring nested = writeTemporary(file);
  EXPECT_EQ(readAviVideoCompression(nested), 0u);
  DeleteFileW(nested.c_str());

  // The usual depth is read, also with an odd-sized last chunk whose pad
  // byte is missing.
  const DWORD divx = MAKEFOURCC('D', 'I', 'V', 'X');
  std::vector<char> odd = aviHeader("vids", divx, 41);
  const std::wstring oddPath = writeTemporary(odd);
  EXPECT_EQ(readAviVideoCompression(oddPath), divx);
  DeleteFileW(oddPath.c_str());
}

// The header above followed by a data list of `dataBytes` bytes, of which
// only the first `written` are in the file.
std::vector<char> aviWithData(DWORD dataBytes, DWORD written) {
  std::vector<char> file = aviHeader("vids", BI_RGB);
  const char list[] = {'L', 'I', 'S', 'T'};
  file.insert(file.end(), list, list + 4);
  const DWORD size = dataBytes + 4;
  file.insert(file.end(), reinterpret_cast<const char*>(&size),
              reinterpret_cast<const char*>(&size) + 4);
  const char movi[] = {'m', 'o', 'v', 'i'};
  file.insert(file.end(), movi, movi + 4);
  file.resize(file.size() + written, 0);
  return file;
}

TEST(AviHeader, AFileCutBeforeItsDataIsRecognised) {
  struct Case {
    const char* what;
    std::vector<char> bytes;
    bool cut;
  };
  std::vector<char> header = aviHeader("vids", BI_RGB);
  std::vector<char> cutInHeader = header;
  cutInHeader.resize(cutInHeader.size() - 30);
  std::vector<char> cutInListHeader = aviWithData(1000, 0);
  cutInListHeader.resize(cutInListHeader.size() - 6);
  std::vector<char> notAvi(64, 'x');
  const Case cases[] = {
      {"whole file", aviWithData(1000, 1000), false},
      // Data cut short is a file splitters read up to its end.
      {"data cut short", aviWithData(1000, 10), false},
      {"header only", header, true},
      {"header cut", cutInHeader, true},
      {"data list header cut", cutInListHeader, true},
      {"not an AVI file", notAvi, false},
  };
  for (const Case& c : cases) {
    const std::wstring path = writeTemporary(c.bytes);
    EXPECT_EQ(isAviCutBeforeItsData(path), c.cut) << c.what;
    DeleteFileW(path.c_str());
  }
  EXPECT_FALSE(isAviCutBeforeItsData(L"Z:\\no\\such\\file.avi"));
}

}  // namespace
}  // namespace kivo
