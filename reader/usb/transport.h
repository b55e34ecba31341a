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

// Opens reader_usb_open's way: 0, 69 or 74, or usb_open_in_use when another
// process holds the device (which reader_usb_open reports as 74).
constexpr int usb_open_in_use = -74;
int usb_open_slot(int devnum);

// Opens, locks and configures a serial device; a non-blocking descriptor
// held for this process alone, or -1 (errno EBUSY: another process holds it).
int OpenSerialPort(const char *bsdPath);
// Restores the saved line settings and closes the descriptor.
void CloseSerialPort(int fd);
// Reads exactly n bytes, polling; n, or -1 after a second without input.
int getbytes(int fd, int n, unsigned char *buf);
