// Meshport loaded as the host loads it: the module file, its one export and
// the plug-in protocol, then conversions through IMeshConverter.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TVR_TLB.h"
#include "hapi.nplugins.h"
#include "host.meb.h"
#include "tvrlib.com.h"
#include "uInterfacedObjects.h"

namespace fs = std::filesystem;

namespace {

// An application that answers nothing but counts its references.
class CFakeApplication : public TImplements<CSafeInterfacedObject, IApplication> {
 public:
  static CFakeApplication* create() { return construct(new CFakeApplication()); }
  HRESULT MessageBox(BSTR, int32_t, int32_t*) override { return E_NOTIMPL; }
  HRESULT GetProject(IProject**) override { return E_NOTIMPL; }
  HRESULT GetMainWindow(IMainWindow**) override { return E_NOTIMPL; }
  HRESULT GetPlugins(IPluginList**) override { return E_NOTIMPL; }

 protected:
  CFakeApplication() = default;
};

const char* kCube = R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="millimeter" meter="0.001"/><up_axis>Z_UP</up_axis></asset>
  <library_geometries><geometry id="g" name="g"><mesh>
    <source id="p"><float_array id="a" count="12">0 0 0 100 0 0 0 100 0 0 0 720</float_array>
      <technique_common><accessor source="#a" count="4" stride="3"><param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/></accessor></technique_common></source>
    <vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
    <triangles count="4"><input semantic="VERTEX" source="#v" offset="0"/><p>0 2 1 0 1 3 0 3 2 1 2 3</p></triangles>
  </mesh></geometry></library_geometries>
  <library_visual_scenes><visual_scene id="s" name="s"><node id="n" name="Spitze"><instance_geometry url="#g"/></node></visual_scene></library_visual_scenes>
  <scene><instance_visual_scene url="#s"/></scene>
</COLLADA>
)";

class meshport_plugin : public ::testing::Test {
 protected:
  void* module = nullptr;
  TCreateObjectFunc create = nullptr;
  fs::path dir;

  void SetUp() override {
    module = dlopen(MESHPORT_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    create = reinterpret_cast<TCreateObjectFunc>(dlsym(module, CREATE_OBJECT_NAME));
    ASSERT_NE(create, nullptr);
    dir = fs::temp_directory_path() / ("meshport.plugin_test." + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::remove_all(dir);
    if (module) dlclose(module);
  }
};

}  // namespace

TEST_F(meshport_plugin, module_exports_only_its_entry_point) {
  // The module's own copies of the mesh file module and the runtime stay hidden.
  EXPECT_EQ(dlsym(module, "_Z8read_mebRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"), nullptr);
  EXPECT_EQ(dlsym(module, "_Z16assertion_failedSt17basic_string_viewIcSt11char_traitsIcEEPKci"), nullptr);
  IUnknown** none = nullptr;
  EXPECT_EQ(create(none), nullptr);
}

TEST_F(meshport_plugin, protocol_from_create_to_release) {
  // The variable's previous content is released.
  TRef<CFakeApplication> previous = CFakeApplication::create();
  IUnknown* slot = static_cast<IApplication*>(previous.get());
  slot->AddRef();
  ASSERT_EQ(previous->references(), 2);
  IUnknown** returned = create(&slot);
  EXPECT_EQ(returned, &slot);
  EXPECT_EQ(previous->references(), 1);
  TRef<IUnknown> object = TRef<IUnknown>::adopt(slot);
  ASSERT_TRUE(object);

  struct {
    TGUID iid;
    HRESULT expected;
  } queries[] = {
      {IUnknown::IID, S_OK},
      {INPlugin::IID, S_OK},
      {INPlugin_init::IID, S_OK},
      {INPlugin_done::IID, S_OK},
      {IMeshConverter::IID, S_OK},
      {TGUID::parse("{AAA15D5A-6D02-4CDD-B278-5F2CD96135B6}"), E_NOINTERFACE},  // not a command plug-in
      {IApplication::IID, E_NOINTERFACE},
  };
  for (const auto& q : queries) {
    TRef<IUnknown> answer;
    EXPECT_EQ(object->QueryInterface(q.iid, answer.put_void()), q.expected) << q.iid.to_string();
    EXPECT_EQ(answer != nullptr, q.expected == S_OK);
  }
  EXPECT_EQ(object.query<IUnknown>(), object);  // one identity

  TRef<CFakeApplication> application = CFakeApplication::create();
  object.query<INPlugin_init>()->initialize(application.get());
  EXPECT_EQ(application->references(), 2);
  object.query<INPlugin_done>()->done();
  EXPECT_EQ(application->references(), 1);

  EXPECT_EQ(object->AddRef(), 2);
  EXPECT_EQ(object->Release(), 1);
  EXPECT_EQ(object.detach()->Release(), 0);
}

TEST_F(meshport_plugin, convert_file_through_the_interface) {
  TRef<IUnknown> object;
  create(object.put());
  TRef<IMeshConverter> converter = object.query<IMeshConverter>();
  ASSERT_TRUE(converter);

  const fs::path source = dir / "Spitze \xC3\xBC.dae";
  std::ofstream(source) << kCube;
  const fs::path target = dir / "Spitze \xC3\xBC.meb";
  TBStr source_text(source.string()), target_text(target.string());
  EXPECT_TRUE(converter->ConvertFile(source_text.get(), target_text.get(), 1000.0, 2));
  const TMebFile file = read_meb(target.string());
  ASSERT_EQ(file.objects.size(), 1u);
  EXPECT_EQ(file.objects[0].name, "Spitze");
  // 720 mm along +z of a Z-up file: 0.72 m along +y.
  float top = 0;
  for (const TMebVertex& v : file.objects[0].vertices) top = std::max(top, v.y);
  EXPECT_FLOAT_EQ(top, 0.72f);

  const fs::path bad = dir / "kaputt.dae";
  std::ofstream(bad) << "<COLLADA";
  const fs::path bad_target = dir / "kaputt.meb";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(converter->ConvertFile(TBStr(bad.string()).get(), TBStr(bad_target.string()).get(), 1000.0, 2));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Meshport: cannot convert \"" + bad.string() + "\""),
            std::string::npos);
  EXPECT_FALSE(fs::exists(bad_target));
  // Null strings are empty paths: refused, nothing thrown.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(converter->ConvertFile(nullptr, nullptr, 1000.0, 2));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Meshport: cannot convert \"\": file not found\n");
}
