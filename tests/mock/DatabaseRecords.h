#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "mock/RecordedBench.h"
#include "mock/TemporaryDirectory.h"
#include "records/Spool.h"

extern char** environ;

namespace zul::test {

// A real record, as the program's writer makes it over a wizard run against
// the simulated unit: a complete run, or one that failed at item 3 (Front
// Red's A/D at 61, under its limit 62).
inline std::string RealRecord(bool failed) {
    TemporaryDirectory dir;
    sim::Profile profile;
    if (failed) profile.whiteResult[3] = 61;
    RecordedBench b(profile, dir.File("spool"));
    if (failed) {
        b.ClickTo(-1);
    } else {
        b.ClickTo(9);
        b.recorded.TimerTick();
        b.ClickTo(11);
    }
    std::ifstream in(b.log.FileFor(std::chrono::system_clock::now()));
    std::string line;
    std::getline(in, line);
    return line;
}

// The run id of run n of a family: a UUID, as the database wants.
inline std::string RunUuid(int n, int family = 0) {
    char id[40];
    std::snprintf(id, sizeof id, "00000000-%04x-4000-8000-%012d", family, n);
    return id;
}

// line (a record) as the record of another run: its run id and station.
inline std::string Restamped(const std::string& line, const std::string& runId,
                             const std::string& station = "BENCH-1") {
    nlohmann::ordered_json record = nlohmann::ordered_json::parse(line);
    record["run_id"] = runId;
    record["station"] = station;
    return record.dump();
}

// Spools runs first .. first+count-1 of family (alternately complete and
// failed, real records) into spool, spread over days day files from
// 2026-03-01 on, one append per file.
inline void SpoolRealRuns(const records::Spool& spool, int first, int count, int family = 0,
                          const std::string& station = "BENCH-1", int days = 1) {
    using namespace std::chrono;
    static const std::string kRecords[] = {RealRecord(false), RealRecord(true)};
    std::map<std::string, std::string> files;
    for (int n = first; n < first + count; ++n) {
        const year_month_day day{sys_days{year{2026} / 3 / 1} + std::chrono::days{n % days}};
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(day.year()),
                      static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
        files[date] += Restamped(kRecords[n % 2], RunUuid(n, family), station) + "\n";
    }
    for (const auto& [date, lines] : files) {
        std::string error;
        ASSERT_TRUE(spool.Append(date, lines, error)) << error;
    }
}

// zul10-records of this build as a process of its own, with the settings the
// test gives alone: no station file, and none of ZUL10_RECORDS,
// ZUL10_DATABASE or libpq's PG* variables of whoever runs the tests. Its
// standard output and error go to the file output.
class RecordsProcess {
public:
    RecordsProcess(const std::vector<std::string>& arguments, const std::string& output,
                   const std::vector<std::string>& environment = {}) {
        std::vector<std::string> strings{ZUL10_RECORDS_BINARY};
        strings.insert(strings.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& s : strings) argv.push_back(s.data());
        argv.push_back(nullptr);
        std::vector<std::string> variables{"ZUL10_STATION_FILE=/nonexistent/station.conf"};
        for (char** v = environ; *v != nullptr; ++v) {
            const std::string variable = *v;
            if (variable.starts_with("PG") || variable.starts_with("ZUL10_")) continue;
            variables.push_back(variable);
        }
        variables.insert(variables.end(), environment.begin(), environment.end());
        std::vector<char*> envp;
        for (std::string& s : variables) envp.push_back(s.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~RecordsProcess() {
        if (pid_ > 0) Kill();
    }
    RecordsProcess(const RecordsProcess&) = delete;
    RecordsProcess& operator=(const RecordsProcess&) = delete;

    // Waits for its end: its exit code, or kKilled when a signal ended it.
    int Wait() {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFSIGNALED(status) ? kKilled : WEXITSTATUS(status);
    }
    // SIGKILL, then its end; true when it was still running.
    bool Kill() {
        kill(pid_, SIGKILL);
        return Wait() == kKilled;
    }

    static constexpr int kKilled = 137;

private:
    pid_t pid_ = -1;
};

// Runs zul10-records to its end: its exit code and everything it wrote.
inline std::pair<int, std::string> RunRecords(const std::vector<std::string>& arguments,
                                              const std::string& scratch,
                                              const std::vector<std::string>& environment = {}) {
    const std::string output = scratch + "/zul10-records.out";
    const int code = RecordsProcess(arguments, output, environment).Wait();
    return {code, ReadFile(output)};
}

}  // namespace zul::test
