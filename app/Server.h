// The server's entry point: builds the command tree, runs the serial worker
// until its thread ends, tears everything down.
#ifndef APP_SERVER_H
#define APP_SERVER_H

// Runs the whole server; `argc`/`argv` as given to main. Returns 0 on every
// path (a port that cannot be opened ends the run too).
int serverMain(int argc, char** argv);

#endif  // APP_SERVER_H
