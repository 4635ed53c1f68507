// A container of named commands that routes a command text by its first word.
#ifndef COMMAND_COMMAND_H
#define COMMAND_COMMAND_H

#include <list>

#include "CommandItem.h"

class Command {
public:
    Command() = default;
    // Deletes every child, in the order they were added.
    virtual ~Command();

    // Appends `item` and takes ownership of it: returns 1. Returns 0 and
    // leaves ownership with the caller for a null item, a null name, or a
    // name already taken by a child (case-sensitive).
    virtual int add(CommandItem* item);

    // Routes `len` bytes of `text` to the child named by its first word
    // (blanks are space, tab, LF and CR; a word is cut after 64 bytes) and
    // returns that child's exec() result, called with the text after the
    // word. Returns -1 when no child has that name. Allocates nothing.
    virtual int dispatch(char* text, int len, char* out, int outlen);

    // Hands the reply sink to every child in order. Returns 0.
    virtual int setNotify(NotifyFunc fn, void* ctx);

    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

private:
    std::list<CommandItem*> mChildren;  // owned, in the order added
};

#endif  // COMMAND_COMMAND_H
