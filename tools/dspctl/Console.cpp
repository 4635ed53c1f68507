#include "Console.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "ExitCode.h"
#include "StopRequest.h"

namespace {

std::vector<std::string> splitWords(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    std::string word;
    while (stream >> word) {
        words.push_back(word);
    }
    return words;
}

}  // namespace

Console::Console(CommandRunner& runner, FILE* in, bool interactive, FILE* out, FILE* err)
    : mRunner(runner), mIn(in), mInteractive(interactive), mOut(out), mErr(err) {}

int Console::run() {
    int status = kExitOk;
    char* raw = nullptr;
    size_t capacity = 0;
    // A stop that came before the first line (while a simulated device
    // started) must not leave us waiting for input.
    while (!StopRequest::requested()) {
        if (mInteractive) {
            std::fputs("dsp> ", mOut);
        }
        std::fflush(mOut);
        const ssize_t length = getline(&raw, &capacity, mIn);
        if (length < 0 || StopRequest::requested()) {
            if (mInteractive) {
                std::fputs("\n", mOut);
            }
            break;
        }
        std::string line(raw, static_cast<size_t>(length));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        const std::vector<std::string> words = splitWords(line);
        if (words.empty() || words.front()[0] == '#') {
            continue;
        }
        if (!mInteractive) {
            std::fprintf(mOut, "dsp> %s\n", line.c_str());
        }
        if (words.front() == "quit" || words.front() == "exit") {
            break;
        }
        std::fflush(mOut);
        const int result = mRunner.run(words);
        std::fflush(mOut);
        std::fflush(mErr);
        if (result != kExitOk && status == kExitOk) {
            status = result;
        }
        if (StopRequest::requested()) {
            break;
        }
    }
    std::free(raw);
    return status;
}
