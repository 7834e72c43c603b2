// Naming the decoder a file lacks from what the file source says about the stream (the AVI
// header reading: the file integration tests, with real files).

#include <kivo/filter.h>

#include "file/file_graph_access.h"
#include "support/mocks/ibasefilter.h"

#include <filesystem>
#include <fstream>
#include <string>

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

std::string diagnose(FakeFileSource* fileSource, const std::wstring& file = L"unused") {
  ::testing::NiceMock<test::MockBaseFilter> filter;
  if (fileSource) filter.answer(IID_IFileSourceFilter, fileSource);
  Filter source("File Source Filter", &filter, CComPtr<IMoniker>(), CComPtr<IBindCtx>());
  FileCaptureGraph graph(file);
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
  for (FakeFileSource* source : {&wave, &notAStream, &unnamed, (FakeFileSource*)nullptr})
    EXPECT_EQ(diagnose(source), "Unknown Codec");
  FileCaptureGraph withoutSource(L"unused");
  EXPECT_EQ(Access::findMissingCodecName(withoutSource), "Unknown Codec");
}

// A source that says nothing: the file's first bytes do (AVI: the file test, on each release).
TEST(CodecDiagnosis, NamesMpeg2FromTheFileWhenTheSourceSaysNothing) {
  std::string transport(3 * 188, '\0');
  for (size_t at = 0; at < transport.size(); at += 188) transport[at] = 0x47;
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "kivo-codec.bin";
  for (const auto& [bytes, name] : {std::pair(std::string("\0\0\x01\xba\x44", 5), "MPEG-2"),
                                    {transport, "MPEG-2"},
                                    {std::string("\0\0\x01\xba\x21", 5), "Unknown Codec"}}) {
    std::ofstream(file, std::ios::binary) << bytes;
    EXPECT_EQ(diagnose(nullptr, file.wstring()), name);
  }
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace kivo
