// The telemetry lines from the PostgreSQL table the operators load the logs into
// (docs/operators.md, "Telemetry").
#pragma once

#include <string>

#include "LineReader.h"

// Reads the column "line" of the table "telemetry_line" in the database `conninfo` names (a
// libpq connection string or a database name); a line longer than kMaxLineBytes comes as
// nothing, as from a file. False, with libpq's message in `error`, when the database cannot be
// reached or the query fails.
bool QueryLines(const std::string& conninfo, const LineSink& sink, std::string& error);
