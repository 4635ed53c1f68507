// A named command that holds commands of its own: a group in the tree. Its
// exec() routes the next word of the line among its children.
#ifndef COMMAND_SUB_COMMAND_BOX_H
#define COMMAND_SUB_COMMAND_BOX_H

#include "Command.h"
#include "CommandItem.h"

class SubCommandBox : public CommandItem, public Command {
public:
    // dispatch() among the children.
    int exec(char* text, int len, char* out, int outlen) override;

    // Does not pass the sink on to the children; a concrete group that needs
    // it keeps it itself. Returns 0.
    int setNotify(NotifyFunc fn, void* ctx) override;
};

#endif  // COMMAND_SUB_COMMAND_BOX_H
