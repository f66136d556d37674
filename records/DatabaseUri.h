#pragma once

#include <string>

namespace zul::records {

// The database the records go to is named by a libpq connection URI
// (postgresql://user@host:port/dbname?sslmode=require) or a libpq
// "key=value ..." connection string, from ZUL10_DATABASE or the station
// file's "database". Passwords belong in libpq's password file, but one
// written into the URI must still never reach a message, a log or the
// spool's bookkeeping. These functions read the text alone, without libpq,
// so the program itself (which never loads libpq) names the database the
// same way zul10-records does.

// uri without its passwords: the ":password" of the user part and the
// "password" and "sslpassword" parameters (their names percent-decoded, as
// libpq reads them) of a URI, and the password and sslpassword keys of a
// connection string. Everything else is kept as written. A connection string
// that cannot be read (an unclosed quote) gives "(an unreadable connection
// string)", never its text.
std::string WithoutPassword(const std::string& uri);

// message with every trace of uri's passwords removed: the whole uri
// replaced by WithoutPassword(uri), and each password's own text, as
// written and percent-decoded (when it has 3 characters or more), by "***".
// For libpq's messages, some of which quote the connection string they
// could not read.
std::string Scrubbed(std::string message, const std::string& uri);

// The key of the database in the spool's bookkeeping, "database " followed
// by WithoutPassword(uri); and its name in messages, "the database ...".
std::string DatabaseKey(const std::string& uri);
std::string DatabaseName(const std::string& uri);

}  // namespace zul::records
