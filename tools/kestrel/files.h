// Files of the host program: default locations, directories, the output
// files of a command (checked before any work, "-" for standard output),
// and scans read back from CSV.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// $XDG_CONFIG_HOME/kestrel/NAME when that variable holds an absolute path,
// otherwise $HOME/.config/kestrel/NAME.
std::string config_file(const std::string &name);
// Creates a directory and its missing parents; false with the system's
// reason when it does not exist as a directory afterwards.
bool make_dirs(const std::string &dir, std::string &error);
// Everything before the last "/", or "." when there is none.
std::string dir_of(const std::string &path);

// An output a command writes: the option that named it and its path.
struct output_file {
    std::string option; // e.g. "csv"
    std::string path;   // "-" is standard output
    bool to_stdout() const { return path == "-"; }
};

// Checks outputs before any work: each file's directory exists and may be
// written, a file already there is a file that may be written, and at most
// one output is standard output. False with a reason naming the option.
bool check_outputs(const std::vector<output_file> &outputs, std::string &error);

// Writes the whole content; false with the system's reason.
bool write_output(const output_file &out, const std::string &content, std::string &error);

// The samples of a scan from a CSV file as profile_csv writes it (a header
// line, then "index,sample,..." rows). False with a reason.
bool read_csv_samples(const std::string &path, std::vector<uint8_t> &samples, std::string &error);

} // namespace host
