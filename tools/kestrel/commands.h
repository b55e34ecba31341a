// The host program's commands: each has its options, made of named groups,
// and a run function that returns the exit status (0 done, 1 failed
// operation or a negative verdict, 2 bad use; see kestrel(1)).
#pragma once

#include "args.h"

namespace host {

option_group list_options();
option_group info_options();
option_group scan_options();
option_group calibrate_options();
option_group interpret_options();
option_group demo_options();

int run_list(const parsed_args &args);
int run_info(const parsed_args &args);
int run_scan(const parsed_args &args);
int run_calibrate(const parsed_args &args);
int run_interpret(const parsed_args &args);
int run_demo(const parsed_args &args);

// Exit status of interpret when no plug-in claims the symbol.
constexpr int status_unclaimed = 3;

} // namespace host
