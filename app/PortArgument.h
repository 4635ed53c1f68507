// The serial port number from the command line.
#ifndef APP_PORT_ARGUMENT_H
#define APP_PORT_ARGUMENT_H

constexpr int kDefaultPort = 1;

// With exactly one argument, its leading decimal number (strtod, fractions
// truncated toward zero: 2.9 gives 2); a text without a number, a number
// outside the int range, an infinity or a NaN gives 0. With no argument or
// more than one, kDefaultPort.
int portFromArguments(int argc, char** argv);

#endif  // APP_PORT_ARGUMENT_H
