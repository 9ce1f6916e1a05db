#pragma once
// What smftempo prints on stdout: the report of each file (--report,
// --dry-run) and --info, as text or as one JSON object per line (--json).

#include <string>

#include "Options.h"
#include "Pipeline.h"

void PrintReport(const ttCliOptions& options, const ttFileReport& report);

// A refused or failed file: a JSON line with the message and the hint that
// followed it, if any (text reports leave both to stderr).
void PrintRefusal(const ttCliOptions& options, const std::string& input, const std::string& message,
                  const std::string& hint);

void PrintInfo(const ttCliOptions& options, const std::string& input, const ttFileInfo& info);
