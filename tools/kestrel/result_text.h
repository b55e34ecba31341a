// Human meanings of libkestrel's result codes, for every error line.
#pragma once

#include <string>

namespace host {

// The meaning of a result code; "unknown result code" for any other value.
const char *result_text(int code);
// "meaning (code)", as error lines show it.
std::string describe_result(int code);

} // namespace host
