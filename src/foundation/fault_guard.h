#pragma once

namespace kivo {
namespace detail {

// Runs work(context) and contains whatever escapes it: a C++ exception and,
// where the compiler supports structured exception handling (MSVC), a
// hardware fault such as an access violation inside a third-party driver.
// True when the work completed, false when something was contained.
bool runContained(void (*work)(void* context), void* context);

}  // namespace detail
}  // namespace kivo
