// The run's JSON document (--json): one per run, filled by the command and
// written when the program ends, with its exit status and error.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "analysis.h"
#include "kestrel/kestrel.h"
#include "plugins.h"

namespace host {

using json = nlohmann::ordered_json;

// The document being filled; starts as {"command": ...}.
json &report();
void report_begin(const std::string &command);
// Adds "status" and, when it is not 0, "error", then writes the document.
std::string report_text(int status, const std::string &error);

// The record's fields under their names, texts in UTF-8, and "calibrated".
json record_json(const readerinfo_t &rec);
// A reader: its id, port and record.
json reader_json(int id, const std::string &port, const readerinfo_t &rec);
// The graded parameters, their grades, the decode and the scan grade.
json grade_json(const profile_analysis &a);
// Each module's answer: module, result, verdict, name and text in UTF-8.
json answers_json(const std::vector<module_answer> &answers);

} // namespace host
