// The position of every operation of the host interfaces and the plug-in
// protocol: the host and plug-ins call by method-table slot.
#include "TVR_TLB.h"
#include "hapi.hooks.h"
#include "hapi.nplugins.h"
#include "hapi.plugins.h"
#include "uInterfacedObjects.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The slot of a virtual member function: under the Itanium C++ ABI a pointer
// to one holds 1 + the byte offset of its entry in the method table.
template <class M>
ptrdiff_t slot(M member) {
  static_assert(sizeof(M) == 2 * sizeof(void*));
  ptrdiff_t words[2];
  std::memcpy(words, &member, sizeof(words));
  return (words[0] - 1) / ptrdiff_t(sizeof(void*));
}

struct TSlotCase {
  ptrdiff_t actual;
  ptrdiff_t expected;
  const char* operation;
};

TEST(tvr_tlb, every_operation_sits_at_its_position) {
  const TSlotCase cases[] = {
      {slot(&IUnknown::QueryInterface), 0, "IUnknown.QueryInterface"},
      {slot(&IUnknown::AddRef), 1, "IUnknown.AddRef"},
      {slot(&IUnknown::Release), 2, "IUnknown.Release"},
      {slot(&IApplication::MessageBox), 8, "IApplication.MessageBox"},
      {slot(&IApplication::GetProject), 11, "IApplication.GetProject"},
      {slot(&IApplication::GetMainWindow), 12, "IApplication.GetMainWindow"},
      {slot(&IApplication::GetPlugins), 18, "IApplication.GetPlugins"},
      {slot(&IProject::GetSelection), 17, "IProject.GetSelection"},
      {slot(&IProject::CreateEntity), 29, "IProject.CreateEntity"},
      {slot(&IProject::CreateGroup), 30, "IProject.CreateGroup"},
      {slot(&IProject::CreateArticle), 32, "IProject.CreateArticle"},
      {slot(&ISelection::Clear), 3, "ISelection.Clear"},
      {slot(&ISelection::Add), 4, "ISelection.Add"},
      {slot(&ISelection::Group), 6, "ISelection.Group"},
      {slot(&ISelection::Ungroup), 7, "ISelection.Ungroup"},
      {slot(&ISelection::LoadFile), 11, "ISelection.LoadFile"},
      {slot(&ISelection::GetEntities), 15, "ISelection.GetEntities"},
      {slot(&IEntityEnumerator::GetCurrent), 3, "IEntityEnumerator.GetCurrent"},
      {slot(&IEntityEnumerator::MoveNext), 4, "IEntityEnumerator.MoveNext"},
      {slot(&IEntityList::GetItem), 4, "IEntityList.GetItem"},
      {slot(&IEntityList::GetCount), 5, "IEntityList.GetCount"},
      {slot(&IEntityList::GetEnumerator), 6, "IEntityList.GetEnumerator"},
      {slot(&IPropertySet::SetValue), 5, "IPropertySet.SetValue"},
      {slot(&IVector3D::GetX), 3, "IVector3D.GetX"},
      {slot(&IVector3D::SetX), 4, "IVector3D.SetX"},
      {slot(&IVector3D::GetY), 5, "IVector3D.GetY"},
      {slot(&IVector3D::SetY), 6, "IVector3D.SetY"},
      {slot(&IVector3D::GetZ), 7, "IVector3D.GetZ"},
      {slot(&IVector3D::SetZ), 8, "IVector3D.SetZ"},
      {slot(&IDimensionLocks::SetLockX), 4, "IDimensionLocks.SetLockX"},
      {slot(&IDimensionLocks::SetLockY), 6, "IDimensionLocks.SetLockY"},
      {slot(&IDimensionLocks::SetLockZ), 8, "IDimensionLocks.SetLockZ"},
      {slot(&IEntity::GetName), 4, "IEntity.GetName"},
      {slot(&IEntity::GetProperties), 12, "IEntity.GetProperties"},
      {slot(&IEntity::SetName), 16, "IEntity.SetName"},
      {slot(&IEntity::SetArticleFlag), 19, "IEntity.SetArticleFlag"},
      {slot(&IEntity::SetParent), 25, "IEntity.SetParent"},
      {slot(&IEntity::GetPosition), 33, "IEntity.GetPosition"},
      {slot(&IEntity::GetSize), 34, "IEntity.GetSize"},
      {slot(&IEntity::SetAssemblyFlag), 37, "IEntity.SetAssemblyFlag"},
      {slot(&IEntity::GetDimensionLocks), 38, "IEntity.GetDimensionLocks"},
      {slot(&IGroupEntity::GetChildren), 41, "IGroupEntity.GetChildren"},
      {slot(&ISceneNode::GetChildNodes), 3, "ISceneNode.GetChildNodes"},
      {slot(&IMeshNode::Update), 37, "IMeshNode.Update"},
      {slot(&IMeshNode::GetTextureMatrix), 42, "IMeshNode.GetTextureMatrix"},
      {slot(&IMeshNode::GetMatrix), 43, "IMeshNode.GetMatrix"},
      {slot(&IMeshNode::SetTextureMatrix), 46, "IMeshNode.SetTextureMatrix"},
      {slot(&IMeshNode::SetMatrix), 47, "IMeshNode.SetMatrix"},
      {slot(&IPlacementArea::GetCenter), 5, "IPlacementArea.GetCenter"},
      {slot(&IProjectContent::GetObjects), 40, "IProjectContent.GetObjects"},
      {slot(&IProjectContent::GetPlacementArea), 42, "IProjectContent.GetPlacementArea"},
      {slot(&IMainWindow::GetHandle), 3, "IMainWindow.GetHandle"},
      {slot(&IMainWindow::GetIcon), 7, "IMainWindow.GetIcon"},
      {slot(&IMainWindow::GetFontName), 8, "IMainWindow.GetFontName"},
      {slot(&IProgress::GetPosition), 4, "IProgress.GetPosition"},
      {slot(&IProgress::SetMax), 6, "IProgress.SetMax"},
      {slot(&IProgress::SetPosition), 7, "IProgress.SetPosition"},
      {slot(&IProgress::SetText), 8, "IProgress.SetText"},
      {slot(&IProgress::Proceed), 9, "IProgress.Proceed"},
      {slot(&IPluginEntry::GetInstance), 5, "IPluginEntry.GetInstance"},
      {slot(&IPluginList::GetItem), 4, "IPluginList.GetItem"},
      {slot(&IPluginList::GetCount), 5, "IPluginList.GetCount"},
      {slot(&IMeshConverter::ConvertFile), 4, "IMeshConverter.ConvertFile"},
      {slot(&IPluginServices::GetEventDispatcher), 3, "IPluginServices.GetEventDispatcher"},
      {slot(&IPluginServices::GetWindowSync), 4, "IPluginServices.GetWindowSync"},
      {slot(&IConversionSettings::GetFormatSettings), 5, "IConversionSettings.GetFormatSettings"},
      {slot(&INPlugin_init::initialize), 3, "INPlugin_init.initialize"},
      {slot(&INPlugin_done::done), 3, "INPlugin_done.done"},
      {slot(&IPlugin::name), 3, "IPlugin.name"},
      {slot(&IImportPlugin::name), 3, "IImportPlugin.name"},
      {slot(&IImportPlugin::caption), 4, "IImportPlugin.caption"},
      {slot(&IImportPlugin::execute), 5, "IImportPlugin.execute"},
      {slot(&IMessageHandler::handle_message), 3, "IMessageHandler.handle_message"},
      {slot(&IMessagePump::add_handler), 3, "IMessagePump.add_handler"},
      {slot(&IMessagePump::remove_handler), 4, "IMessagePump.remove_handler"},
      {slot(&IMaterialEntity::GetName), 4, "IMaterialEntity.GetName"},
      {slot(&IMaterialEntity::GetDimensionLocks), 38, "IMaterialEntity.GetDimensionLocks"},
      {slot(&IGroupEntity::SetParent), 25, "IGroupEntity.SetParent"},
      {slot(&IMeshNode::GetChildNodes), 3, "IMeshNode.GetChildNodes"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.operation;
}

// Implements two interfaces with reserved slots, declaring only the
// operations they have.
class CPlacementPlugins : public TImplements<CSafeInterfacedObject, IPluginList, IPlacementArea> {
 public:
  static CPlacementPlugins* create() { return construct(new CPlacementPlugins()); }
  HRESULT GetItem(int32_t, IPluginEntry**) override { return E_FAIL; }
  HRESULT GetCount(int32_t* count) override {
    *count = 0;
    return S_OK;
  }
  float3 GetCenter() override { return float3(1, 2, 3); }

 protected:
  CPlacementPlugins() = default;
};

TEST(tvr_tlb, reserved_slots_answer_not_implemented_without_being_declared) {
  TRef<IPluginList> plugins = CPlacementPlugins::create();
  TRef<IPlacementArea> area = plugins.query<IPlacementArea>();
  ASSERT_TRUE(area);
  EXPECT_EQ(plugins->reserved_3(), E_NOTIMPL);
  EXPECT_EQ(area->reserved_3(), E_NOTIMPL);
  EXPECT_EQ(area->reserved_4(), E_NOTIMPL);
  // The operations beside them answer as implemented.
  int32_t count = -1;
  EXPECT_EQ(plugins->GetCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(area->GetCenter().y, 2);
}

TEST(tvr_tlb, identifiers_of_the_named_interfaces) {
  struct TCase {
    TGUID iid;
    const char* text;
  };
  const TCase cases[] = {
      {IEntity::IID, "{DC7000AF-B69B-4F49-97F5-82A2070249DE}"},
      {IMaterialEntity::IID, "{EFB7C78B-CD38-474E-9373-88D515AD2B83}"},
      {IGroupEntity::IID, "{247FE6F2-593A-4922-87EF-7C7F22687550}"},
      {ISceneNode::IID, "{8934BE05-55B2-4AC5-BAE2-6C266D184DEE}"},
      {IMeshNode::IID, "{FBA32A6F-8ACA-41C6-8AEE-F9732AE3DB02}"},
      {IProjectContent::IID, "{52D6D2DF-79CA-4E30-9564-9DACBC3D6FF2}"},
      {IProgress::IID, "{7C829ACC-9A3A-47E5-8D6E-77B7215378CE}"},
      {IMeshConverter::IID, "{D618BF05-D894-4D63-93B8-FC5D7FB618C1}"},
      {IPluginServices::IID, "{518DB834-9E4C-4240-A5D8-1A251FF62DDF}"},
      {IConversionSettings::IID, "{72E5C194-E983-4FCE-8A0B-357F718F8D5B}"},
      {IMessagePump::IID, "{EABBBB5A-DCB5-4AD8-901D-01DD83733E9E}"},
      {IMessageHandler::IID, "{9AF8699B-B6AA-440A-AA99-472F06727A1D}"},
      {INPlugin::IID, "{B5B83C15-E76B-4520-BD6D-91D24A3A4E44}"},
      {INPlugin_init::IID, "{372AF292-2F5B-4243-BBD0-1BCF4D048003}"},
      {INPlugin_done::IID, "{71259F7B-755A-47A0-8555-D5D4EEF666C9}"},
      {IPlugin::IID, "{AAA15D5A-6D02-4CDD-B278-5F2CD96135B6}"},
      {IImportPlugin::IID, "{73326794-2F24-4E1A-81DA-35F96DA146E5}"},
      {IIterator<TRef<IUnknown>>::IID, "{54FBC625-5EA8-4F88-8D88-69F4E62867EB}"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.iid.to_string(), c.text);
}

TEST(tvr_tlb, derived_interfaces_name_their_parents) {
  EXPECT_TRUE((std::is_same_v<IMaterialEntity::Parent, IEntity>));
  EXPECT_TRUE((std::is_same_v<IGroupEntity::Parent, IEntity>));
  EXPECT_TRUE((std::is_same_v<IMeshNode::Parent, ISceneNode>));
  EXPECT_TRUE((std::is_same_v<IImportPlugin::Parent, IPlugin>));
}

}  // namespace
