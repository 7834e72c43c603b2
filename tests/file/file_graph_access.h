#pragma once

#include <kivo/file_capture_graph.h>

#include "file/sample_grabber_chain.h"

namespace kivo {

// The file graph's private operations, for its unit tests.
template <>
struct TestAccess<FileCaptureGraph> {
  static void plantSeeking(FileCaptureGraph& graph, IMediaSeeking* seeking) {
    graph.mediaSeeking = seeking;
  }
  static void plantSource(FileCaptureGraph& graph, Filter* source) { graph.source = source; }
  static std::string findMissingCodecName(FileCaptureGraph& graph) {
    return graph.findMissingCodecName();
  }
  static SampleGrabberChain* videoChain(FileCaptureGraph& graph) { return graph.videoChain; }
  static SampleGrabberChain* audioChain(FileCaptureGraph& graph) { return graph.audioChain; }
  static long initAndAddChain(FileCaptureGraph& graph, SampleGrabberChain* chain) {
    return graph.initAndAddChain(chain);
  }
  static long connectChain(FileCaptureGraph& graph, SampleGrabberChain* chain) {
    return graph.connectChain(chain);
  }
  static long getChainHead(FileCaptureGraph& graph, SampleGrabberChain* chain, Filter*& head) {
    return graph.getChainHead(chain, head);
  }
};

}  // namespace kivo
