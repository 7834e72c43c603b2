#pragma once

#include <kivo/mediatype.h>

#include "support/com_fake.h"

#include <gmock/gmock.h>

#include <memory>
#include <vector>

namespace kivo::test {

class MockEnumMediaTypes : public ComFake<IEnumMediaTypes> {
 public:
  MOCK_METHOD(HRESULT, Next, (ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Skip, (ULONG count), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Reset, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Clone, (IEnumMediaTypes * *enumerator), COM_OVERRIDE);

  // Next hands out a task-allocated copy of each (unowned) type in order, then S_FALSE.
  void walk(std::vector<const AM_MEDIA_TYPE*> types) {
    auto list = std::make_shared<std::vector<const AM_MEDIA_TYPE*>>(std::move(types));
    auto position = std::make_shared<size_t>(0);
    ON_CALL(*this, Next)
        .WillByDefault(
            [list, position](ULONG count, AM_MEDIA_TYPE** out, ULONG* fetched) -> HRESULT {
              if (!out || (count > 1 && !fetched)) return E_POINTER;
              ULONG given = 0;
              while (given < count && *position < list->size())
                out[given++] = CreateMediaType((*list)[(*position)++]);
              if (fetched) *fetched = given;
              return given == count ? S_OK : S_FALSE;
            });
    ON_CALL(*this, Reset).WillByDefault([position]() -> HRESULT {
      *position = 0;
      return S_OK;
    });
  }
};

}  // namespace kivo::test
