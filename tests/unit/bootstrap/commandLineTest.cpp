#include "bootstrap/commandLine.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

EngineCommandLine parse(const std::string& raw) {
    auto arguments = splitCommandLine(raw);
    arguments.erase(arguments.begin());
    return parseEngineCommandLine(arguments, raw);
}

} // namespace

TEST(CommandLine, SplitsByTheWindowsRules) {
    struct Case {
        const char* raw;
        std::vector<std::string> arguments;
    } cases[] = {
        {"setup.exe", {"setup.exe"}},
        {"\"C:\\Program Files\\setup.exe\" /s", {"C:\\Program Files\\setup.exe", "/s"}},
        {"setup.exe   a\tb", {"setup.exe", "a", "b"}},
        {"setup.exe \"TARGETDIR=C:\\My Apps\\\"", {"setup.exe", "TARGETDIR=C:\\My Apps\""}},
        {"setup.exe \"TARGETDIR=C:\\My Apps\\\\\"", {"setup.exe", "TARGETDIR=C:\\My Apps\\"}},
        {"setup.exe a\\\\b \"\"", {"setup.exe", "a\\\\b", ""}},
        {"setup.exe \"say \"\"hi\"\"\"", {"setup.exe", "say \"hi\""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitCommandLine(c.raw), c.arguments) << c.raw;
}

TEST(CommandLine, SilentOnlyForTheWholeSwitch) {
    struct Case {
        const char* raw;
        bool silent, noWindows;
    } cases[] = {
        {"setup.exe /S", true, false},           {"setup.exe -QN", true, false},
        {"setup.exe /qn", true, false},          {"setup.exe /silent", false, false},
        {"setup.exe s", false, false},           {"setup.exe /update", false, true},
        {"setup.exe -UpdateSetup", false, true}, {"setup.exe /updates", false, false},
    };
    for (const auto& c : cases) {
        auto line = parse(c.raw);
        EXPECT_EQ(line.silent, c.silent) << c.raw;
        EXPECT_EQ(line.noStartupWindows, c.noWindows) << c.raw;
    }
}

TEST(CommandLine, ValueSwitchesDropTheFirstThreeCharactersOfTheLoweredArgument) {
    struct Case {
        const char* raw;
        std::string log, group, launcher, source;
    } cases[] = {
        {"setup.exe /l=C:\\Log.txt", "c:\\log.txt", "", "", ""},
        {"setup.exe x/l=C:\\Log.txt", "=c:\\log.txt", "", "", ""},
        {"setup.exe -L=D:\\A.LOG /L=ignored", "d:\\a.log", "", "", ""},
        {"setup.exe /G=\\\\Srv\\Policy /M=C:\\Run.EXE -p=E:\\Media", "", "\\\\srv\\policy", "c:\\run.exe",
         "e:\\media"},
        {"setup.exe -g=not-a-group-switch", "", "", "", ""},
        {"setup.exe /l=", "", "", "", ""},
    };
    for (const auto& c : cases) {
        auto line = parse(c.raw);
        EXPECT_EQ(line.logPath, c.log) << c.raw;
        EXPECT_EQ(line.groupPolicyPath, c.group) << c.raw;
        EXPECT_EQ(line.launcherPath, c.launcher) << c.raw;
        EXPECT_EQ(line.sourcePath, c.source) << c.raw;
    }
}

TEST(CommandLine, PairsKeepOrderDuplicatesAndValueCase) {
    auto line = parse("setup.exe targetdir=C:\\Apps /s Mode=Full=Yes targetdir=D:\\ /X=1 -Y=2 =empty");
    std::vector<std::pair<std::string, std::string>> expected = {
        {"TARGETDIR", "C:\\Apps"}, {"MODE", "Full=Yes"}, {"TARGETDIR", "D:\\"}, {"", "empty"}};
    EXPECT_EQ(line.overrides, expected);
    EXPECT_TRUE(line.silent);
}

TEST(CommandLine, RestDropsTheProgramName) {
    struct Case {
        const char* raw;
        const char* rest;
    } cases[] = {
        {"\"C:\\Setup Files\\setup.exe\" /s A=1", "/s A=1"},
        {"\"C:\\setup.exe\"", ""},
        {"C:\\setup.exe /s  A=1", "/s  A=1"},
        {"C:\\setup.exe", ""},
        {"\"unterminated", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(commandLineRest(c.raw), c.rest) << c.raw;
}
