#pragma once

// A counted mock of IAMCrossbar.

#include "support/com_fake.h"

#include <gmock/gmock.h>

namespace kivo::test {

class MockAMCrossbar : public ComFake<IAMCrossbar> {
 public:
  MOCK_METHOD(HRESULT, get_PinCounts, (LONG * outputCount, LONG* inputCount),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, CanRoute, (LONG outputIndex, LONG inputIndex),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Route, (LONG outputIndex, LONG inputIndex),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, get_IsRoutedTo, (LONG outputIndex, LONG* inputIndex),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, get_CrossbarPinInfo,
              (BOOL isInput, LONG index, LONG* relatedIndex, LONG* physicalType),
              (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
