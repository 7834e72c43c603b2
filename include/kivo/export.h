#pragma once

// KIVO_API marks the classes and functions that kivo.dll exports.
#if defined(KIVO_BUILDING_DLL)
#define KIVO_API __declspec(dllexport)
#elif defined(KIVO_STATIC)
#define KIVO_API
#else
#define KIVO_API __declspec(dllimport)
#endif

#if defined(_MSC_VER)
// Exported classes hold std::string and std::map members; host and library
// are built with the same compiler and runtime, so the warning about their
// missing export does not apply.
#pragma warning(disable : 4251)
#endif

namespace kivo {
// Unit tests reach a class's private operations through a specialization of
// this template, which the class names as a friend with KIVO_TEST_ACCESS.
template <class T>
struct TestAccess;
}  // namespace kivo

#define KIVO_TEST_ACCESS \
  template <class>       \
  friend struct ::kivo::TestAccess
