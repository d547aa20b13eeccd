// Any bytes as a trace script, run by the trace tool itself, in process.
// A valid script may ask for two billion ticks; the fuzzer runs the script
// only up to a budget of steps (ticks and typed characters) and drops the
// lines beyond it, so every input ends in well under a second.
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

int voidrunnerTraceMain(int argc, char** argv);

namespace {

constexpr long long kStepBudget = 3000;

std::string scriptPath;

// The tool's own word rules: blanks and tabs separate words.
std::string_view firstWord(std::string_view line, std::string_view& rest) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string_view::npos) return {};
    const size_t end = std::min(line.find_first_of(" \t", i), line.size());
    rest = line.substr(end);
    return line.substr(i, end - i);
}

// Steps one line would run; 0 for other lines (and for lines the tool rejects).
long long stepsOf(std::string_view line) {
    std::string_view rest;
    const std::string_view cmd = firstWord(line, rest);
    if (cmd == "char") return 1;
    if (cmd != "tick") return 0;
    std::string_view more;
    const std::string_view count = firstWord(rest, more);
    if (count.empty()) return 1;
    long long n = 0;
    auto [ptr, ec] = std::from_chars(count.data(), count.data() + count.size(), n);
    return ec == std::errc() && n > 0 ? n : 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string dir = (std::filesystem::temp_directory_path() / "voidrunner-fuzz-XXXXXX").string();
    if (!mkdtemp(dir.data()) || chdir(dir.c_str()) != 0) std::abort();
    scriptPath = dir + "/script";
    // One JSON line per tick is the tool's output; nobody reads it here.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string script;
    long long steps = 0;
    for (size_t pos = 0; pos < input.size();) {
        size_t end = input.find('\n', pos);
        end = end == std::string_view::npos ? input.size() : end + 1;
        const std::string_view line = input.substr(pos, end - pos);
        steps += stepsOf(line);
        if (steps > kStepBudget) break;
        script.append(line);
        pos = end;
    }
    {
        std::ofstream out(scriptPath, std::ios::binary | std::ios::trunc);
        out << script;
    }
    // Each run starts from no save file, like a fresh folder.
    std::error_code ec;
    std::filesystem::remove("save.txt", ec);

    // The script comes on standard input, the way the tool reads it when no
    // file is named.
    if (!std::freopen(scriptPath.c_str(), "r", stdin)) std::abort();
    std::cin.clear();
    char name[] = "voidrunner-trace";
    char* argv[] = {name, nullptr};
    const int status = voidrunnerTraceMain(1, argv);
    if (status != 0 && status != 2) std::abort();  // 1: the window could not be created
    return 0;
}
