// The interpreter's own cost: runs a long script of simple commands with the engine's
// before-command refreshes and without them, and prints commands per second for both and the share
// of each command that the refreshes take. Usage: interpreterBench [COMMANDS] [ROUNDS]
#include "bootstrap/engineState.h"
#include "script/engineCommands.h"
#include "script/engineHost.h"
#include "script/scriptInterpreter.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace quillon;

namespace {

struct Lists {
    StringList commands, keys, flags, media, store;
};

// Set Variable commands that substitute a reference each, as scripts mostly do.
Lists simpleScript(size_t count) {
    Lists s;
    for (size_t i = 0; i < count; ++i) {
        s.commands.push_back("Set Variable");
        s.keys.push_back("{" + std::to_string(i) + "}");
        s.flags.emplace_back();
        s.media.emplace_back();
        s.store.push_back(s.keys.back());
        s.store.push_back("VALUE" + std::to_string(i % 16));
        s.store.push_back("$TITLE$ step " + std::to_string(i));
    }
    return s;
}

double seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

double medianRun(const ScriptModel& script, InterpreterHost& host, EngineHost* engineHost, int rounds) {
    StringList noHeaders;
    CommandHeaders headers(noHeaders);
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        TVariableManager store;
        store.put("TITLE", "Benchmark");
        store.put("SILENT", "TRUE");
        ScriptInterpreter interpreter(script, headers, store, engineCommands(), host);
        if (engineHost) engineHost->attach(interpreter);
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        interpreter.run();
        QueryPerformanceCounter(&end);
        times.push_back(seconds(start, end));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (count == 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: interpreterBench [COMMANDS] [ROUNDS]\n");
        return 2;
    }
    engine().manifest = std::make_unique<SetupManifest>();
    Lists lists = simpleScript(count);
    ScriptModel script(lists.commands, lists.keys, lists.flags, lists.media, {&lists.store});

    InterpreterHost bare;
    EngineHost engineHost;
    double without = medianRun(script, bare, nullptr, rounds);
    double with = medianRun(script, engineHost, &engineHost, rounds);
    std::printf("commands                      %zu (median of %d runs)\n", count, rounds);
    std::printf("without refreshes             %.0f commands/s\n", double(count) / without);
    std::printf("with the engine's refreshes   %.0f commands/s\n", double(count) / with);
    std::printf("refreshes' share per command  %.1f %% (%.2f us of %.2f us)\n",
                100.0 * (with - without) / with, 1e6 * (with - without) / double(count),
                1e6 * with / double(count));
    return 0;
}
