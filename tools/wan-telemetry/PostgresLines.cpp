#include "PostgresLines.h"

#include <libpq-fe.h>

#include <memory>

#include "Funnel.h"

bool QueryLines(const std::string& conninfo, const LineSink& sink, std::string& error) {
  // A database that cannot be reached, or a connection that dies on the way, ends the run
  // instead of holding it (keepalives are the client's own, so any pooler in between is
  // fine); the operator's own settings in `conninfo` come later and win.
  const char* const keys[] = {"connect_timeout",  "keepalives_idle", "keepalives_interval",
                              "keepalives_count", "dbname",          nullptr};
  const char* const values[] = {"10", "30", "10", "3", conninfo.c_str(), nullptr};
  const std::unique_ptr<PGconn, decltype(&PQfinish)> connection(PQconnectdbParams(keys, values, 1),
                                                                &PQfinish);
  PGconn* db = connection.get();
  if (PQstatus(db) != CONNECTION_OK) {
    error = PQerrorMessage(db);
    return false;
  }
  // One row at a time, so a large table is never held whole; a line too long for the reader
  // stays in the database and comes as NULL.
  const std::string query =
      "SELECT CASE WHEN octet_length(line) <= " + std::to_string(kMaxLineBytes) +
      " THEN line END FROM telemetry_line";
  if (!PQsendQuery(db, query.c_str()) || !PQsetSingleRowMode(db)) {
    error = PQerrorMessage(db);
    return false;
  }
  bool ok = true;
  while (PGresult* result = PQgetResult(db)) {
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_SINGLE_TUPLE) {
      sink(PQgetisnull(result, 0, 0)
               ? std::nullopt
               : std::optional<std::string_view>(std::string_view(
                     PQgetvalue(result, 0, 0), static_cast<size_t>(PQgetlength(result, 0, 0)))));
    } else if (status != PGRES_TUPLES_OK) {
      error = PQresultErrorMessage(result);
      ok = false;
    }
    PQclear(result);
  }
  return ok;
}
