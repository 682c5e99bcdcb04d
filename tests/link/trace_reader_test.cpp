// The trace read back: what the formatter wrote parses to the same bytes,
// traces from before the first line still read, and what is not a trace
// stops the reading at its line.

#include <gtest/gtest.h>

#include <sstream>

#include "link/trace_format.h"
#include "link/trace_reader.h"

namespace yukt {
namespace {

std::vector<TraceRecord> readAll(const std::string& text, std::string& error) {
    std::istringstream in(text);
    TraceReader reader(in, "t.trace");
    std::vector<TraceRecord> out;
    TraceRecord r;
    while (reader.next(r)) out.push_back(r);
    error = reader.error();
    return out;
}

TEST(TraceReader, ReadsWhatTheFormatterWrote) {
    const std::vector<std::uint8_t> request{0xAA, 0xAA, 0x55, 0x30, 0x31, 0x31, 0x37, 0x31, 0x38, 0x0A};
    std::vector<std::uint8_t> babble(400, 0x3F);
    const TraceLineSettings lines[] = {{"COM1", 9600, "rfc2217://bench 7:2001"}, {"B1L3", 19200, "board"}};
    const std::string text = FormatTraceHeader("yukt-verify", "1.0+5.gabc", lines) + "\n# a remark\n\n" +
                             FormatTraceLine(17, "COM1", TraceDir::Sent, request) + "\n" +
                             FormatTraceLine(18, "COM1", TraceDir::Received, babble, TraceEnd::Babble) +
                             "\n" + FormatTraceLine(19, "COM1", TraceDir::Received, {}) + "\n" +
                             FormatTraceNote(20, "COM1", "dropped 1 late byte") + "\n" +
                             FormatTraceSettingsNote(21, {"COM2", 4800, "/dev/ttyS1"}) + "\n";
    std::string error;
    const std::vector<TraceRecord> r = readAll(text, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(r[0].kind, TraceRecord::Kind::Header);
    EXPECT_EQ(r[0].header.version, 2);
    EXPECT_EQ(r[0].header.program, "yukt-verify");
    EXPECT_EQ(r[0].header.programVersion, "1.0+5.gabc");
    ASSERT_EQ(r[0].header.lines.size(), 2u);
    EXPECT_EQ(r[0].header.lines[0].device, "rfc2217://bench 7:2001");  // the space survives
    EXPECT_EQ(r[0].header.lines[1].baud, 19200);
    EXPECT_EQ(r[1].lineNo, 4u);  // remark and empty line counted
    EXPECT_EQ(r[1].bytes, request);
    EXPECT_EQ(r[1].decoding, "LEN 01 HDR 17 (addr 1 cmd 7) data - SUM 18");
    EXPECT_EQ(r[2].bytes.size(), 300u);
    EXPECT_EQ(r[2].omitted, 100u);
    EXPECT_EQ(r[3].decoding, "no reply");
    EXPECT_TRUE(r[3].bytes.empty());
    EXPECT_EQ(r[4].kind, TraceRecord::Kind::Note);
    EXPECT_EQ(r[4].note, "dropped 1 late byte");
    EXPECT_EQ(r[5].note, "settings 4800 /dev/ttyS1");
}

// A request the program marked free reads as free with its decoding as
// before; the mark means nothing on a reception.
TEST(TraceReader, ReadsTheFreeMarkOfARequest) {
    const std::string request = "12 COM1 -> AA | x";
    struct Case {
        std::string line;
        bool free;
        std::string decoding;
    };
    for (const Case& c : {Case{request + std::string(kTraceFreeMark), true, "x"},
                          Case{request, false, "x"},
                          Case{"12 COM1 <- AA | x [free]", false, "x [free]"},
                          Case{"12 bench <- AA | x [fault]", false, "x [fault]"}}) {
        std::string error;
        const std::vector<TraceRecord> r = readAll(c.line + "\n", error);
        ASSERT_EQ(error, "") << c.line;
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].free, c.free) << c.line;
        EXPECT_EQ(r[0].decoding, c.decoding) << c.line;
    }
}

TEST(TraceReader, RefusesWhatIsNotATraceAtItsLine) {
    const std::string frame = "4131232605 COM1 <- - | no reply\n";
    struct Case {
        std::string text;
        std::string error;
    };
    for (const Case& c : {
             Case{frame + frame, ""},  // written before the first line named the version
             Case{"\x7F" "ELF\x02\x01", "t.trace, строка 1: строка оборвана (файл обрезан?)"},
             Case{"hello world\n", "t.trace, строка 1: не трасса обмена: не строка трассы: hello world"},
             Case{frame + "4131232605 COM1 <- -", "t.trace, строка 2: строка оборвана (файл обрезан?)"},
             Case{frame + "# yukt-trace 7 x 1\n", "t.trace, строка 2: трасса формата версии 7, читаются версии 1..2"},
             Case{"# yukt-trace 2 x\n", "t.trace, строка 1: в первой строке трассы нет программы и её версии"},
             Case{"# yukt-trace 2 x 1 COM1=fast,/dev/x\n", "t.trace, строка 1: не настройки линии: COM1=fast,/dev/x"},
             Case{frame + "12 COM1 => AA\n", "t.trace, строка 2: нет направления (->, <- или ==): => AA"},
             Case{frame + "12 COM1 -> AA A\n", "t.trace, строка 2: нет расшифровки после \" | \""},
             Case{frame + "12 COM1 -> AA 5 | x\n", "t.trace, строка 2: не байт в шестнадцатеричном виде: 5"},
             Case{frame + "12 COM1 -> AA ... +x | x\n", "t.trace, строка 2: не число пропущенных байтов:  ... +x"},
             Case{frame + "99999999999999999999999 COM1 <- - | no reply\n",
                  "t.trace, строка 2: не строка трассы: 99999999999999999999999 COM1 <- - | no r..."},
             Case{frame + "1 C/M1 <- - | no reply\n", "t.trace, строка 2: не имя линии: C/M1"},
             Case{std::string(70000, 'x') + "\n", "t.trace, строка 1: строка длиннее 65536 байт"},
             Case{"# only a remark\n", "t.trace: не трасса обмена: в файле нет ни одной строки трассы"},
         }) {
        std::string error;
        readAll(c.text, error);
        EXPECT_EQ(error, c.error) << c.text.substr(0, 60);
    }
}

}  // namespace
}  // namespace yukt
