// Runs a fuzz target's LLVMFuzzerTestOneInput over corpus files, without
// libFuzzer: the regression test of every build. Arguments are files or
// directories (their files); all run in name order. A failing input aborts
// the run; the file's name is printed before it is run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code error;
    for (int i = 1; i < argc && !error; ++i) {
        if (!fs::is_directory(argv[i], error)) files.emplace_back(argv[i]);
        for (fs::directory_iterator it(argv[i], error), end; !error && it != end;) {
            files.push_back(it->path());
            it.increment(error);
        }
        error = error == std::errc::not_a_directory ? std::error_code() : error;
    }
    std::sort(files.begin(), files.end());
    if (error || files.empty()) {
        std::fprintf(stderr, "no corpus files: %s\n", error.message().c_str());
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::fprintf(stderr, "%s\n", file.c_str());
        if (!in.good() && !in.eof()) return 1;
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs run, none failed\n", files.size());
    return 0;
}
