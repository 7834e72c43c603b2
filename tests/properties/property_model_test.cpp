#include <kivo/base_property.h>
#include <kivo/enum_property.h>

#include <gtest/gtest.h>

#include "support/mocks/ibasefilter.h"

namespace kivo {
namespace {

// The smallest concrete enumerated property, opening the model's protected
// operations.
class PlainEnum : public IEnumProperty {
 public:
  using IEnumProperty::IEnumProperty;
  long getValue(void*) const override { return E_NOTIMPL; }
  long setValue(void*) override { return E_NOTIMPL; }
  void add(const char* name, long value) { addEnumPair(name, value); }
  void setDefault(long value) { defaultValue = value; }
};

TEST(BaseProperty, CopySharesTheFilterAndNamesNullAsEmpty) {
  ::testing::NiceMock<test::MockBaseFilter> filter;
  {
    PlainEnum original(nullptr, CComPtr<IBaseFilter>(filter.self()));
    EXPECT_STREQ(original.getName(), "");
    EXPECT_FALSE(original.isSupported());
    PlainEnum copy(original);
    EXPECT_EQ(copy.getFilter().p, filter.self());
    EXPECT_EQ(filter.refs(), 2);
  }
  EXPECT_EQ(filter.refs(), 0);
}

// The first value for a name stays; the default name is the first name (in
// sorted order) carrying the default, or null.
TEST(IEnumProperty, FirstValueStaysAndDefaultNameIsTheFirstCarryingIt) {
  PlainEnum property("X", nullptr);
  EXPECT_EQ(property.getDefaultName(), nullptr);
  property.add("tape", 1);
  property.add("manual", 2);
  property.add("broadcast", 1);
  property.add("tape", 5);
  EXPECT_EQ(property.getConstraints().at("tape"), 1);
  property.setDefault(1);
  EXPECT_STREQ(property.getDefaultName(), "broadcast");
  property.setDefault(9);
  EXPECT_EQ(property.getDefaultName(), nullptr);
}

}  // namespace
}  // namespace kivo
