#pragma once

#include "support/mocks/ienumfilters.h"

namespace kivo::test {

// Next hands out the (unowned) pins given to walk() in order, each with one added reference,
// then S_FALSE; Reset starts again.
class MockEnumPins : public ComFake<IEnumPins> {
 public:
  MOCK_METHOD(HRESULT, Next, (ULONG count, IPin** pins, ULONG* fetched), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Skip, (ULONG count), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Reset, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Clone, (IEnumPins * *enumerator), COM_OVERRIDE);

  void walk(std::vector<IPin*> pins) {
    pins_.walk(std::move(pins));
    ON_CALL(*this, Next).WillByDefault([this](ULONG n, IPin** out, ULONG* fetched) {
      return pins_.Next(n, out, fetched);
    });
    ON_CALL(*this, Reset).WillByDefault([this] { return pins_.Reset(); });
  }

 private:
  ListEnum<IEnumPins, IPin> pins_;
};

}  // namespace kivo::test
