#pragma once

#include <span>

namespace zul::records {

// One numbered migration of the records' database: records/sql/NNNN_name.sql
// of the source tree, built into zul10-records (cmake/EmbedMigrations.cmake).
struct Migration {
    int version;       // NNNN: 1, 2, 3 ...
    const char* name;  // the file's name between the number and ".sql"
    const char* sql;   // the file's text
};

// Every migration this program knows, in order of version, numbered from 1
// without a gap. The last one's version is the newest schema it can use.
std::span<const Migration> KnownMigrations();

}  // namespace zul::records
