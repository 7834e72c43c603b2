// Filters and device enumeration against Wine's DirectShow, as a host uses
// them. Wine enumerates no plug-and-play camera: the device list holds
// whatever filters are registered in the video input category of this
// prefix (none, or the project's Test Camera when it is registered).

#include <kivo/filter.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>

#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace kivo {
namespace {

// A device entry of the video input category, present while the object
// lives: registered through the filter mapper, as capture drivers register
// theirs, with an optional "DevicePath" in its property bag. Binding it
// creates an object of `clsid`.
class TemporaryDevice {
 public:
  TemporaryDevice(const std::wstring& name, const std::wstring& instance, const CLSID& clsid,
                  const wchar_t* devicePath)
      : instance_(instance), clsid_(clsid) {
    if (FAILED(mapper_.CoCreateInstance(CLSID_FilterMapper2))) return;
    REGFILTER2 registration = {};
    registration.dwVersion = 1;
    registration.dwMerit = MERIT_DO_NOT_USE;
    CComPtr<IMoniker> moniker;
    registered_ = SUCCEEDED(mapper_->RegisterFilter(clsid, name.c_str(), &moniker,
                                                    &CLSID_VideoInputDeviceCategory,
                                                    instance.c_str(), &registration));
    if (registered_ && devicePath && moniker) {
      CComPtr<IPropertyBag> bag;
      if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                           reinterpret_cast<void**>(&bag)))) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(devicePath);
        bag->Write(L"DevicePath", &value);
        VariantClear(&value);
      }
    }
  }
  ~TemporaryDevice() {
    if (registered_)
      mapper_->UnregisterFilter(&CLSID_VideoInputDeviceCategory, instance_.c_str(), clsid_);
  }
  bool registered() const { return registered_; }

 private:
  CComPtr<IFilterMapper2> mapper_;
  std::wstring instance_;
  CLSID clsid_;
  bool registered_ = false;
};

// A filter created from its class identifier, the way the library's
// renderer sinks are made.
class ClassFilter : public Filter {
 public:
  ClassFilter(const char* name, const GUID& clsid) : Filter(name, clsid) {}
  ClassFilter(const ClassFilter& other) : Filter(other) {}
};

const char* const kUnsupported[] = {"Coreco Imaging Video Source", "DALSA Imaging Video Source",
                                    "Mightex_SSClassicSource Filter"};

class FiltersOnWine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(com_.status())); }
  test::ComScope com_;
};

TEST_F(FiltersOnWine, DeviceEnumerationListsOnlyNamedSupportedDevices) {
  FilterEnums enums;
  const std::vector<Filter*>& devices = enums.getVideoDevices();
  for (const Filter* device : devices) {
    ASSERT_NE(device, nullptr);
    const std::string name = device->getName();
    EXPECT_FALSE(name.empty());
    for (const char* unsupported : kUnsupported) EXPECT_NE(name, unsupported);
    EXPECT_NE(device->getInterface(), nullptr);
    EXPECT_NE(dynamic_cast<const VideoCaptureFilter*>(device), nullptr);
    EXPECT_NE(device->getUniqueString(), nullptr);
    device->isVFW();
  }
  const size_t count = devices.size();
  enums.reset();
  EXPECT_EQ(enums.getVideoDevices().size(), count);
}

const Filter* findByName(const std::vector<Filter*>& devices, const std::string& name) {
  auto found = std::find_if(devices.begin(), devices.end(),
                            [&](const Filter* f) { return name == f->getName(); });
  return found == devices.end() ? nullptr : *found;
}

// These tests register device entries for the length of one test. Other
// tests enumerating devices at the same moment would see them: their names
// carry "kivo-it" (but for the one unsupported name, which is never listed)
// and they bind to the null renderer, which has no capture pin. Their
// instance keys begin with "~" so that they come after every real device
// (the enumerator lists the instance keys in name order).
TEST_F(FiltersOnWine, RegisteredDevicesAreListedBoundAndFiltered) {
  const GUID unregisteredClass = {
      0x5d0c7a3e, 0x1b2f, 0x4e61, {0x9c, 0x0d, 0x7e, 0x3a, 0x52, 0x18, 0x6f, 0x94}};
  const std::wstring utf16Name = L"kivo-it Cam\u00e9ra \u2603";
  const std::string utf8Name = "kivo-it Cam\xc3\xa9ra \xe2\x98\x83";
  std::vector<std::unique_ptr<TemporaryDevice>> devices;
  devices.push_back(std::make_unique<TemporaryDevice>(utf16Name, L"~kivo-it-1", CLSID_NullRenderer,
                                                      L"\\\\?\\kivo-it#caf\u00e9#1"));
  devices.push_back(std::make_unique<TemporaryDevice>(L"kivo-it no path", L"~kivo-it-2",
                                                      CLSID_NullRenderer, nullptr));
  devices.push_back(std::make_unique<TemporaryDevice>(L"kivo-it unbindable", L"~kivo-it-3",
                                                      unregisteredClass, nullptr));
  for (const auto& device : devices) ASSERT_TRUE(device->registered());

  FilterEnums enums;
  const std::vector<Filter*>& listed = enums.getVideoDevices();
  const Filter* camera = findByName(listed, utf8Name);
  ASSERT_NE(camera, nullptr) << "the UTF-8 name is not listed";
  EXPECT_STREQ(camera->getUniqueString(), "\\\\?\\kivo-it#caf\xc3\xa9#1");
  EXPECT_FALSE(camera->isVFW());
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(camera->getInterface()->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, CLSID_NullRenderer));

  const Filter* noPath = findByName(listed, "kivo-it no path");
  ASSERT_NE(noPath, nullptr);
  EXPECT_STREQ(noPath->getUniqueString(), "");
  // A device whose filter cannot be created is left out.
  EXPECT_EQ(findByName(listed, "kivo-it unbindable"), nullptr);

  // A copy binds the device again: its own object of the same class.
  VideoCaptureFilter copy(dynamic_cast<const VideoCaptureFilter&>(*camera));
  ASSERT_NE(copy.getInterface(), nullptr);
  EXPECT_FALSE(copy.getInterface().IsEqualObject(camera->getInterface()));
  EXPECT_STREQ(copy.getUniqueString(), camera->getUniqueString());

  // Once the entries are gone, a reset no longer lists them.
  devices.clear();
  enums.reset();
  EXPECT_EQ(findByName(enums.getVideoDevices(), utf8Name), nullptr);
  EXPECT_EQ(findByName(enums.getVideoDevices(), "kivo-it no path"), nullptr);
}

TEST_F(FiltersOnWine, UnsupportedDeviceIsNotListed) {
  TemporaryDevice dalsa(L"DALSA Imaging Video Source", L"~kivo-it-dalsa", CLSID_NullRenderer,
                        nullptr);
  TemporaryDevice variant(L"DALSA Imaging Video Source kivo-it", L"~kivo-it-dalsa-2",
                          CLSID_NullRenderer, nullptr);
  ASSERT_TRUE(dalsa.registered());
  ASSERT_TRUE(variant.registered());
  FilterEnums enums;
  EXPECT_EQ(findByName(enums.getVideoDevices(), "DALSA Imaging Video Source"), nullptr);
  EXPECT_NE(findByName(enums.getVideoDevices(), "DALSA Imaging Video Source kivo-it"), nullptr);
}

TEST_F(FiltersOnWine, CopyOfAListedDeviceKeepsItsIdentity) {
  FilterEnums enums;
  for (const Filter* device : enums.getVideoDevices()) {
    const VideoCaptureFilter& listed = dynamic_cast<const VideoCaptureFilter&>(*device);
    VideoCaptureFilter copy(listed);
    EXPECT_STREQ(copy.getName(), listed.getName());
    // Whether the bind gives a new object is the device's business; a
    // copy always holds one.
    ASSERT_NE(copy.getInterface(), nullptr);
    EXPECT_EQ(copy.isVFW(), listed.isVFW());
    EXPECT_STREQ(copy.getUniqueString(), std::string(listed.getUniqueString()).c_str());
  }
}

TEST_F(FiltersOnWine, FilterFromTheNullRendererClass) {
  ClassFilter renderer("KIVO Null Renderer", CLSID_NullRenderer);
  ASSERT_NE(renderer.getInterface(), nullptr);
  EXPECT_STREQ(renderer.getName(), "KIVO Null Renderer");
  EXPECT_STREQ(renderer.getUniqueString(), "");
  EXPECT_FALSE(renderer.isVFW());
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(renderer.getInterface()->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, CLSID_NullRenderer));

  // No moniker: a copy shares the object.
  ClassFilter copy(renderer);
  EXPECT_TRUE(copy.getInterface().IsEqualObject(renderer.getInterface()));

  // The filter works in a graph under its name.
  CComPtr<IGraphBuilder> graph;
  ASSERT_EQ(graph.CoCreateInstance(CLSID_FilterGraph), S_OK);
  ASSERT_EQ(graph->AddFilter(renderer.getInterface(), L"KIVO Null Renderer"), S_OK);
  CComPtr<IBaseFilter> found;
  EXPECT_EQ(graph->FindFilterByName(L"KIVO Null Renderer", &found), S_OK);
  EXPECT_TRUE(found.IsEqualObject(renderer.getInterface()));
  EXPECT_EQ(graph->RemoveFilter(renderer.getInterface()), S_OK);
}

TEST_F(FiltersOnWine, UnregisteredClassThrowsFilterCreationException) {
  const GUID unregistered = {
      0x3f2a8d11, 0x77b4, 0x4c0e, {0x8a, 0x5d, 0x19, 0xe2, 0x60, 0x4b, 0x7c, 0x3e}};
  try {
    ClassFilter filter("Nothing", unregistered);
    FAIL() << "created a filter from an unregistered class";
  } catch (const FilterCreationException& e) {
    EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
    EXPECT_STREQ(e.getMessage(), "Error: 0x80040154");  // REGDB_E_CLASSNOTREG
  }
  // The DV decoder is not registered in Wine either; caught as the base.
  try {
    ClassFilter dv("KIVO DV Decoder", CLSID_DVVideoCodec);
    FAIL() << "Wine created the DV decoder";
  } catch (const HRException& e) {
    EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
  }
}

}  // namespace
}  // namespace kivo
