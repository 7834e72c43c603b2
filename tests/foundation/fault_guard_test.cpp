#include "foundation/fault_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kivo {
namespace {

TEST(RunContained, ReportsWorkThatCompleted) {
  int calls = 0;
  EXPECT_TRUE(detail::runContained([](void* count) { ++*static_cast<int*>(count); }, &calls));
  EXPECT_EQ(calls, 1);
}

TEST(RunContained, ContainsAnyCxxException) {
  EXPECT_FALSE(detail::runContained([](void*) { throw std::runtime_error("driver"); }, nullptr));
  EXPECT_FALSE(detail::runContained([](void*) { throw 42; }, nullptr));
}

}  // namespace
}  // namespace kivo
