// The process-wide registry of event connections: which listeners want to
// hear of an event of a given object. An event is named by an identifier
// (usually the IID of the listener interface its listeners implement); a
// source object announces it by enumerating the listeners connected to it for
// that identifier and calling each.
//
//   event_connect(settings, IFormatSettingsChanged::IID, listener);
//   for (auto it = event_targets(settings, IFormatSettingsChanged::IID); it->moveNext();)
//     if (auto l = it->get_current().query<IFormatSettingsChanged>()) l->settings_changed(settings);
//   event_disconnect(settings, IFormatSettingsChanged::IID, listener);
//
// Objects are compared by identity (their IInterface). The registry holds a
// counted reference to each listener until it is disconnected; it does not
// hold the source, which drops its own connections when it dies
// (`event_disconnect_all`). Connections still made when the module unloads
// are released then. Main thread only.
#pragma once

#include "uList.h"

// Connects `listener` to the event `event` of `source`. Returns false, and
// changes nothing, when it is already connected there or either object is null.
bool event_connect(IInterface* source, const TGUID& event, IInterface* listener);

// Removes that connection; false when there was none.
bool event_disconnect(IInterface* source, const TGUID& event, IInterface* listener);

// Removes every connection of `source`, for any event.
void event_disconnect_all(IInterface* source);

// The listeners connected to `source` for `event`, in the order they were
// connected. The walk goes over a copy taken now, so listeners may connect
// and disconnect while it runs.
TRef<IIterator<TRef<IInterface>>> event_targets(IInterface* source, const TGUID& event);

// The number of connections held, for every source and event.
int32_t event_connection_count();
