#pragma once

// Builds the program's objects in order, runs the message loop until the
// main window ends the program, and returns the exit code.
int runTessivox(int argc, char **argv);
