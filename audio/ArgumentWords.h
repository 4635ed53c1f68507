// The item shell's word splitting.
#ifndef AUDIO_ARGUMENT_WORDS_H
#define AUDIO_ARGUMENT_WORDS_H

constexpr int kMaxArgumentWords = 256;

// Splits the NUL-terminated `text` in place into words separated by space,
// tab and LF (a CR is no separator: it stays in its word or forms one), logs
// each word and stores pointers to them in argv (room for kMaxArgumentWords)
// and their count in *argc. A null text has no words. Returns false, after an
// ERR line "bad argc number", when the text holds more words than argv can
// take; argv is never written past its end.
bool splitArgumentWords(char* text, char** argv, int* argc);

#endif  // AUDIO_ARGUMENT_WORDS_H
