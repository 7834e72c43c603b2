#include <kivo/mediatype.h>

#include <cstring>

namespace kivo {

namespace {

void releaseUnknown(AM_MEDIA_TYPE& mediaType) {
  if (mediaType.pUnk) {
    mediaType.pUnk->Release();
    mediaType.pUnk = nullptr;
  }
}

void freeFormat(AM_MEDIA_TYPE& mediaType) {
  if (mediaType.pbFormat) CoTaskMemFree(mediaType.pbFormat);
  mediaType.pbFormat = nullptr;
  mediaType.cbFormat = 0;
}

}  // namespace

void FreeMediaType(AM_MEDIA_TYPE& mediaType) {
  freeFormat(mediaType);
  releaseUnknown(mediaType);
}

void DeleteMediaType(AM_MEDIA_TYPE* mediaType) {
  if (!mediaType) return;
  FreeMediaType(*mediaType);
  CoTaskMemFree(mediaType);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  if (!target || !source) return E_POINTER;
  if (target == source) return S_OK;
  *target = *source;
  if (source->cbFormat != 0 && source->pbFormat) {
    target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
    if (!target->pbFormat) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
  } else {
    // A null block with a non-zero size would promise bytes that are not
    // there; the copy never does.
    target->pbFormat = nullptr;
    target->cbFormat = 0;
  }
  if (target->pUnk) target->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
  if (!source) return nullptr;
  auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!copy) return nullptr;
  if (FAILED(CopyMediaType(copy, source))) {
    CoTaskMemFree(copy);
    return nullptr;
  }
  return copy;
}

const char* GetSubtypeNameA(const GUID* subtype) {
  if (!subtype) return "UNKNOWN";
  if (*subtype == MEDIASUBTYPE_RGB1) return "RGB Monochrome";
  if (*subtype == MEDIASUBTYPE_RGB4) return "RGB VGA";
  if (*subtype == MEDIASUBTYPE_Overlay) return "Overlay";
  return "UNKNOWN";
}

CMediaType::CMediaType() : AM_MEDIA_TYPE() { InitMediaType(); }

CMediaType::CMediaType(const GUID* majorType) : AM_MEDIA_TYPE() {
  InitMediaType();
  if (majorType) majortype = *majorType;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& source) : AM_MEDIA_TYPE() {
  InitMediaType();
  CopyMediaType(this, &source);
}

CMediaType::CMediaType(const CMediaType& source) : AM_MEDIA_TYPE() {
  InitMediaType();
  CopyMediaType(this, &source);
}

CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& source) {
  if (&source != this) {
    FreeMediaType(*this);
    if (FAILED(CopyMediaType(this, &source))) InitMediaType();
  }
  return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& source) {
  return *this = static_cast<const AM_MEDIA_TYPE&>(source);
}

bool CMediaType::operator==(const CMediaType& other) const {
  if (majortype != other.majortype || subtype != other.subtype || formattype != other.formattype ||
      cbFormat != other.cbFormat)
    return false;
  // A type filled in by another component may state a size without a block.
  if (cbFormat == 0 || pbFormat == other.pbFormat) return true;
  return pbFormat && other.pbFormat && std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0;
}

bool CMediaType::operator!=(const CMediaType& other) const { return !(*this == other); }

HRESULT CMediaType::Set(const CMediaType& source) {
  if (&source == this) return S_OK;
  FreeMediaType(*this);
  const HRESULT hr = CopyMediaType(this, &source);
  if (FAILED(hr)) InitMediaType();
  return hr;
}

bool CMediaType::IsValid() const { return majortype != GUID_NULL; }

ULONG CMediaType::GetSampleSize() const { return bFixedSizeSamples ? lSampleSize : 0; }

void CMediaType::SetSampleSize(ULONG size) {
  if (size == 0) {
    SetVariableSize();
  } else {
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
  }
}

void CMediaType::SetVariableSize() { bFixedSizeSamples = FALSE; }

void CMediaType::SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

BOOL CMediaType::SetFormat(const BYTE* format, ULONG length) {
  if (length == 0 || !format) {
    ResetFormatBuffer();
    return TRUE;
  }
  BYTE* block = AllocFormatBuffer(length);
  if (!block) return FALSE;
  std::memcpy(block, format, length);
  return TRUE;
}

void CMediaType::ResetFormatBuffer() { freeFormat(*this); }

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
  if (length == 0) return nullptr;
  if (pbFormat && cbFormat == length) {
    std::memset(pbFormat, 0, length);
    return pbFormat;
  }
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (!block) return nullptr;
  std::memset(block, 0, length);
  freeFormat(*this);
  pbFormat = block;
  cbFormat = length;
  return block;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length) {
  if (length == 0) return nullptr;
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (!block) return nullptr;
  std::memset(block, 0, length);
  if (pbFormat) std::memcpy(block, pbFormat, cbFormat < length ? cbFormat : length);
  freeFormat(*this);
  pbFormat = block;
  cbFormat = length;
  return block;
}

void CMediaType::InitMediaType() {
  std::memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
  lSampleSize = 1;
  bFixedSizeSamples = TRUE;
}

}  // namespace kivo
