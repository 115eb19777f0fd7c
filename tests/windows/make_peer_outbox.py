#!/usr/bin/env python3
"""Writes an outbox as a peer with a stock SQLite 3 (Python's) may leave it: the outbox's own tables and
rows, plus the objects a richer schema can hold beside them.

    make_peer_outbox.py OUTPUT.db

The trigger on events, the JSON index on events and the foreign key into events are what the installer's
own statements meet when it appends, leases and releases."""
import os
import sqlite3
import sys

OUTBOX_SCHEMA = (
    "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
    "CREATE TABLE IF NOT EXISTS events(uuid TEXT PRIMARY KEY,body TEXT NOT NULL,created INTEGER NOT NULL,"
    "next INTEGER NOT NULL,lease TEXT,until INTEGER NOT NULL DEFAULT 0,attempts INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS diagnostics(name TEXT PRIMARY KEY,count INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS first_launch(singleton INTEGER PRIMARY KEY CHECK(singleton=1),uuid TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS first_launch_candidate(singleton INTEGER PRIMARY KEY CHECK(singleton=1),"
    "eligible INTEGER NOT NULL);"
    "INSERT OR IGNORE INTO diagnostics VALUES('discarded',0);"
)

PEER_SCHEMA = """
CREATE TABLE log(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    uuid TEXT UNIQUE REFERENCES events(uuid),
    kind TEXT NOT NULL DEFAULT (CAST(1 AS TEXT)) CHECK (length(kind) > 0),
    tag BLOB DEFAULT x'00ff',
    at TEXT DEFAULT (datetime('now')),
    weight INTEGER GENERATED ALWAYS AS (length(kind) + 0x10) STORED
);
CREATE TRIGGER events_logged AFTER INSERT ON events WHEN new.uuid <> "none"
BEGIN
    INSERT INTO log(uuid, kind) VALUES (new.uuid, 'append')
        ON CONFLICT(uuid) DO UPDATE SET kind = 'again';
END;
CREATE INDEX events_by_name ON events(json_extract(body, '$.batch[0].event'));
CREATE VIEW ranked AS
    SELECT uuid, row_number() OVER (ORDER BY created, uuid) AS position FROM events;
CREATE VIRTUAL TABLE search USING fts5(body);
CREATE TABLE settings(name TEXT PRIMARY KEY, value ANY) STRICT, WITHOUT ROWID;
"""

# An application row stored before the peer's objects existed, and one the trigger logged.
T = 1_800_000_000


def main():
    path = sys.argv[1]
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    db = sqlite3.connect(path, isolation_level=None)
    db.executescript(OUTBOX_SCHEMA)
    db.executescript(PEER_SCHEMA)
    db.execute("INSERT INTO events(uuid,body,created,next) VALUES(?,?,?,?)",
               ("app-row", '{"api_key":"k","batch":[{"event":"app_ready"}]}', T - 10, T - 10))
    db.execute("INSERT INTO search(body) VALUES('app_ready')")
    db.execute("INSERT INTO settings VALUES('theme','dark')")
    db.execute("ANALYZE")
    db.close()


if __name__ == "__main__":
    main()
