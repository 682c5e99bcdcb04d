// The bench on a pseudo-terminal: the host opens the symlink like a serial
// port and gets the identification through it.

#include "sim/pty_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "raw_line.h"

namespace yukt::sim {
namespace {

using simtest::Bytes;

// Reads until a line feed arrives or nothing comes for a while.
Bytes readFrame(int fd) {
    Bytes out;
    for (;;) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 2000) <= 0) return out;
        std::uint8_t b = 0;
        if (read(fd, &b, 1) != 1) return out;
        out.push_back(b);
        if (b == 10) return out;
    }
}

TEST(PtyLine, AnswersIdentificationThroughTheSymlink) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("yukt-pty-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "com1").string();

    Bench bench;
    bench.installCalibrator(true);
    std::string error;
    std::unique_ptr<PtyLine> line = PtyLine::open(link, error);
    ASSERT_TRUE(line) << error;
    std::atomic<bool> stop{false};
    std::thread server([&] { line->serve(bench, false, stop); });

    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    for (int address : {1, 2, 4}) {
        const Bytes request = simtest::requestFrame(address, 7);
        ASSERT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
        const auto reply = simtest::parseReply(readFrame(fd));
        ASSERT_TRUE(reply) << address;
        EXPECT_EQ(reply->address(), address);
        EXPECT_EQ(reply->data.size(), 8u);
    }
    ::close(fd);

    stop = true;
    server.join();
    line.reset();
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);  // the symlink goes with the line
    std::filesystem::remove_all(dir);
}

TEST(PtyLine, NeverReplacesAnOrdinaryFile) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("yukt-pty-file-" + std::to_string(getpid()));
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        std::fclose(f);
    }
    std::string error;
    EXPECT_FALSE(PtyLine::open(file.string(), error));
    EXPECT_NE(error.find("not a symlink"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace yukt::sim
