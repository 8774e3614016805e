#include "uInterfacedObjects.h"

#include <gtest/gtest.h>

#include <vector>

#include "test.support.h"

namespace {

struct ICounted : IInterface {
  static constexpr TGUID IID = TGUID::parse("{0B7F2B0E-6C9B-4E5A-9A59-1D7B3F2C8A01}");
  using Parent = IInterface;
  virtual int value() = 0;
};

struct IChild : ICounted {
  static constexpr TGUID IID = TGUID::parse("{0B7F2B0E-6C9B-4E5A-9A59-1D7B3F2C8A02}");
  using Parent = ICounted;
};

// Takes and drops one reference to its argument, as a function that is handed
// an interface does.
void touch(IInterface* obj) { TRef<IInterface> hold(obj); }

class CProbe : public TImplements<CSafeInterfacedObject, IChild> {
 public:
  static inline int destroyed = 0;
  static inline int hook_calls = 0;
  static inline bool keep_alive = false;
  static inline bool hook_raises = false;
  static inline std::vector<TRef<IChild>> kept;

  static CProbe* create(bool touch_in_constructor = false) { return construct(new CProbe(touch_in_constructor)); }
  int value() override { return 42; }
  void on_last_release() override {
    ++hook_calls;
    if (hook_raises) throw Exception("hook");
    if (keep_alive) kept.emplace_back(this);
  }

 protected:
  explicit CProbe(bool touch_in_constructor) {
    if (touch_in_constructor) touch(static_cast<IChild*>(this));
  }
  ~CProbe() override {
    touch(static_cast<IChild*>(this));  // a destructor taking a reference to itself
    ++destroyed;
  }
};

class interfaced_objects : public ::testing::Test {
 protected:
  void SetUp() override {
    CProbe::destroyed = CProbe::hook_calls = 0;
    CProbe::keep_alive = CProbe::hook_raises = false;
    ASSERT_EQ(CSafeInterfacedObject::leak_report(), "");
  }
  void TearDown() override { EXPECT_EQ(CSafeInterfacedObject::leak_report(), ""); }

  static std::vector<CSafeInterfacedObject*> linked() {
    std::vector<CSafeInterfacedObject*> out;
    for (auto n = CSafeInterfacedObject::instances().head(); n; n = n->_next) out.push_back(n->_instance);
    return out;
  }
};

}  // namespace

TEST_F(interfaced_objects, created_and_freed_without_references) {
  CProbe* p = CProbe::create();
  EXPECT_EQ(p->references(), 0);
  EXPECT_EQ(linked(), std::vector<CSafeInterfacedObject*>{p});
  p->free();
  EXPECT_EQ(CProbe::destroyed, 1);
  EXPECT_TRUE(linked().empty());
}

TEST_F(interfaced_objects, constructor_handing_itself_out_survives) {
  CProbe* p = CProbe::create(true);
  EXPECT_EQ(p->references(), 0);
  EXPECT_EQ(CProbe::destroyed, 0);
  p->free();
}

TEST_F(interfaced_objects, destructor_taking_a_reference_destroys_once) {
  TRef<IChild> r = CProbe::create();
  r.reset();
  EXPECT_EQ(CProbe::destroyed, 1);
}

TEST_F(interfaced_objects, release_counts_down_and_destroys_at_zero) {
  CProbe* p = CProbe::create();
  EXPECT_EQ(p->AddRef(), 1);
  EXPECT_EQ(p->AddRef(), 2);
  EXPECT_EQ(p->Release(), 1);
  EXPECT_EQ(CProbe::destroyed, 0);
  EXPECT_EQ(p->Release(), 0);
  EXPECT_EQ(CProbe::destroyed, 1);
  EXPECT_EQ(CProbe::hook_calls, 1);
  EXPECT_TRUE(linked().empty());
}

TEST_F(interfaced_objects, freeing_a_referenced_object_is_an_invalid_pointer_operation) {
  TRef<IChild> r = CProbe::create();
  CProbe* p = static_cast<CProbe*>(r.get());
  ASSERT_THROW_MSG(p->free(), EInvalidPointer, "Invalid pointer operation");
  EXPECT_EQ(linked().size(), 1u);
  EXPECT_EQ(p->references(), 1);
}

TEST_F(interfaced_objects, last_release_hook_may_keep_the_object) {
  CProbe::keep_alive = true;
  CProbe* p = CProbe::create();
  p->AddRef();
  EXPECT_EQ(p->Release(), 1);  // the hook took a reference
  EXPECT_EQ(CProbe::destroyed, 0);
  CProbe::keep_alive = false;
  CProbe::kept.clear();
  EXPECT_EQ(CProbe::destroyed, 1);
}

TEST_F(interfaced_objects, raising_hook_leaves_the_object_alive) {
  CProbe::hook_raises = true;
  CProbe* p = CProbe::create();
  p->AddRef();
  EXPECT_THROW(p->Release(), Exception);
  EXPECT_EQ(p->references(), 0);
  EXPECT_EQ(CProbe::destroyed, 0);
  p->free();
}

TEST_F(interfaced_objects, query_interface_answers_every_ancestor) {
  TRef<IChild> r = CProbe::create();
  EXPECT_EQ(r.query<ICounted>().get(), static_cast<ICounted*>(r.get()));
  EXPECT_EQ(r.query<IInterface>().get(), static_cast<IInterface*>(r.get()));
  void* out = reinterpret_cast<void*>(1);
  static constexpr TGUID other = TGUID::parse("{0B7F2B0E-6C9B-4E5A-9A59-1D7B3F2C8A03}");
  EXPECT_EQ(r->QueryInterface(other, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(r->QueryInterface(other, nullptr), E_POINTER);
  EXPECT_EQ(r->value(), 42);
  EXPECT_EQ(static_cast<CProbe*>(r.get())->references(), 1);
}

TEST_F(interfaced_objects, unlinking_keeps_the_order_of_the_others) {
  std::vector<CProbe*> p;
  for (int i = 0; i < 5; ++i) p.push_back(CProbe::create());
  p[2]->free();  // middle
  p[4]->free();  // head
  p[0]->free();  // end
  EXPECT_EQ(linked(), (std::vector<CSafeInterfacedObject*>{p[3], p[1]}));
  p[1]->free();
  p[3]->free();
}

TEST_F(interfaced_objects, leak_report_lists_newest_first) {
  TRef<IChild> older = CProbe::create();
  TRef<IChild> newer = CProbe::create();
  TRef<IChild> second = newer;
  std::string expected =
      "\r\n\r\nThe following instances of CSafeInterfacedObject are not destroyed:\r\n"
      "\r\nclass: (anonymous namespace)::CProbe  references: 2"
      "\r\nclass: (anonymous namespace)::CProbe  references: 1";
  EXPECT_EQ(CSafeInterfacedObject::leak_report(), expected);
  try {
    CSafeInterfacedObject::instances().report("CSafeInterfacedObject",
                                              [](CSafeInterfacedObject*) { return std::string("x"); });
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(e.message().find("class: (anonymous namespace)::CProbe  x"), std::string::npos);
  }
}
