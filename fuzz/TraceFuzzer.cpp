// Any bytes as a trace script, run by the trace tool itself, in process.
// A valid script may ask for two billion ticks; the fuzzer runs the script
// only up to a budget of steps (ticks and typed characters) and drops the
// lines beyond it, so every input ends in well under a second.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "Trace.h"
#include "app/replay/Script.h"

namespace {

constexpr long long kStepBudget = 3000;

std::FILE* devNull = nullptr;

// Steps one line would run, by the tool's own word rules; 0 for other
// lines (and for lines the tool rejects).
long long stepsOf(std::string_view line) {
    // The tool drops the line end and one carriage return before it.
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    ScriptReader reader;
    ScriptCommand c;
    if (reader.read(line, c)) return 0;
    if (c.kind == ScriptCommand::Char) return 1;
    return c.kind == ScriptCommand::Tick ? c.value : 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The tool reads and writes save.txt in the working folder: a private one.
    std::string dir = (std::filesystem::temp_directory_path() / "voidrunner-fuzz-XXXXXX").string();
    if (!mkdtemp(dir.data()) || chdir(dir.c_str()) != 0) std::abort();
    static const std::string workDir = dir;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(workDir, ec);
    });
    // One JSON line per tick is the tool's output; nobody reads it here.
    devNull = std::fopen("/dev/null", "w");
    if (!devNull) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string script;
    long long steps = 0;
    bool tooLong = false;  // such a line stops the tool with status 1
    for (size_t pos = 0; pos < input.size();) {
        size_t end = input.find('\n', pos);
        end = end == std::string_view::npos ? input.size() : end + 1;
        const std::string_view line = input.substr(pos, end - pos);
        tooLong |= line.size() > kMaxScriptLine;
        steps += stepsOf(line);
        if (steps > kStepBudget) break;
        script.append(line);
        pos = end;
    }
    // Each run starts from no save file, like a fresh folder.
    std::error_code ec;
    std::filesystem::remove("save.txt", ec);

    // The script comes as the tool's input stream, the way it reads standard
    // input when no file is named. fmemopen refuses an empty buffer.
    script.push_back('\n');
    std::FILE* in = fmemopen(script.data(), script.size(), "r");
    if (!in) std::abort();
    char name[] = "voidrunner-trace";
    char* argv[] = {name, nullptr};
    const int status = runTrace(1, argv, in, devNull, devNull);
    std::fclose(in);
    // 1 otherwise means the window could not be created or the output failed.
    if (status != 0 && status != 2 && !(status == 1 && tooLong)) std::abort();
    return 0;
}
