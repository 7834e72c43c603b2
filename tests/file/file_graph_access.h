#pragma once

#include <kivo/file_capture_graph.h>

#include "file/sample_grabber_chain.h"

namespace kivo {

// The file graph's private operations, for its unit tests.
template <>
struct TestAccess<FileCaptureGraph> {
  using Graph = FileCaptureGraph;
  using Chain = SampleGrabberChain;
  static void plantSeeking(Graph& g, IMediaSeeking* seeking) { g.mediaSeeking = seeking; }
  static void plantSource(Graph& g, Filter* source) { g.source = source; }
  static std::string findMissingCodecName(Graph& g) { return g.findMissingCodecName(); }
  static Chain* videoChain(Graph& g) { return g.videoChain; }
  static Chain* audioChain(Graph& g) { return g.audioChain; }
  static long initAndAddChain(Graph& g, Chain* chain) { return g.initAndAddChain(chain); }
  static long connectChain(Graph& g, Chain* chain) { return g.connectChain(chain); }
  static long getChainHead(Graph& g, Chain* chain, Filter*& head) {
    return g.getChainHead(chain, head);
  }
};

}  // namespace kivo
