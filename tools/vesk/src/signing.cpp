#include "signing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "byte_order.h"
#include "console.h"
#include "escaped_text.h"
#include "failure.h"
#include "output_file.h"
#include "payload_copy.h"

extern char** environ;

namespace vesk {

namespace {

constexpr const char* kSigningTool = "osslsigncode";
constexpr const char* kInstallHint = "osslsigncode is not installed; install it with: apt-get install osslsigncode";
constexpr int kMaxRounds = 4;
// Long enough for a slow timestamp server, short enough that a dead one
// cannot hold the build for ever.
constexpr auto kToolTimeLimit = std::chrono::seconds(180);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

struct ToolResult {
    bool started = false;
    int exitCode = -1;  // -1 when it was stopped or crashed
    std::string output;  // stdout and stderr together
};

ToolResult RunSigningTool(const std::vector<std::string>& arguments, const std::filesystem::path& log) {
    std::vector<std::string> argv = {kSigningTool};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    ToolResult result;
    result.started = posix_spawnp(&pid, kSigningTool, &actions, nullptr, raw.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!result.started) return result;
    const auto deadline = std::chrono::steady_clock::now() + kToolTimeLimit;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    std::ifstream in(log, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    result.output = text.str();
    return result;
}

// osslsigncode's own reason, without OpenSSL's error stack and its "Failed".
std::string Reason(const ToolResult& result) {
    if (result.exitCode == -1) return "osslsigncode did not finish";
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line != "Failed" && line.find(":error:") == std::string::npos) return line;
    return "osslsigncode failed (exit code " + std::to_string(result.exitCode) + ")";
}

uint64_t SizeOf(const std::filesystem::path& file) {
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(file, error);
    if (error) throw Failure(file.string(), "cannot read: " + error.message());
    return size;
}

// Records size in the unsigned setup and makes its CheckSum agree.
void RecordSize(const std::filesystem::path& setup, uint64_t sizeFieldOffset, uint32_t size) {
    std::fstream file(setup, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t field[4];
    Store32(field, size);
    file.seekp(static_cast<std::streamoff>(sizeFieldOffset));
    file.write(reinterpret_cast<const char*>(field), sizeof field);
    file.close();
    const InputFile reread(setup);
    std::vector<uint8_t> probe(std::min<uint64_t>(reread.Size(), VESK_HEADER_PROBE_SIZE));
    probe.resize(reread.ReadAt(0, probe));
    const uint32_t checkSumOffset = ParsePeImage(probe, setup.string()).CheckSumOffset();
    Store32(field, ComputeFileCheckSum(reread, checkSumOffset));
    std::fstream again(setup, std::ios::in | std::ios::out | std::ios::binary);
    again.seekp(checkSumOffset);
    again.write(reinterpret_cast<const char*>(field), sizeof field);
    if (!again) throw Failure(setup.string(), "cannot write: " + SystemReason());
}

std::optional<std::string> SigningTime() {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch) return std::nullopt;
    const std::string text = epoch;
    if (text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
        throw Failure("SOURCE_DATE_EPOCH", Quoted(text) + " is not a number of seconds since 1970");
    return text;
}

}  // namespace

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vesk-sign-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw Failure(pattern, "cannot create a scratch directory: " + SystemReason());
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void RequireSigningTool() {
    SigningTime();
    const ScratchDirectory scratch;
    if (!RunSigningTool({"--version"}, scratch.Path("version.log")).started) throw Failure("vesk pack", kInstallHint);
}

uint64_t SignSetup(const std::filesystem::path& unsignedSetup, const std::filesystem::path& output,
                   const std::vector<std::filesystem::path>& inputs, const SigningRequest& request,
                   uint64_t sizeFieldOffset) {
    const std::filesystem::path directory = unsignedSetup.parent_path();
    const std::filesystem::path signedSetup = directory / "signed.exe";
    std::vector<std::string> arguments = {"sign", "-certs", request.certificate.string(), "-key", request.key.string()};
    if (request.passwordFile) arguments.insert(arguments.end(), {"-readpass", request.passwordFile->string()});
    if (request.timestampUrl) arguments.insert(arguments.end(), {"-ts", *request.timestampUrl});
    if (auto time = SigningTime()) arguments.insert(arguments.end(), {"-time", *time});
    arguments.insert(arguments.end(), {"-in", unsignedSetup.string(), "-out", signedSetup.string()});

    const InputFile first(unsignedSetup);
    uint8_t field[4];
    if (first.ReadAt(sizeFieldOffset, field) != sizeof field) throw Failure(unsignedSetup.string(), "ends early");
    uint32_t recorded = Load32(field);
    std::string sizes;
    for (int round = 0; round < kMaxRounds; ++round) {
        std::filesystem::remove(signedSetup);
        const ToolResult result = RunSigningTool(arguments, directory / "sign.log");
        if (!result.started) throw Failure("vesk pack", kInstallHint);
        if (result.exitCode != 0)
            throw Failure(request.certificate.string() + ", " + request.key.string(),
                          "cannot sign with this certificate and key: " + Reason(result));
        const uint64_t size = SizeOf(signedSetup);
        Detail("signed with osslsigncode: " + std::to_string(size) + " bytes");
        if (size > CONTAINER_MAX_FILE_SIZE)
            throw Failure(output.string(), "the signed setup would be " + std::to_string(size) + " bytes; it must stay below 2 GiB");
        if (recorded == 0 || size == recorded) {
            const InputFile signedFile(signedSetup);
            OutputFile out(output, inputs);
            CopyWithCrc(signedFile, 0, signedFile.Size(), &out, "copying the signed setup");
            out.Commit(true);
            return size;
        }
        sizes += (sizes.empty() ? "" : ", ") + std::to_string(size);
        recorded = static_cast<uint32_t>(size);
        RecordSize(unsignedSetup, sizeFieldOffset, recorded);
    }
    throw Failure(output.string(), "the signed size did not settle (" + sizes +
                                       " bytes in turn); sign without a changing timestamp or pack with --no-size-check");
}

SignatureReport CheckSignature(const SetupFile& setup) {
    SignatureReport report;
    report.state = "not signed";
    if (setup.image.certificateSize == 0) return report;
    const ScratchDirectory scratch;
    const ToolResult result = RunSigningTool({"verify", "-in", setup.file->Name()}, scratch.Path("verify.log"));
    report.state = "signed; osslsigncode is not installed, so the signature was not checked";
    if (!result.started) return report;
    // The digests say whether the file is the one that was signed; a
    // failed chain alone only says this machine does not trust the signer.
    // The first subject printed is the signer's, before any chain.
    std::string current;
    std::string calculated;
    std::string chainError;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        const size_t start = line.find_first_not_of('\t');
        if (start == std::string::npos) continue;
        line.erase(0, start);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        // The text after "label ... :", without the spaces that align it.
        auto value = [&](const char* label) -> std::string {
            if (line.rfind(label, 0) != 0) return "";
            const size_t start = line.find_first_not_of(' ', line.find(':') + 1);
            return start == std::string::npos ? "" : line.substr(start);
        };
        if (auto v = value("Current message digest"); !v.empty()) current = v;
        if (auto v = value("Calculated message digest"); !v.empty()) calculated = v;
        if (auto v = value("Subject:"); !v.empty() && !report.signer) report.signer = v;
        if (auto v = value("Signing time:"); !v.empty() && !report.signingTime) report.signingTime = v;
        if (size_t at = line.find("Error: "); at != std::string::npos && chainError.empty()) chainError = line.substr(at + 7);
    }
    if (result.exitCode == 0) {
        report.state = "signed; the signature verifies";
    } else if (!current.empty() && current == calculated) {
        report.state = "signed; the file matches its signature, but the signer is not trusted here" +
                       (chainError.empty() ? std::string() : " (" + chainError + ")");
    } else {
        report.state = "signed";
        report.problem = "signature does not match the file (changed after signing?): " + Reason(result);
    }
    return report;
}

std::string SizeMismatch(const SetupFile& setup) {
    const uint64_t expected = setup.head->header.expectedFileSize;
    const uint64_t size = setup.file->Size();
    const std::string line = "file is " + std::to_string(size) + " bytes, the setup expects " + std::to_string(expected);
    const PeImage& image = setup.image;
    // A signing tool pads the file to 8 bytes and appends the certificate table.
    if (image.certificateSize != 0 && image.certificateOffset >= expected && image.certificateOffset - expected < 8 &&
        uint64_t{image.certificateOffset} + image.certificateSize == size)
        return line + ": a signature of " + std::to_string(size - expected) +
               " bytes was appended after packing, and the setup will call itself corrupt; pack with --no-size-check, "
               "or sign through vesk pack --sign-cert/--sign-key";
    return line;
}

}  // namespace vesk
