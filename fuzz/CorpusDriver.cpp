// Runs a fuzz target's LLVMFuzzerTestOneInput over corpus files, without
// libFuzzer: the regression test of every build. Arguments are files or
// directories (their regular files, in name order). A failing input aborts
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
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (!fs::is_directory(argv[i], error)) {
            files.push_back(argv[i]);
            continue;
        }
        std::vector<std::string> names;
        for (fs::directory_iterator it(argv[i], error), end; !error && it != end;
             it.increment(error)) {
            if (it->is_regular_file()) names.push_back(it->path().string());
        }
        if (error) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        std::sort(names.begin(), names.end());
        files.insert(files.end(), names.begin(), names.end());
    }
    if (files.empty()) {
        std::fprintf(stderr, "no corpus files given\n");
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot open %s\n", file.c_str());
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        std::fprintf(stderr, "%s\n", file.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs run, none failed\n", files.size());
    return 0;
}
