// The system's log-line convention: every log line is one audioPrint() call
// with a level prefix, an empty tag, the issuing module and function, and the
// source line. Messages end in "\n".
#ifndef COMMAND_LOG_LINE_H
#define COMMAND_LOG_LINE_H

#include "AudioPrint.h"

#define DSP_LOG_PREFIX_INF "<1>[%s %s %s %d] INF: "
#define DSP_LOG_PREFIX_WRN "<2>[%s %s %s %d] WRN: "
#define DSP_LOG_PREFIX_ERR "<3>[%s %s %s %d] ERR: "
#define DSP_LOG_PREFIX_BUG "<4>[%s %s %s %d] BUG: "

// DSP_LOG(ERR, "UartWorker", "open_uart", "open device fail\n");
#define DSP_LOG(level, module, func, ...) \
    audioPrint(DSP_LOG_PREFIX_##level, "", module, func, __LINE__, __VA_ARGS__)

#endif  // COMMAND_LOG_LINE_H
