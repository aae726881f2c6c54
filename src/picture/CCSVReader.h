#pragma once
// Character-separated text files, as the picture lists are kept: one record per line,
// fields in double quotes, a double quote inside a field written as two. A line end
// inside quotes belongs to the field, so a record may span several lines.
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

    // Reads and splits the next record, the last one also without a line feed at its end.
    // A record goes on over the following lines while a quoted field is open; one whose
    // quote is still open at the end of the file is taken as its first line alone.
    // False at the end of the file or on a read error.
    bool readLine();
    // The next field of the current line; an empty text past the last one.
    const std::string& nextString();
    // The next field as a decimal number: leading white space, an optional sign, the
    // digits up to the first other character; 0 without digits.
    int nextInt();

    // The current record as read, without its last line feed.
    const std::string& line() const { return mLine; }
    int fieldCount() const { return int(mFields.size()); }
    // Number of the current record's first line, counted from 1; 0 before the first
    // readLine().
    int lineNumber() const { return mLineNumber; }

private:
    // The next line of the file into text; false when there is none.
    bool nextPhysicalLine(std::string& text);

    std::ifstream mStream;
    char mSeparator;
    std::string mLine;
    std::vector<std::string> mFields;
    int32_t mFieldIndex = -1;
    int mLineNumber = 0;
    int mLinesRead = 0;
    // The first line of a run up to the end of the file in which no line closes an open
    // quoted field; 0 while none is known.
    int mOpenToEnd = 0;
};

// The fields of one line, without its quotes. Outside quotes a CR or LF ends the line.
std::vector<std::string> splitCsvLine(const std::string& line, char separator);
// Whether the text ends inside a quoted field, read as splitCsvLine reads it: a record
// that goes on in the next line. continued: the text is such a following line, so it
// starts inside the open field.
bool csvQuoteOpen(const std::string& line, char separator, bool continued = false);
// Converts a field text as nextInt() does.
int csvFieldToInt(const std::string& field);
// The field in double quotes, its own double quotes doubled.
std::string quoteCsvField(const std::string& field);
// One line of quoted fields with its line feed.
std::string csvLine(const std::vector<std::string>& fields, char separator);
