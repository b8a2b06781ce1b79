// SPDX-License-Identifier: GPL-3.0-or-later
// Build tool: turns the schema script into the template database that the
// program embeds. Usage: mkdbtemplate SCHEMA.sql OUT.db
//
// The file properties matter to every database made from the template, so
// they are fixed here rather than left to SQLite's compile-time defaults:
// 1024-byte pages, UTF-8, rollback journal, no auto-vacuum, user_version 0.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

int fail(sqlite3* db, const std::string& what)
{
    std::fprintf(stderr, "mkdbtemplate: %s: %s\n", what.c_str(), db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkdbtemplate SCHEMA.sql OUT.db\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "mkdbtemplate: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream schema;
    schema << in.rdbuf();

    // Written under a temporary name so that an interrupted build never
    // leaves a half-made template for the resource compiler to embed.
    const std::string out = argv[2];
    const std::string tmp = out + ".tmp";
    std::remove(tmp.c_str());
    std::remove((tmp + "-journal").c_str());

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(tmp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        return fail(db, "open " + tmp);

    const std::string script = "PRAGMA page_size=1024;"
                               "PRAGMA encoding='UTF-8';"
                               "PRAGMA auto_vacuum=NONE;"
                               "PRAGMA journal_mode=DELETE;"
                               "PRAGMA user_version=0;"
                               "BEGIN;"
        + schema.str() + ";COMMIT;";
    char* err = nullptr;
    if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "mkdbtemplate: %s\n", err ? err : "schema failed");
        sqlite3_free(err);
        sqlite3_close(db);
        return 1;
    }
    if (sqlite3_close(db) != SQLITE_OK)
        return fail(db, "close");
    if (std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::perror("mkdbtemplate: rename");
        return 1;
    }
    return 0;
}
