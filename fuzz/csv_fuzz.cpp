// Any bytes as a saved picture list: read record by record and field by field as the
// list model loads it. Every record read must come back unchanged when it is written
// with the list's own writer and read again, and record numbers only grow.
#include "CCSVReader.h"

#include "scratchfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kSeparator = ',';
// The list's columns are name, folder, date, orientation and camera.
const int kOrientationField = 3;

using Record = std::vector<std::string>;

std::vector<Record> readList(const std::string& path, std::string* rewritten) {
    std::vector<Record> records;
    CCSVReader reader(path.c_str(), kSeparator);
    int lastLine = 0;
    while (reader.readLine()) {
        if (reader.lineNumber() <= lastLine || reader.fieldCount() < 1)
            std::abort();
        lastLine = reader.lineNumber();
        // The fields in order, as the list takes a row's name, folder, date, orientation
        // and camera; past the last one there is nothing.
        Record record;
        for (int i = 0; i < reader.fieldCount(); ++i) {
            record.push_back(reader.nextString());
            if (i == kOrientationField)
                csvFieldToInt(record.back());
        }
        if (!reader.nextString().empty() || reader.nextInt() != 0)
            std::abort();
        // The record as read splits into the same fields.
        if (splitCsvLine(reader.line(), kSeparator) != record)
            std::abort();
        if (rewritten)
            *rewritten += csvLine(record, kSeparator);
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzzscratch::writeScratch(data, size, "csv_fuzz");
    std::string rewritten;
    const std::vector<Record> records = readList(path, &rewritten);

    const std::vector<uint8_t> again(rewritten.begin(), rewritten.end());
    const std::string& copy = fuzzscratch::writeScratch(again.data(), again.size(), "csv_fuzz");
    if (readList(copy, nullptr) != records)
        std::abort();
    return 0;
}
