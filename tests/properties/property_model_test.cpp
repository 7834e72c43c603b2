#include <kivo/base_property.h>
#include <kivo/enum_property.h>

#include <gtest/gtest.h>

#include "fake_filter_pin.h"

namespace kivo {
namespace {

using test::FakeFilter;

// The smallest concrete enumerated property: it opens the protected
// operations of the model to the tests.
class PlainEnum : public IEnumProperty {
 public:
  using IEnumProperty::IEnumProperty;
  long getValue(void*) const override { return E_NOTIMPL; }
  long setValue(void*) override { return E_NOTIMPL; }
  void add(const char* name, long value) { addEnumPair(name, value); }
  void setDefault(long value) { defaultValue = value; }
  void flags(bool supported, bool settable) {
    setSupported(supported);
    setSettable(settable);
  }
};

TEST(BaseProperty, StartsUnsupportedAndSettableAndNamesNullAsEmpty) {
  FakeFilter filter;
  PlainEnum property(nullptr, CComPtr<IBaseFilter>(&filter));
  ASSERT_NE(property.getName(), nullptr);
  EXPECT_STREQ(property.getName(), "");
  EXPECT_FALSE(property.isSupported());
  EXPECT_TRUE(property.isSettable());
  EXPECT_EQ(property.getFilter().p, &filter);
  EXPECT_EQ(filter.refs(), 1);

  PlainEnum empty("Gain", CComPtr<IBaseFilter>());
  EXPECT_STREQ(empty.getName(), "Gain");
  EXPECT_EQ(empty.getFilter(), nullptr);
}

TEST(BaseProperty, CopySharesFilterAndCopiesNameAndFlags) {
  FakeFilter filter;
  {
    PlainEnum original("Brightness", CComPtr<IBaseFilter>(&filter));
    original.flags(true, false);
    PlainEnum copy(original);
    EXPECT_STREQ(copy.getName(), "Brightness");
    EXPECT_NE(copy.getName(), original.getName());
    EXPECT_TRUE(copy.isSupported());
    EXPECT_FALSE(copy.isSettable());
    EXPECT_EQ(copy.getFilter().p, &filter);
    EXPECT_EQ(filter.refs(), 2);
  }
  EXPECT_EQ(filter.refs(), 0);
}

TEST(IEnumProperty, EmptyConstraintsHaveNoDefaultName) {
  PlainEnum property("X", nullptr);
  EXPECT_TRUE(property.getConstraints().empty());
  EXPECT_EQ(property.getDefaultValue(), 0);
  EXPECT_EQ(property.getDefaultName(), nullptr);
  EXPECT_EQ(property.getDependentProperty(), nullptr);
}

TEST(IEnumProperty, FirstValueForANameStaysAndNamesSortAscending) {
  PlainEnum property("X", nullptr);
  property.add("on", 1);
  property.add("off", 0);
  property.add("on", 5);
  property.add("Zed", 7);  // upper case sorts before lower case
  ASSERT_EQ(property.getConstraints().size(), 3u);
  EXPECT_EQ(property.getConstraints().at("on"), 1);
  auto it = property.getConstraints().begin();
  EXPECT_EQ(it->first, "Zed");
  EXPECT_EQ((++it)->first, "off");
  EXPECT_EQ((++it)->first, "on");
}

TEST(IEnumProperty, DefaultNameIsTheFirstNameCarryingTheDefault) {
  PlainEnum property("X", nullptr);
  property.add("tape", 1);
  property.add("manual", 2);
  property.add("broadcast", 1);
  property.setDefault(1);
  EXPECT_STREQ(property.getDefaultName(), "broadcast");
  // The text belongs to the map and lives with the property.
  EXPECT_EQ(property.getDefaultName(), property.getConstraints().begin()->first.c_str());
  property.setDefault(2);
  EXPECT_STREQ(property.getDefaultName(), "manual");
  property.setDefault(9);
  EXPECT_EQ(property.getDefaultName(), nullptr);
  EXPECT_EQ(property.getDefaultValue(), 9);
}

}  // namespace
}  // namespace kivo
