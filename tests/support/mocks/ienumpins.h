#pragma once

#include "support/com_fake.h"

#include <gmock/gmock.h>

#include <memory>
#include <vector>

namespace kivo::test {

class MockEnumPins : public ComFake<IEnumPins> {
 public:
  MOCK_METHOD(HRESULT, Next, (ULONG count, IPin** pins, ULONG* fetched), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Skip, (ULONG count), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Reset, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Clone, (IEnumPins * *enumerator), COM_OVERRIDE);

  // Next hands out the (unowned) pins in order, each with one added reference, then S_FALSE.
  void walk(std::vector<IPin*> pins) {
    auto list = std::make_shared<std::vector<IPin*>>(std::move(pins));
    auto position = std::make_shared<size_t>(0);
    ON_CALL(*this, Next)
        .WillByDefault([list, position](ULONG count, IPin** out, ULONG* fetched) -> HRESULT {
          if (!out || (count > 1 && !fetched)) return E_POINTER;
          ULONG given = 0;
          while (given < count && *position < list->size()) {
            IPin* pin = (*list)[(*position)++];
            pin->AddRef();
            out[given++] = pin;
          }
          if (fetched) *fetched = given;
          return given == count ? S_OK : S_FALSE;
        });
    ON_CALL(*this, Reset).WillByDefault([position]() -> HRESULT {
      *position = 0;
      return S_OK;
    });
    ON_CALL(*this, Skip).WillByDefault([list, position](ULONG count) -> HRESULT {
      *position += count;
      if (*position > list->size()) {
        *position = list->size();
        return S_FALSE;
      }
      return S_OK;
    });
  }
};

}  // namespace kivo::test
