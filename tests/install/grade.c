/* A small verifier host on both libraries: finds and activates the reader
 * on one serial device, grades each scan it sends with libkestrel-verify
 * through the reader's calibration, and prints each scan's grade and the
 * symbol grade with the reader's wavelength.
 * Usage: grade DEVICE [SCANS [CALFILE]] */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <kestrel/kestrel.h>
#include <kestrel/verify.h>

#define MAX_SCANS 10

static readerinfo_t record;
static uint8_t samples[4096];
static size_t sample_count;
/* About 80 KB each: kept static, off the stack. */
static verify_scan_t graded[MAX_SCANS];
static int scans_done, failures;

static int quiet(const char *line) {
    (void)line;
    return 0;
}

/* Collects a scan's samples; grades the scan when it is complete. */
static int on_scan(unsigned char *buf, int count) {
    verify_scan_t *scan = &graded[scans_done];
    int i;
    if (count < 0) {
        failures++;
        return 0;
    }
    for (i = 0; i < count && sample_count < sizeof samples; i++)
        samples[sample_count++] = buf[i];
    if (count > 0 || scans_done == MAX_SCANS)
        return 0;
    if (verify_samples(samples, sample_count, record.calmin, record.calmax, NULL, scan) != VERIFY_OK) {
        printf("scan %d refused: %s\n", scans_done + 1, scan->failure);
        failures++;
        return 0;
    }
    scans_done++;
    printf("scan %d: %zu samples, grade %.1f %c, %s %s%s\n", scans_done, sample_count, scan->grade,
           scan->letter, verify_symbology_name(scan->symbology), scan->symbol, scan->failure);
    sample_count = 0;
    return 0;
}

int main(int argc, char **argv) {
    const char *names[1] = {"usbserial-0000example"};
    const char *paths[1];
    const char *calfile = argc > 3 ? argv[3] : "calibration.txt";
    int wanted = argc > 2 ? atoi(argv[2]) : 1;
    struct timespec pause = {0, 1000000}; /* 1 ms between polls */
    verify_options_t options = {0};
    verify_symbol_t symbol;
    time_t deadline;

    if (argc < 2 || wanted < 1 || wanted > MAX_SCANS) {
        fprintf(stderr, "usage: %s DEVICE [SCANS (1 to %d) [CALFILE]]\n", argv[0], MAX_SCANS);
        return 2;
    }
    paths[0] = argv[1];
    if (serial_registry_set(names, paths, 1) != 0 ||
        reader_find(quiet, calfile, "grade-settings.ini", 0) != RDR_OK) {
        fprintf(stderr, "no reader activated on %s\n", argv[1]);
        return 1;
    }
    reader_info(&record);

    reader_start(on_scan);
    deadline = time(NULL) + 10;
    while (scans_done < wanted && failures == 0 && time(NULL) < deadline) {
        reader_poll();
        nanosleep(&pause, NULL);
    }
    reader_stop();
    if (scans_done < wanted) {
        fprintf(stderr, "%d of %d scans graded\n", scans_done, wanted);
        return 1;
    }

    options.wavelength = record.Wavelength;
    if (verify_symbol(graded, scans_done, &options, &symbol) != VERIFY_OK) {
        fprintf(stderr, "symbol not graded: %s\n", symbol.failure);
        return 1;
    }
    printf("symbol %s: %s%s\n", symbol.symbol, symbol.notation, symbol.failure);
    return symbol.decoded_scans == scans_done ? 0 : 1;
}
