// yukt-verify on a terminal: a stop signal while it waits for the operator's
// answer ends the run at once, "прервано", the generator set safe; a module
// that does not answer when the instrument opens keeps the run from
// beginning (exit 2, no verdict).

#include "cli_rig.h"

namespace yukt {
namespace {

using namespace testing_cli;

class VerifyTerminal : public CliRig {
  protected:
    void SetUp() override {
        CliRig::SetUp();
        std::ifstream in(std::string(YUKT_METHODOLOGIES_DIR) + "/745t.toml");
        std::stringstream text;
        text << in.rdbuf();
        std::ofstream(dir + "745t.toml") << text.str();
    }
    pid_t start(const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"--cfg", dir + "cfg", "--methodology", dir + "745t.toml"};
        args.insert(args.end(), more.begin(), more.end());
        return CliRig::start(args, true);
    }
};

TEST_F(VerifyTerminal, StopSignalAtTheQuestionEndsTheRun) {
    for (int sig : {SIGHUP, SIGQUIT, SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        fs::remove(dir + "err.txt");
        const pid_t pid = start();
        // The question of the first manual operation is on the terminal.
        for (int i = 0; i < 1500 && slurp(dir + "err.txt").find("соответствует?") == std::string::npos;
             ++i)
            std::this_thread::sleep_for(20ms);
        ASSERT_NE(slurp(dir + "err.txt").find("7.1 Внешний осмотр"), std::string::npos)
            << slurp(dir + "err.txt");
        kill(pid, sig);
        EXPECT_EQ(finish(pid), 4) << slurp(dir + "err.txt");
        close(master);
    master = -1;
        master = -1;
        const std::string out = slurp(dir + "out.txt");
        EXPECT_NE(out.find("итог: прервано"), std::string::npos) << out;
        // Nothing was answered for the operator.
        EXPECT_EQ(out.find("7.1 Внешний осмотр: соответствует"), std::string::npos) << out;
        EXPECT_EQ(slurp(dir + "err.txt").find("не подтверждено"), std::string::npos);
    }
}

TEST_F(VerifyTerminal, ModuleThatDoesNotAnswerAtTheStartIsNoVerdict) {
    writeCfg(9);  // nothing answers at address 9
    const pid_t pid = start();
    EXPECT_EQ(finish(pid), 2);
    close(master);
    master = -1;
    EXPECT_EQ(slurp(dir + "err.txt"),
              "yukt-verify: модуль под поверкой не отвечает по адресу 9 (COM1)\n");
    EXPECT_EQ(slurp(dir + "out.txt"), "");
}

// Every way out once the instrument is open leaves the generator at the
// methodology's safe value (0 mA), whatever it was at before: a wrong
// identification, channels the plan has not, a module under test not
// configured or not answering.
TEST_F(VerifyTerminal, EarlyExitsLeaveTheGeneratorSafe) {
    struct Case {
        const char* name;
        int address;  // of the module under test; 0: none configured
        std::vector<std::string> more;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {"ident", 6, {"--ident", "45T01A11"}, 2, "не совпадает с идентификацией модуля 45T01A10"},
        {"channels", 6, {"--channels", "9"}, 2, "--channels: в плане нет канала 9"},
        {"silent module", 9, {}, 2, "модуль под поверкой не отвечает по адресу 9 (COM1)"},
        {"no module", 0, {}, 1, "нет строки модуля под поверкой"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.address > 0)
            writeCfg(c.address);
        else
            ASSERT_TRUE(WriteTextFile(dir + "cfg/tp745t.cfg", "745t 1 1 23 4 99.87 100.02 1 2500.0\n"));
        benchCommand("current 12");
        EXPECT_EQ(finish(start(c.more)), c.code);
        const std::string err = slurp(dir + "err.txt");
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(err.find("не подтверждено"), std::string::npos) << err;
        EXPECT_EQ(generatorMa(), 0.0);
    }
}

}  // namespace
}  // namespace yukt
