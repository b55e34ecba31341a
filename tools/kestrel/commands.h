// The host program's commands: each has an option table and a run function
// that returns the exit status (0 done, 1 failed operation, 2 bad use).
#pragma once

#include <vector>

#include "args.h"

namespace host {

std::vector<option_spec> list_specs();
std::vector<option_spec> scan_specs();
std::vector<option_spec> info_specs();
std::vector<option_spec> calibrate_specs();
std::vector<option_spec> interpret_specs();
std::vector<option_spec> demo_specs();

int run_list(const parsed_args &args);
int run_scan(const parsed_args &args);
int run_info(const parsed_args &args);
int run_calibrate(const parsed_args &args);
int run_interpret(const parsed_args &args);
int run_demo(const parsed_args &args);

} // namespace host
