#include "settings.h"

namespace testcam {

SettingTable::SettingTable(const std::vector<RangeSetting>& settings) {
  for (const RangeSetting& s : settings)
    entries_.push_back(Entry{s, s.defaultValue, s.initialFlags});
}

const SettingTable::Entry* SettingTable::find(long id, HRESULT* absent) const {
  for (const Entry& e : entries_) {
    if (e.setting.id != id) continue;
    *absent = E_NOTIMPL;
    return e.setting.capsFlags != 0 ? &e : nullptr;
  }
  *absent = E_PROP_ID_UNSUPPORTED;
  return nullptr;
}

HRESULT SettingTable::getRange(long id, long* minimum, long* maximum, long* step,
                               long* defaultValue, long* capsFlags) const {
  HRESULT absent = S_OK;
  const Entry* e = find(id, &absent);
  if (!e) return absent;
  if (!minimum || !maximum || !step || !defaultValue || !capsFlags) return E_POINTER;
  *minimum = e->setting.minimum;
  *maximum = e->setting.maximum;
  *step = e->setting.step;
  *defaultValue = e->setting.defaultValue;
  *capsFlags = e->setting.capsFlags;
  return S_OK;
}

HRESULT SettingTable::get(long id, long* value, long* flags) const {
  std::lock_guard<std::mutex> guard(mutex_);
  HRESULT absent = S_OK;
  const Entry* e = find(id, &absent);
  if (!e) return absent;
  if (!value || !flags) return E_POINTER;
  *value = e->value;
  *flags = e->flags;
  return S_OK;
}

HRESULT SettingTable::set(long id, long value, long flags) {
  std::lock_guard<std::mutex> guard(mutex_);
  HRESULT absent = S_OK;
  auto* e = const_cast<Entry*>(find(id, &absent));
  if (!e) return absent;
  if ((flags != 1 && flags != 2) || (flags & e->setting.capsFlags) == 0) return E_INVALIDARG;
  if (value < e->setting.minimum || value > e->setting.maximum) return E_INVALIDARG;
  e->value = value;
  e->flags = flags;
  return S_OK;
}

long SettingTable::valueOf(long id, long fallback) const {
  std::lock_guard<std::mutex> guard(mutex_);
  HRESULT absent = S_OK;
  const Entry* e = find(id, &absent);
  return e ? e->value : fallback;
}

}  // namespace testcam
