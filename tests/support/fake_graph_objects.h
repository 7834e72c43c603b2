#pragma once

// While a FakeGraphObjects lives, every graph building its foundation gets
// the fake filter graph manager and capture graph builder handed in here;
// every other class is created as before.
// The one place that specialises TestAccess<CaptureGraph>.

#include <kivo/capture_graph.h>
#include <kivo/platform.h>
#include <kivo/rot_register.h>

#include "foundation/replaceable.h"

namespace kivo {

template <>
struct TestAccess<CaptureGraph> {
  static void resetGraph(CaptureGraph& graph) { graph.resetGraph(); }
  static bool isFoundationBuilt(const CaptureGraph& graph) { return graph.foundationBuilt; }
  static const ROTRegister* registration(const CaptureGraph& graph) { return graph.registration; }
};

namespace test {

class FakeGraphObjects {
 public:
  FakeGraphObjects(IGraphBuilder* graph, ICaptureGraphBuilder2* builder)
      : fakes_{graph, builder}, previous_(replaceable::createObject) {
    current = this;
    replaceable::createObject = &create;
  }
  ~FakeGraphObjects() { replaceable::createObject = previous_; }
  FakeGraphObjects(const FakeGraphObjects&) = delete;
  FakeGraphObjects& operator=(const FakeGraphObjects&) = delete;

  int graphsCreated() const { return created_[0]; }

 private:
  static inline FakeGraphObjects* current = nullptr;
  static HRESULT create(REFCLSID clsid, REFIID iid, void** object) {
    const int kind = clsid == CLSID_FilterGraph ? 0 : clsid == CLSID_CaptureGraphBuilder2 ? 1 : -1;
    if (kind < 0) return current->previous_(clsid, iid, object);
    *object = nullptr;
    ++current->created_[kind];
    return current->fakes_[kind]->QueryInterface(iid, object);
  }

  IUnknown* fakes_[2];
  replaceable::ObjectFactory previous_;
  int created_[2] = {0, 0};
};

}  // namespace test
}  // namespace kivo
