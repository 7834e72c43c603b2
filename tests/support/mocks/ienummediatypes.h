#pragma once

// A counted mock of IEnumMediaTypes, with a helper that makes it hand out
// copies of a fixed list of media types as a real enumerator does.

#include <kivo/mediatype.h>

#include "support/com_fake.h"

#include <gmock/gmock.h>

#include <memory>
#include <vector>

namespace kivo::test {

class MockEnumMediaTypes : public ComFake<IEnumMediaTypes> {
 public:
  MOCK_METHOD(HRESULT, Next, (ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Skip, (ULONG count), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Reset, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Clone, (IEnumMediaTypes * *enumerator),
              (Calltype(STDMETHODCALLTYPE), override));

  // Next hands out a new task-allocated copy of each type in order (the
  // caller frees it with DeleteMediaType), then answers S_FALSE; Reset
  // starts again. The types are not owned and must outlive the enumerator.
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
