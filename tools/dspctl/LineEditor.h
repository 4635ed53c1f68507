// Line editing at a terminal through libedit: the arrow keys move and recall
// (so their escape bytes never reach the device), history is kept in a file,
// Tab completes item names and keywords from the command table, and Ctrl-C
// clears the line being typed. The user's ~/.editrc applies.
// Not thread-safe; one editor at a time (it reads the terminal's signals
// through StopRequest).
#ifndef TOOLS_DSPCTL_LINE_EDITOR_H
#define TOOLS_DSPCTL_LINE_EDITOR_H

#include <cstdio>
#include <string>

typedef struct editline EditLine;
typedef struct history History;

class LineEditor {
public:
    enum Result {
        kLine,     // a line in *line, without its line feed
        kCleared,  // Ctrl-C: the line was dropped
        kEnd,      // Ctrl-D on an empty line, an error, or a stop request
    };

    // `in` is a terminal; the prompt and the echo go to `out`, a warning
    // about the history to `err`. `historyPath` "" keeps no history.
    LineEditor(FILE* in, FILE* out, FILE* err, const std::string& historyPath);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // False when libedit could not be set up on the terminal.
    bool ok() const { return mEditLine != nullptr; }

    Result read(std::string* line);

    // Adds `line` to the history and saves it; a history that cannot be
    // written is said once and then kept in memory only.
    void remember(const std::string& line);

    // $XDG_STATE_HOME/dspctl/history, else ~/.local/state/dspctl/history;
    // "" without either variable.
    static std::string defaultHistoryPath();

private:
    static unsigned char complete(EditLine* editLine, int key);
    static unsigned char clear(EditLine* editLine, int key);
    static int getChar(EditLine* editLine, wchar_t* c);
    static const char* prompt(EditLine* editLine);

    EditLine* mEditLine = nullptr;
    History* mHistory = nullptr;
    FILE* mIn;
    FILE* mOut;
    FILE* mErr;
    std::string mHistoryPath;
    bool mHistoryWarned = false;
    bool mCleared = false;
};

#endif  // TOOLS_DSPCTL_LINE_EDITOR_H
