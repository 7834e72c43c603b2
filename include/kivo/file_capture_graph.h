#pragma once

#include <kivo/capture_graph.h>
#include <kivo/comptr.h>
#include <kivo/export.h>

#include <string>
#include <vector>

namespace kivo {

class DXMediaInfo;
class Filter;
class IMediaCB;
class SampleGrabberChain;

// Reads the video frames and audio samples of a media file and hands them
// to the host's callbacks as fast as the decoders produce them.
//
// Use: construct with the file name; setVideoCallback and/or
// setAudioCallback; render; read getVideoInfo/getAudioInfo; optionally
// position; start; poll isStreamFinished while the callbacks receive
// samples; stop, reset or destroy. When render fails, getMissingCodecName
// names the decoder the file needs.
//
// The graph never destroys a callback: the host disposes of its callbacks
// (IMediaCB::destroy) once the graph no longer streams, that is after
// stop, reset, a callback replacement or the graph's destruction.
//
// Errors follow CaptureGraph's rules. In particular render throws
// FilterCreationException when a grabber or null renderer cannot be
// created, and reset, like a render that fails, throws
// PositionUnsupportedException when the position to read on from cannot be
// saved; either way the graph is Empty before the exception leaves.
class KIVO_API FileCaptureGraph : public CaptureGraph {
 public:
  // A fixed underlying type: any int is a value, so that "any other value"
  // below is well defined.
  enum VideoFrameFormat : int {
    FRAME_RGB24 = 0,  // the video grabber accepts RGB24 only
    FRAME_YUY2 = 1,   // YUY2 only; any other value imposes no subtype
  };
  enum AudioSampleFormat : int {
    SAMPLE_PCM = 0,  // PCM only; any other value imposes no subtype
  };

  static const std::string sourceFilterName;       // "File Source Filter"
  static const std::wstring wideSourceFilterName;  // L"File Source Filter"
  static const std::string unknownCodec;           // "Unknown Codec"

  explicit FileCaptureGraph(const std::wstring& fileName);
  // Stops and tears down a rendered graph first, so that no streaming
  // thread can call a callback once the graph is gone. Never throws.
  virtual ~FileCaptureGraph();

  // Asks for the video stream, delivered to `callback` in `format`; the
  // previous video request, if any, is dropped and its callback is never
  // called again. On a rendered graph this first tears it down to Empty
  // (the position is kept when the graph can tell it): render again to read
  // on with the new callback.
  void setVideoCallback(IMediaCB* callback, VideoFrameFormat format);
  // The same for the audio stream.
  void setAudioCallback(IMediaCB* callback, AudioSampleFormat format);

  // The connected formats; null before render, after reset or without the
  // stream.
  const DXMediaInfo* getVideoInfo();
  const DXMediaInfo* getAudioInfo();
  // The decoder the last failed render needed: the AVI video compression's
  // name, "MPEG-2" or "Unknown Codec".
  std::string getMissingCodecName();

  // Duration and position of a rendered graph. Each throws
  // DurationUnsupportedException or PositionUnsupportedException when the
  // graph is not rendered or cannot work in the unit.
  long long getDurationInFrames();
  long long getDurationInSamples();
  double getDurationInSeconds();
  long long getPositionInFrames();
  double getPositionInSeconds();
  void setPositionInFrames(long long frame);
  void setPositionInSeconds(double seconds);

  // Whether the running graph has played the file to its end.
  bool isStreamFinished();

 protected:
  long initMediaSection() override;
  void uninitMediaSection() override;
  long renderMediaSection() override;
  void unrenderMediaSection() override;
  void resetMediaSection() override;

 private:
  KIVO_TEST_ACCESS;
  FileCaptureGraph(const FileCaptureGraph&);
  FileCaptureGraph& operator=(const FileCaptureGraph&);

  long initSource();
  void uninitSource();
  long connectSource(Filter* source, SampleGrabberChain* first, SampleGrabberChain* second);
  long connectSourceToGrabber(Filter* source, SampleGrabberChain* chain);
  bool filterContainsCompatibleOutputPin(Filter& filter, const GUID& majorType);
  bool isOutputPinCompatible(CComPtr<IPin>& pin, const GUID& majorType);
  bool hasMatchingMajorType(CComPtr<IEnumMediaTypes>& types, const GUID& majorType);
  GUID getMediaSubTypeFromMajorType(CComPtr<IEnumMediaTypes>& types, const GUID& majorType) const;
  std::string findMissingCodecName();
  std::string findMissingAviCodecName();
  GUID findSplitterVideoSubtype(ICaptureGraphBuilder2* builder, IBaseFilter* splitter);
  GUID videoSubtypeOfPin(IPin* pin);
  GUID videoSubtypeFromFileHeader() const;
  GUID videoSubtypeByConnecting(IPin* pin);
  const GUID& videoColorFormatToGUID(const VideoFrameFormat& format);
  const GUID& audioSampleFormatToGUID(const AudioSampleFormat& format);

  SampleGrabberChain* createSampleGrabberChain(IMediaCB* callback, const GUID& majorType,
                                               const GUID& subType);
  long initAndAddChain(SampleGrabberChain* chain);
  long connectChain(SampleGrabberChain* chain);
  void uninitAndRemoveChain(SampleGrabberChain* chain);
  long getChainHead(SampleGrabberChain* chain, Filter*& head);
  // Drops a rendered graph before one of its chains is replaced.
  void unrenderForNewChain();

  long long getDuration(const GUID& format);
  long long getPosition(const GUID& format);
  void setPosition(long long position, const GUID& format);
  // Stores the current position in resumePosition; false, keeping the one
  // stored before, when the graph cannot tell it.
  bool saveResumePosition();

  std::wstring fileName;
  CComPtr<IMediaSeeking> mediaSeeking;
  Filter* source;
  SampleGrabberChain* videoChain;
  SampleGrabberChain* audioChain;
  double resumePosition;
  std::string missingCodecName;
};

}  // namespace kivo
