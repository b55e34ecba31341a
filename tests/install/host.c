/* A complete small host of libkestrel: points the library at one serial
 * device, finds and activates the reader there, waits for scans, prints the
 * reflectance range of each, and stops the reader.
 * Usage: host DEVICE [SCANS [CALFILE]] */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <kestrel/kestrel.h>

static readerinfo_t record; /* copy of the active reader's record */
static int scans_done, failures;
static int lowest = 255, highest = 0, samples_seen;

/* Status lines arrive with their indentation (one space per level). */
static int show_status(const char *line) {
    printf("status: %s\n", line);
    return 0;
}

/* Calibrated reflectance of one 8-bit sample, limited to 0..1. */
static double reflectance(int sample) {
    double span = (double)record.calmax - (double)record.calmin;
    double r;
    if (span == 0)
        return 0;
    r = (256.0 * sample - record.calmin) / span;
    return r < 0 ? 0 : r > 1 ? 1 : r;
}

/* Scan data: count > 0 samples, then count 0 when the scan is complete;
 * a negative count is a failure. Runs inside reader_poll, on this thread. */
static int on_scan(unsigned char *buf, int count) {
    int i;
    if (count < 0) {
        printf("scan failed: %d\n", count);
        failures++;
        return 0;
    }
    if (count == 0) {
        scans_done++;
        printf("scan %d: %d samples, raw %d..%d, reflectance %.3f..%.3f\n", scans_done, samples_seen, lowest,
               highest, reflectance(lowest), reflectance(highest));
        lowest = 255;
        highest = samples_seen = 0;
        return 0;
    }
    for (i = 0; i < count; i++) {
        if (buf[i] < lowest)
            lowest = buf[i];
        if (buf[i] > highest)
            highest = buf[i];
    }
    samples_seen += count;
    return 0;
}

int main(int argc, char **argv) {
    const char *names[1] = {"usbserial-0000example"};
    const char *paths[1];
    const char *calfile = argc > 3 ? argv[3] : "calibration.txt";
    int wanted = argc > 2 ? atoi(argv[2]) : 1;
    struct timespec pause = {0, 1000000}; /* 1 ms between polls */
    time_t deadline;
    int r;

    if (argc < 2 || wanted < 1) {
        fprintf(stderr, "usage: %s DEVICE [SCANS [CALFILE]]\n", argv[0]);
        return 2;
    }
    /* Discovery probes this device instead of the system's serial ports. */
    paths[0] = argv[1];
    if (serial_registry_set(names, paths, 1) != 0) {
        fprintf(stderr, "device path too long: %s\n", argv[1]);
        return 2;
    }

    r = reader_find(show_status, calfile, "host-settings.ini", 0);
    if (r != RDR_OK) {
        fprintf(stderr, "no reader activated: error %d\n", r);
        return 1;
    }
    reader_info(&record);
    printf("reader %04X: %u samples per scan, calibration %04x..%04x\n", (unsigned)record.SerialNumber,
           (unsigned)record.NumOfSamples, (unsigned)record.calmin, (unsigned)record.calmax);

    /* The reader announces each scan; every poll reads at most one byte and
     * returns at once, so the host paces the loop and bounds the wait. */
    reader_start(on_scan);
    deadline = time(NULL) + 10;
    while (scans_done < wanted && failures == 0 && time(NULL) < deadline) {
        reader_poll();
        nanosleep(&pause, NULL);
    }
    reader_stop();

    if (scans_done < wanted) {
        fprintf(stderr, "%d of %d scans received\n", scans_done, wanted);
        return 1;
    }
    return 0;
}
