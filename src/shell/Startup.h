#pragma once

class TPrompt;

// The program from start to end: single-instance guard, connection, main
// window, message loop and teardown. Boxes go through the given prompt.
// Returns the process exit status.
int RunBookkeep(int &argc, char **argv, TPrompt &prompt);
