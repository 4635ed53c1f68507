#include "SubCommandBox.h"

int SubCommandBox::exec(char* text, int len, char* out, int outlen) {
    return dispatch(text, len, out, outlen);
}

int SubCommandBox::setNotify(NotifyFunc, void*) { return 0; }
