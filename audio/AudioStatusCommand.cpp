#include "AudioStatusCommand.h"

int AudioStatusCommand::exec_i(char**, int, char* out, int outlen) { return replyOk(out, outlen); }
