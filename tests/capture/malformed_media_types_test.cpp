// Randomized malformed media types through everything that reads a format
// block: VideoCapability, VideoCaps (stream caps, preferred types, current
// format), DXMediaInfo and the device graph's selection and rebuild. Format
// blocks lie about their type or size; every block is allocated to exactly
// its cbFormat, and while a test runs every task allocation ends at a page
// that cannot be read, so a read past a block's end faults at once. Run
// with WINEDEBUG=warn+heap, Wine also checks the heap's block tails.
//
// The seed is printed; KIVO_FUZZ_SEED replays one.

#include <kivo/dx_media_info.h>
#include <kivo/video_capability.h>
#include <kivo/video_caps.h>

#include "caps_access.h"
#include "fake_capture_device.h"
#include "support/mocks/ienummediatypes.h"

#include <dvdmedia.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <unordered_map>

namespace kivo::test {
namespace {

using ::testing::_;
using CapAccess = TestAccess<VideoCapability>;
using CapsAccess = TestAccess<VideoCaps>;

// Hands out every task allocation made while it is registered from pages
// of its own, placed so that the block ends (to 8 bytes) right before a page
// marked PAGE_NOACCESS. The heap block COM allocates stays behind it, to be
// freed with it. (Wine's COM allocator ignores the size PreAlloc asks for,
// so the spy cannot place the block inside a larger heap block.)
class GuardPageSpy : public IMallocSpy {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
      *out = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // COM holds its lock from each Pre call to the matching Post call.
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override {
    pending_ = size;
    return size;
  }
  void* STDMETHODCALLTYPE PostAlloc(void* actual) override {
    if (!actual) return nullptr;
    return place(actual, pending_);
  }
  void* STDMETHODCALLTYPE PreFree(void* request, BOOL spied) override {
    if (!spied) return request;
    const Block block = take(request);
    release(block);
    return block.actual;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest,
                                      BOOL spied) override {
    pending_ = size;
    moving_ = Block{};
    *newRequest = request;
    if (spied && request) {
      moving_ = take(request);
      *newRequest = moving_.actual;
    }
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override {
    void* user = actual ? place(actual, pending_) : nullptr;
    if (moving_.user) {
      if (user) std::memcpy(user, moving_.user, std::min(moving_.size, pending_));
      release(moving_);
      moving_ = Block{};
    } else if (user) {
      std::memcpy(user, actual, pending_);  // a block COM did not give through the spy
    }
    return user;
  }
  void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL spied) override {
    return spied ? find(request).actual : request;
  }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T actual, BOOL) override { return actual; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL spied) override {
    return spied ? find(request).actual : request;
  }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  static constexpr SIZE_T kPage = 4096;
  struct Block {
    void* actual = nullptr;  // the heap block COM allocated
    BYTE* pages = nullptr;   // the spy's pages, the last one the guard
    BYTE* user = nullptr;
    SIZE_T size = 0;
  };

  void* place(void* actual, SIZE_T size) {
    const SIZE_T span = (size + kPage - 1) / kPage * kPage + kPage;
    auto* pages =
        static_cast<BYTE*>(VirtualAlloc(nullptr, span, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!pages) return actual;
    BYTE* guard = pages + span - kPage;
    DWORD old = 0;
    VirtualProtect(guard, kPage, PAGE_NOACCESS, &old);
    auto* user = reinterpret_cast<BYTE*>(reinterpret_cast<UINT_PTR>(guard - size) & ~UINT_PTR(7));
    std::lock_guard<std::mutex> lock(mutex_);
    blocks_[user] = Block{actual, pages, user, size};
    return user;
  }
  Block find(void* user) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = blocks_.find(user);
    if (found == blocks_.end()) return Block{user, nullptr, static_cast<BYTE*>(user), 0};
    return found->second;
  }
  Block take(void* user) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = blocks_.find(user);
    if (found == blocks_.end()) return Block{user, nullptr, nullptr, 0};
    const Block block = found->second;
    blocks_.erase(found);
    return block;
  }
  static void release(const Block& block) {
    if (block.pages) VirtualFree(block.pages, 0, MEM_RELEASE);
  }

  std::mutex mutex_;
  std::unordered_map<void*, Block> blocks_;
  SIZE_T pending_ = 0;
  Block moving_;
};

// Registers the spy for the lifetime of a test. COM keeps a revoked spy
// until the last block it placed is freed, so the spy itself never goes.
class GuardedAllocations {
 public:
  GuardedAllocations() { registered_ = SUCCEEDED(CoRegisterMallocSpy(spy())); }
  ~GuardedAllocations() {
    if (registered_) CoRevokeMallocSpy();
  }
  bool registered() const { return registered_; }

 private:
  static GuardPageSpy* spy() {
    static GuardPageSpy* const instance = new GuardPageSpy();
    return instance;
  }
  bool registered_ = false;
};

unsigned int seed() {
  static const unsigned int value = [] {
    const char* text = std::getenv("KIVO_FUZZ_SEED");
    const unsigned int chosen =
        text ? static_cast<unsigned int>(std::strtoul(text, nullptr, 10)) : 20261206u;
    std::printf("malformed media types: seed %u (KIVO_FUZZ_SEED replays it)\n", chosen);
    return chosen;
  }();
  return value;
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

  // A task-allocated type as a pin hands it out (the receiver frees it with
  // DeleteMediaType). Its block is allocated to exactly cbFormat bytes, or
  // is missing while cbFormat says otherwise, or exists with cbFormat 0.
  AM_MEDIA_TYPE* make() {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    std::memset(type, 0, sizeof(*type));
    static const GUID majors[] = {MEDIATYPE_Video, MEDIATYPE_Video, MEDIATYPE_Audio, GUID_NULL,
                                  MEDIATYPE_Interleaved};
    type->majortype = majors[below(5)];
    const GUID subtypes[] = {MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24,        MEDIASUBTYPE_RGB32,
                             MEDIASUBTYPE_MJPG, fourccSubtype("\0\0\0\0"), fourccSubtype("H264"),
                             GUID_NULL,         MEDIASUBTYPE_PCM,          randomGuid()};
    type->subtype = subtypes[below(9)];
    const GUID formats[] = {FORMAT_VideoInfo, FORMAT_VideoInfo,  FORMAT_VideoInfo2,
                            FORMAT_MPEGVideo, FORMAT_MPEG2Video, FORMAT_WaveFormatEx,
                            FORMAT_None,      GUID_NULL,         randomGuid()};
    type->formattype = formats[below(9)];
    type->bFixedSizeSamples = below(2);
    type->lSampleSize = random_();

    const ULONG nominal = nominalSize(type->formattype);
    switch (below(6)) {
      case 0:  // missing block, non-zero size
        type->cbFormat = 1 + random_() % (nominal + 200);
        return type;
      case 1:  // a block of no size
        type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(1));
        type->cbFormat = 0;
        return type;
      case 2:  // short
        type->cbFormat = nominal > 0 ? random_() % nominal : 0;
        break;
      case 3:  // longer
        type->cbFormat = nominal + random_() % 64;
        break;
      default:  // exactly the promised size
        type->cbFormat = nominal;
        break;
    }
    if (type->cbFormat == 0) return type;
    type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type->cbFormat));
    for (ULONG i = 0; i < type->cbFormat; ++i) type->pbFormat[i] = static_cast<BYTE>(random_());
    fillBitmap(*type);
    return type;
  }

  VIDEO_STREAM_CONFIG_CAPS caps() {
    VIDEO_STREAM_CONFIG_CAPS result = {};
    result.guid = below(2) ? FORMAT_VideoInfo : randomGuid();
    result.MaxOutputSize = {dimension(), dimension()};
    result.MinOutputSize = {dimension(), dimension()};
    result.MinFrameInterval = static_cast<LONGLONG>(random_());
    result.MaxFrameInterval = -static_cast<LONGLONG>(random_());
    return result;
  }

 private:
  static ULONG nominalSize(const GUID& format) {
    if (format == FORMAT_VideoInfo) return sizeof(VIDEOINFOHEADER);
    if (format == FORMAT_VideoInfo2) return sizeof(VIDEOINFOHEADER2);
    if (format == FORMAT_MPEGVideo) return sizeof(MPEG1VIDEOINFO);
    if (format == FORMAT_MPEG2Video) return sizeof(MPEG2VIDEOINFO);
    if (format == FORMAT_WaveFormatEx) return sizeof(WAVEFORMATEX);
    return 64;
  }

  GUID randomGuid() {
    GUID guid;
    auto* bytes = reinterpret_cast<BYTE*>(&guid);
    for (size_t i = 0; i < sizeof(guid); ++i) bytes[i] = static_cast<BYTE>(random_());
    return guid;
  }

  // Interesting bitmap values where the block holds the header.
  void fillBitmap(AM_MEDIA_TYPE& type) {
    BITMAPINFOHEADER* bitmap = nullptr;
    if ((type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_MPEGVideo) &&
        type.cbFormat >= sizeof(VIDEOINFOHEADER))
      bitmap = &reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    else if ((type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2Video) &&
             type.cbFormat >= sizeof(VIDEOINFOHEADER2))
      bitmap = &reinterpret_cast<VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader;
    if (!bitmap || below(4) == 0) return;
    static const DWORD compressions[] = {
        BI_RGB, BI_BITFIELDS, BI_RLE8, BI_JPEG, MAKEFOURCC('M', 'J', 'P', 'G'), 0xFFFFFFFF};
    static const WORD bitCounts[] = {0, 1, 8, 16, 24, 32, 0xFFFF};
    bitmap->biSize = below(2) ? sizeof(BITMAPINFOHEADER) : random_();
    bitmap->biWidth = dimension();
    bitmap->biHeight = dimension();
    bitmap->biCompression = compressions[below(6)];
    bitmap->biBitCount = bitCounts[below(7)];
    bitmap->biSizeImage = random_();
  }

  std::mt19937 random_;
};

// What kivo may read as a VIDEOINFOHEADER.
bool fullVideoInfo(const AM_MEDIA_TYPE& type) {
  return type.formattype == FORMAT_VideoInfo && type.pbFormat &&
         type.cbFormat >= sizeof(VIDEOINFOHEADER);
}

// What a format list keeps: a whole header describing a picture with pixels.
bool listable(const AM_MEDIA_TYPE& type) {
  if (!fullVideoInfo(type)) return false;
  const BITMAPINFOHEADER& bitmap = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
  return bitmap.biWidth > 0 && bitmap.biHeight != 0;
}

struct TypeDeleter {
  void operator()(AM_MEDIA_TYPE* type) const { DeleteMediaType(type); }
};
using OwnedType = std::unique_ptr<AM_MEDIA_TYPE, TypeDeleter>;

class MalformedMediaTypes : public ::testing::Test {
 protected:
  void SetUp() override {
    std::printf("seed %u\n", seed());
    ASSERT_TRUE(guard_.registered()) << "CoRegisterMallocSpy failed";
  }
  void TearDown() override { EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)); }

  ComScope com_;
  GuardedAllocations guard_;
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
    OwnedType type(maker.make());
    const VIDEO_STREAM_CONFIG_CAPS caps = maker.caps();
    const bool withCaps = maker.below(2) == 0;

    VideoCapability capability = CapAccess::make(type.get(), i, withCaps ? &caps : nullptr);
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

    const DXMediaInfo info{CMediaType(*type)};
    const DXMediaInfo infoCopy(info);
    EXPECT_EQ(infoCopy.getFormatName(), info.getFormatName());
    EXPECT_FALSE(info.containsAudio() && info.containsVideo());
    const bool videoBlock =
        type->pbFormat &&
        (((type->formattype == FORMAT_VideoInfo || type->formattype == FORMAT_MPEGVideo) &&
          type->cbFormat >= sizeof(VIDEOINFOHEADER)) ||
         ((type->formattype == FORMAT_VideoInfo2 || type->formattype == FORMAT_MPEG2Video) &&
          type->cbFormat >= sizeof(VIDEOINFOHEADER2)));
    if (!info.containsVideo() || !videoBlock) {
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

TEST_F(MalformedMediaTypes, TypesStatingASizeWithoutABlockCompareWithoutReading) {
  TypeMaker maker(4);
  for (int i = 0; i < 500; ++i) {
    SCOPED_TRACE(i);
    OwnedType raw(maker.make());
    // As a component that fills a CMediaType in place leaves it.
    CMediaType stated;
    static_cast<AM_MEDIA_TYPE&>(stated) = *raw;
    stated.pbFormat = nullptr;
    CMediaType copy(*raw);
    CMediaType same(*raw);
    EXPECT_TRUE(copy == same);
    EXPECT_TRUE(stated == stated);
    EXPECT_EQ(stated == copy, raw->cbFormat == 0 && copy.cbFormat == 0);
    EXPECT_EQ(copy == stated, stated == copy);
    // What the copy keeps is a block of its stated size, or none.
    EXPECT_EQ(copy.cbFormat != 0, copy.pbFormat != nullptr);
    stated.cbFormat = 0;  // nothing to free
  }
}

// A pin reporting a list of random types in each of the three ways VideoCaps
// reads a pin.
TEST_F(MalformedMediaTypes, CapsListOnlyFullVideoInfoHeaders) {
  TypeMaker maker(2);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::vector<OwnedType> types;
    std::vector<VIDEO_STREAM_CONFIG_CAPS> caps;
    const int count = maker.below(8);
    size_t valid = 0;
    for (int i = 0; i < count; ++i) {
      types.emplace_back(maker.make());
      caps.push_back(maker.caps());
      if (listable(*types.back())) ++valid;
    }
    // The pin hands out its own type itself, as found: no normalising copy.
    auto handOut = [&](int index) {
      const AM_MEDIA_TYPE& source = *types[static_cast<size_t>(index)];
      auto* out = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
      *out = source;
      if (source.pbFormat) {
        out->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat ? source.cbFormat : 1));
        std::memcpy(out->pbFormat, source.pbFormat, source.cbFormat);
      }
      return out;
    };

    const int way = maker.below(3);
    NiceMock<MockPin> pin;
    NiceMock<MockAMStreamConfig> config;
    NiceMock<MockEnumMediaTypes> enumerator;
    size_t position = 0;
    if (way == 2) {
      ON_CALL(pin, EnumMediaTypes).WillByDefault(HandOut<0>(&enumerator));
      ON_CALL(enumerator, Next)
          .WillByDefault([&](ULONG wanted, AM_MEDIA_TYPE** out, ULONG* fetched) -> HRESULT {
            if (wanted != 1 || position >= types.size()) {
              if (fetched) *fetched = 0;
              return S_FALSE;
            }
            out[0] = handOut(static_cast<int>(position++));
            if (fetched) *fetched = 1;
            return S_OK;
          });
    } else {
      pin.answer(IID_IAMStreamConfig, &config);
      const bool current = way == 1;  // no list: the current format only
      ON_CALL(config, GetNumberOfCapabilities).WillByDefault([&, current](int* n, int* size) {
        *n = current ? 0 : count;
        *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
        return S_OK;
      });
      ON_CALL(config, GetFormat).WillByDefault([&](AM_MEDIA_TYPE** out) -> HRESULT {
        if (types.empty()) return E_FAIL;
        *out = handOut(0);
        return S_OK;
      });
      ON_CALL(config, GetStreamCaps)
          .WillByDefault([&](int index, AM_MEDIA_TYPE** out, BYTE* c) -> HRESULT {
            if (index < 0 || index >= count) return E_INVALIDARG;
            *out = handOut(index);
            std::memcpy(c, &caps[static_cast<size_t>(index)], sizeof(VIDEO_STREAM_CONFIG_CAPS));
            return S_OK;
          });
      if (current) valid = !types.empty() && listable(*types[0]) ? 1 : 0;
    }

    auto list = CapsAccess::make();
    CapsAccess::initialize(*list, &pin);
    ASSERT_EQ(list->getNumberOfCapabilities(), static_cast<int>(valid)) << "way " << way;
    for (const VideoCapability& capability : list->getCapabilityList()) {
      const AM_MEDIA_TYPE* kept = CapAccess::mediaType(capability);
      ASSERT_NE(kept, nullptr);
      ASSERT_TRUE(fullVideoInfo(*kept));
      const auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(kept->pbFormat);
      EXPECT_EQ(header->bmiHeader.biWidth, capability.getMaxWidth());
      EXPECT_EQ(header->bmiHeader.biHeight, capability.getMaxHeight());
    }
    list.reset();
  }
}

// The device graph lists, selects and applies random formats, the
// zero-FOURCC and compressed ones included.
TEST_F(MalformedMediaTypes, TheDeviceGraphSelectsAndAppliesOnlyReadableFormats) {
  TypeMaker maker(3);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    ComScope com;
    FakeCaptureDevice fake;
    FakeGraphObjects objects(&fake.graph, &fake.builder);
    VideoCaptureFilter source{"Fake Camera", CComPtr<IBaseFilter>(&fake.device), nullptr, nullptr};
    std::vector<OwnedType> types;
    std::vector<VIDEO_STREAM_CONFIG_CAPS> caps;
    size_t valid = 0;
    // One readable format at least, for the first render to find.
    const int readable = maker.below(6);
    for (int i = 0, n = 1 + maker.below(6); i < n || i <= readable; ++i) {
      if (i == readable) {
        const CMediaType plain = videoType(MEDIASUBTYPE_YUY2, 320, 240, 333333);
        types.emplace_back(CreateMediaType(&plain));
      } else {
        types.emplace_back(maker.make());
      }
      caps.push_back(maker.caps());
      if (listable(*types.back())) ++valid;
    }
    ON_CALL(fake.config, GetNumberOfCapabilities).WillByDefault([&](int* n, int* size) {
      *n = static_cast<int>(types.size());
      *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
      return S_OK;
    });
    ON_CALL(fake.config, GetStreamCaps)
        .WillByDefault([&](int index, AM_MEDIA_TYPE** out, BYTE* c) -> HRESULT {
          if (index < 0 || index >= static_cast<int>(types.size())) return E_INVALIDARG;
          *out = CreateMediaType(types[static_cast<size_t>(index)].get());
          std::memcpy(c, &caps[static_cast<size_t>(index)], sizeof(VIDEO_STREAM_CONFIG_CAPS));
          return S_OK;
        });
    {
      auto graph = std::unique_ptr<VideoCaptureGraph>(new VideoCaptureGraph(&source, 0));
      ASSERT_EQ(graph->render(false), S_OK);
      const VideoCaps* list = graph->getVideoCapabilities();
      ASSERT_NE(list, nullptr);
      ASSERT_EQ(list->getNumberOfCapabilities(), static_cast<int>(valid));
      for (int position = 0; position < list->getNumberOfCapabilities(); ++position) {
        graph->setSelectedCapID(position);
        graph->setFrameRate(333333, false);
        EXPECT_EQ(graph->start(false), S_OK);
        EXPECT_EQ(graph->stop(), S_OK);
      }
      // Every format set on the device is one it listed, whole.
      EXPECT_EQ(fake.formatsSet.size(), valid);
      for (const CMediaType& set : fake.formatsSet) {
        EXPECT_TRUE(fullVideoInfo(set));
        EXPECT_NE(set.subtype, fourccSubtype("\0\0\0\0"));
      }
      CMediaType connected;
      EXPECT_NE(graph->getSampleGrabberMediaType(connected), S_OK);  // nothing is connected
    }
    types.clear();
  }
}

}  // namespace
}  // namespace kivo::test
