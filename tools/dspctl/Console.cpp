#include "Console.h"

#include <cstdlib>
#include <sstream>
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

Console::Console(CommandRunner& runner, LineEditor* editor, FILE* in, FILE* out, FILE* err)
    : mRunner(runner), mEditor(editor), mIn(in), mOut(out), mErr(err) {}

bool Console::refuseControlBytes(const std::string& line, FILE* err) {
    for (unsigned char c : line) {
        if ((c < 0x20 && c != '\t') || c == 0x7f) {
            std::fprintf(err,
                         "dspctl: line refused: it holds the control byte 0x%02x%s; nothing sent\n",
                         static_cast<unsigned>(c),
                         c == 0x1b ? " (an escape sequence: an arrow or function key?)" : "");
            return true;
        }
    }
    return false;
}

bool Console::readLine(std::string* line, bool* cleared) {
    *cleared = false;
    if (mEditor != nullptr) {
        const LineEditor::Result result = mEditor->read(line);
        *cleared = result == LineEditor::kCleared;
        return result != LineEditor::kEnd;
    }
    char* raw = nullptr;
    size_t capacity = 0;
    const ssize_t length = getline(&raw, &capacity, mIn);
    if (length >= 0) {
        line->assign(raw, static_cast<size_t>(length));
        while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) {
            line->pop_back();
        }
    }
    std::free(raw);
    return length >= 0;
}

int Console::run() {
    int status = kExitOk;
    // A stop that came before the first line (while a simulated device
    // started) must not leave us waiting for input.
    while (!StopRequest::requested()) {
        std::fflush(mOut);
        std::string line;
        bool cleared = false;
        if (!readLine(&line, &cleared) || StopRequest::requested()) {
            if (mEditor != nullptr) {
                std::fputs("\n", mOut);
            }
            break;
        }
        StopRequest::takeInterrupt();  // one that came as the line ended is spent
        const std::vector<std::string> words = splitWords(line);
        if (cleared || words.empty() || words.front()[0] == '#') {
            continue;
        }
        if (mEditor != nullptr) {
            mEditor->remember(line);
        }
        if (words.front() == "quit" || words.front() == "exit") {
            break;
        }
        const int result =
            refuseControlBytes(line, mErr) ? static_cast<int>(kExitUsage) : mRunner.run(words);
        std::fflush(mOut);
        std::fflush(mErr);
        StopRequest::takeInterrupt();  // it abandoned that command's wait only
        if (result != kExitOk && status == kExitOk) {
            status = result;
        }
    }
    return status;
}
