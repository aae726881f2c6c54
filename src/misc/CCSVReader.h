#pragma once
// Character-separated text files, as the picture lists are kept: one record per line,
// fields in double quotes, a double quote inside a field written as two.
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

class CCSVReader {
public:
    // Warns "could not open <name>" and throws the plain string "could not open filename"
    // when the file cannot be read.
    CCSVReader(const char* fileName, char separator);
    CCSVReader(const CCSVReader&) = delete;
    CCSVReader& operator=(const CCSVReader&) = delete;

    // Reads and splits the next line, the last one also without a line feed at its end.
    // False at the end of the file or on a read error.
    bool readLine();
    // The next field of the current line; an empty text past the last one.
    const std::string& nextString();
    // The next field as a decimal number: leading white space, an optional sign, the
    // digits up to the first other character; 0 without digits.
    int nextInt();

    // The current line as read, without its line feed.
    const std::string& line() const { return mLine; }
    int fieldCount() const { return int(mFields.size()); }
    // Number of the current line, counted from 1; 0 before the first readLine().
    int lineNumber() const { return mLineNumber; }

private:
    std::ifstream mStream;
    char mSeparator;
    std::string mLine;
    std::vector<std::string> mFields;
    int32_t mFieldIndex = -1;
    int mLineNumber = 0;
};

// The fields of one line, without its quotes. Outside quotes a CR or LF ends the line.
std::vector<std::string> splitCsvLine(const std::string& line, char separator);
// Converts a field text as nextInt() does.
int csvFieldToInt(const std::string& field);
// The field in double quotes, its own double quotes doubled.
std::string quoteCsvField(const std::string& field);
// One line of quoted fields with its line feed.
std::string csvLine(const std::vector<std::string>& fields, char separator);
