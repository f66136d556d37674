// zul-record-gen: a folder of realistic run records for the report's
// benchmark (scripts/bench-records.sh). Every record is written by the
// program's own writer (records/RunLog), each run driven through the wizard
// against the in-process simulated unit on a manual clock; only the times
// and the host are then set to those of the simulated day and station.
//
//   zul-record-gen FOLDER MEGABYTES [--seed N] [--stations N]
//
// The line: N stations (8 by default; the last one scans no serial
// numbers), each day from 2026-01-05 on adjusting units one after the
// other. Readings scatter around the middle of their limits; the white
// reference paper of each station ages (Front Red's A/D sinks until the
// paper is changed every 90 days), so failures come and go; failed units
// are retested up to twice, a few bad units never pass; cables fail now and
// then (a communication error, then a retest), operators cancel or close
// the window. The first tenth of the days is written as format 1 (no run
// id, station, unit, limits or judged values), as older records are.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "app/UnitIdSource.h"
#include "mock/RecordedBench.h"
#include "mock/RecordingMessageSink.h"
#include "records/RunLog.h"

namespace {

namespace fs = std::filesystem;
using namespace zul;

class GivenUnitId final : public UnitIdSource {
public:
    std::optional<std::string> Ask() override { return serial; }
    std::string serial;
};

using Bench = test::RecordedBench;

// Days since 1970-01-01 to "YYYY-MM-DD".
std::string DateOf(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(y), static_cast<int>(m),
                  static_cast<int>(d));
    return text;
}

std::string Stamp(const std::string& date, int64_t secondOfDay, int ms) {
    char text[48];
    std::snprintf(text, sizeof text, "%sT%02d:%02d:%02d.%03d+09:00", date.c_str(),
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                  static_cast<int>(secondOfDay % 60), ms);
    return text;
}

// Sets the string field key of a one-line record to value.
void SetField(std::string& line, const std::string& key, const std::string& value) {
    const std::string open = "\"" + key + "\":\"";
    const size_t at = line.find(open);
    if (at == std::string::npos) return;
    const size_t from = at + open.size();
    const size_t to = line.find('"', from);
    line.replace(from, to - from, value);
}

class Line {
public:
    explicit Line(uint32_t seed) : rng_(seed) {}

    // The readings of one run of a unit; drift: how far the station's white
    // paper has aged (0 new).
    sim::Profile Draw(double drift, bool badUnit) {
        sim::Profile p;
        p.leverPaperIn = {1, Byte(200, 15), Byte(200, 15)};
        p.leverPaperOut = {0, Byte(40, 12), Byte(40, 12)};
        std::array<uint8_t, 14> ad{}, da{};
        static constexpr double kWhiteCentre[14] = {77,  77,  77,  77, 77, 77, 179,
                                                    179, 179, 179, 77, 77, 77, 77};
        for (int s = 0; s < 14; ++s) {
            double centre = kWhiteCentre[s];
            if (s == 3) centre -= drift;  // Front Red sees the paper age first
            ad[s] = Byte(centre, s >= 6 && s <= 9 ? 5 : 3);
            da[s] = Byte(128, 20);
        }
        if (badUnit) ad[1] = Byte(55, 2);
        sim::SetWhiteReadings(p, ad, da);
        for (auto& b : p.blackResult) b = Byte(50, 8);
        for (int r = 0; r < 10; ++r) p.nonPaperResult[r] = Byte(100, 10);
        p.magSamples = {{Byte(58, 3.5), Byte(58, 6)}};
        p.motorSpeed = Byte(105, 4);
        return p;
    }

    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    int Range(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

private:
    uint8_t Byte(double mean, double sd) {
        const double v = std::normal_distribution<double>(mean, sd)(rng_);
        return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    }
    std::mt19937 rng_;
};

// How the operator ends a run.
enum class Ending { Walk, Cancel, Close };

// Runs one unit's run through the wizard into the scratch folder's file;
// the record's line, or empty.
std::string OneRun(const sim::Profile& profile, const std::string& scratch,
                   const std::string& serial, Ending ending, Line& line) {
    Bench b(profile, scratch, "station");
    GivenUnitId ids;
    ids.serial = serial;
    if (!serial.empty()) b.recorded.SetUnitIdSource(&ids);
    const int stopAt = ending == Ending::Walk ? 99 : line.Range(1, 8);
    for (int clicks = 0; clicks < 30; ++clicks) {
        const int16_t step = b.recorded.AdjStep();
        if (step == -1 || step == 11) break;
        if (clicks == stopAt) {
            ending == Ending::Cancel ? b.recorded.ExitClick() : b.recorded.WindowClosing();
            break;
        }
        if (step == 9) {
            for (int t = line.Range(1, 4); t > 0 && b.recorded.AdjStep() == 9; --t) {
                b.recorded.TimerTick();
            }
            if (b.recorded.AdjStep() != 9) break;
        }
        b.recorded.StartClick();
    }
    if (b.recorded.AdjStep() == 11) b.recorded.StartClick();  // "Change acceptor unit."
    if (b.recorded.AdjStep() == -1) b.recorded.ExitClick();   // Cancel after the failure
    const std::string file = b.log.FileFor(std::chrono::system_clock::now());
    std::string text;
    {
        std::ifstream in(file, std::ios::binary);
        std::getline(in, text);
    }
    fs::remove(file);
    return text;
}

// A format-2 line as format 1 wrote it.
std::string AsFormatOne(const std::string& line) {
    nlohmann::ordered_json r = nlohmann::ordered_json::parse(line);
    r["format"] = 1;
    for (const char* key : {"run_id", "station", "unit", "limits"}) r.erase(key);
    for (auto& item : r["items"]) item.erase("values");
    return r.dump();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: zul-record-gen FOLDER MEGABYTES [--seed N] [--stations N]\n";
        return 2;
    }
    const std::string folder = argv[1];
    const double megabytes = std::stod(argv[2]);
    uint32_t seed = 1;
    int stations = 8;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--seed") seed = static_cast<uint32_t>(std::stoul(argv[i + 1]));
        if (option == "--stations") stations = std::max(1, std::stoi(argv[i + 1]));
    }
    fs::create_directories(folder);
    const std::string scratch = (fs::path(fs::exists("/dev/shm") ? "/dev/shm" : "/tmp") /
                                 ("zul-record-gen-" + std::to_string(getpid())))
                                    .string();
    fs::create_directories(scratch);

    Line line(seed);
    const auto target = static_cast<uint64_t>(megabytes * 1024 * 1024);
    uint64_t written = 0, runs = 0;
    std::vector<uint64_t> serials(static_cast<size_t>(stations), 0);
    // Days of records: about 60 runs a station a day, so a 200 MB folder
    // holds a few months.
    const int64_t firstDay = 20458;  // 2026-01-05
    const int64_t formatOneDays = std::max<int64_t>(
        1, static_cast<int64_t>(target / (static_cast<uint64_t>(stations) * 60 * 5200) / 10));
    for (int64_t day = firstDay; written < target; ++day) {
        const std::string date = DateOf(day);
        const bool formatOne = day - firstDay < formatOneDays;
        for (int s = 0; s < stations && written < target; ++s) {
            const std::string station = "bench-" + std::to_string(s + 1);
            const bool scans = s != stations - 1;
            // Front Red's paper: new every 90 days, each station on its own.
            const double drift = 0.12 * static_cast<double>((day - firstDay + 11 * s) % 90);
            std::string out;
            int64_t clock = 8 * 3600 + line.Range(0, 600);
            for (int u = line.Range(50, 70); u > 0 && clock < 18 * 3600; --u) {
                const bool bad = line.Chance(0.004);
                char serial[32];
                std::snprintf(serial, sizeof serial, "ZU%c%07llu", 'A' + s,
                              static_cast<unsigned long long>(++serials[static_cast<size_t>(s)]));
                for (int attempt = 0; attempt < 4; ++attempt) {
                    sim::Profile profile = line.Draw(drift, bad);
                    Ending ending = Ending::Walk;
                    if (line.Chance(0.015))
                        profile.dropOffAfter = static_cast<uint32_t>(line.Range(1, 40));
                    if (line.Chance(0.01)) ending = Ending::Cancel;
                    if (line.Chance(0.003)) ending = Ending::Close;
                    std::string record =
                        OneRun(profile, scratch, scans ? serial : "", ending, line);
                    if (record.empty()) continue;
                    const nlohmann::json head = nlohmann::json::parse(record);
                    const double seconds = head.value("seconds", 12.0);
                    SetField(record, "start", Stamp(date, clock, line.Range(0, 999)));
                    clock += static_cast<int64_t>(seconds) + 1;
                    SetField(record, "end", Stamp(date, clock, line.Range(0, 999)));
                    SetField(record, "host", station);
                    SetField(record, "station", station);
                    if (formatOne) record = AsFormatOne(record);
                    out += record;
                    out += '\n';
                    ++runs;
                    clock += line.Range(40, 90);  // the next unit onto the bench
                    const std::string outcome = head.value("outcome", "");
                    // Complete, or given up after a third failure; a
                    // communication error or a stop is tried again.
                    if (outcome == "complete" || (outcome == "failed" && attempt >= 2)) break;
                    if (outcome == "failed" && !line.Chance(0.85)) break;  // scrapped
                }
            }
            std::ofstream file(fs::path(folder) / ("zul10-" + date + "-" + station + ".jsonl"),
                               std::ios::binary | std::ios::app);
            file << out;
            written += out.size();
        }
    }
    fs::remove_all(scratch);
    std::cout << "zul-record-gen: " << runs << " runs, " << written << " bytes in " << folder
              << "\n";
    return 0;
}
