#pragma once
// What smftempo prints on stdout: the report of each file (--report,
// --dry-run) and --info, as text or as one JSON object per line (--json).

#include <string>

#include "Options.h"
#include "Pipeline.h"

void PrintReport(const ttCliOptions& options, const ttFileReport& report);

// A refused or failed file: a JSON line with the message (text reports
// leave it to the message on stderr).
void PrintRefusal(const ttCliOptions& options, const std::string& input,
                  const std::string& message);

void PrintInfo(const ttCliOptions& options, const std::string& input, const ttFileInfo& info);
