#include "tool_test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace vesk::test {

namespace {

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::filesystem::path BuildMsi(const std::filesystem::path& dir, const std::string& productName) {
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(std::filesystem::path(VESK_TOOL_FIXTURES) / "readme.txt", dir / "readme.txt",
                               std::filesystem::copy_options::overwrite_existing);
    std::string source = Slurp(std::filesystem::path(VESK_TOOL_FIXTURES) / "product.wxs");
    if (!productName.empty()) {
        const std::string fixtureName = "Name=\"Vesk Sample\" Language";
        source.replace(source.find(fixtureName), fixtureName.size(),
                       "Name=\"" + productName + "\" Codepage=\"1252\" Language");
    }
    std::ofstream(dir / "product.wxs", std::ios::binary) << source;
    // wixl wants source paths relative to where it runs.
    std::string command = "cd '" + dir.string() + "' && wixl -o sample.msi product.wxs >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? dir / "sample.msi" : std::filesystem::path();
}

namespace {

std::filesystem::path BuildSampleMsi() {
    auto dir = std::filesystem::temp_directory_path() / ("vesk-msi-" + std::to_string(getpid()));
    auto msi = BuildMsi(dir, "");
    if (msi.empty()) std::filesystem::remove_all(dir);
    return msi;
}

pid_t Spawn(const std::vector<std::string>& arguments, const posix_spawn_file_actions_t& actions,
            const posix_spawnattr_t& attributes) {
    std::vector<std::string> argv = {VESK_TOOL_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, raw[0], &actions, &attributes, raw.data(), environ) != 0) pid = -1;
    return pid;
}

}  // namespace

pid_t StartTool(const std::vector<std::string>& arguments, const std::string& outPath, const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    pid_t pid = Spawn(arguments, actions, attributes);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

pid_t StartTool(const std::vector<std::string>& arguments, const std::string& outPath, int errFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = Spawn(arguments, actions, attributes);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

ToolRun RunTool(const std::vector<std::string>& arguments) {
    static int counter = 0;
    auto base = std::filesystem::temp_directory_path() /
                ("vesk-run-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::string outPath = base.string() + ".out";
    std::string errPath = base.string() + ".err";
    ToolRun run;
    pid_t pid = StartTool(arguments, outPath, errPath);
    if (pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.out = Slurp(outPath);
    run.err = Slurp(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return run;
}

std::filesystem::path SampleMsi() {
    // Built once; its folder goes when the test program ends.
    static const struct Built {
        std::filesystem::path msi = BuildSampleMsi();
        ~Built() {
            if (!msi.empty()) std::filesystem::remove_all(msi.parent_path());
        }
    } built;
    return built.msi;
}

void ToolTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("vesk-test-" + std::to_string(getpid()) + "-" + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
}

void ToolTest::TearDown() {
    std::filesystem::remove_all(dir_);
}

std::filesystem::path ToolTest::WriteText(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
}

std::filesystem::path ToolTest::WriteFakeMsi(const std::string& name, size_t size) const {
    std::vector<uint8_t> bytes(size);
    const uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(signature), std::end(signature), bytes.begin());
    for (size_t i = sizeof signature; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
    WriteFile(Path(name), bytes);
    return Path(name);
}

std::filesystem::path ToolTest::WriteStub(const StubShape& shape) const {
    WriteFile(Path("stub.exe"), BuildStub(shape));
    return Path("stub.exe");
}

std::vector<std::string> ToolTest::Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace vesk::test
