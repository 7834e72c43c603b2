// The C interface's boundary: whatever a call meets inside kivo leaves as a
// status and the thread's last-error text, never as an exception.

#include "capi/c_boundary.h"
#include "foundation/replaceable.h"

#include <kivo/duration_unsupported_exception.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/kivo_c.h>

#include <gtest/gtest.h>

#include "support/media.h"
#include "support/scoped_value.h"
#include "support/wait.h"

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

namespace kivo::capi {
namespace {

struct Outcome {
  const char* what;
  std::function<kivo_status()> body;
  kivo_status status;
  const char* errorPart;  // null: the last error stays empty
};

TEST(CBoundary, EveryOutcomeBecomesAStatusAndAText) {
  const Outcome outcomes[] = {
      {"success", [] { return KIVO_OK; }, KIVO_OK, nullptr},
      {"a success other than S_OK", [] { return S_FALSE; }, S_FALSE, nullptr},
      {"a failing status", [] { return VFW_E_NOT_CONNECTED; }, VFW_E_NOT_CONNECTED, "0x80040209"},
      {"a refusal",
       []() -> kivo_status {
         throw CallFailure{KIVO_E_BOUNDS, "index 9"};
       },
       KIVO_E_BOUNDS, "index 9"},
      {"a filter that cannot be created",
       []() -> kivo_status { throw FilterCreationException(REGDB_E_CLASSNOTREG); },
       REGDB_E_CLASSNOTREG, "FilterCreationException 0x80040154"},
      {"an unsupported unit", []() -> kivo_status { throw DurationUnsupportedException(); }, E_FAIL,
       "DurationUnsupportedException"},
      {"no memory", []() -> kivo_status { throw std::bad_alloc(); }, E_OUTOFMEMORY,
       "out of memory"},
      {"a standard exception", []() -> kivo_status { throw std::runtime_error("boom"); }, E_FAIL,
       "boom"},
      {"anything else", []() -> kivo_status { throw 42; }, E_UNEXPECTED, "unknown exception"},
  };
  for (const Outcome& outcome : outcomes) {
    SCOPED_TRACE(outcome.what);
    boundary("earlier", [] { return E_FAIL; });  // leaves a text behind
    EXPECT_EQ(boundary("kivo_some_call", outcome.body), outcome.status);
    const std::string error = kivo_last_error();
    if (!outcome.errorPart) {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_EQ(error.rfind("kivo_some_call: ", 0), 0u) << error;
      EXPECT_NE(error.find(outcome.errorPart), std::string::npos) << error;
    }
  }
}

// Creates every object but the sample grabber.
HRESULT createAllButTheGrabber(REFCLSID clsid, REFIID iid, void** object) {
  *object = nullptr;
  if (clsid == CLSID_SampleGrabber) return REGDB_E_CLASSNOTREG;
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, object);
}

void KIVO_CALL ignoreFrame(void*, const kivo_frame*) {}

// A graph that cannot create its filters fails the call with the creation
// status, and the same handle renders once they can be created.
TEST(CBoundary, AFilterThatCannotBeCreatedFailsTheCallNotTheHandle) {
  if (!test::mediaAvailable()) GTEST_SKIP() << "KIVO_TEST_MEDIA not set";
  test::ComScope com;
  const std::wstring path = test::mediaPath("rgb24_160x120_10fps_20f.avi");
  kivo_file_graph* file = nullptr;
  ASSERT_EQ(kivo_file_graph_open(std::string(path.begin(), path.end()).c_str(), &file), KIVO_OK);
  ASSERT_EQ(kivo_file_graph_set_video_callback(file, ignoreFrame, nullptr, KIVO_VIDEO_RGB24),
            KIVO_OK);
  {
    test::ScopedValue<replaceable::ObjectFactory> failing(replaceable::createObject,
                                                          &createAllButTheGrabber);
    EXPECT_EQ(kivo_file_graph_render(file, 0), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(std::string(kivo_last_error()).rfind("kivo_file_graph_render: FilterCreation", 0), 0u)
        << kivo_last_error();
  }
  EXPECT_EQ(kivo_file_graph_render(file, 0), KIVO_OK);
  EXPECT_EQ(kivo_file_graph_destroy(file), KIVO_OK);
}

}  // namespace
}  // namespace kivo::capi
