#include "uEventConnections.h"

#include <vector>

namespace {

struct TConnection {
  IInterface* source;  // identity; not counted
  TGUID event;
  TRef<IInterface> listener;
  IInterface* listener_identity;
};

// The connections, oldest first. `closed` turns the registry into a no-op
// once the module's static objects are being destroyed, so that sources
// dying after it (held by other static objects) can still disconnect.
struct TRegistry {
  std::vector<TConnection> connections;
  ~TRegistry() {
    closed = true;
    std::vector<TConnection> dropped;
    dropped.swap(connections);  // listeners released here
  }
  static inline bool closed = false;
};
TRegistry g_registry;

// The object's identity: its IInterface, without the reference that the
// query takes.
IInterface* identity(IInterface* object) {
  if (!object) return nullptr;
  IInterface* unknown = nullptr;
  if (object->QueryInterface(IInterface::IID, reinterpret_cast<void**>(&unknown)) != S_OK || !unknown) return object;
  unknown->Release();
  return unknown;
}

}  // namespace

bool event_connect(IInterface* source, const TGUID& event, IInterface* listener) {
  if (TRegistry::closed || !source || !listener) return false;
  IInterface* s = identity(source);
  IInterface* l = identity(listener);
  for (const TConnection& c : g_registry.connections)
    if (c.source == s && c.event == event && c.listener_identity == l) return false;
  g_registry.connections.push_back({s, event, listener, l});
  return true;
}

bool event_disconnect(IInterface* source, const TGUID& event, IInterface* listener) {
  if (TRegistry::closed || !source || !listener) return false;
  IInterface* s = identity(source);
  IInterface* l = identity(listener);
  auto& list = g_registry.connections;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->source == s && it->event == event && it->listener_identity == l) {
      TRef<IInterface> keep = std::move(it->listener);  // released after the registry is consistent
      list.erase(it);
      return true;
    }
  }
  return false;
}

void event_disconnect_all(IInterface* source) {
  if (TRegistry::closed || !source) return;
  IInterface* s = identity(source);
  std::vector<TConnection> dropped;
  auto& list = g_registry.connections;
  for (auto it = list.begin(); it != list.end();) {
    if (it->source == s) {
      dropped.push_back(std::move(*it));
      it = list.erase(it);
    } else {
      ++it;
    }
  }
}

TRef<IIterator<TRef<IInterface>>> event_targets(IInterface* source, const TGUID& event) {
  TRef<IList<TRef<IInterface>>> targets = CList<TRef<IInterface>>::create();
  if (!TRegistry::closed && source) {
    IInterface* s = identity(source);
    for (const TConnection& c : g_registry.connections)
      if (c.source == s && c.event == event) targets->add(c.listener);
  }
  return targets->getEnumerator();
}

int32_t event_connection_count() { return TRegistry::closed ? 0 : int32_t(g_registry.connections.size()); }
