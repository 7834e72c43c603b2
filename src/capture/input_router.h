#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>

#include <memory>
#include <vector>

namespace kivo {

// One hop of a routing path: which input of one crossbar to route to which
// of its outputs. Hops are linked from the physical connector (upstream) to
// the capture filter (downstream).
class CRouting {
 public:
  CRouting();
  virtual ~CRouting();

  CRouting* upstream;
  CRouting* downstream;
  long videoInputIndex;
  long videoOutputIndex;
  long relatedInputIndex;   // -1 when the crossbar reports none
  long relatedOutputIndex;  // -1 when the crossbar reports none
  CComPtr<IAMCrossbar> crossbar;
  long inputPhysicalType;
  long outputPhysicalType;
  long depth;  // 0 next to the capture filter, +1 per crossbar further upstream
};

// Finds every way from a physical connector, through the chain of crossbars
// in front of a capture filter's analog video input, to that input, and
// routes one of them on request.
class CInputRouter {
 public:
  // Collects the paths that lead into startingPin (not referenced; used only
  // during construction). The outcome goes to *status when status is given:
  // negative when no crossbar feeds the pin.
  CInputRouter(IPin* startingPin, HRESULT* status);
  ~CInputRouter();
  CInputRouter(const CInputRouter&) = delete;
  CInputRouter& operator=(const CInputRouter&) = delete;

  HRESULT getPathCount(long* count) const;
  // The connector name of a path ("composite", "svideo", ...), at most
  // size - 1 characters and a terminating NUL.
  HRESULT getPathName(long index, char* buffer, long size) const;
  // Routes every crossbar of the path, the one at the connector first; the
  // result is the status of the video route next to the capture filter.
  HRESULT routePath(long index);
  HRESULT getCurrentPath(long* index) const;

 private:
  KIVO_TEST_ACCESS;

  // One stored path: records from the connector (0) to the capture filter.
  using Path = std::unique_ptr<CRouting[]>;

  HRESULT collectPaths(IPin* pin, CRouting* routing, int depth);
  HRESULT storePath(CRouting* last);
  static long recordCount(const Path& path);

  IPin* startingPin;
  CRouting root;
  std::unique_ptr<std::vector<Path>> paths;
  int currentPath;
};

}  // namespace kivo
