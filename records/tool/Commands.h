#pragma once

namespace zul::records {

// The commands of zul10-records, each given the whole command line
// (argv[1] is the command's name); each returns the exit code.
int ReportCommand(int argc, char** argv);    // summary, csv, html
int ForwardCommand(int argc, char** argv);   // forward
int DatabaseCommand(int argc, char** argv);  // db init, db migrate

}  // namespace zul::records
