#pragma once

#include <norvale/tracer.h>

// The sign that a Norvale process offers its class: a named event that exists
// while the class is registered. A script that starts the program by hand
// waits for it before its first client, which would otherwise make the
// platform start a server of its own.
// Clients of <norvale/tracer.h> look for it too.
inline constexpr const char* kServingEventName = norvale::kNorvaleServingEvent;
