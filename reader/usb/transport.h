// Serial transport internals shared with discovery, the reader protocol and
// the tests: the channel's descriptor, the reader path table, the saved line.
#pragma once

#include <termios.h>

constexpr int usb_path_slots = 4;   // reader indexes 0..3
constexpr int usb_path_size = 1024; // a path with its NUL

// Descriptor of the open channel; -1 while no channel is open.
extern int fileDescriptor;
// Device path of each reader index; an empty text is an empty slot.
extern char bsdPaths[usb_path_slots][usb_path_size];
// Line settings the device had when the channel was opened, put back on close.
extern struct termios gOriginalTTYAttrs;

// Opens and configures a serial device; a non-blocking descriptor, or -1.
int OpenSerialPort(const char *bsdPath);
// Restores the saved line settings and closes the descriptor.
void CloseSerialPort(int fd);
// Reads exactly n bytes, polling; n, or the failing read's negative result
// after about a second without input.
int getbytes(int fd, int n, unsigned char *buf);
