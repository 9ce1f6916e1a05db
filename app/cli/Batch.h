#pragma once
// Every input of the command line in turn: output names, the outputs this
// run wrote, one file's failure (running out of memory included) never
// stopping the others.

#include "Options.h"

// Converts (or inspects) every input; the exit status: 0 when every file
// went through, 1 when any was refused or failed.
int RunBatch(const ttCliOptions& options);
