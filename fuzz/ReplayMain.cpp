// Runs a fuzz target once on each input file (or every file in a folder)
// without libFuzzer: the corpus and any saved fault become tests of the
// plain and the sanitizer builds. Options starting with '-' are ignored, so
// the command line can be the one given to a libFuzzer build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        if (argv[i][0] == '-') continue;
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (const auto& entry : fs::directory_iterator(arg, ec))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
        } else {
            inputs.push_back(arg);
        }
    }
    // Read everything first: the target may change the working folder.
    std::vector<std::string> data;
    for (const fs::path& p : inputs) {
        std::ifstream in(p, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], p.string().c_str());
            return 1;
        }
        data.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (data.empty()) {
        std::fprintf(stderr, "%s: no inputs\n", argv[0]);
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const std::string& d : data)
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(d.data()), d.size());
    std::printf("%zu inputs ran\n", data.size());
    return 0;
}
