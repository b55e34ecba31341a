// Human meanings of libkestrel's result codes: one table, RDR_* to text.
#include "result_text.h"

#include "kestrel/kestrel.h"

namespace host {

namespace {

struct code_text {
    int code;
    const char *text;
};

constexpr code_text meanings[] = {
    {RDR_OK, "success"},
    // control dispatch and the control API
    {RDR_UNSUPPORTED, "not supported on this connection"},
    {RDR_NOT_DRIVEN, "this connection class is not driven"},
    {RDR_NO_READER, "no reader is active"},
    {RDR_NONE_FOUND, "no reader found"},
    {RDR_NO_RECORD, "no reader is current"},
    {RDR_NOT_AVAILABLE, "not available on this connection class"},
    {RDR_REENTERED, "poll re-entered, or an empty information reply"},
    // the reader's answers and the line
    {RDR_BAD_CHECKSUM, "the reader's information reply has a bad checksum"},
    {RDR_READ_FAILED, "no reply from the reader (reading the port failed)"},
    {RDR_TIMEOUT, "the reader did not answer in time"},
    {RDR_WRITE_INFOREQ, "cannot send the information request"},
    {RDR_WRITE_START, "cannot send the start command"},
    {RDR_EX_UNAVAILABLE, "no device path for this reader"},
    {RDR_EX_IOERR, "cannot open or configure the reader's port"},
    // the calibration file: on every save failure but -607, and -604 of a
    // file rewritten in place, the file keeps its previous complete content
    {RDR_CAL_TEMPFILE, "calibration not saved: no temporary file can be made beside the calibration file, "
                       "and the file cannot be rewritten in place"},
    {RDR_CAL_WRITE_CALIB, "calibration not saved: cannot write the calibration line"},
    {RDR_CAL_WRITE_READER, "calibration not saved: cannot write the reader line or the kept lines"},
    {RDR_CAL_REPLACE, "calibration not saved: no usable file name, or the file cannot be replaced"},
    {RDR_CAL_COPY, "calibration not saved: the backup could be neither linked, copied nor moved, "
                   "or the file could not be rewritten in place"},
    {RDR_CAL_CLOSE_TEMP, "calibration not saved: writing out the temporary file failed"},
    {RDR_CAL_READ, "calibration not saved: the calibration file is not a regular file, or reading it failed"},
    {RDR_CAL_SYNC_DIR,
     "calibration saved, but it could not be synced to disk: it may not survive a power cut"},
    {RDR_CAL_REMOVE_BACKUP, "calibration not saved: the old backup could not be removed"},
    {RDR_NO_CALIBRATION, "no calibration for this reader in the calibration file"},
};

} // namespace

const char *result_text(int code) {
    for (const auto &m : meanings)
        if (m.code == code)
            return m.text;
    return "unknown result code";
}

std::string describe_result(int code) {
    return std::string(result_text(code)) + " (" + std::to_string(code) + ")";
}

} // namespace host
