#include "CCSVReader.h"

#include "tempfolder.h"

#include <gmock/gmock.h>

#include <climits>
#include <fstream>
#include <string>
#include <vector>

using testing::ElementsAre;
using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

std::vector<uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Every field of every line the reader hands out, read with nextString().
std::vector<std::vector<std::string>> readAll(const std::string& file, char separator = ',') {
    CCSVReader reader(file.c_str(), separator);
    std::vector<std::vector<std::string>> lines;
    while (reader.readLine()) {
        std::vector<std::string> fields;
        for (int i = 0; i < reader.fieldCount(); ++i)
            fields.push_back(reader.nextString());
        lines.push_back(fields);
    }
    return lines;
}

using Fields = std::vector<std::string>;

}  // namespace

TEST(CSVSplit, QuotedFieldsLoseTheirQuotes) {
    EXPECT_THAT(splitCsvLine("\"a.mpo\",\"sub/dir\",\"2011:05:01 10:00:00\",\"6\",\"X Y\"", ','),
                ElementsAre("a.mpo", "sub/dir", "2011:05:01 10:00:00", "6", "X Y"));
    // Separators, CR and LF inside quotes belong to the field.
    EXPECT_THAT(splitCsvLine("\"a,b\",\"c\rd\",\"e\nf\"", ','), ElementsAre("a,b", "c\rd", "e\nf"));
    EXPECT_THAT(splitCsvLine("\"\",\"\"", ','), ElementsAre("", ""));
    EXPECT_THAT(splitCsvLine("a;b", ';'), ElementsAre("a", "b"));
    // Bytes above ASCII pass unchanged, whatever their encoding.
    EXPECT_THAT(splitCsvLine("\"Gr\u00F6\u00DFe\",\"Gr\xF6\xDF\x65\"", ','),
                ElementsAre("Gr\u00F6\u00DFe", "Gr\xF6\xDF\x65"));
}

TEST(CSVSplit, DoubledQuotesInsideQuotesAreOneQuote) {
    EXPECT_THAT(splitCsvLine("\"say \"\"cheese\"\"\",\"x\"", ','),
                ElementsAre("say \"cheese\"", "x"));
    EXPECT_THAT(splitCsvLine("\"\"\"\"", ','), ElementsAre("\""));
    EXPECT_THAT(splitCsvLine("\"\"\"\"\"\"", ','), ElementsAre("\"\""));
    // A closing quote followed by the separator ends the field even after a doubled one.
    EXPECT_THAT(splitCsvLine("\"a\"\"\",\"b\"", ','), ElementsAre("a\"", "b"));
}

TEST(CSVSplit, UnquotedAndOddTextKeepsItsOldReading) {
    EXPECT_THAT(splitCsvLine("", ','), ElementsAre(""));
    EXPECT_THAT(splitCsvLine("plain,,x", ','), ElementsAre("plain", "", "x"));
    // A quote inside an unquoted field is an ordinary character.
    EXPECT_THAT(splitCsvLine("ab\"c,d", ','), ElementsAre("ab\"c", "d"));
    // Text after a closing quote goes on in the same field.
    EXPECT_THAT(splitCsvLine("\"ab\"cd,e", ','), ElementsAre("abcd", "e"));
    // An unclosed quote runs to the end of the line.
    EXPECT_THAT(splitCsvLine("\"ab,cd", ','), ElementsAre("ab,cd"));
    // Outside quotes a line break ends the line; nothing after it is a field.
    EXPECT_THAT(splitCsvLine("\"a\",\"b\"\r", ','), ElementsAre("a", "b"));
    EXPECT_THAT(splitCsvLine("a,b\r,c", ','), ElementsAre("a", "b"));
    // So does a zero character, quoted or not.
    EXPECT_THAT(splitCsvLine(std::string("a,b\0,c", 6), ','), ElementsAre("a", "b"));
    EXPECT_THAT(splitCsvLine(std::string("\"a\0b\",c", 7), ','), ElementsAre("a"));
}

TEST(CSVWrite, QuotesEveryFieldAndDoublesInnerQuotes) {
    EXPECT_EQ(quoteCsvField(""), "\"\"");
    EXPECT_EQ(quoteCsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(quoteCsvField("13\" screen"), "\"13\"\" screen\"");
    EXPECT_EQ(quoteCsvField("\"\""), "\"\"\"\"\"\"");
    EXPECT_EQ(csvLine({"a.mpo", "", "undefined", "0", "undefined"}, ','),
              "\"a.mpo\",\"\",\"undefined\",\"0\",\"undefined\"\n");
    EXPECT_EQ(csvLine({"x"}, ';'), "\"x\"\n");
}

TEST(CSVWrite, SplittingAWrittenLineGivesTheFieldsBack) {
    const std::vector<Fields> samples = {
        {"a.mpo", "sub/dir", "2011:05:01 10:00:00", "6", "Maker Model"},
        {"", "", "", "", ""},
        {"\"", "\"\"", "a\"", "\"b", "c,\"d\",e"},
        {"q\r", "tab\there", ",", "\",\"", "Gr\u00F6\u00DFe"},
    };
    for (const Fields& fields : samples) {
        std::string line = csvLine(fields, ',');
        ASSERT_EQ(line.back(), '\n');
        line.pop_back();
        EXPECT_EQ(splitCsvLine(line, ','), fields) << line;
    }
}

TEST(CSVNumbers, ReadAsLeadingDecimalDigits) {
    EXPECT_EQ(csvFieldToInt("6"), 6);
    EXPECT_EQ(csvFieldToInt(""), 0);
    EXPECT_EQ(csvFieldToInt("  \t-3"), -3);
    EXPECT_EQ(csvFieldToInt("+8x"), 8);
    EXPECT_EQ(csvFieldToInt("12 34"), 12);
    EXPECT_EQ(csvFieldToInt("x12"), 0);
    EXPECT_EQ(csvFieldToInt("- 4"), 0);
    EXPECT_EQ(csvFieldToInt("2147483647"), INT_MAX);
    EXPECT_EQ(csvFieldToInt("-2147483648"), INT_MIN);
    // Too many digits stop at the limits instead of wrapping around.
    EXPECT_EQ(csvFieldToInt("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(csvFieldToInt("-99999999999999999999999"), INT_MIN);
}

class CSVReaderFiles : public testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text) {
        return mDir.write(name, bytes(text));
    }

    CTempFolder mDir;
};

TEST_F(CSVReaderFiles, TheLastLineNeedsNoLineFeed) {
    EXPECT_EQ(readAll(write("a.csv", "\"a\",\"1\"\n\"b\",\"2\"")),
              (std::vector<Fields>{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(readAll(write("b.csv", "\"a\",\"1\"\r\n\"b\",\"2\"\r")),
              (std::vector<Fields>{{"a", "1"}, {"b", "2"}}));
    // A line feed at the very end starts no further line; empty lines inside do.
    EXPECT_EQ(readAll(write("c.csv", "\"a\"\n\n\r\n\"b\"\n")),
              (std::vector<Fields>{{"a"}, {""}, {""}, {"b"}}));
    EXPECT_TRUE(readAll(write("empty.csv", "")).empty());
}

TEST_F(CSVReaderFiles, HandsOutFieldsLineByLine) {
    CCSVReader reader(write("n.csv", "\"a\",\"b\",\"7\"\n\n\"d\"").c_str(), ',');
    EXPECT_EQ(reader.lineNumber(), 0);
    ASSERT_TRUE(reader.readLine());
    EXPECT_EQ(reader.lineNumber(), 1);
    EXPECT_EQ(reader.fieldCount(), 3);
    EXPECT_EQ(reader.line(), "\"a\",\"b\",\"7\"");
    EXPECT_EQ(reader.nextString(), "a");
    EXPECT_EQ(reader.nextString(), "b");
    EXPECT_EQ(reader.nextInt(), 7);
    ASSERT_TRUE(reader.readLine());
    EXPECT_EQ(reader.lineNumber(), 2);
    EXPECT_EQ(reader.fieldCount(), 1);
    ASSERT_TRUE(reader.readLine());
    EXPECT_EQ(reader.lineNumber(), 3);
    EXPECT_EQ(reader.nextString(), "d");
    // Past the last field: empty, however often asked.
    EXPECT_EQ(reader.nextString(), "");
    EXPECT_EQ(reader.nextInt(), 0);
    EXPECT_EQ(reader.nextString(), "");
    EXPECT_FALSE(reader.readLine());
    EXPECT_EQ(reader.lineNumber(), 3);
    EXPECT_FALSE(reader.readLine());
}

TEST_F(CSVReaderFiles, AByteOrderMarkBeforeTheFirstLineIsSkipped) {
    EXPECT_EQ(readAll(write("bom.csv", "\xEF\xBB\xBF\"a\",\"1\"\n\xEF\xBB\xBF\"b\"\n")),
              (std::vector<Fields>{{"a", "1"}, {"\xEF\xBB\xBF\"b\""}}));
}

TEST_F(CSVReaderFiles, AMissingFileWarnsThenThrows) {
    for (const std::string& name : {mDir.path("missing.csv"), mDir.path("")}) {
        CaptureStderr();
        bool thrown = false;
        try {
            CCSVReader reader(name.c_str(), ',');
        } catch (const char* text) {
            thrown = true;
            EXPECT_STREQ(text, "could not open filename");
        }
        const std::string messages = GetCapturedStderr();
        EXPECT_TRUE(thrown) << name;
        EXPECT_THAT(messages, HasSubstr("src/picture/CCSVReader.cpp("));
        EXPECT_THAT(messages, HasSubstr(") WARNING: could not open " + name + "\n"));
    }
}

TEST(CSVSplit, AQuoteLeftOpenAtTheEndContinuesTheRecord) {
    EXPECT_FALSE(csvQuoteOpen("\"a\",\"b\"", ','));
    EXPECT_TRUE(csvQuoteOpen("\"a\",\"b", ','));
    EXPECT_TRUE(csvQuoteOpen("\"a\"\"", ','));  // the doubled quote is text
    EXPECT_FALSE(csvQuoteOpen("ab\"c", ','));   // a quote inside plain text opens nothing
    EXPECT_FALSE(csvQuoteOpen("a,b\r", ','));
    EXPECT_FALSE(csvQuoteOpen(std::string("\"a\0b", 4), ','));
    // A following line starts inside the open field: its first quote closes it.
    EXPECT_FALSE(csvQuoteOpen("b\",\"c\"", ',', true));
    EXPECT_TRUE(csvQuoteOpen("more text", ',', true));
    EXPECT_TRUE(csvQuoteOpen("\"\"", ',', true));
    // After the close a quote inside the same field is plain text again.
    EXPECT_FALSE(csvQuoteOpen("b\"\"\"x\"", ',', true));
}

TEST_F(CSVReaderFiles, LineFeedsInsideQuotesBelongToTheField) {
    const std::string file = write("lf.csv",
                                   "\"two\nlines.jpg\",\"1\"\n"
                                   "\"three\r\n\nlines\",\"2\"\r\n"
                                   "\"x\",\"3\"\n"
                                   "\"a,\"\"b\"\"\n\",\"4\"");
    CCSVReader reader(file.c_str(), ',');
    std::vector<std::pair<int, Fields>> records;
    while (reader.readLine()) {
        Fields fields;
        for (int i = 0; i < reader.fieldCount(); ++i)
            fields.push_back(reader.nextString());
        records.emplace_back(reader.lineNumber(), fields);
    }
    // Each record is counted by its first line.
    EXPECT_EQ(records, (std::vector<std::pair<int, Fields>>{
                           {1, {"two\nlines.jpg", "1"}},
                           {3, {"three\r\n\nlines", "2"}},
                           {6, {"x", "3"}},
                           {7, {"a,\"b\"\n", "4"}},
                       }));
}

TEST_F(CSVReaderFiles, AQuoteNeverClosedSwallowsNoFollowingLines) {
    // No later quote closes it, so the damaged line stands alone.
    EXPECT_EQ(readAll(write("open.csv", "\"a\",\"1\"\n\"broken,2\nc,3\r\nd,4\n")),
              (std::vector<Fields>{{"a", "1"}, {"broken,2"}, {"c", "3"}, {"d", "4"}}));
    // The same at the very end of the file.
    EXPECT_EQ(readAll(write("end.csv", "\"a\",\"1\"\n\"b")),
              (std::vector<Fields>{{"a", "1"}, {"b"}}));
}

namespace {

// Bytes this process has read from files so far, as the kernel counts them.
long long bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = -1;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return -1;
}

}  // namespace

TEST_F(CSVReaderFiles, ManyDamagedLinesAreReadInOnePass) {
    // Every line opens a quoted field, and every line after it keeps that field open: no
    // line's quote ever closes. Looking ahead once shows that for all later lines; looking
    // ahead again from each line would read the list once per line.
    const int lineCount = 2000;
    std::string text;
    for (int i = 0; i < lineCount; ++i)
        text += "a\",\"\n";
    const std::string file = write("damaged.csv", text);
    const long long before = bytesReadSoFar();
    if (before < 0)
        GTEST_SKIP() << "the system does not count the bytes a process reads";
    const std::vector<Fields> lines = readAll(file);
    const long long read = bytesReadSoFar() - before;
    EXPECT_EQ(lines, std::vector<Fields>(size_t(lineCount), Fields{"a\"", ""}));
    EXPECT_LT(read, 4 * (long long)text.size());
}

TEST_F(CSVReaderFiles, WrittenRecordsWithLineBreaksReadBack) {
    const std::vector<Fields> records = {
        {"line\nfeed.jpg", "sub\ndir", "x"},
        {"quote \", comma.jpg", "", "\r\n"},
        {"\n", "\"\n\"", "end"},
    };
    std::string text;
    for (const Fields& fields : records)
        text += csvLine(fields, ',');
    EXPECT_EQ(readAll(write("round.csv", text)), records);
}
