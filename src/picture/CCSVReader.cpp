#include "CCSVReader.h"

#include "diagnostics.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <system_error>

namespace {
// Lists saved by some editors start with the UTF-8 byte order mark.
const char kByteOrderMark[] = "\xEF\xBB\xBF";
}  // namespace

CCSVReader::CCSVReader(const char* fileName, char separator)
    : mStream(fileName, std::ios::in | std::ios::binary), mSeparator(separator) {
    // A folder opens like a file and then reads as an empty list; refuse it like a missing
    // file instead.
    std::error_code ignored;
    if (!mStream.is_open() || std::filesystem::is_directory(fileName, ignored)) {
        RUV_WARNING(std::string("could not open ") + fileName);
        throw "could not open filename";
    }
}

bool CCSVReader::nextPhysicalLine(std::string& text) {
    // getline fails only when it took nothing from the file; a last line without a line
    // feed sets no more than the end-of-file flag and counts as a line.
    if (!std::getline(mStream, text) || mStream.bad())
        return false;
    ++mLinesRead;
    return true;
}

bool CCSVReader::readLine() {
    mFieldIndex = -1;
    if (!nextPhysicalLine(mLine)) {
        mLine.clear();
        mFields.clear();
        return false;
    }
    mLineNumber = mLinesRead;
    if (mLineNumber == 1 && mLine.compare(0, 3, kByteOrderMark) == 0)
        mLine.erase(0, 3);
    // Every line from mOpenToEnd on keeps an open field open up to the end of the file, so
    // a quote opened there can never close: looking ahead again would only read the same
    // lines once more for every damaged line.
    if (csvQuoteOpen(mLine, mSeparator) && (mOpenToEnd == 0 || mLineNumber < mOpenToEnd)) {
        // A file name may hold a line feed. A quote that is never closed, though, is a
        // damaged line rather than a long field: it must not swallow the rest of the list.
        const std::streampos resume = mStream.tellg();
        const int linesBefore = mLinesRead;
        std::string record = mLine;
        std::string next;
        bool open = true;
        while (open && nextPhysicalLine(next)) {
            record += '\n';
            record += next;
            open = csvQuoteOpen(next, mSeparator, true);
        }
        if (!open) {
            mLine = std::move(record);
        } else {
            // Only a look-ahead that reached the end has seen every line after this one.
            if (mStream.eof() && !mStream.bad())
                mOpenToEnd = linesBefore + 1;
            mStream.clear();
            mStream.seekg(resume);
            mLinesRead = linesBefore;
        }
    }
    mFields = splitCsvLine(mLine, mSeparator);
    return true;
}

const std::string& CCSVReader::nextString() {
    static const std::string kNoField;
    ++mFieldIndex;
    if (mFieldIndex < 0 || mFieldIndex >= int32_t(mFields.size()))
        return kNoField;
    return mFields[size_t(mFieldIndex)];
}

int CCSVReader::nextInt() {
    return csvFieldToInt(nextString());
}

namespace {

// Splits the text into fields (when fields is given) and tells whether it ends inside
// quotes. A line that continues an open field starts inside its quotes, after text.
bool scanCsv(const std::string& line, char separator, bool continued,
             std::vector<std::string>* fields) {
    std::string field;
    bool quoted = continued;
    bool fieldEmpty = !continued;
    auto endField = [&] {
        if (fields)
            fields->push_back(field);
        field.clear();
        fieldEmpty = true;
    };
    auto add = [&](char c) {
        if (fields)
            field += c;
        fieldEmpty = false;
    };
    size_t i = 0;
    for (; i < line.size() && line[i] != '\0'; ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"')
                add(c);
            else if (i + 1 < line.size() && line[i + 1] == '"')
                add(line[++i]);
            else
                quoted = false;
        } else if (c == '"' && fieldEmpty) {
            quoted = true;
        } else if (c == separator) {
            endField();
        } else if (c == '\r' || c == '\n') {
            endField();
            return false;
        } else {
            add(c);
        }
    }
    endField();
    // A zero character ends the record wherever it stands.
    return quoted && i == line.size();
}

}  // namespace

std::vector<std::string> splitCsvLine(const std::string& line, char separator) {
    std::vector<std::string> fields;
    scanCsv(line, separator, false, &fields);
    return fields;
}

bool csvQuoteOpen(const std::string& line, char separator, bool continued) {
    return scanCsv(line, separator, continued, nullptr);
}

int csvFieldToInt(const std::string& field) {
    size_t i = 0;
    while (i < field.size() && std::isspace((unsigned char)field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-'))
        negative = field[i++] == '-';
    // Held as a magnitude one past INT_MAX at most, so that INT_MIN is reached and longer
    // digit runs saturate instead of overflowing.
    int64_t value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (field[i] - '0'), int64_t(INT_MAX) + 1);
    if (negative)
        return int(-value);
    return int(std::min<int64_t>(value, INT_MAX));
}

std::string quoteCsvField(const std::string& field) {
    std::string quoted = "\"";
    for (char c : field) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    quoted += '"';
    return quoted;
}

std::string csvLine(const std::vector<std::string>& fields, char separator) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += separator;
        line += quoteCsvField(fields[i]);
    }
    line += '\n';
    return line;
}
