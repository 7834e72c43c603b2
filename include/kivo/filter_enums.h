#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/filter.h>
#include <kivo/platform.h>

#include <vector>

namespace kivo {

// Lists the machine's video capture devices, each as a VideoCaptureFilter
// named by its friendly name (UTF-8). Devices known not to work with kivo
// are left out. The calling thread must have COM initialised.
class KIVO_API FilterEnums {
 public:
  // Enumerates the video input devices. A failing enumerator or an empty
  // category gives an empty list, never an exception.
  FilterEnums();
  ~FilterEnums();
  // The object owns its entries; copies would delete them twice.
  FilterEnums(const FilterEnums&) = delete;
  FilterEnums& operator=(const FilterEnums&) = delete;

  // The video capture devices, in the platform's order. The pointers stay
  // owned by this object and become invalid at reset() or destruction.
  const std::vector<Filter*>& getVideoDevices() const;
  // Destroys every entry and enumerates the devices again.
  void reset();

 private:
  KIVO_TEST_ACCESS;
  // Leaves out the same devices.
  friend class VideoDeviceList;

  static const int AUDIO_CODEC_CLASS = 0;
  static const int VIDEO_CODEC_CLASS = 1;
  static const int AUDIO_INPUT_CLASS = 2;
  static const int VIDEO_INPUT_CLASS = 3;
  // Friendly names of devices that are never listed; ends with a null.
  static const char* const UNSUPPORTED_DEVICE_ARRAY[];

  void init();
  void init(std::vector<Filter*>& list, int category);
  void appendFilter(std::vector<Filter*>& list, const CComPtr<IMoniker>& moniker,
                    const int& category);
  static bool isUnsupportedDevice(const char* const name);
  void clear();
  static void destroyContents(std::vector<Filter*>& list);

  const std::vector<Filter*>& getAudioDevices() const;
  const std::vector<Filter*>& getVideoCodecs() const;
  const std::vector<Filter*>& getAudioCodecs() const;

  std::vector<Filter*> videoDevices;
  std::vector<Filter*> audioDevices;
  std::vector<Filter*> videoCodecs;
  std::vector<Filter*> audioCodecs;
};

}  // namespace kivo
