// The station file and the variables over it: what a bench is set up with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>

#include "mock/TemporaryDirectory.h"
#include "records/StationConfig.h"

namespace zul {
namespace {

using ::testing::ElementsAre;

// The environment of a test: only the variables named here are set.
VariableLookup Variables(std::map<std::string, std::string> set) {
    return [set = std::move(set)](const char* name) -> std::optional<std::string> {
        const auto it = set.find(name);
        if (it == set.end() || it->second.empty()) return std::nullopt;
        return it->second;
    };
}

TEST(StationConfig, EveryKeyCommentsBlanksAndLineEnds) {
    const std::string text =
        "\xEF\xBB\xBF# written by IT\r\n"
        "station = BENCH-07\r\n"
        "\r\n"
        "   # an indented comment\n"
        "records=\\\\benchserver\\records\n"
        "unit_id =   scan   \n"
        "unit_id_pattern = ^ZA[0-9]{6}#?$\n"
        "trace = /var/log/zul10 trace.txt";  // no line end at the end
    const StationConfig c = ParseStationConfig(text, "station.conf", Variables({}));
    EXPECT_TRUE(c.problems.empty()) << c.ProblemText();
    EXPECT_EQ(c.station, "BENCH-07");
    EXPECT_EQ(c.records, "\\\\benchserver\\records");
    EXPECT_TRUE(c.scanUnitId);
    EXPECT_EQ(c.unitIdPattern, "^ZA[0-9]{6}#?$");  // a "#" inside a value stays
    EXPECT_EQ(c.trace, "/var/log/zul10 trace.txt");
    EXPECT_EQ(c.file, "station.conf");
}

TEST(StationConfig, BadLinesAreNamedAndTheRestIsUsed) {
    const std::string text =
        "station = A\n"
        "recrods = /srv/records\n"
        "just some words\n"
        "unit_id = yes\n"
        "records = /srv/records\n"
        "\x1b[31m = 1\n";
    const StationConfig c = ParseStationConfig(text, "/etc/zul10/station.conf", Variables({}));
    EXPECT_THAT(c.problems,
                ElementsAre("/etc/zul10/station.conf:2: unknown key \"recrods\"",
                            "/etc/zul10/station.conf:3: no \"key = value\": just some words",
                            "/etc/zul10/station.conf:4: unit_id must be \"scan\" or \"off\", not "
                            "\"yes\"",
                            "/etc/zul10/station.conf:6: unknown key \"?[31m\""));
    EXPECT_EQ(c.station, "A");
    EXPECT_EQ(c.records, "/srv/records");
    EXPECT_FALSE(c.scanUnitId);
    const std::string box = c.ProblemText();
    EXPECT_NE(box.find("station.conf:2: unknown key"), std::string::npos);
    EXPECT_NE(box.find("station.conf:6:"), std::string::npos);
    EXPECT_EQ(box.find('\x1b'), std::string::npos);  // nothing of the file's controls
}

TEST(StationConfig, TheEnvironmentOverridesTheFile) {
    const std::string text = "station = FILE\nrecords = /file\nunit_id = scan\ntrace = /file.txt\n";
    const StationConfig c = ParseStationConfig(text, "s.conf",
                                               Variables({{"ZUL10_STATION", "ENV"},
                                                          {"ZUL10_RECORDS", "/env"},
                                                          {"ZUL10_UNIT_ID", "off"},
                                                          {"ZUL10_UNIT_ID_PATTERN", "A.*"},
                                                          {"ZUL10_TRACE", ""}}));
    EXPECT_EQ(c.station, "ENV");
    EXPECT_EQ(c.records, "/env");
    EXPECT_FALSE(c.scanUnitId);
    EXPECT_EQ(c.unitIdPattern, "A.*");
    EXPECT_EQ(c.trace, "/file.txt");  // an empty variable does not override
    EXPECT_TRUE(c.problems.empty());

    const StationConfig bad =
        ParseStationConfig("", "s.conf", Variables({{"ZUL10_UNIT_ID", "SCAN"}}));
    EXPECT_THAT(bad.problems,
                ElementsAre("ZUL10_UNIT_ID must be \"scan\" or \"off\", not \"SCAN\""));
}

TEST(StationConfig, ReadFromDisk) {
    test::TemporaryDirectory dir;
    // None at all: nothing is on, nothing to say.
    const StationConfig none = ReadStationConfig(dir.File("missing.conf"), Variables({}));
    EXPECT_TRUE(none.problems.empty());
    EXPECT_EQ(none.file, "");
    EXPECT_TRUE(none.records.empty());

    test::WriteFile(dir.File("station.conf"), "records = /srv/r\nbogus = 1\n");
    const StationConfig read = ReadStationConfig(dir.File("station.conf"), Variables({}));
    EXPECT_EQ(read.records, "/srv/r");
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_EQ(read.problems[0], dir.File("station.conf") + ":2: unknown key \"bogus\"");

    // A folder where the file should be is named, not taken for no file.
    std::filesystem::create_directory(dir.File("folder.conf"));
    const StationConfig folder = ReadStationConfig(dir.File("folder.conf"), Variables({}));
    ASSERT_EQ(folder.problems.size(), 1u);
    EXPECT_NE(folder.problems[0].find("cannot be read"), std::string::npos);

    // Something far too long to be a station file is not read as one.
    test::WriteFile(dir.File("huge.conf"), "records = /x\n" + std::string(100 * 1024, '#'));
    const StationConfig huge = ReadStationConfig(dir.File("huge.conf"), Variables({}));
    EXPECT_TRUE(huge.records.empty());
    ASSERT_EQ(huge.problems.size(), 1u);
    EXPECT_NE(huge.problems[0].find("64 KiB"), std::string::npos);
}

TEST(StationConfig, TheShippedExampleTurnsNothingOnAndEachOfItsSettingsWorks) {
    const std::string example = test::ReadFile(ZUL_SOURCE_DIR "/packaging/station.conf");
    ASSERT_FALSE(example.empty());
    const StationConfig shipped = ParseStationConfig(example, "station.conf", Variables({}));
    EXPECT_TRUE(shipped.problems.empty()) << shipped.ProblemText();
    EXPECT_TRUE(shipped.station.empty() && shipped.records.empty() && shipped.trace.empty() &&
                shipped.database.empty() && shipped.unitIdPattern.empty() && !shipped.scanUnitId);

    // Each commented setting, with its "#" taken away, is one that is used.
    std::string uncommented;
    int settings = 0;
    for (size_t at = 0; at < example.size();) {
        const size_t end = std::min(example.find('\n', at), example.size());
        std::string line = example.substr(at, end - at);
        if (line.size() > 1 && line[0] == '#' &&
            std::islower(static_cast<unsigned char>(line[1]))) {
            line.erase(0, 1);
            ++settings;
        }
        uncommented += line + "\n";
        at = end + 1;
    }
    const StationConfig all = ParseStationConfig(uncommented, "station.conf", Variables({}));
    EXPECT_EQ(settings, 6);
    EXPECT_TRUE(all.problems.empty()) << all.ProblemText();
    EXPECT_FALSE(all.station.empty() || all.records.empty() || all.trace.empty() ||
                 all.database.empty() || all.unitIdPattern.empty());
    EXPECT_TRUE(all.scanUnitId);
}

}  // namespace
}  // namespace zul
