// The run's JSON document and the JSON forms of records, grades and
// plug-in answers.
#include "json_output.h"

#include <cstring>

#include "grade_output.h"
#include "latin1.h"
#include "record_output.h"

namespace host {

namespace {
json document;
} // namespace

json &report() { return document; }

void report_begin(const std::string &command) { document = json{{"command", command}}; }

std::string report_text(int status, const std::string &error) {
    document["status"] = status;
    if (status != 0)
        document["error"] = error;
    // Texts are UTF-8 already; a stray byte is replaced rather than lost.
    return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

json record_json(const readerinfo_t &rec) {
    return json{
        {"SerialNumber", rec.SerialNumber},
        {"FirmwareVers", rec.FirmwareVers},
        {"ProgChecksum", rec.ProgChecksum},
        {"BootCheckSum", rec.BootCheckSum},
        {"Resolution", rec.Resolution},
        {"Wavelength", rec.Wavelength},
        {"SizeOfSample", rec.SizeOfSample},
        {"NumOfSamples", rec.NumOfSamples},
        {"ReaderType", (int)rec.ReaderType},
        {"MotivePower", (int)rec.MotivePower},
        {"calmin", rec.calmin},
        {"calmax", rec.calmax},
        {"admin", rec.admin},
        {"admax", rec.admax},
        {"givenz", rec.givenz},
        {"lastcal", rec.lastcal},
        {"factorycal_when", rec.factorycal_when},
        {"factorycal_user",
         latin1_to_utf8(
             std::string(rec.factorycal_user, strnlen(rec.factorycal_user, sizeof rec.factorycal_user)))},
        {"calibrated", is_calibrated(rec)},
    };
}

json reader_json(int id, const std::string &port, const readerinfo_t &rec) {
    return json{{"id", id}, {"port", port}, {"record", record_json(rec)}};
}

json grade_json(const profile_analysis &a) {
    json parameters = json::object(), grades = json::object();
    for (const auto &r : grade_rows(a)) {
        if (std::strcmp(r.key, "decode") != 0)
            parameters[r.key] = r.value;
        if (r.graded)
            grades[r.key] = r.grade;
    }
    json g = {{"parameters", parameters},
              {"grades", grades},
              {"scan_grade", a.scan_grade},
              {"scan_grade_letter", std::string(1, grade_letter(a.scan_grade))},
              {"decoded", a.decoded}};
    if (a.decoded) {
        g["data"] = a.data;
        g["symbol"] = decoded_symbol(a);
        g["reversed"] = a.reversed;
    } else {
        g["failure"] = a.failure;
    }
    return g;
}

json answers_json(const std::vector<module_answer> &answers) {
    json list = json::array();
    for (const auto &[module, a] : answers)
        list.push_back({{"module", module->name},
                        {"result", a.result},
                        {"verdict", plugin_result_text(a.result)},
                        {"name", latin1_to_utf8(a.name)},
                        {"text", latin1_to_utf8(a.text)}});
    return list;
}

} // namespace host
