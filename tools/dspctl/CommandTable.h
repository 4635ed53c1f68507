// The items of the "dsp" group as dspctl knows them: each item's forms, the
// kind and range of every word, and what the server does with a value it
// takes but cannot store as typed. This one table drives the help texts, the
// refusal of lines the server would not carry out, the warnings for values it
// would store otherwise, the likely reason of a "[fail]", completion, and the
// range checks of state files.
//
// Words never include the leading "dsp". dspctl's own commands (sync and
// hfsync with their options, getmp, mpbin FILE, store, restore, diff) are in
// the table too, so that help and completion list them.
// Pure functions over constant data; safe from any thread.
#ifndef TOOLS_DSPCTL_COMMAND_TABLE_H
#define TOOLS_DSPCTL_COMMAND_TABLE_H

#include <string>
#include <vector>

struct CommandCheck {
    enum Verdict {
        kAccepted,  // the server stores it as typed
        kWarning,   // the server takes it but stores something else: see `message`
        kRefused,   // the server would not carry it out (or not answer): see `message`
    };
    Verdict verdict = kRefused;
    // For kWarning, what the device will store ("volume 300 is outside 0 to
    // 255: the device sets 0"); for kRefused, why ("eq takes 4 words after
    // the item: eq gain|cf|q BAND VALUE CHANNEL"). Empty for kAccepted.
    std::string message;
};

// Checks a command's words, as typed to dspctl (dspctl's own commands and
// their options included), against the table. A line that names no item or
// has the wrong word count is kRefused; so is a channel, band or keyword the
// server would fail, and a line of more words than the server splits. A
// number the server would set to 0, wrap, saturate or read partly ("5x" as
// 5) is kWarning, with every such word in `message` ("; " between them).
CommandCheck checkCommand(const std::vector<std::string>& words);

// After a "[fail]" reply to `words` (the words of the line sent, after
// "dsp"): the first check of the server's own order that the line fails,
// named from the table ("channel 6 is out of range 0 to 5"), or "" when the
// line passes them all (the device's own operation failed, which only its
// log tells). Never claims more than the table can tell.
std::string likelyFailReason(const std::vector<std::string>& words);

// Every item with its forms, one per line ("cvol CHANNEL GAIN", ...).
std::string commandHelp();
// One item explained: its forms, each word's range, what is stored when a
// value is out of range. "" when `item` names no item.
std::string commandHelp(const std::string& item);

// The words that may follow `words` (item names for none, keywords after an
// item, ...), for tab completion; empty where a free value comes next.
std::vector<std::string> commandCompletions(const std::vector<std::string>& words);

// The line the server gets for `words`: "dsp WORDS...\n".
std::string commandLine(const std::vector<std::string>& words);

// One valid command line (words) for every form of every server item, for
// checking the table against the server.
std::vector<std::vector<std::string>> commandExamples();

#endif  // TOOLS_DSPCTL_COMMAND_TABLE_H
