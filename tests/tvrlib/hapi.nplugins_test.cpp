// The entry point every plug-in module shares: what it stores, what it
// releases and what it leaves alone when making the object fails.
#include "hapi.nplugins.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "uInterfacedObjects.h"

namespace {

// How making the next plug-in object goes.
enum class TMaking { works, runs_out_of_memory, raises };
TMaking g_making = TMaking::works;

// A plug-in object that counts the live ones; its constructor fails as
// `g_making` says.
class CCountedPlugin : public TImplements<CSafeInterfacedObject, INPlugin> {
 public:
  static CCountedPlugin* create() { return construct(new CCountedPlugin()); }
  static inline int alive = 0;

 protected:
  CCountedPlugin() {
    if (g_making == TMaking::runs_out_of_memory) throw std::bad_alloc();
    if (g_making == TMaking::raises) throw std::runtime_error("the constructor fails");
    ++alive;
  }
  ~CCountedPlugin() override { --alive; }
};

IUnknown** create_object(IUnknown** obj) { return create_plugin_object<CCountedPlugin>(obj); }

struct TEntryCase {
  const char* name;
  TMaking making;
  bool variable_held_an_object;
  bool stores_a_new_object;
};

// A case prints as its name in the test's output.
void PrintTo(const TEntryCase& c, std::ostream* os) { *os << c.name; }

class nplugins_entry : public ::testing::TestWithParam<TEntryCase> {
 protected:
  void TearDown() override { g_making = TMaking::works; }
};

TEST_P(nplugins_entry, stores_a_new_object_or_leaves_the_variable_as_it_was) {
  const TEntryCase& c = GetParam();
  IUnknown* variable = nullptr;
  if (c.variable_held_an_object) {
    ASSERT_EQ(create_object(&variable), &variable);
  }
  IUnknown* held = variable;
  const int alive_before = CCountedPlugin::alive;

  g_making = c.making;
  EXPECT_EQ(create_object(&variable), &variable);
  g_making = TMaking::works;

  if (c.stores_a_new_object) {
    ASSERT_NE(variable, nullptr);
    EXPECT_NE(variable, held);
    // The caller's reference is the only one; what the variable held is gone.
    EXPECT_EQ(variable->AddRef(), 2);
    EXPECT_EQ(variable->Release(), 1);
    EXPECT_EQ(CCountedPlugin::alive, alive_before + (held ? 0 : 1));
  } else {
    EXPECT_EQ(variable, held);
    EXPECT_EQ(CCountedPlugin::alive, alive_before);
  }
  if (variable) variable->Release();
  EXPECT_EQ(CCountedPlugin::alive, 0);
}

INSTANTIATE_TEST_SUITE_P(
    , nplugins_entry,
    ::testing::Values(TEntryCase{"into_an_empty_variable", TMaking::works, false, true},
                      TEntryCase{"releases_what_the_variable_held", TMaking::works, true, true},
                      TEntryCase{"out_of_memory_into_an_empty_variable", TMaking::runs_out_of_memory, false, false},
                      TEntryCase{"out_of_memory_keeps_what_the_variable_held", TMaking::runs_out_of_memory, true,
                                 false},
                      TEntryCase{"a_raising_constructor_keeps_what_the_variable_held", TMaking::raises, true, false}),
    [](const ::testing::TestParamInfo<TEntryCase>& info) { return std::string(info.param.name); });

TEST(nplugins, a_null_variable_gives_null_and_makes_nothing) {
  EXPECT_EQ(create_object(nullptr), nullptr);
  EXPECT_EQ(CCountedPlugin::alive, 0);
}

}  // namespace
