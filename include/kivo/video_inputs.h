#pragma once

#include <kivo/export.h>
#include <kivo/filter.h>
#include <kivo/platform.h>

#include <cstddef>
#include <map>
#include <string>

namespace kivo {

class CInputRouter;

// The connector inputs of an analog capture device ("composite", "svideo",
// "tuner"...), reached through the crossbars in front of its analog video
// input. Equal connector names are numbered: composite1, composite2.
class KIVO_API VideoInputs {
 public:
  // Reads the inputs of the capture filter, whose crossbars must already be
  // connected upstream of it. A device without crossbar inputs gets an
  // empty map.
  explicit VideoInputs(Filter* captureFilter);
  VideoInputs(const VideoInputs&) = delete;
  VideoInputs& operator=(const VideoInputs&) = delete;
  virtual ~VideoInputs();

  // Input name to index.
  const std::map<std::string, long>& getInputs() const;
  size_t getNumberOfInputs() const;
  // The index routed last (0 until one was); -1 for a device without an
  // analog video input.
  int getSelectedInput() const;
  // Routes every crossbar on the way to the input. E_POINTER for a device
  // without an analog video input; E_FAIL for an index that is not an input.
  long setSelectedInput(int index);

 private:
  void init(Filter* captureFilter);
  void initNames();
  void destroy();

  CInputRouter* router;
  std::map<std::string, long> inputs;
};

}  // namespace kivo
