#include "LineEditor.h"

#include <errno.h>
#include <histedit.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <sstream>
#include <vector>

#include "CommandTable.h"
#include "StopRequest.h"

namespace {

constexpr int kHistorySize = 1000;
constexpr wchar_t kCtrlC = 3;

LineEditor* editorOf(EditLine* editLine) {
    void* data = nullptr;
    el_get(editLine, EL_CLIENTDATA, &data);
    return static_cast<LineEditor*>(data);
}

// Makes every missing directory above `path`. Returns 0 or errno.
int makeParents(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string dir = path.substr(0, slash);
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    return 0;
}

}  // namespace

LineEditor::LineEditor(FILE* in, FILE* out, FILE* err, const std::string& historyPath)
    : mIn(in), mOut(out), mErr(err), mHistoryPath(historyPath) {
    mHistory = history_init();
    mEditLine = el_init("dspctl", in, out, err);
    if (mHistory == nullptr || mEditLine == nullptr) {
        return;
    }
    HistEvent event;
    history(mHistory, &event, H_SETSIZE, kHistorySize);
    history(mHistory, &event, H_SETUNIQUE, 1);
    if (!mHistoryPath.empty()) {
        history(mHistory, &event, H_LOAD, mHistoryPath.c_str());  // none yet is fine
    }
    el_set(mEditLine, EL_CLIENTDATA, this);
    el_set(mEditLine, EL_EDITOR, "emacs");
    el_set(mEditLine, EL_HIST, history, mHistory);
    el_set(mEditLine, EL_PROMPT, &LineEditor::prompt);
    el_set(mEditLine, EL_GETCFN, &LineEditor::getChar);
    el_source(mEditLine, nullptr);
    // After the user's settings, so that these keys keep their meaning here.
    // The wide form keeps the names as given (the narrow one copies them and
    // never frees the copies).
    el_wset(mEditLine, EL_ADDFN, L"dspctl-complete", L"complete an item or keyword",
            &LineEditor::complete);
    el_wset(mEditLine, EL_ADDFN, L"dspctl-clear", L"drop the line", &LineEditor::clear);
    el_set(mEditLine, EL_BIND, "^I", "dspctl-complete", nullptr);
    el_set(mEditLine, EL_BIND, "^C", "dspctl-clear", nullptr);
}

LineEditor::~LineEditor() {
    if (mEditLine != nullptr) {
        el_end(mEditLine);  // gives the terminal its settings back
    }
    if (mHistory != nullptr) {
        history_end(mHistory);
    }
}

std::string LineEditor::defaultHistoryPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/dspctl/history";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.local/state/dspctl/history";
    }
    return "";
}

const char* LineEditor::prompt(EditLine*) { return "dsp> "; }

// Reads the terminal itself, so that a SIGINT (which breaks the read) becomes
// the Ctrl-C key whether or not the terminal sent it as a signal.
int LineEditor::getChar(EditLine* editLine, wchar_t* c) {
    const int fd = fileno(editorOf(editLine)->mIn);
    std::mbstate_t state{};
    for (;;) {
        // One that came while no read waited.
        if (StopRequest::takeInterrupt()) {
            *c = kCtrlC;
            return 1;
        }
        char byte = 0;
        const ssize_t n = ::read(fd, &byte, 1);
        if (n < 0 && errno == EINTR) {
            if (StopRequest::requested()) {
                return -1;
            }
            continue;
        }
        if (n <= 0) {
            return n == 0 ? 0 : -1;
        }
        wchar_t wide = 0;
        const size_t used = std::mbrtowc(&wide, &byte, 1, &state);
        if (used == static_cast<size_t>(-2)) {
            continue;  // part of a character
        }
        *c = used == static_cast<size_t>(-1) ? static_cast<unsigned char>(byte) : wide;
        return 1;
    }
}

unsigned char LineEditor::clear(EditLine* editLine, int) {
    LineEditor* self = editorOf(editLine);
    self->mCleared = true;
    std::fputs("^C\r\n", self->mOut);
    std::fflush(self->mOut);
    return CC_NEWLINE;
}

unsigned char LineEditor::complete(EditLine* editLine, int) {
    LineEditor* self = editorOf(editLine);
    const LineInfo* info = el_line(editLine);
    const std::string before(info->buffer, info->cursor);
    std::istringstream stream(before);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    std::string partial;
    if (!before.empty() && before.back() != ' ' && before.back() != '\t') {
        partial = words.back();
        words.pop_back();
    }
    if (!words.empty() && words.front() == "dsp") {
        words.erase(words.begin());
    }
    std::vector<std::string> matches;
    for (const std::string& candidate : commandCompletions(words)) {
        if (candidate.compare(0, partial.size(), partial) == 0) {
            matches.push_back(candidate);
        }
    }
    if (matches.empty()) {
        return CC_REFRESH_BEEP;
    }
    std::string common = matches.front();
    for (const std::string& match : matches) {
        size_t same = 0;
        while (same < common.size() && same < match.size() && common[same] == match[same]) {
            ++same;
        }
        common.resize(same);
    }
    if (matches.size() == 1) {
        common += ' ';
    }
    if (common.size() > partial.size()) {
        el_insertstr(editLine, common.substr(partial.size()).c_str());
        return CC_REFRESH;
    }
    std::fputs("\r\n", self->mOut);
    for (const std::string& match : matches) {
        std::fprintf(self->mOut, "%s  ", match.c_str());
    }
    std::fputs("\r\n", self->mOut);
    return CC_REDISPLAY;
}

LineEditor::Result LineEditor::read(std::string* line) {
    mCleared = false;
    int count = 0;
    const char* text = el_gets(mEditLine, &count);
    if (mCleared) {
        return kCleared;
    }
    if (text == nullptr || count <= 0) {
        return kEnd;
    }
    line->assign(text, static_cast<size_t>(count));
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) {
        line->pop_back();
    }
    return kLine;
}

void LineEditor::remember(const std::string& line) {
    HistEvent event;
    history(mHistory, &event, H_ENTER, line.c_str());
    if (mHistoryPath.empty() || mHistoryWarned) {
        return;
    }
    int error = makeParents(mHistoryPath);
    if (error == 0) {
        errno = 0;
        if (history(mHistory, &event, H_SAVE, mHistoryPath.c_str()) < 0) {
            error = errno != 0 ? errno : EIO;
        }
    }
    if (error != 0) {
        mHistoryWarned = true;
        std::fprintf(mErr,
                     "dspctl: warning: cannot write the history file %s: %s; this "
                     "session's lines are kept until it ends\n",
                     mHistoryPath.c_str(), std::strerror(error));
    }
}
