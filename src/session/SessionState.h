#pragma once

#include <QString>

// Where the user is in the annotate–ask–answer cycle.
enum class SessionState { Idle, Drawing, Querying, Streaming };

// The case name, as written into log lines.
QString caseName(SessionState state);
