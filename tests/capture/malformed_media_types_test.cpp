// Random malformed media types through VideoCapability, VideoCaps and DXMediaInfo, every block
// before an unreadable page (CTest adds Wine's heap checks); KIVO_FUZZ_SEED replays a seed.

#include <kivo/dx_media_info.h>

#include "fake_capture_device.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <unordered_map>

namespace kivo::test {
namespace {

// Places every task allocation made while registered at the end of pages of its own (8-byte
// aligned) before a PAGE_NOACCESS page. Wine's COM allocator ignores the size PreAlloc asks for,
// so COM's own block stays behind it; COM holds its lock from each Pre call to its Post call.
class GuardPageSpy : public ComFake<IMallocSpy> {
 public:
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return pending_ = size; }
  void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return place(actual, pending_); }
  void* STDMETHODCALLTYPE PreFree(void* request, BOOL spied) override {
    if (!spied) return request;
    const Block block = find(request, true);
    if (block.pages) VirtualFree(block.pages, 0, MEM_RELEASE);
    return block.actual;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  // Nothing under test reallocates task memory: a reallocation fails the test.
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** out, BOOL) override {
    ADD_FAILURE() << "CoTaskMemRealloc while the spy is registered";
    return *out = request, size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
  void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL spied) override {
    return spied ? find(request, false).actual : request;
  }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T actual, BOOL) override { return actual; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL spied) override {
    return spied ? find(request, false).actual : request;
  }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  static constexpr SIZE_T kPage = 4096;
  struct Block {
    void* actual;  // the heap block COM allocated
    BYTE* pages;   // the spy's pages, the last one the guard
  };

  void* place(void* actual, SIZE_T size) {
    if (!actual) return nullptr;
    const SIZE_T span = (size + kPage - 1) / kPage * kPage + kPage;
    auto* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, span, MEM_COMMIT, PAGE_READWRITE));
    if (!pages) return actual;
    DWORD old = 0;
    VirtualProtect(pages + span - kPage, kPage, PAGE_NOACCESS, &old);
    auto* user = reinterpret_cast<BYTE*>(UINT_PTR(pages + span - kPage - size) & ~UINT_PTR(7));
    std::lock_guard<std::mutex> lock(mutex_);
    blocks_[user] = Block{actual, pages};
    return user;
  }
  // The block placed at `user`; a block the spy did not place stands for itself.
  Block find(void* user, bool remove) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = blocks_.find(user);
    if (found == blocks_.end()) return Block{user, nullptr};
    const Block block = found->second;
    if (remove) blocks_.erase(found);
    return block;
  }

  std::mutex mutex_;
  std::unordered_map<void*, Block> blocks_;
  SIZE_T pending_ = 0;
};

unsigned int seed() {
  static const unsigned int value = [] {
    const char* text = std::getenv("KIVO_FUZZ_SEED");
    const unsigned long chosen = text ? std::strtoul(text, nullptr, 10) : 20261206ul;
    std::printf("malformed media types: seed %lu (KIVO_FUZZ_SEED replays it)\n", chosen);
    return static_cast<unsigned int>(chosen);
  }();
  return value;
}

// The bitmap header of a video block that holds a whole one.
BITMAPINFOHEADER* bitmapOf(const AM_MEDIA_TYPE& type) {
  if (!type.pbFormat) return nullptr;
  const GUID& f = type.formattype;
  if ((f == FORMAT_VideoInfo || f == FORMAT_MPEGVideo) && type.cbFormat >= sizeof(VIDEOINFOHEADER))
    return &reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
  if ((f == FORMAT_VideoInfo2 || f == FORMAT_MPEG2Video) &&
      type.cbFormat >= sizeof(VIDEOINFOHEADER2))
    return &reinterpret_cast<VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader;
  return nullptr;
}

// Makes malformed and valid media types at random.
class TypeMaker {
 public:
  explicit TypeMaker(unsigned int salt) : random_(seed() + salt) {}

  int below(int n) { return static_cast<int>(random_() % static_cast<unsigned int>(n)); }
  LONG dimension() {
    static const LONG values[] = {0,     1,      -1,       160,      -120,         640,       480,
                                  65535, -65536, LONG_MAX, LONG_MIN, LONG_MIN + 1, 0x40000000};
    return below(4) == 0 ? static_cast<LONG>(random_()) : values[below(13)];
  }

  // A type as a pin hands it out: a block of exactly cbFormat bytes, none, or cbFormat 0.
  AM_MEDIA_TYPE* make() {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    std::memset(type, 0, sizeof(*type));
    const GUID majors[] = {MEDIATYPE_Video, MEDIATYPE_Video, MEDIATYPE_Audio, GUID_NULL,
                           MEDIATYPE_Interleaved};
    type->majortype = majors[below(5)];
    const GUID subtypes[] = {MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24,        MEDIASUBTYPE_RGB32,
                             MEDIASUBTYPE_MJPG, fourccSubtype("\0\0\0\0"), fourccSubtype("H264"),
                             GUID_NULL,         MEDIASUBTYPE_PCM,          randomGuid()};
    type->subtype = subtypes[below(9)];
    const std::pair<GUID, ULONG> formats[] = {{FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER)},
                                              {FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER)},
                                              {FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER2)},
                                              {FORMAT_MPEGVideo, sizeof(MPEG1VIDEOINFO)},
                                              {FORMAT_MPEG2Video, sizeof(MPEG2VIDEOINFO)},
                                              {FORMAT_WaveFormatEx, sizeof(WAVEFORMATEX)},
                                              {FORMAT_None, 64},
                                              {GUID_NULL, 64},
                                              {randomGuid(), 64}};
    const auto [format, nominal] = formats[below(9)];
    type->formattype = format;
    type->bFixedSizeSamples = below(2);
    type->lSampleSize = random_();

    const int shape = below(6);
    if (shape == 0) type->cbFormat = 1 + random_() % (nominal + 200);  // missing block, a size
    if (shape == 1) type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(1));  // block, no size
    if (shape <= 1) return type;
    type->cbFormat = shape == 2   ? random_() % nominal       // short
                     : shape == 3 ? nominal + random_() % 64  // long
                                  : nominal;
    if (type->cbFormat == 0) return type;
    type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type->cbFormat));
    for (ULONG i = 0; i < type->cbFormat; ++i) type->pbFormat[i] = static_cast<BYTE>(random_());
    if (BITMAPINFOHEADER* bitmap = bitmapOf(*type); bitmap && below(4) != 0) {
      static const DWORD compressions[] = {
          BI_RGB, BI_BITFIELDS, BI_RLE8, BI_JPEG, MAKEFOURCC('M', 'J', 'P', 'G'), 0xFFFFFFFF};
      static const WORD bitCounts[] = {0, 1, 8, 16, 24, 32, 0xFFFF};
      bitmap->biSize = below(2) ? sizeof(BITMAPINFOHEADER) : random_();
      bitmap->biWidth = dimension(), bitmap->biHeight = dimension();
      bitmap->biCompression = compressions[below(6)], bitmap->biBitCount = bitCounts[below(7)];
      bitmap->biSizeImage = random_();
    }
    return type;
  }

  VIDEO_STREAM_CONFIG_CAPS caps() {
    VIDEO_STREAM_CONFIG_CAPS result = {};
    result.guid = below(2) ? FORMAT_VideoInfo : randomGuid();
    result.MaxOutputSize = {dimension(), dimension()};
    result.MinOutputSize = {dimension(), dimension()};
    result.MinFrameInterval = random_(), result.MaxFrameInterval = -LONGLONG(random_());
    return result;
  }

 private:
  GUID randomGuid() {
    GUID guid;
    for (BYTE& byte : reinterpret_cast<BYTE(&)[sizeof(GUID)]>(guid)) byte = BYTE(random_());
    return guid;
  }

  std::mt19937 random_;
};

// What kivo may read as a VIDEOINFOHEADER, and what a format list keeps: one with pixels.
bool fullVideoInfo(const AM_MEDIA_TYPE& type) {
  return type.formattype == FORMAT_VideoInfo && type.pbFormat &&
         type.cbFormat >= sizeof(VIDEOINFOHEADER);
}
bool listable(const AM_MEDIA_TYPE& type) {
  return fullVideoInfo(type) && bitmapOf(type)->biWidth > 0 && bitmapOf(type)->biHeight != 0;
}

// A copy of `source` as found, with no normalising.
AM_MEDIA_TYPE* handOut(const AM_MEDIA_TYPE& source) {
  auto* out = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  *out = source;
  if (source.pbFormat) {
    out->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat ? source.cbFormat : 1));
    std::memcpy(out->pbFormat, source.pbFormat, source.cbFormat);
  }
  return out;
}

class MalformedMediaTypes : public ::testing::Test {
 protected:
  // COM keeps a revoked spy until its last block is freed: the spy never goes.
  void SetUp() override {
    static GuardPageSpy* const spy = new GuardPageSpy();
    registered_ = SUCCEEDED(CoRegisterMallocSpy(spy));
    ASSERT_TRUE(registered_) << "CoRegisterMallocSpy failed";
  }
  void TearDown() override {
    if (registered_) CoRevokeMallocSpy();
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
  }

  ComScope com_;
  bool registered_ = false;
};

TEST_F(MalformedMediaTypes, AReadPastATaskAllocationFaults) {
  BYTE* block = static_cast<BYTE*>(CoTaskMemAlloc(10));
  ASSERT_NE(block, nullptr);
  EXPECT_FALSE(IsBadReadPtr(block, 10));
  EXPECT_TRUE(IsBadReadPtr(block + 16, 1));  // 8-byte alignment leaves 6 bytes of slack
  CoTaskMemFree(block);
}

TEST_F(MalformedMediaTypes, CapabilitiesAndMediaInfoReadOnlyWhatTheBlockHolds) {
  TypeMaker maker(1);
  for (int i = 0; i < 3000; ++i) {
    SCOPED_TRACE(i);
    MediaTypePtr owned(maker.make());
    AM_MEDIA_TYPE* type = owned.get();
    const VIDEO_STREAM_CONFIG_CAPS caps = maker.caps();
    const bool withCaps = maker.below(2) == 0;

    VideoCapability capability = CapAccess::make(type, i, withCaps ? &caps : nullptr);
    VideoCapability copy(capability);
    EXPECT_STREQ(copy.getFullName(), capability.getFullName());
    EXPECT_GT(std::strlen(capability.getFullName()), 0u);
    const AM_MEDIA_TYPE* kept = CapAccess::mediaType(capability);
    ASSERT_NE(kept, nullptr);
    if (!type->pbFormat || type->cbFormat == 0) {
      // A missing block, whatever its stated size, is never copied.
      EXPECT_EQ(kept->pbFormat, nullptr);
      EXPECT_EQ(kept->cbFormat, 0u);
    }
    if (!withCaps && !fullVideoInfo(*type)) {
      EXPECT_EQ(capability.getMaxWidth(), 0);
      EXPECT_EQ(capability.getMaxHeight(), 0);
    }

    const CMediaType whole(*type);  // with its stated size and a block, or neither
    EXPECT_EQ(whole.cbFormat != 0, whole.pbFormat != nullptr);
    const DXMediaInfo info{whole};
    const DXMediaInfo infoCopy(info);
    EXPECT_EQ(infoCopy.getFormatName(), info.getFormatName());
    EXPECT_FALSE(info.containsAudio() && info.containsVideo());
    if (!info.containsVideo() || !bitmapOf(*type)) {
      EXPECT_EQ(info.getVideoWidth(), 0);
      EXPECT_EQ(info.getVideoHeight(), 0);
      EXPECT_EQ(info.getVideoBitDepth(), 0);
    }
    if (info.containsAudio()) {
      EXPECT_FALSE(info.getFormatName().empty());
    } else {
      EXPECT_EQ(info.getAudioSampleRate(), 0);
      EXPECT_EQ(info.getAudioNumChannels(), 0);
    }
  }
}

// A pin reporting random types through stream caps, its current format only, or EnumMediaTypes.
TEST_F(MalformedMediaTypes, CapsListOnlyFullVideoInfoHeaders) {
  TypeMaker maker(2);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::vector<MediaTypePtr> types;
    std::vector<VIDEO_STREAM_CONFIG_CAPS> caps;
    const int count = maker.below(8), way = maker.below(3);
    for (int i = 0; i < count; ++i) types.emplace_back(maker.make()), caps.push_back(maker.caps());
    size_t valid = 0, position = 0;
    for (const MediaTypePtr& type : types) valid += listable(*type.get());
    NiceMock<MockPin> pin;
    NiceMock<MockAMStreamConfig> config;
    NiceMock<MockEnumMediaTypes> enumerator;
    if (way == 2) {
      ON_CALL(pin, EnumMediaTypes).WillByDefault(HandOut<0>(&enumerator));
      ON_CALL(enumerator, Next).WillByDefault([&](ULONG wanted, AM_MEDIA_TYPE** out, ULONG* got) {
        const bool more = wanted == 1 && position < types.size();
        if (more) out[0] = handOut(*types[position++].get());
        if (got) *got = more ? 1 : 0;
        return more ? S_OK : S_FALSE;
      });
    } else {
      pin.answer(IID_IAMStreamConfig, &config);
      ON_CALL(config, GetNumberOfCapabilities).WillByDefault([&, way](int* n, int* size) {
        return *n = way == 1 ? 0 : count, *size = sizeof(VIDEO_STREAM_CONFIG_CAPS), S_OK;
      });
      ON_CALL(config, GetStreamCaps).WillByDefault([&](int index, AM_MEDIA_TYPE** out, BYTE* c) {
        if (index < 0 || index >= count) return E_INVALIDARG;
        *out = handOut(*types[size_t(index)].get());
        return std::memcpy(c, &caps[size_t(index)], sizeof(VIDEO_STREAM_CONFIG_CAPS)), S_OK;
      });
      ON_CALL(config, GetFormat).WillByDefault([&](AM_MEDIA_TYPE** out) {
        return types.empty() ? E_FAIL : (*out = handOut(*types[0].get()), S_OK);
      });
      if (way == 1) valid = !types.empty() && listable(*types[0].get()) ? 1 : 0;
    }

    auto list = CapsAccess::make();
    CapsAccess::initialize(*list, &pin);
    ASSERT_EQ(list->getNumberOfCapabilities(), static_cast<int>(valid)) << "way " << way;
    for (const VideoCapability& capability : list->getCapabilityList()) {
      const AM_MEDIA_TYPE* kept = CapAccess::mediaType(capability);
      ASSERT_NE(kept, nullptr);
      ASSERT_TRUE(fullVideoInfo(*kept));
      EXPECT_EQ(bitmapOf(*kept)->biWidth, capability.getMaxWidth());
      EXPECT_EQ(bitmapOf(*kept)->biHeight, capability.getMaxHeight());
    }
  }
}

}  // namespace
}  // namespace kivo::test
