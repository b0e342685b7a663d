// The records of a face list file found where the reader finds them, and a list rewritten so
// that only its face numbers change, byte for byte.
#include "test_support.hpp"

#include "intake/dataset_inputs.hpp"
#include "intake/list_records.hpp"

#include <locale>

class ListRecordsTest : public TempDirTest {};

namespace {

std::vector<double> faceNumbersOf(const std::string& text, int recordLength)
{
    std::vector<double> numbers;
    for (const ListRecord& record : findListRecords(text, recordLength)) {
        numbers.push_back(record.faceNumber);
    }
    return numbers;
}

} // namespace

// The records are the reader's, whatever the layout: the same first numbers, in the same order,
// an incomplete last record and everything after text that is not a number left out.
TEST_F(ListRecordsTest, SameRecordsAsTheReader)
{
    const std::vector<std::pair<std::string, int>> texts = {
        {"8 0 -250\n11 0 -100\n", 3},
        {"8 0\n-250 11\n0 -100", 3},
        {"8 0 -250\r\n11 0 -100\r\n", 3},
        {"3.0 1e2 2 +4 .5 6 7 8", 3},
        {"8 0 -250\n11 0 -100\nend of list\n12 0 0\n", 3},
        {"8 0 -250 11 0\n", 3},
        {"  \t\n", 3},
        {"19 1 1 1 0 0 0\n20 1 1 1 0 0 0\n21 1 1\n", 7},
        {"5 0 0x\n6 0 0\n", 3},
    };
    std::ifstream stream;
    stream.imbue(std::locale::classic());
    for (const auto& [text, recordLength] : texts) {
        writeFile(dir / "list", text);
        std::vector<double> read;
        readFaceListFile(stream, (dir / "list").string(), recordLength, read);
        EXPECT_EQ(faceNumbersOf(text, recordLength), read) << text;
    }
}

// Only the face numbers change: records over lines, CR LF, trailing text, a number written as
// 3.0, an entry that names no face (left as it is), a record repeated for a split face.
TEST_F(ListRecordsTest, RewriteChangesOnlyFaceNumbers)
{
    struct Case {
        std::string text;
        std::vector<std::vector<int>> numbers; // per record; {} leaves it
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"8 0 -250\n11 0 -100\n", {{12}, {7}}, "12 0 -250\n7 0 -100\n"},
        {"8 0\n  -250 11\n0 -100", {{12}, {7}}, "12 0\n  -250 7\n0 -100"},
        {"8 0 -250\r\n11 0 -100\r\n", {{12}, {}}, "12 0 -250\r\n11 0 -100\r\n"},
        {"3.0 0 -250\nend of list 4 0 0\n", {{17}}, "17 0 -250\nend of list 4 0 0\n"},
        {"8 0 -250\n99 1 1\n", {{12}, {}}, "12 0 -250\n99 1 1\n"},
        {"8 0 -250\n11 0 -100\n", {{12, 13}, {7}}, "12 0 -250\n13 0 -250\n7 0 -100\n"},
        {"8 0 -250\r\n\t11 0 -100", {{7}, {3, 5}}, "7 0 -250\r\n\t3 0 -100\r\n5 0 -100"},
        {"8 0 -250 11 0 -100", {{1, 2}, {3}}, "1 0 -250 2 0 -250 3 0 -100"},
        {"8 0 -250\n11 0", {{12}}, "12 0 -250\n11 0"},
        {"8 0 -250-3 0 0", {{}, {12}}, "8 0 -250+12 0 0"},
        {"5e1.5 0\n", {{12, 13}}, "12e0.5 0\n13e0.5 0\n"},
    };
    for (const Case& c : cases) {
        const std::vector<ListRecord> records = findListRecords(c.text, 3);
        EXPECT_EQ(rewriteListText(c.text, records, c.numbers), c.expected) << c.text;
    }
}

// Where each face number stands: its line, and its bytes, for the messages that name a record.
TEST_F(ListRecordsTest, RecordsKnowTheirPlace)
{
    const std::string text = "# 8 0 0\n";
    EXPECT_TRUE(findListRecords(text, 3).empty()) << "text before any number ends the list";
    const std::vector<ListRecord> records = findListRecords("8 0 -250\n\n  11\n0 -100\n", 3);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].line, 1);
    EXPECT_EQ(records[1].line, 3);
    EXPECT_EQ(records[1].numberStart, 12u);
    EXPECT_EQ(records[1].numberEnd, 14u);
    EXPECT_EQ(records[1].recordEnd, 21u);
}

// Each number of a record as it is written, split where the reader splits: at blanks of any
// kind, at a sign that follows a number, at a second point or a point after an exponent.
TEST_F(ListRecordsTest, NumbersAsWritten)
{
    const std::vector<std::pair<std::string, std::vector<std::vector<std::string>>>> cases = {
        {"8 0 -250\n11 0 -100\n", {{"8", "0", "-250"}, {"11", "0", "-100"}}},
        {"8\t0\r\n  -250", {{"8", "0", "-250"}}},
        {"8 +0-5 4 1.5e2.5", {{"8", "+0", "-5"}, {"4", "1.5e2", ".5"}}},
        {"5e1.5 0\n", {{"5e1", ".5", "0"}}},
        {"3.0 1.2.3 9 x", {{"3.0", "1.2", ".3"}}},
        {"7 00012 1E-400 8 0", {{"7", "00012", "1E-400"}}},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<std::vector<std::string>> numbers;
        for (const ListRecord& record : findListRecords(text, 3)) {
            numbers.push_back(recordNumberTexts(text, record));
        }
        EXPECT_EQ(numbers, expected) << text;
    }
}
