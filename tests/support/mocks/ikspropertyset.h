#pragma once

#include "support/com_fake.h"

#include <gmock/gmock.h>

namespace kivo::test {

class MockKsPropertySet : public ComFake<IKsPropertySet> {
 public:
  MOCK_METHOD(HRESULT, Set,
              (REFGUID set, DWORD id, LPVOID instanceData, DWORD instanceLength, LPVOID data,
               DWORD dataLength),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Get,
              (REFGUID set, DWORD id, LPVOID instanceData, DWORD instanceLength, LPVOID data,
               DWORD dataLength, DWORD* returned),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, QuerySupported, (REFGUID set, DWORD id, DWORD* support), COM_OVERRIDE);

  // Get answers AMPROPERTY_PIN_CATEGORY of AMPROPSETID_Pin with `category`;
  // every other property is refused.
  void reportCategory(const GUID& category) {
    ON_CALL(*this, Get)
        .WillByDefault([category](REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data,
                                  DWORD dataLength, DWORD* returned) -> HRESULT {
          if (!IsEqualGUID(set, AMPROPSETID_Pin) || id != AMPROPERTY_PIN_CATEGORY)
            return E_PROP_ID_UNSUPPORTED;
          if (!data || dataLength < sizeof(GUID)) return E_UNEXPECTED;
          *static_cast<GUID*>(data) = category;
          if (returned) *returned = sizeof(GUID);
          return S_OK;
        });
  }
};

}  // namespace kivo::test
