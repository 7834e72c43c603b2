#pragma once

// The DirectX diagnostic provider's interfaces, with their identifiers bound
// to the types for typed queries.

#include <kivo/platform.h>

#include <dxdiag.h>

#if defined(__MINGW32__) && !defined(_MSC_VER)
__CRT_UUID_DECL(IDxDiagProvider, 0x9C6B4CB0, 0x23F8, 0x49CC, 0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00,
                0xA6, 0xD2)
__CRT_UUID_DECL(IDxDiagContainer, 0x7D0F462F, 0x4064, 0x4862, 0xBC, 0x7F, 0x93, 0x3E, 0x50, 0x58,
                0xC1, 0x0F)
#endif
