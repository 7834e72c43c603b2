#pragma once

// The ranged settings of a device, IAMVideoProcAmp and IAMCameraControl:
// their ranges, values and control flags.

#include <kivo/platform.h>

#include <mutex>
#include <string>
#include <vector>

#include "faults.h"
#include "profiles.h"

namespace testcam {

// Values and control flags of a set of ranged settings. A setting the set
// does not list answers E_PROP_ID_UNSUPPORTED; one listed as absent (caps
// flags 0) answers E_NOTIMPL.
class SettingTable {
 public:
  explicit SettingTable(const std::vector<RangeSetting>& settings);
  HRESULT getRange(long id, long* minimum, long* maximum, long* step, long* defaultValue,
                   long* capsFlags) const;
  HRESULT get(long id, long* value, long* flags) const;
  // Refuses a value outside the range, and flags other than exactly one
  // supported mode, with E_INVALIDARG.
  HRESULT set(long id, long value, long flags);
  // The current value, or `fallback` when the setting is absent.
  long valueOf(long id, long fallback) const;

 private:
  struct Entry {
    RangeSetting setting;
    long value;
    long flags;
  };
  // The entry of a present setting; `*absent` the status for the others.
  const Entry* find(long id, HRESULT* absent) const;

  std::vector<Entry> entries_;
  mutable std::mutex mutex_;
};

// IAMVideoProcAmp or IAMCameraControl (both have the same three methods)
// over a SettingTable. It is a part of its filter: its IUnknown is the
// filter's, so that a query from it reaches every interface of the filter.
template <class Interface>
class SettingsPart final : public Interface {
 public:
  // `interfaceName` names the calls for the fault injection: "IAMVideoProcAmp".
  SettingsPart(IUnknown* filter, const Faults& faults, const char* interfaceName,
               const std::vector<RangeSetting>& settings)
      : filter_(filter), faults_(faults), name_(interfaceName), table_(settings) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    return filter_->QueryInterface(iid, result);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return filter_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return filter_->Release(); }

  STDMETHODIMP GetRange(long id, long* minimum, long* maximum, long* step, long* defaultValue,
                        long* capsFlags) override {
    if (faults_.fails(name_ + ".GetRange")) return E_FAIL;
    return table_.getRange(id, minimum, maximum, step, defaultValue, capsFlags);
  }
  STDMETHODIMP Set(long id, long value, long flags) override {
    if (faults_.fails(name_ + ".Set")) return E_FAIL;
    return table_.set(id, value, flags);
  }
  STDMETHODIMP Get(long id, long* value, long* flags) override {
    if (faults_.fails(name_ + ".Get")) return E_FAIL;
    return table_.get(id, value, flags);
  }

  const SettingTable& table() const { return table_; }

 private:
  IUnknown* const filter_;
  const Faults& faults_;
  const std::string name_;
  SettingTable table_;
};

}  // namespace testcam
