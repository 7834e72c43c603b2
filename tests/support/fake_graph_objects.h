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
  // Either fake may be null: creating that object then fails with
  // REGDB_E_CLASSNOTREG, as for a class the system lacks.
  FakeGraphObjects(IGraphBuilder* graph, ICaptureGraphBuilder2* builder)
      : graph_(graph), builder_(builder) {
    current() = this;
    previous_ = replaceable::createObject;
    replaceable::createObject = &FakeGraphObjects::create;
  }
  ~FakeGraphObjects() {
    replaceable::createObject = previous_;
    current() = nullptr;
  }
  FakeGraphObjects(const FakeGraphObjects&) = delete;
  FakeGraphObjects& operator=(const FakeGraphObjects&) = delete;

  // Creating that object fails with `status` from now on.
  void failGraph(HRESULT status) { graphStatus_ = status; }
  void failBuilder(HRESULT status) { builderStatus_ = status; }

  int graphsCreated() const { return graphsCreated_; }
  int buildersCreated() const { return buildersCreated_; }

 private:
  static FakeGraphObjects*& current() {
    static FakeGraphObjects* instance = nullptr;
    return instance;
  }

  static HRESULT create(REFCLSID clsid, REFIID iid, void** object) {
    *object = nullptr;
    FakeGraphObjects* self = current();
    if (!self) return E_UNEXPECTED;
    if (IsEqualCLSID(clsid, CLSID_FilterGraph)) {
      ++self->graphsCreated_;
      if (FAILED(self->graphStatus_)) return self->graphStatus_;
      if (!self->graph_) return REGDB_E_CLASSNOTREG;
      return self->graph_->QueryInterface(iid, object);
    }
    if (IsEqualCLSID(clsid, CLSID_CaptureGraphBuilder2)) {
      ++self->buildersCreated_;
      if (FAILED(self->builderStatus_)) return self->builderStatus_;
      if (!self->builder_) return REGDB_E_CLASSNOTREG;
      return self->builder_->QueryInterface(iid, object);
    }
    return self->previous_(clsid, iid, object);
  }

  IGraphBuilder* graph_;
  ICaptureGraphBuilder2* builder_;
  replaceable::ObjectFactory previous_ = nullptr;
  HRESULT graphStatus_ = S_OK;
  HRESULT builderStatus_ = S_OK;
  int graphsCreated_ = 0;
  int buildersCreated_ = 0;
};

}  // namespace test
}  // namespace kivo
