#pragma once

#include <kivo/export.h>
#include <kivo/platform.h>

#include <cassert>

namespace kivo {

// Media-type helpers of the DirectShow base classes, which neither MinGW nor
// the Windows SDK ship ready-built. Format blocks are allocated with the
// platform's task allocator, as the platform does for its callers.

// Deep copy of a media type into a new structure; null when out of memory.
KIVO_API AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
// Frees the format block and releases pUnk, then frees the structure.
KIVO_API void DeleteMediaType(AM_MEDIA_TYPE* mediaType);
// Frees the format block and releases pUnk; the GUIDs stay readable.
KIVO_API void FreeMediaType(AM_MEDIA_TYPE& mediaType);
// Deep copy into an existing structure (which must not own a format block).
KIVO_API HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// The base classes' subtype-name lookup, reduced to the rows kivo can reach.
KIVO_API const char* GetSubtypeNameA(const GUID* subtype);

// Owns an AM_MEDIA_TYPE that the platform allocated for the caller
// (IEnumMediaTypes::Next, IAMStreamConfig::GetFormat and GetStreamCaps...)
// and deletes it, format block and pUnk included, when it lets go.
class MediaTypePtr {
 public:
  MediaTypePtr() noexcept : p(nullptr) {}
  explicit MediaTypePtr(AM_MEDIA_TYPE* owned) noexcept : p(owned) {}
  MediaTypePtr(MediaTypePtr&& other) noexcept : p(other.release()) {}
  MediaTypePtr& operator=(MediaTypePtr&& other) noexcept {
    reset(other.release());
    return *this;
  }
  MediaTypePtr(const MediaTypePtr&) = delete;
  MediaTypePtr& operator=(const MediaTypePtr&) = delete;
  ~MediaTypePtr() { DeleteMediaType(p); }

  // For out-parameters. The owner must be empty, as a CComPtr must: the
  // callee overwrites the pointer.
  AM_MEDIA_TYPE** operator&() noexcept {
    assert(p == nullptr && "MediaTypePtr: out-parameter on an owner that holds a type");
    return &p;
  }
  AM_MEDIA_TYPE* get() const noexcept { return p; }
  AM_MEDIA_TYPE* operator->() const noexcept { return p; }
  explicit operator bool() const noexcept { return p != nullptr; }

  // Hands the type to the caller, who deletes it.
  AM_MEDIA_TYPE* release() noexcept {
    AM_MEDIA_TYPE* owned = p;
    p = nullptr;
    return owned;
  }
  void reset(AM_MEDIA_TYPE* owned = nullptr) noexcept {
    if (owned == p) return;
    DeleteMediaType(p);
    p = owned;
  }

 private:
  AM_MEDIA_TYPE* p;
};

// An AM_MEDIA_TYPE that owns its format block and its pUnk reference.
class KIVO_API CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  explicit CMediaType(const GUID* majorType);
  CMediaType(const AM_MEDIA_TYPE& source);
  CMediaType(const CMediaType& source);
  ~CMediaType();

  CMediaType& operator=(const AM_MEDIA_TYPE& source);
  CMediaType& operator=(const CMediaType& source);
  bool operator==(const CMediaType& other) const;
  bool operator!=(const CMediaType& other) const;

  // Replaces the whole type by a deep copy of source.
  HRESULT Set(const CMediaType& source);
  bool IsValid() const;

  const GUID* Type() const { return &majortype; }
  void SetType(const GUID* type) { majortype = *type; }
  const GUID* Subtype() const { return &subtype; }
  void SetSubtype(const GUID* type) { subtype = *type; }
  const GUID* FormatType() const { return &formattype; }
  void SetFormatType(const GUID* type) { formattype = *type; }
  BOOL IsFixedSize() const { return bFixedSizeSamples; }
  BOOL IsTemporalCompressed() const { return bTemporalCompression; }
  ULONG GetSampleSize() const;
  void SetSampleSize(ULONG size);
  void SetVariableSize();
  void SetTemporalCompression(BOOL compressed);

  BYTE* Format() const { return pbFormat; }
  ULONG FormatLength() const { return cbFormat; }
  // Replaces the format block by a copy of the given bytes.
  BOOL SetFormat(const BYTE* format, ULONG length);
  // Frees the format block.
  void ResetFormatBuffer();
  // Replaces the format block by a zero-filled one of the given length.
  BYTE* AllocFormatBuffer(ULONG length);
  // Resizes the format block, keeping its leading bytes.
  BYTE* ReallocFormatBuffer(ULONG length);
  // Resets every field to an empty type with fixed-size samples of size 1.
  void InitMediaType();
};

}  // namespace kivo
