#include "uEventConnections.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct IPing : IInterface {
  static constexpr TGUID IID = TGUID::parse("{3E9B2F10-8C1D-4A57-9E0B-6F2D7C41A001}");
  using Parent = IInterface;
  virtual int id() = 0;
};
struct IPong : IInterface {
  static constexpr TGUID IID = TGUID::parse("{3E9B2F10-8C1D-4A57-9E0B-6F2D7C41A002}");
  using Parent = IInterface;
};
constexpr TGUID kOther = TGUID::parse("{3E9B2F10-8C1D-4A57-9E0B-6F2D7C41A003}");

class CNode : public TImplements<CSafeInterfacedObject, IPing, IPong> {
 public:
  static CNode* create(int id) { return construct(new CNode(id)); }
  int id() override { return _id; }

 protected:
  explicit CNode(int id) : _id(id) {}
  ~CNode() override { event_disconnect_all(static_cast<IPing*>(this)); }

 private:
  int _id;
};

std::vector<int> targets(IInterface* source, const TGUID& event) {
  std::vector<int> ids;
  for (auto it = event_targets(source, event); it->moveNext();) ids.push_back(it->get_current().query<IPing>()->id());
  return ids;
}

class event_connections : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(event_connection_count(), 0);
    EXPECT_EQ(CSafeInterfacedObject::leak_report(), "");
  }
};

}  // namespace

TEST_F(event_connections, connect_enumerate_disconnect) {
  TRef<IPing> source = CNode::create(0);
  TRef<IPing> a = CNode::create(1);
  TRef<IPing> b = CNode::create(2);

  EXPECT_TRUE(event_connect(source.get(), IPing::IID, a.get()));
  EXPECT_TRUE(event_connect(source.get(), IPing::IID, b.get()));
  EXPECT_TRUE(event_connect(source.get(), kOther, a.get()));
  EXPECT_FALSE(event_connect(source.get(), IPing::IID, a.query<IPong>().get()));  // same object, other interface
  EXPECT_FALSE(event_connect(nullptr, IPing::IID, a.get()));
  EXPECT_FALSE(event_connect(source.get(), IPing::IID, nullptr));
  EXPECT_EQ(event_connection_count(), 3);
  EXPECT_EQ(a->AddRef(), 4);  // held by `a`, by two connections, and by this call
  a->Release();

  EXPECT_EQ(targets(source.get(), IPing::IID), (std::vector<int>{1, 2}));
  EXPECT_EQ(targets(source.query<IPong>().get(), IPing::IID), (std::vector<int>{1, 2}));  // identity
  EXPECT_EQ(targets(source.get(), kOther), (std::vector<int>{1}));
  EXPECT_TRUE(targets(a.get(), IPing::IID).empty());
  EXPECT_TRUE(targets(nullptr, IPing::IID).empty());

  EXPECT_TRUE(event_disconnect(source.get(), IPing::IID, a.query<IPong>().get()));
  EXPECT_FALSE(event_disconnect(source.get(), IPing::IID, a.get()));
  EXPECT_EQ(targets(source.get(), IPing::IID), (std::vector<int>{2}));
  event_disconnect_all(source.get());
  EXPECT_EQ(event_connection_count(), 0);
}

TEST_F(event_connections, walk_is_a_copy) {
  TRef<IPing> source = CNode::create(0);
  TRef<IPing> a = CNode::create(1);
  event_connect(source.get(), IPing::IID, a.get());
  auto it = event_targets(source.get(), IPing::IID);
  event_disconnect(source.get(), IPing::IID, a.get());
  ASSERT_TRUE(it->moveNext());
  EXPECT_EQ(it->get_current().query<IPing>()->id(), 1);
  EXPECT_FALSE(it->moveNext());
}

TEST_F(event_connections, dying_source_drops_its_connections) {
  TRef<IPing> listener = CNode::create(1);
  {
    TRef<IPing> source = CNode::create(0);
    event_connect(source.get(), IPing::IID, listener.get());
    event_connect(source.get(), kOther, listener.get());
  }
  EXPECT_EQ(event_connection_count(), 0);
}
