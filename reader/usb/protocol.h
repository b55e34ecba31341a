// The reader's serial protocol: its command bytes, its announcement, the
// sizes of its replies and how long a reply may take. Discovery and the
// activation and capture code both speak it.
#pragma once

// Single-byte commands to the reader.
constexpr unsigned char cmd_info = 'n';  // send the information reply
constexpr unsigned char cmd_start = 'l'; // start: announce each scan
constexpr unsigned char cmd_scan = 's';  // send the announced scan's frame
constexpr unsigned char cmd_stop = 'o';  // stop announcing
// The reader's announcement of a scan.
constexpr unsigned char scan_announcement = '!';

constexpr int reply_len = 32;                // information reply, checksum included
constexpr int frame_len = 4096;              // scan frame: two bytes per sample
constexpr int frame_samples = frame_len / 2; // samples delivered per scan
// Longest wait for the next bytes of an information reply: one second, in
// hundredths of a second.
constexpr int reply_tics = 100;
