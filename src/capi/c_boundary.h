#pragma once

// What every entry point of the C interface shares: the handle table that
// turns a host's handle into kivo's object, and the boundary that turns
// whatever happens inside a call into a status and the thread's last-error
// text.

#include <kivo/kivo_c.h>
#include <kivo/platform.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kivo {
namespace capi {

enum class HandleKind { DeviceList, DeviceGraph, FileGraph };

// The live handles of the process. A handle is a number, never an address,
// and no number is handed out twice: a destroyed handle, or one of another
// kind, is recognised and refused instead of being followed into freed
// memory.
class HandleTable {
 public:
  static HandleTable& instance();
  // Registers `object` and returns its new handle.
  uintptr_t add(HandleKind kind, void* object);
  // The object behind a live handle of `kind`; null otherwise.
  void* find(HandleKind kind, uintptr_t handle) const;
  // Unregisters a live handle of `kind` and returns its object; null when
  // there is none.
  void* remove(HandleKind kind, uintptr_t handle);

 private:
  struct Entry {
    HandleKind kind;
    void* object;
  };
  mutable std::mutex lock;
  std::unordered_map<uintptr_t, Entry> entries;
  uintptr_t lastHandle = 0x10000;
};

// A failure inside an entry point, raised where a status alone would lose
// the reason (an unknown name, a missing stream).
struct CallFailure {
  kivo_status status;
  std::string reason;
};

// Runs `body`, which returns a status or throws, as the entry point
// `function`: the thread's last-error text is emptied on success and names
// the function with the status or exception on failure. Nothing thrown
// leaves this function.
template <class Body>
kivo_status boundary(const char* function, Body&& body);

// The parts of the boundary that do not depend on the body.
void clearLastError();
kivo_status failWithStatus(const char* function, kivo_status status);
kivo_status failWithCurrentException(const char* function);

template <class Body>
kivo_status boundary(const char* function, Body&& body) {
  try {
    const kivo_status status = body();
    if (status < 0) return failWithStatus(function, status);
    clearLastError();
    return status;
  } catch (...) {
    return failWithCurrentException(function);
  }
}

// The object behind `handle`, or a CallFailure with KIVO_E_HANDLE.
template <class Object, class Handle>
Object& lookUp(HandleKind kind, Handle* handle) {
  void* object = HandleTable::instance().find(kind, reinterpret_cast<uintptr_t>(handle));
  if (!object) throw CallFailure{KIVO_E_HANDLE, "not a live handle of this kind"};
  return *static_cast<Object*>(object);
}

// Registers a new object and hands its handle out; the object is deleted
// when it cannot be registered.
template <class Handle, class Object>
void handOut(HandleKind kind, Object* object, Handle** handle) {
  try {
    *handle = reinterpret_cast<Handle*>(HandleTable::instance().add(kind, object));
  } catch (...) {
    delete object;
    throw;
  }
}

// Unregisters `handle` and deletes its object.
template <class Object, class Handle>
void destroyHandle(HandleKind kind, Handle* handle) {
  void* object = HandleTable::instance().remove(kind, reinterpret_cast<uintptr_t>(handle));
  if (!object) throw CallFailure{KIVO_E_HANDLE, "not a live handle of this kind"};
  delete static_cast<Object*>(object);
}

// Throws CallFailure with KIVO_E_POINTER when any pointer is null.
template <class... Pointers>
void requirePointers(const Pointers*... pointers) {
  const bool anyNull = ((pointers == nullptr) || ...);
  if (anyNull) throw CallFailure{KIVO_E_POINTER, "a required pointer is null"};
}

// Throws CallFailure with KIVO_E_POINTER for a null callback.
inline void requireCallback(kivo_frame_callback callback) {
  if (!callback) throw CallFailure{KIVO_E_POINTER, "the callback is null"};
}

// The index-th position of a list of `count`, or CallFailure KIVO_E_BOUNDS.
void requireIndex(size_t index, size_t count);

// Copies `text` into a caller's buffer of `size` bytes, terminated;
// KIVO_E_INSUFFICIENT_BUFFER when it had to be cut.
kivo_status copyText(const std::string& text, char* buffer, size_t size);

}  // namespace capi
}  // namespace kivo
