// The failing-call switch and the guard of COM calls.
#include "host.application.h"

#include <gtest/gtest.h>

namespace {

class calls : public ::testing::Test {
 protected:
  CHost host;
  void TearDown() override { THostFaults::disarm(); }
};

TEST_F(calls, armed_call_fails_once_and_names_the_operation) {
  IApplication* app = host.application_interface();
  TRef<IProject> project;
  TRef<IEntity> box;
  OleCheck(app->GetProject(project.put()));
  THostFaults::arm(2);
  OleCheck(project->CreateEntity(ENTITY_KIND_BOX, box.put()));  // call 1
  EXPECT_EQ(box->SetName(TBStr("x").get()), E_FAIL);            // call 2 fails, does nothing
  EXPECT_EQ(THostFaults::failed_operation(), "IEntity.SetName");
  EXPECT_EQ(CEntity::from(box.get())->name(), "");
  OleCheck(box->SetName(TBStr("y").get()));  // fires once only
  EXPECT_EQ(CEntity::from(box.get())->name(), "y");
  EXPECT_EQ(THostFaults::calls(), 3);
}

TEST_F(calls, armed_plain_call_raises) {
  TRef<IProject> project;
  TRef<IEntity> box;
  OleCheck(host.application_interface()->GetProject(project.put()));
  OleCheck(project->CreateEntity(ENTITY_KIND_BOX, box.put()));
  TRef<IMeshNode> node = box.query<IMeshNode>();
  THostFaults::arm(1);
  try {
    node->SetMatrix(float4x4::identity().translate(1, 0, 0));
    ADD_FAILURE() << "no exception";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.error_code(), E_FAIL);
  }
  EXPECT_EQ(node->GetMatrix(), float4x4::identity());
  EXPECT_EQ(THostFaults::failed_operation(), "IMeshNode.SetMatrix");
}

TEST_F(calls, every_call_of_a_sequence_can_be_made_to_fail) {
  // A short client: count its calls, then make each one fail in turn.
  auto client = [&](CHost& h) -> HRESULT {
    TRef<IProject> project;
    TRef<IEntity> g, b;
    TRef<ISelection> sel;
    HRESULT hr;
    if (failed(hr = h.application_interface()->GetProject(project.put()))) return hr;
    if (failed(hr = project->CreateGroup(g.put()))) return hr;
    if (failed(hr = project->CreateEntity(ENTITY_KIND_BOX, b.put()))) return hr;
    if (failed(hr = b->SetParent(g.get()))) return hr;
    if (failed(hr = project->GetSelection(sel.put()))) return hr;
    if (failed(hr = sel->Add(g.get()))) return hr;
    return sel->Ungroup();
  };
  THostFaults::reset();
  {
    CHost h;
    EXPECT_EQ(client(h), S_OK);
  }
  const int64_t total = THostFaults::calls();
  EXPECT_EQ(total, 7);
  std::vector<std::string> failed_ops;
  for (int64_t n = 1; n <= total; ++n) {
    CHost h;
    THostFaults::arm(n);
    EXPECT_EQ(client(h), E_FAIL) << n;
    failed_ops.push_back(THostFaults::failed_operation());
  }
  EXPECT_EQ(failed_ops, (std::vector<std::string>{"IApplication.GetProject", "IProject.CreateGroup",
                                                  "IProject.CreateEntity", "IEntity.SetParent", "IProject.GetSelection",
                                                  "ISelection.Add", "ISelection.Ungroup"}));
}

TEST_F(calls, reserved_slots_answer_not_implemented) {
  TRef<IProject> project;
  OleCheck(host.application_interface()->GetProject(project.put()));
  EXPECT_EQ(project->reserved_3(), E_NOTIMPL);
  EXPECT_EQ(host.application_interface()->reserved_9(), E_NOTIMPL);
}

}  // namespace

// A stop request refuses every host call until it is cleared: COM calls
// answer E_ABORT, plain calls raise it, and the progress display answers
// "stop" without asking the program.
TEST_F(calls, a_requested_stop_refuses_every_call_and_stops_the_progress) {
  IApplication* app = host.application_interface();
  TRef<IProject> project;
  TRef<IEntity> box;
  OleCheck(app->GetProject(project.put()));
  OleCheck(project->CreateEntity(ENTITY_KIND_BOX, box.put()));
  TRef<IMainWindow> window;
  OleCheck(app->GetMainWindow(window.put()));
  TRef<IProgress> progress = window.query<IProgress>();
  int asked = 0;
  host.main_window().set_proceed_handler([&](const TProgressState&) { return ++asked > 0; });

  THostStop::request();
  TRef<IEntity> refused;
  EXPECT_EQ(project->CreateEntity(ENTITY_KIND_BOX, refused.put()), E_ABORT);
  EXPECT_EQ(box->SetName(TBStr("x").get()), E_ABORT);
  try {
    box.query<IMeshNode>()->SetMatrix(float4x4::identity().translate(1, 0, 0));
    ADD_FAILURE() << "no exception";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.error_code(), E_ABORT);
    EXPECT_EQ(e.message(), "E_ABORT: operation aborted");
  }
  EXPECT_FALSE(progress->Proceed());
  THostStop::clear();

  EXPECT_EQ(host.project().object_count(), 1);
  EXPECT_EQ(CEntity::from(box.get())->name(), "");
  EXPECT_EQ(CEntity::from(box.get())->matrix(), float4x4::identity());
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(progress->Proceed());
  OleCheck(box->SetName(TBStr("y").get()));
}
