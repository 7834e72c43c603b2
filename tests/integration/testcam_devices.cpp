// The system device enumerator lists the Test Camera's devices with their
// names and device paths; every working one binds to a proper filter.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "testcam_helpers.h"

namespace {

using kivo::CComPtr;
using namespace testcam_test;
using ::testing::Contains;

// The device without a path (6) has an empty one.
std::wstring pathOf(int number) {
  if (number == 6) return std::wstring();
  return std::wstring(testcam::kDevicePathPrefix) + std::to_wstring(number);
}

class TestCamDevices : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(com_.status()); }
  kivo::test::ComScope com_;
};

TEST_F(TestCamDevices, EnumeratorListsEveryDeviceWithItsPath) {
  const std::vector<DeviceEntry> devices = listVideoDevices();
  struct Expected {
    const wchar_t* name;
    int number;
  };
  const Expected expected[] = {
      {testcam::kUsbCameraName, 0},    {testcam::kAnalogCameraName, 1},
      {testcam::kBrokenCameraName, 2}, {testcam::kDalsaCameraName, 3},
      {testcam::kVfwCameraName, 4},    {testcam::kNonAsciiCameraName, 5},
      {testcam::kNoPathCameraName, 6},
  };
  for (const Expected& e : expected) {
    auto found = std::find_if(devices.begin(), devices.end(),
                              [&](const DeviceEntry& d) { return d.name == e.name; });
    ASSERT_NE(found, devices.end()) << "missing device " << e.number;
    EXPECT_EQ(found->path, pathOf(e.number));
  }
  // Wine lists the entries in the order of their instance names, the class
  // identifiers, which were chosen to give this order: the broken and the
  // DALSA entries sit between working devices, the two with unusual names
  // come last.
  std::vector<std::wstring> ours;
  for (const DeviceEntry& d : devices) {
    for (const Expected& e : expected) {
      if (d.name == e.name) ours.push_back(d.name);
    }
  }
  ASSERT_EQ(ours.size(), std::size(expected));
  for (size_t i = 0; i < ours.size(); ++i) EXPECT_EQ(ours[i], expected[i].name);
  // Paths are unique.
  for (size_t i = 0; i < devices.size(); ++i) {
    for (size_t j = i + 1; j < devices.size(); ++j) {
      if (!devices[i].path.empty()) {
        EXPECT_NE(devices[i].path, devices[j].path);
      }
    }
  }
}

TEST_F(TestCamDevices, BrokenDeviceDoesNotBindAndTheOthersDo) {
  CComPtr<IBaseFilter> broken;
  EXPECT_HRESULT_FAILED(bindDevice(testcam::kBrokenCameraName, &broken));
  EXPECT_EQ(broken.p, nullptr);

  const CLSID* classes[] = {&testcam::kUsbCameraClsid,      &testcam::kAnalogCameraClsid,
                            &testcam::kDalsaCameraClsid,    &testcam::kVfwCameraClsid,
                            &testcam::kNonAsciiCameraClsid, &testcam::kNoPathCameraClsid};
  const wchar_t* names[] = {testcam::kUsbCameraName,      testcam::kAnalogCameraName,
                            testcam::kDalsaCameraName,    testcam::kVfwCameraName,
                            testcam::kNonAsciiCameraName, testcam::kNoPathCameraName};
  for (int i = 0; i < 6; ++i) {
    CComPtr<IBaseFilter> filter;
    ASSERT_HRESULT_SUCCEEDED(bindDevice(names[i], &filter)) << i;
    CLSID clsid = GUID_NULL;
    ASSERT_HRESULT_SUCCEEDED(filter->GetClassID(&clsid));
    EXPECT_EQ(clsid, *classes[i]);
    CComPtr<IPin> pin = capturePin(filter);
    EXPECT_NE(pin.p, nullptr) << i;
  }
}

TEST_F(TestCamDevices, OnlyTheVfwDeviceOffersTheCaptureDialogs) {
  const wchar_t* names[] = {testcam::kUsbCameraName, testcam::kAnalogCameraName,
                            testcam::kDalsaCameraName, testcam::kVfwCameraName};
  for (const wchar_t* name : names) {
    CComPtr<IBaseFilter> filter;
    ASSERT_HRESULT_SUCCEEDED(bindDevice(name, &filter));
    CComPtr<IAMVfwCaptureDialogs> dialogs;
    const HRESULT hr =
        filter->QueryInterface(IID_IAMVfwCaptureDialogs, reinterpret_cast<void**>(&dialogs));
    if (std::wstring(name) == testcam::kVfwCameraName) {
      ASSERT_HRESULT_SUCCEEDED(hr);
      for (int dialog :
           {VfwCaptureDialog_Source, VfwCaptureDialog_Format, VfwCaptureDialog_Display}) {
        EXPECT_EQ(dialogs->HasDialog(dialog), S_FALSE);
        EXPECT_EQ(dialogs->ShowDialog(dialog, nullptr), E_NOTIMPL);
      }
      EXPECT_EQ(dialogs->SendDriverMessage(VfwCaptureDialog_Source, 0, 0, 0), E_NOTIMPL);
    } else {
      EXPECT_EQ(hr, E_NOINTERFACE);
    }
  }
}

TEST_F(TestCamDevices, FilterAnswersAsABaseFilter) {
  CComPtr<IBaseFilter> filter;
  ASSERT_HRESULT_SUCCEEDED(bindDevice(testcam::kUsbCameraName, &filter));

  CComPtr<IAMFilterMiscFlags> flags;
  ASSERT_HRESULT_SUCCEEDED(filter.QueryInterface(&flags));
  EXPECT_EQ(flags->GetMiscFlags(), static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_SOURCE));

  // Pins: one capture output, found by its id and enumerated.
  CComPtr<IEnumPins> pins;
  ASSERT_HRESULT_SUCCEEDED(filter->EnumPins(&pins));
  IPin* got[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(pins->Next(2, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  CComPtr<IPin> first;
  first.Attach(got[0]);
  EXPECT_TRUE(first.IsEqualObject(capturePin(filter)));
  EXPECT_EQ(pins->Reset(), S_OK);
  EXPECT_EQ(pins->Skip(1), S_OK);
  EXPECT_EQ(pins->Skip(1), S_FALSE);
  CComPtr<IEnumPins> clone;
  ASSERT_HRESULT_SUCCEEDED(pins->Clone(&clone));
  EXPECT_EQ(clone->Next(1, got, nullptr), S_FALSE);
  CComPtr<IPin> missing;
  EXPECT_EQ(filter->FindPin(L"Preview", &missing), VFW_E_NOT_FOUND);

  PIN_DIRECTION direction = PINDIR_INPUT;
  EXPECT_EQ(first->QueryDirection(&direction), S_OK);
  EXPECT_EQ(direction, PINDIR_OUTPUT);
  LPWSTR id = nullptr;
  ASSERT_EQ(first->QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"Capture");
  CoTaskMemFree(id);
  CComPtr<IPin> peer;
  EXPECT_EQ(first->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(first->ReceiveConnection(first, nullptr), E_UNEXPECTED);
  EXPECT_EQ(first->QueryInternalConnections(nullptr, nullptr), E_NOTIMPL);
  LPWSTR vendor = nullptr;
  EXPECT_EQ(filter->QueryVendorInfo(&vendor), E_NOTIMPL);

  // In a graph: the filter reports the graph and its name, and holds no
  // reference of its own on the graph.
  CComPtr<IGraphBuilder> graph;
  ASSERT_HRESULT_SUCCEEDED(graph.CoCreateInstance(CLSID_FilterGraph));
  ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(filter, L"Camera"));
  FILTER_INFO info = {};
  ASSERT_HRESULT_SUCCEEDED(filter->QueryFilterInfo(&info));
  EXPECT_STREQ(info.achName, L"Camera");
  EXPECT_TRUE(graph.IsEqualObject(info.pGraph));
  if (info.pGraph) info.pGraph->Release();
  graph->AddRef();
  EXPECT_EQ(graph->Release(), 1u);
  ASSERT_HRESULT_SUCCEEDED(graph->RemoveFilter(filter));
  ASSERT_HRESULT_SUCCEEDED(filter->QueryFilterInfo(&info));
  EXPECT_EQ(info.pGraph, nullptr);
}

}  // namespace
