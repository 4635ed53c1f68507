#include "Command.h"

#include <cstring>

namespace {

// Only these four separate words; a NUL is an ordinary byte.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

constexpr int kMaxWord = 64;

}  // namespace

Command::~Command() {
    for (CommandItem* child : mChildren) {
        delete child;
    }
    mChildren.clear();
}

int Command::add(CommandItem* item) {
    if (item == nullptr) {
        return 0;
    }
    const char* name = item->name();
    if (name == nullptr) {
        return 0;
    }
    for (CommandItem* child : mChildren) {
        if (std::strcmp(child->name(), name) == 0) {
            return 0;
        }
    }
    mChildren.push_back(item);
    return 1;
}

int Command::dispatch(char* text, int len, char* out, int outlen) {
    char word[kMaxWord + 1] = {};
    int skipped = 0;
    int remaining = text == nullptr ? 0 : len;
    while (remaining > 0 && isBlank(text[skipped])) {
        ++skipped;
        --remaining;
    }
    int taken = 0;
    while (taken < remaining && taken < kMaxWord && !isBlank(text[skipped + taken])) {
        word[taken] = text[skipped + taken];
        ++taken;
    }
    for (CommandItem* child : mChildren) {
        if (std::strcmp(child->name(), word) == 0) {
            char* rest = text == nullptr ? nullptr : text + skipped + taken;
            return child->exec(rest, remaining - taken, out, outlen);
        }
    }
    return -1;
}

int Command::setNotify(NotifyFunc fn, void* ctx) {
    for (CommandItem* child : mChildren) {
        child->setNotify(fn, ctx);
    }
    return 0;
}
