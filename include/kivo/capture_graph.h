#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>

#include <map>
#include <string>

namespace kivo {

class BaseProperty;
class Filter;
class ROTRegister;

// The base of every graph kivo builds. It owns the DirectShow filter graph
// manager and capture graph builder, creates them anew on every render and
// releases them on every unrender, and drives one life cycle through the
// media-section hooks that a subclass implements:
//
//   render:  create the graph objects, initMediaSection, renderMediaSection
//   start:   preStart, then run the graph
//   stop:    stop the graph
//   reset:   stop, unrenderMediaSection, uninitMediaSection, release the
//            graph objects, delete the properties, resetMediaSection
//
// A graph is Empty (no graph objects), Rendered or Running. The graph also
// owns the device properties that a subclass registers with
// addDirectXProperty.
//
// Errors. Every call returns the first failing HRESULT of the platform or of
// a hook. Two failures leave as exceptions of the HRException family
// instead, because the step that meets them has no status to give: a filter
// the graph must create that cannot be created (FilterCreationException, out
// of render and start) and a position the file graph cannot save
// (PositionUnsupportedException, out of reset and of a render that fails).
// A hook may throw; the call the host made catches it, finishes what it had
// to do or undo, and rethrows it. So no failure leaves a half-built graph:
// - a render that fails, by status or exception, leaves the graph Empty;
// - a start that fails by status leaves the graph as preStart left it (the
//   base: Rendered); one that throws leaves it Empty;
// - reset and the teardowns always complete: the graph ends Empty (every
//   graph object and every filter of the subclass released, not running),
//   its properties deleted and its media section reset, even when Stop was
//   refused or a hook threw on the way. Without graph objects nothing can
//   run, so the running flag goes with them.
// Only stop() itself keeps a graph Running when Stop is refused.
class KIVO_API CaptureGraph {
 public:
  CaptureGraph();
  // Deletes the graph registration, forgets the properties without deleting
  // them and releases the graph objects; it neither stops nor unrenders the
  // graph and calls no hook. A subclass calls reset() in its own destructor
  // first.
  virtual ~CaptureGraph();

  // Builds the graph objects and the streaming path; with `registerGraph`
  // the graph is entered in the Running Object Table (a failed registration
  // does not fail the render). S_OK at once when already rendered. A failure
  // leaves the graph Empty.
  virtual HRESULT render(bool registerGraph);

 protected:
  // The hooks. Each may fail by status or throw (see Errors above); the
  // teardown hooks are called after a failed or thrown build as well.
  //
  // Builds the subclass's fixed section once the two graph objects exist
  // and are joined. A failure tears the foundation down again.
  virtual HRESULT initMediaSection() = 0;
  // Tears the fixed section down before the graph objects are released;
  // also called after a failed, thrown or missing initMediaSection, so it
  // copes with a half-built or empty section.
  virtual void uninitMediaSection() = 0;
  // Builds the streaming path; a failure unrenders the graph.
  virtual HRESULT renderMediaSection() = 0;
  // Called by the teardown once the graph is stopped and unregistered,
  // before the foundation goes.
  virtual void unrenderMediaSection() = 0;
  // Called last by reset: discards what the subclass keeps across builds.
  virtual void resetMediaSection() = 0;
  // Called by start before the graph runs; a failure is returned by start.
  // This version does nothing.
  virtual HRESULT preStart(bool registerGraph);
  // Stops the graph if it runs and unrenders it if rendered: Empty
  // afterwards (see Errors above).
  virtual void deconstruct();

 private:
  // Creates and joins the graph objects, then initMediaSection.
  virtual HRESULT createFoundation();
  // uninitMediaSection, then releases the graph objects.
  virtual void destroyFoundation();
  // Stops (best effort), unregisters, unrenderMediaSection, then tears the
  // foundation down.
  virtual void unrender();
  // The foundation's own part: creates and joins the graph objects.
  HRESULT createGraphObjects();
  // The end of every teardown: not rendered, no graph objects, not running.
  void finishUnrender();

 public:
  // Runs the graph; `registerGraph` is passed on to preStart. S_OK at once
  // when already running; VFW_E_WRONG_STATE, changing nothing, when the
  // base preStart finds no rendered graph to run.
  HRESULT start(bool registerGraph);
  // Stops a running graph; S_OK when it is not running. When Stop fails the
  // graph stays Running and the status is returned.
  HRESULT stop();
  // Tears the graph down, deletes every property and resets the media
  // section; Empty afterwards, also when it throws.
  void reset();

  bool isRendered() const;
  bool isRunning() const;

  // A copy of the property container; the properties stay the graph's.
  std::map<std::string, BaseProperty*> getPropertyContainer() const;

 protected:
  // Runs the graph as it stands. When Run fails the graph, and each of its
  // filters, is stopped again and the status returned; VFW_E_WRONG_STATE
  // without graph objects.
  HRESULT startWithoutRendering();

  // Stores `property` under its name and takes ownership. A property already
  // stored under that name is deleted (unless it is the same object); a null
  // property is ignored.
  void addDirectXProperty(BaseProperty* property);

  // AddFilter under the filter's name / RemoveFilter; the graph's status
  // unchanged. E_POINTER for a null filter, VFW_E_WRONG_STATE without graph
  // objects.
  HRESULT addToGraph(const Filter* filter);
  HRESULT removeFromGraph(const Filter* filter);

  // Finds the first connected pin of `filter` in `direction`, the pin it is
  // connected to and that pin's filter; on S_OK the caller owns one
  // reference on each output. E_POINTER when an argument is null (nothing is
  // touched), E_FAIL when no such pin is found (outputs null), E_UNEXPECTED
  // when the connected pin tells no owning filter (outputs null).
  HRESULT getNextFilter(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin,
                        IPin** connectedPin, IBaseFilter** nextFilter) const;

  // Removes from the graph every filter fed, directly or indirectly, by the
  // output pins of `filter`, depth first (each peer's own downstream goes
  // first, then the two pins are disconnected and the peer's filter
  // removed); the walk over a filter's pins ends at its first unconnected
  // pin. Does nothing without graph objects.
  void nukeDownstream(IBaseFilter* filter);

  // New references to the graph objects; empty while there are none.
  CComPtr<IGraphBuilder> getGraphBuilder() const;
  CComPtr<ICaptureGraphBuilder2> getGraphBuilder2() const;

 private:
  KIVO_TEST_ACCESS;

  CaptureGraph(const CaptureGraph&) = delete;
  CaptureGraph& operator=(const CaptureGraph&) = delete;

  // deconstruct, then the properties.
  void resetGraph();
  // Deletes every property, in key order, and empties the container.
  void resetProperties();

  bool foundationBuilt;
  bool rendered;
  bool running;
  CComPtr<ICaptureGraphBuilder2> captureGraphBuilder;
  CComPtr<IGraphBuilder> graphBuilder;
  ROTRegister* registration;
  std::map<std::string, BaseProperty*> properties;
};

}  // namespace kivo
