#pragma once

#include <kivo/export.h>
#include <kivo/filter.h>
#include <kivo/mediatype.h>
#include <kivo/platform.h>

namespace kivo {

class IMediaCB;

// The DirectShow sample grabber ("KIVO Sample Grabber"), through which
// every sample reaches the host's IMediaCB. The three configuration steps
// return the status of the platform call that failed, unchanged; nothing is
// undone after a failure.
class KIVO_API DXSampleGrabber : public Filter {
 public:
  // Throws FilterCreationException when the grabber cannot be created.
  DXSampleGrabber();
  virtual ~DXSampleGrabber();

  // Installs `callback` (SampleCB receives each media sample; the grabber
  // keeps streaming and buffers nothing), or removes the installed one when
  // `callback` is null. The grabber keeps a plain pointer to it.
  long configureCallback(IMediaCB* callback) const;
  // Restricts the media type the grabber accepts on its input; call it
  // before the input is connected. The caller keeps `mediaType`.
  long configureMedia(AM_MEDIA_TYPE* mediaType) const;
  // The media type of the input connection; `mediaType` owns the format
  // block afterwards.
  long getConnectedMediaType(CMediaType& mediaType) const;
};

}  // namespace kivo
