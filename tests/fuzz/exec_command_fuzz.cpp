// Command lines through ExecCommand against the simulated bench in-process:
// the calibrator and one module of several models, configured from their
// sample lines and reporting to the component. Each input is a few lines;
// the modules' addresses are put back afterwards so that a re-addressing
// does not leave the next inputs talking to nobody.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "common/text.h"
#include "fuzz_check.h"
#include "instrument/command_words.h"
#include "instrument/model_tables.h"
#include "instrument/module_set.h"
#include "link/com_port.h"
#include "link/link_hooks.h"
#include "sim/bench.h"
#include "sim/device_table.h"

using namespace yukt;

namespace {

struct Rig {
    sim::Bench bench;
    ModuleSet set;
    std::string dir;

    template <class Traits>
    void add(int address) {
        bench.place(address, sim::makeDevice(std::string(Traits::kCode)));
        // The sample line of the default file, on COM 1, Link 23, `address`.
        std::string line(Traits::kDefaultCfg.back().substr(1));
        line = SetColumn(SetColumn(SetColumn(line, 5, std::to_string(address)), 4, "23"), 3, "1");
        AppendTextFile(dir + "tp" + std::string(Traits::kCode) + ".cfg", line + "\n");
    }

    Rig() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "yukt-fuzz-XXXXXX").string();
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        dir = pattern + "/";
        SetWaitPumpHook([](int) {});
        SetComPortOpener([this](int com, int, std::string& error) {
            std::unique_ptr<ByteTransport> port;
            if (com == 1)
                port = bench.connect();
            else
                error = "нет порта";
            return port;
        });
        bench.installCalibrator(true);
        WriteTextFile(dir + "tp6606.cfg", ";\n");
        WriteTextFile(dir + "tpCom.cfg", " 1    9600\n");
        WriteTextFile(dir + "tp787x.cfg", "787x 1 1 23 1  4  6\n");
        WriteTextFile(dir + "tp788t.cfg", "788t 1 1 23 2 7374.6075308 100 20 2\n");
        WriteTextFile(dir + "tp745t.cfg", "745t 1 1 23 4 91.85776 91.85776 2 2500.0\n");
        add<Tp735xTraits>(5);
        add<Tp746xTraits>(6);
        add<Tp748xTraits>(7);
        add<Tp765xTraits>(8);
        add<Tp795bTraits>(9);
        set.SetPathCfg(dir);
        set.OpenModuleSet();
        FUZZ_CHECK(set.LinksReady());
        set.Tables().t787x.ForEach([](auto& m) { FUZZ_CHECK(m.Present()); });
    }
    ~Rig() { std::filesystem::remove_all(dir); }

    void restoreAddresses() {
        auto put = [](auto& table, int addr) { table.ForEach([&](auto& m) { m.SetAddr(addr); }); };
        put(set.Tables().t787x, 1);
        put(set.Tables().t788t, 2);
        put(set.Tables().t745t, 4);
        put(set.Tables().t735x, 5);
        put(set.Tables().t746x, 6);
        put(set.Tables().t748x, 7);
        put(set.Tables().t765x, 8);
        put(set.Tables().t795b, 9);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig* rig = new Rig;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (int n = 0; n < 4 && start < input.size(); ++n) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        try {
            ExecCommand(rig->set, input.substr(start, end - start));
        } catch (const CommandConvertError&) {
            // The command language lets these out on purpose.
        }
        start = end + 1;
    }
    rig->restoreAddresses();
    return 0;
}
