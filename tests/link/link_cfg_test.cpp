#include "link/link_cfg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "board_sim.h"
#include "common/cp1251.h"
#include "fake_com.h"
#include "link/link_hooks.h"

namespace yukt {
namespace {

namespace fs = std::filesystem;

// Several register boards on one I/O bus, each answering its own 16 ports.
class IoBus final : public IoPorts {
  public:
    std::vector<std::shared_ptr<test::RegisterBoardSim>> boards;
    std::vector<int> bases;
    std::shared_ptr<test::RegisterBoardSim> add(int base) {
        boards.push_back(
            std::make_shared<test::RegisterBoardSim>(static_cast<std::uint16_t>(base)));
        bases.push_back(base);
        return boards.back();
    }

  private:
    IoPorts* at(std::uint16_t port) {
        for (std::size_t i = 0; i < bases.size(); ++i)
            if (port >= bases[i] && port < bases[i] + 16) return boards[i].get();
        return nullptr;
    }
    std::uint8_t doIn(std::uint16_t port) override {
        IoPorts* b = at(port);
        return b ? b->in(port) : 0xFF;
    }
    void doOut(std::uint16_t port, std::uint8_t v) override {
        if (IoPorts* b = at(port)) b->out(port, v);
    }
};

class LinkCfg : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("yukt-linkcfg-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = dir.string() + "/";
        bus = std::make_shared<IoBus>();
        SetIoPorts(bus);
        SetWaitPumpHook([this](int ms) { pumped.push_back(ms); });
        links.LinksReady = true;
    }
    void TearDown() override {
        SetIoPorts(nullptr);
        SetWaitPumpHook({});
        fs::remove_all(dir);
    }
    void write(const std::string& name, const std::string& text) {
        ASSERT_TRUE(WriteTextFile(path + name, text));
    }
    int readBoards() { return ReadLinkCfg(links, path, console, &err); }
    int readComs() { return ReadComCfg(links, path, &err); }

    fs::path dir;
    std::string path;
    std::shared_ptr<IoBus> bus;
    test::FakeComPorts coms;
    LinkTable links;
    ConsoleLineBuffer console;
    CfgError err;
    std::vector<int> pumped;
};

TEST_F(LinkCfg, DefaultLineWithoutCommentGivesOneBoardThenACom) {
    auto board = bus->add(0x300);
    write("tp6606.cfg", ";Адрес Номер Резонатор Скорость\n$300    1   10994000   4800\n");
    write("tpCom.cfg", "2 9600\n");
    EXPECT_EQ(readBoards(), 0);
    EXPECT_EQ(readComs(), 0);
    EXPECT_TRUE(links.LinksReady);
    EXPECT_EQ(links.LinkCount, 2);
    Ttp6606* b = links.Entry(1);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->BaseAddress(), 0x300);
    EXPECT_EQ(b->BoardNumber(), 1);
    EXPECT_EQ(b->Crystal(), 10994000);
    EXPECT_EQ(b->BaudCode(), 2);
    EXPECT_TRUE(b->BoardOpen());
    EXPECT_EQ(board->divisor, 36);
    Ttp6606* c = links.Entry(2);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ComNumber(), 2);
    EXPECT_EQ(c->BoardNumber(), 2);
    EXPECT_EQ(c->BaudCode(), 3);
    EXPECT_TRUE(c->ComOpen());
    EXPECT_EQ(coms[2].openBaud, 9600);
    EXPECT_EQ(links.FindLink(2), 2);
    EXPECT_EQ(links.FindCom(2), 2);
    EXPECT_TRUE(links.ComPortInUse(2));
    EXPECT_FALSE(links.ComPortInUse(1));

    links.CloseAll();
    EXPECT_EQ(links.LinkCount, 0);
    EXPECT_EQ(links.Entry(1), nullptr);
    EXPECT_EQ(pumped, (std::vector<int>{600, 600, 600}));  // one at the board's open, one per link
}

TEST_F(LinkCfg, BaseWithoutDollarReadsTheSame) {
    bus->add(0x300);
    write("tp6606.cfg", "300 1 10994000 4800");
    EXPECT_EQ(readBoards(), 0);
    ASSERT_NE(links.Entry(1), nullptr);
    EXPECT_EQ(links.Entry(1)->BaseAddress(), 0x300);
    EXPECT_EQ(links.LinkCount, 1);
}

TEST_F(LinkCfg, ThreeBoardsLeaveRoomForOneCom) {
    bus->add(0x100);
    bus->add(0x110);
    bus->add(0x300);
    write("tp6606.cfg", "$100 1 10994000 4800\n$110 2 10994000 9600\n$300 3 10994000 4800\n");
    write("tpCom.cfg", "1 4800\n2 9600\n");
    EXPECT_EQ(readBoards(), 0);
    EXPECT_EQ(readComs(), 0);
    EXPECT_EQ(links.LinkCount, 4);
    EXPECT_EQ(links.Entry(4)->ComNumber(), 1);
    EXPECT_EQ(links.Entry(4)->BoardNumber(), 4);
    EXPECT_EQ(coms[2].opens, 0);
}

TEST_F(LinkCfg, DefaultFilesInTheSampleDirectoryCreateNoLinks) {
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    fs::create_directories("smplcfg");
    EXPECT_EQ(ReadLinkCfg(links, "./smplcfg/", console, &err), 0);
    EXPECT_EQ(ReadComCfg(links, "./smplcfg/", &err), 0);
    std::string board, com;
    EXPECT_TRUE(ReadTextFile("smplcfg/tp6606.cfg", board));
    EXPECT_TRUE(ReadTextFile("smplcfg/tpCom.cfg", com));
    fs::current_path(old);
    EXPECT_EQ(board,
              ";Настройка плат ЮКТ-6606\n;4-х канальные платы связи компьютера с модулями ЮКТ\n"
              ";Адрес Номер Резонатор Скорость\n;$300    1   10994000   4800");
    EXPECT_EQ(
        com,
        ";Настройка COM-портов\n;для связи компьютера с модулями ЮКТ\n;COM Скорость\n; 1    4800");
    EXPECT_EQ(links.LinkCount, 0);
    EXPECT_EQ(links.Entry(1), nullptr);
    EXPECT_TRUE(links.LinksReady);
}

TEST_F(LinkCfg, MissingFilesElsewhereAreNotCreated) {
    EXPECT_EQ(readBoards(), 0);
    EXPECT_FALSE(links.LinksReady);
    links.LinksReady = true;
    EXPECT_EQ(readComs(), 0);
    EXPECT_FALSE(links.LinksReady);
    EXPECT_FALSE(FileExists(path + "tp6606.cfg"));
    EXPECT_FALSE(FileExists(path + "tpCom.cfg"));
}

TEST(SampleDir, Spellings) {
    for (const char* p : {"./smplcfg/", "smplcfg/", ".\\smplcfg\\", "smplcfg\\"})
        EXPECT_TRUE(InSampleDir(p)) << p;
    for (const char* p : {"./smplcfg", "/smplcfg/", "./SMPLCFG/", "./cfg/", ""})
        EXPECT_FALSE(InSampleDir(p)) << p;
}

TEST_F(LinkCfg, BadBoardNumberIsFatalWithTheConsoleLine) {
    write("tp6606.cfg", ";c\n$300 5 10994000 4800\n");
    EXPECT_EQ(readBoards(), kLinkCfgFatal);
    EXPECT_EQ(console.lastLine(), "Не верный номер платы\"");
    EXPECT_EQ(err.file, "tp6606.cfg");
    EXPECT_EQ(err.line, 2);
    EXPECT_EQ(err.what, "Не верный номер платы\"");
}

TEST_F(LinkCfg, MalformedNumbersAreTypedErrors) {
    struct Case {
        const char* file;
        std::string text;
        bool com;
        int line;
        std::string what;
    } cases[] = {
        {"tp6606.cfg", "$300 1 10x 4800\n", false, 1, "неверное число \"10x\""},
        {"tp6606.cfg", "$300 one 10994000 4800\n", false, 1, "неверное число \"one\""},
        {"tpCom.cfg", ";c\nCOM1 4800\n", true, 2, "неверное число \"COM1\""},
        {"tpCom.cfg", "1 fast\n", true, 1, "неверное число \"fast\""},
        {"tp748x.cfg", "748x 1\n 7 8\n748x x2 5\n", false, 3, "неверное число \"x2\""},
    };
    for (const Case& c : cases) {
        fs::remove(path + "tp748x.cfg");
        write("tp6606.cfg", "");
        write(c.file, c.text);
        err = CfgError{};
        EXPECT_EQ(c.com ? readComs() : readBoards(), kLinkCfgFatal) << c.text;
        EXPECT_EQ(err.file, c.file) << c.text;
        EXPECT_EQ(err.line, c.line) << c.text;
        EXPECT_EQ(err.what, c.what) << c.text;
    }
}

TEST_F(LinkCfg, BoardThatDoesNotOpenStopsTheReading) {
    bus->add(0x100);
    write("tp6606.cfg", "$100 1 10994000 4800\n$318 2 10994000 4800\n$110 3 10994000 4800\n");
    EXPECT_EQ(readBoards(), 2);
    EXPECT_EQ(links.LinkCount, 1);
    EXPECT_EQ(links.Entry(2)->ErrorText, "Плата с адресом $0318 не подключена");
    EXPECT_EQ(links.Entry(3), nullptr);
}

TEST_F(LinkCfg, BoardTextNamesTheBaseTheFileNamed) {
    // An unsupported base is driven as $300; the text still names $280.
    write("tp6606.cfg", "$280 1 10994000 4800\n");
    EXPECT_EQ(readBoards(), 1);
    EXPECT_EQ(links.Entry(1)->BaseAddress(), 0x300);
    EXPECT_EQ(links.Entry(1)->ErrorText, "Плата с адресом $0280 не подключена");
}

TEST_F(LinkCfg, CrystalOutOfRangeKeepsTheDefault) {
    bus->add(0x300);
    write("tp6606.cfg", "$300 1 500 4800\n");
    EXPECT_EQ(readBoards(), 0);
    EXPECT_EQ(links.Entry(1)->Crystal(), 10994000);
    EXPECT_EQ(links.Entry(1)->ErrorText, "");
}

TEST_F(LinkCfg, ComFailures) {
    write("tpCom.cfg", "1 4800\n7 4800\n3 4800\n");
    EXPECT_EQ(readComs(), -1);
    EXPECT_EQ(links.LinkCount, 1);
    ASSERT_NE(links.Entry(2), nullptr);
    EXPECT_FALSE(links.Entry(2)->IsOpen());
    EXPECT_EQ(links.Entry(3), nullptr);

    LinkTable other;
    coms[2].busy = true;
    write("tpCom.cfg", "2 4800\n3 4800\n");
    EXPECT_EQ(ReadComCfg(other, path, &err), 1);
    EXPECT_EQ(other.Entry(1)->ErrorText, "COM 2  занят");
    EXPECT_EQ(other.Entry(2), nullptr);
}

TEST_F(LinkCfg, LineUseFromTheModuleFiles) {
    write("tp745t.cfg",
          ";Модуль Номер COM Link Адрес\n745t 1 7 23 1\n745t 0 8 23 1\n745t 2 9 23 1\n"
          "787x 1 6 23 1\n745t 1 5 23 1\n");
    write("tp787x.cfg", "787x 1 20 8 9 10.0 4\n787x 1 3 8 9 10.0 4\n");
    write("tp745x.cfg", "745t 1 12 8 9\n");  // another model's code ends the file at once
    ASSERT_TRUE(FillLineUse(links, path, &err));
    LineUseMap want{};
    want[1][3] = true;  // COM 7
    want[2][1] = true;  // COM 9
    want[4][4] = true;  // COM 20
    EXPECT_EQ(links.LineUse, want);
}

}  // namespace
}  // namespace yukt
