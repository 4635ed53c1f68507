#include "ArgumentWords.h"

#include <cstring>

#include "LogLine.h"

bool splitArgumentWords(char* text, char** argv, int* argc) {
    *argc = 0;
    if (text == nullptr) {
        return true;
    }
    static const char kSeparators[] = " \t\n";
    char* position = nullptr;
    for (char* word = strtok_r(text, kSeparators, &position); word != nullptr;
         word = strtok_r(nullptr, kSeparators, &position)) {
        if (*argc == kMaxArgumentWords) {
            DSP_LOG(ERR, "AudioCommand", "exec", "bad argc number\n");
            return false;
        }
        DSP_LOG(INF, "AudioCommand", "exec", "argv[%d]=%s\n", *argc, word);
        argv[(*argc)++] = word;
    }
    return true;
}
