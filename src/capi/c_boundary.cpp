#include "capi/c_boundary.h"

#include <kivo/duration_unsupported_exception.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/hr_exception.h>
#include <kivo/util.h>
#include <kivo/no_vi_devices_exception.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/vi_device_access_exception.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

namespace kivo {
namespace capi {

namespace {

thread_local std::string lastError;

// The status an exception of kivo's family carries. The field is not public
// to hosts; the C interface is part of the library and hands the status on
// as the call's own.
class ExceptionStatus : public HRException {
 public:
  static long of(const HRException& failure) { return failure.*(&ExceptionStatus::hr); }
};

const char* exceptionName(const HRException& failure) {
  if (dynamic_cast<const FilterCreationException*>(&failure)) return "FilterCreationException";
  if (dynamic_cast<const DurationUnsupportedException*>(&failure))
    return "DurationUnsupportedException";
  if (dynamic_cast<const PositionUnsupportedException*>(&failure))
    return "PositionUnsupportedException";
  if (dynamic_cast<const NoVIDevicesException*>(&failure)) return "NoVIDevicesException";
  if (dynamic_cast<const VIDeviceAccessException*>(&failure)) return "VIDeviceAccessException";
  return "HRException";
}

std::string statusText(kivo_status status) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(status));
  return number;
}

// Records the failure and returns its status. The text is built here, under
// a handler of its own: running out of memory while building it leaves the
// text empty, and the status still goes back.
template <class Reason>
kivo_status fail(const char* function, kivo_status status, Reason&& reason) {
  try {
    lastError = std::string(function) + ": " + reason();
  } catch (...) {
    lastError.clear();
  }
  return status;
}

}  // namespace

HandleTable& HandleTable::instance() {
  // Never destroyed: a host may destroy a handle while the process ends.
  static HandleTable* table = new HandleTable;
  return *table;
}

uintptr_t HandleTable::add(HandleKind kind, void* object) {
  std::lock_guard<std::mutex> guard(lock);
  // Steps of 16 keep handles looking like aligned pointers to a debugger.
  lastHandle += 16;
  entries.emplace(lastHandle, Entry{kind, object});
  return lastHandle;
}

void* HandleTable::find(HandleKind kind, uintptr_t handle) const {
  std::lock_guard<std::mutex> guard(lock);
  auto entry = entries.find(handle);
  if (entry == entries.end() || entry->second.kind != kind) return nullptr;
  return entry->second.object;
}

void* HandleTable::remove(HandleKind kind, uintptr_t handle) {
  std::lock_guard<std::mutex> guard(lock);
  auto entry = entries.find(handle);
  if (entry == entries.end() || entry->second.kind != kind) return nullptr;
  void* object = entry->second.object;
  entries.erase(entry);
  return object;
}

void clearLastError() { lastError.clear(); }

kivo_status failWithStatus(const char* function, kivo_status status) {
  return fail(function, status, [&] {
    std::string reason = "status " + statusText(status);
    const std::string text = HRException(status, "").getMessage();
    if (!text.empty()) reason += " (" + text + ")";
    return reason;
  });
}

kivo_status failWithCurrentException(const char* function) {
  try {
    throw;
  } catch (const CallFailure& failure) {
    return fail(function, failure.status, [&] { return failure.reason; });
  } catch (const HRException& failure) {
    const kivo_status status = ExceptionStatus::of(failure);
    return fail(function, status < 0 ? status : E_FAIL, [&] {
      return std::string(exceptionName(failure)) + " " + statusText(status) + ": " +
             failure.getMessage();
    });
  } catch (const std::bad_alloc&) {
    return fail(function, E_OUTOFMEMORY, [] { return std::string("out of memory"); });
  } catch (const std::exception& failure) {
    return fail(function, E_FAIL, [&] { return std::string("std::exception: ") + failure.what(); });
  } catch (...) {
    return fail(function, E_UNEXPECTED, [] { return std::string("an unknown exception"); });
  }
}

void requireIndex(size_t index, size_t count) {
  if (index >= count)
    throw CallFailure{KIVO_E_BOUNDS,
                      "index " + std::to_string(index) + " of a list of " + std::to_string(count)};
}

kivo_status copyText(const std::string& text, char* buffer, size_t size) {
  requirePointers(buffer);
  if (size == 0) return KIVO_E_INSUFFICIENT_BUFFER;
  const size_t copied = text.size() < size ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return copied == text.size() ? KIVO_OK : KIVO_E_INSUFFICIENT_BUFFER;
}

}  // namespace capi
}  // namespace kivo

using namespace kivo::capi;

extern "C" {

const char* KIVO_CALL kivo_version(void) { return KIVO_VERSION; }

const char* KIVO_CALL kivo_last_error(void) { return lastError.c_str(); }

kivo_status KIVO_CALL kivo_error_text(kivo_status status, char* buffer, size_t size) {
  return boundary(
      __func__, [&] { return copyText(kivo::HRException(status, "").getMessage(), buffer, size); });
}

kivo_status KIVO_CALL kivo_directx_version(uint32_t* version, char* text, size_t size,
                                           int use_dxdiag) {
  return boundary(__func__, [&]() -> kivo_status {
    DWORD packed = 0;
    char found[32] = {};
    kivo::util::GetDXVersion(&packed, found, static_cast<int>(sizeof found), use_dxdiag != 0);
    if (version) *version = packed;
    return text ? copyText(found, text, size) : KIVO_OK;
  });
}

}  // extern "C"
