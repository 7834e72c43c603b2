#pragma once

// Stand-ins for a device filter and a capture pin: only their reference
// counts and QueryInterface (a device interface handed out through
// ComFake::answer) matter.

#include "support/mocks/ibasefilter.h"
#include "support/mocks/ipin.h"

namespace kivo::test {

using FakeFilter = ::testing::NiceMock<MockBaseFilter>;
using FakePin = ::testing::NiceMock<MockPin>;

}  // namespace kivo::test
