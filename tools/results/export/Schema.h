#pragma once
// The collector's tables as the import side creates them, for the tests and the bench of the
// export, which fill databases of their own. The import side's Database replaces this once
// both halves stand together.
namespace vedris::results {

inline constexpr const char* CollectorSchemaSql = R"sql(
PRAGMA journal_mode=WAL;
PRAGMA user_version = 1;
CREATE TABLE source (id INTEGER PRIMARY KEY, path TEXT NOT NULL, kind TEXT NOT NULL,
  label TEXT NOT NULL DEFAULT '', imported_at TEXT NOT NULL);
CREATE TABLE file (id INTEGER PRIMARY KEY, source_id INTEGER NOT NULL REFERENCES source(id),
  place TEXT NOT NULL, sender TEXT NOT NULL DEFAULT '', sent TEXT NOT NULL DEFAULT '',
  subject TEXT NOT NULL DEFAULT '', origin TEXT NOT NULL, sha256 TEXT NOT NULL UNIQUE);
CREATE TABLE refusal (id INTEGER PRIMARY KEY, source_id INTEGER NOT NULL REFERENCES source(id),
  place TEXT NOT NULL, reason TEXT NOT NULL);
CREATE TABLE result (id INTEGER PRIMARY KEY, file_id INTEGER NOT NULL REFERENCES file(id),
  assessment TEXT NOT NULL, datetime TEXT NOT NULL, superseded INTEGER NOT NULL DEFAULT 0);
CREATE TABLE response (id INTEGER PRIMARY KEY, result_id INTEGER NOT NULL REFERENCES result(id),
  item TEXT NOT NULL, response TEXT NOT NULL, position INTEGER NOT NULL, status TEXT NOT NULL);
CREATE TABLE response_value (response_id INTEGER NOT NULL REFERENCES response(id),
  position INTEGER NOT NULL, value TEXT NOT NULL);
CREATE INDEX result_by_assessment ON result(assessment, superseded);
CREATE INDEX response_by_result ON response(result_id);
CREATE INDEX value_by_response ON response_value(response_id);
)sql";

} // namespace vedris::results
