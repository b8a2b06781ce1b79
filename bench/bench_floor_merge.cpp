// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for the database merge: a bare SQLite program, no Qt, that does
// the lookups, comparisons and writes a merge of the generator's .flat file
// needs, on a database it keeps between runs. Run it twice on one database
// (first into an empty file, then again into the filled one) and set the
// program's own import times against these.
//
// usage: bench_floor_merge DB.db FILE.flat [merge-nocase|merge-binary]
//   merge-nocase  finds a contact by its name through a NOCASE index, as the
//                 program's merge does (the default)
//   merge-binary  the same through the template's case-sensitive index
//
// The rule is the local one: each type matched on its minimal fields and
// compared on the fields it keeps; a differing entity is updated in place,
// a new one inserted. Nameless contacts are always new.
#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>

#ifndef MARROWLINK_SOURCE_DIR
#define MARROWLINK_SOURCE_DIR "."
#endif

namespace {

constexpr int kFields = 16; // data1..data15 at 1..15; 0 unused

struct Entity {
    int type = 0;
    std::array<std::string, kFields> data;
};

struct Contact {
    std::string name;
    std::vector<Entity> entities;
};

struct Rule {
    std::vector<int> min;
    std::vector<int> kept;
    bool single = false;
};

// The local duplicate rule (LocalDbCombineRule) by type code, fields by
// number: kept in step with it by hand.
Rule ruleOf(int type)
{
    switch (type) {
    case 2: return {{4}, {4, 15}, true};
    case 3: case 4: case 6: case 11: case 13: return {{1}, {1, 2, 3}, false};
    case 5: return {{1}, {1, 2}, true};
    case 7: return {{1}, {1, 2}, true};
    case 8: return {{1, 5, 6}, {1, 5, 6, 2, 3}, false};
    case 9: return {{1}, {1}, false};
    case 10: return {{1, 5, 4}, {1, 5, 4, 2}, true};
    case 12: return {{1}, {1, 10, 11, 8, 7, 4, 9, 2, 3}, false};
    default: return {{}, {}, false};
    }
}

std::string base64Decode(const std::string& in)
{
    static const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    int val = 0;
    int bits = -8;
    for (char c : in) {
        const auto pos = chars.find(c);
        if (pos == std::string::npos)
            continue;
        val = (val << 6) + static_cast<int>(pos);
        bits += 6;
        if (bits >= 0) {
            out.push_back(static_cast<char>((val >> bits) & 0xff));
            bits -= 8;
        }
    }
    return out;
}

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = s.find(sep, start);
        parts.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::vector<Contact> readFlat(const char* path)
{
    std::vector<Contact> contacts;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const auto columns = split(line, '\t');
        Contact c;
        c.name = columns.at(0);
        for (size_t i = 1; i < columns.size(); ++i) {
            const auto fields = split(columns[i], '\x1f');
            Entity e;
            e.type = std::atoi(fields.at(0).c_str());
            for (size_t k = 1; k < fields.size() && k < kFields; ++k) {
                std::string value = fields[k];
                for (std::string::size_type p; (p = value.find("\\n")) != std::string::npos;)
                    value.replace(p, 2, "\n");
                if (e.type == 2 && k == fields.size() - 1)
                    e.data[15] = base64Decode(value);
                else
                    e.data[k] = value;
            }
            c.entities.push_back(std::move(e));
        }
        contacts.push_back(std::move(c));
    }
    return contacts;
}

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

sqlite3_stmt* prepare(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* st = nullptr;
    check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), db, sql.c_str());
    return st;
}

bool equalOn(const Entity& a, const Entity& b, const std::vector<int>& keys)
{
    for (int k : keys) {
        if (a.data[k] != b.data[k])
            return false;
    }
    return true;
}

long peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_floor_merge DB.db FILE.flat [merge-nocase|merge-binary]\n");
        return 2;
    }
    const bool nocase = argc < 4 || std::strcmp(argv[3], "merge-binary") != 0;
    const std::vector<Contact> contacts = readFlat(argv[2]);
    if (contacts.empty()) {
        std::fprintf(stderr, "no contacts read from %s\n", argv[2]);
        return 1;
    }

    sqlite3* db = nullptr;
    check(sqlite3_open(argv[1], &db), db, "open");
    std::ifstream schemaFile(MARROWLINK_SOURCE_DIR "/resources/db_template.sql");
    std::stringstream schema;
    schema << schemaFile.rdbuf();
    sqlite3_stmt* probe = prepare(db, "select count(*) from sqlite_master where name='contact'");
    sqlite3_step(probe);
    const bool fresh = sqlite3_column_int(probe, 0) == 0;
    sqlite3_finalize(probe);
    if (fresh) {
        check(sqlite3_exec(db, "PRAGMA page_size=1024", nullptr, nullptr, nullptr), db, "page size");
        check(sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, nullptr), db, "schema");
    }
    check(sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr), db, "cache");
    check(sqlite3_exec(db, "CREATE INDEX IF NOT EXISTS index_contacts_full_name_nocase ON contact(full_name COLLATE NOCASE)",
                       nullptr, nullptr, nullptr),
          db, "index");

    const auto started = std::chrono::steady_clock::now();
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* find = prepare(db, nocase ? "select _id from contact where full_name=? collate nocase order by _id limit 1"
                                            : "select _id from contact where full_name=? order by _id limit 1");
    sqlite3_stmt* rows = prepare(db, "select _id,type,data1,data2,data3,data4,data5,data6,data7,data8,data9,data10,data11,"
                                     "case when type=2 then data15 end from data where contact_id=?");
    sqlite3_stmt* addContact = prepare(db, "insert into contact(src_id,full_name) values('',?)");
    std::string insertSql = "insert into data(type,contact_id,src_id";
    for (int k = 1; k < kFields; ++k)
        insertSql += ",data" + std::to_string(k);
    insertSql += ") values(?,?,''";
    for (int k = 1; k < kFields; ++k)
        insertSql += ",?";
    insertSql += ")";
    sqlite3_stmt* addRow = prepare(db, insertSql);
    std::string updateSql = "update data set ";
    for (int k = 1; k < kFields; ++k)
        updateSql += (k > 1 ? ",data" : "data") + std::to_string(k) + "=?";
    updateSql += " where _id=?";
    sqlite3_stmt* updateRow = prepare(db, updateSql);

    auto bindFields = [](sqlite3_stmt* st, int first, const Entity& e) {
        for (int k = 1; k < kFields; ++k) {
            const std::string& v = e.data[k];
            if (k == 15)
                sqlite3_bind_blob(st, first + k - 1, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
            else
                sqlite3_bind_text(st, first + k - 1, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
        }
    };

    long merged = 0;
    long updated = 0;
    long inserted = 0;
    for (const Contact& c : contacts) {
        sqlite3_int64 id = 0;
        if (!c.name.empty()) {
            sqlite3_bind_text(find, 1, c.name.data(), static_cast<int>(c.name.size()), SQLITE_STATIC);
            if (sqlite3_step(find) == SQLITE_ROW)
                id = sqlite3_column_int64(find, 0);
            sqlite3_reset(find);
        }
        std::map<int, std::vector<std::pair<sqlite3_int64, Entity>>> stored;
        if (id != 0) {
            ++merged;
            sqlite3_bind_int64(rows, 1, id);
            while (sqlite3_step(rows) == SQLITE_ROW) {
                Entity e;
                e.type = sqlite3_column_int(rows, 1);
                for (int k = 1; k <= 11; ++k) {
                    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(rows, k + 1));
                    e.data[k] = text ? text : "";
                }
                if (const void* blob = sqlite3_column_blob(rows, 13))
                    e.data[15].assign(static_cast<const char*>(blob), sqlite3_column_bytes(rows, 13));
                stored[e.type].emplace_back(sqlite3_column_int64(rows, 0), std::move(e));
            }
            sqlite3_reset(rows);
        } else {
            sqlite3_bind_text(addContact, 1, c.name.data(), static_cast<int>(c.name.size()), SQLITE_STATIC);
            check(sqlite3_step(addContact), db, "insert contact");
            sqlite3_reset(addContact);
            id = sqlite3_last_insert_rowid(db);
        }
        for (const Entity& e : c.entities) {
            const Rule rule = ruleOf(e.type);
            auto& list = stored[e.type];
            if (id != 0 && rule.kept.empty() && !list.empty())
                continue;
            std::pair<sqlite3_int64, Entity>* target = nullptr;
            if (rule.single) {
                if (!list.empty())
                    target = &list.front();
            } else {
                for (auto& s : list) {
                    if (equalOn(s.second, e, rule.min)) {
                        target = &s;
                        break;
                    }
                }
            }
            if (target && equalOn(target->second, e, rule.kept))
                continue;
            if (target) {
                for (int k : rule.kept) {
                    if (!e.data[k].empty())
                        target->second.data[k] = e.data[k];
                }
                bindFields(updateRow, 1, target->second);
                sqlite3_bind_int64(updateRow, kFields, target->first);
                check(sqlite3_step(updateRow), db, "update");
                sqlite3_reset(updateRow);
                ++updated;
            } else {
                sqlite3_bind_int(addRow, 1, e.type);
                sqlite3_bind_int64(addRow, 2, id);
                bindFields(addRow, 3, e);
                check(sqlite3_step(addRow), db, "insert row");
                sqlite3_reset(addRow);
                list.emplace_back(sqlite3_last_insert_rowid(db), e);
                ++inserted;
            }
        }
    }
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    for (sqlite3_stmt* st : {find, rows, addContact, addRow, updateRow})
        sqlite3_finalize(st);
    sqlite3_close(db);
    std::printf("%s: %zu contacts in %.3f s (%.0f/s): %ld merged, %ld rows updated, %ld rows inserted, peak %ld MB\n",
                nocase ? "merge-nocase" : "merge-binary", contacts.size(), seconds, contacts.size() / seconds, merged,
                updated, inserted, peakMegabytes());
    return 0;
}
