// Runs a fuzz target's LLVMFuzzerTestOneInput over corpus files, without
// libFuzzer: the regression test of every build. Arguments are files or
// directories (their regular files, in name order). A failing input aborts
// the run; the file's name is printed before it is run.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// False when the directory cannot be read.
bool listFiles(const std::string& dir, std::vector<std::string>* files) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return false;
    }
    std::vector<std::string> names;
    for (struct dirent* entry = readdir(d); entry != nullptr; entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && !isDirectory(dir + "/" + name)) {
            names.push_back(dir + "/" + name);
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    files->insert(files->end(), names.begin(), names.end());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (!isDirectory(argv[i])) {
            files.push_back(argv[i]);
        } else if (!listFiles(argv[i], &files)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
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
