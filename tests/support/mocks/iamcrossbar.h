#pragma once

#include "support/com_fake.h"

#include <gmock/gmock.h>

namespace kivo::test {

class MockAMCrossbar : public ComFake<IAMCrossbar> {
 public:
  MOCK_METHOD(HRESULT, get_PinCounts, (LONG * outputCount, LONG* inputCount), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, CanRoute, (LONG outputIndex, LONG inputIndex), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Route, (LONG outputIndex, LONG inputIndex), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_IsRoutedTo, (LONG outputIndex, LONG* inputIndex), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_CrossbarPinInfo,
              (BOOL isInput, LONG index, LONG* relatedIndex, LONG* physicalType), COM_OVERRIDE);
};

}  // namespace kivo::test
