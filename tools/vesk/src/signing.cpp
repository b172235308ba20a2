#include "signing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
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
#include "signal_cleanup.h"

extern char** environ;

namespace vesk {

namespace {

constexpr const char* kSigningTool = "osslsigncode";
constexpr const char* kInstallHint = "osslsigncode is not installed; install it with: apt-get install osslsigncode";
constexpr int kMaxRounds = 4;
constexpr auto kPollInterval = std::chrono::milliseconds(20);

struct ToolResult {
    bool started = false;
    int exitCode = -1;  // -1 when it was stopped or crashed
    bool timedOut = false;
    std::string output;  // stdout and stderr together
};

// Runs osslsigncode in a session of its own, so that it has no terminal to
// ask a passphrase on, with every signal let through; the cleanup handler
// knows it while it runs.
ToolResult RunSigningTool(const std::vector<std::string>& arguments, const std::filesystem::path& log,
                          unsigned timeoutSeconds = kDefaultSignTimeout) {
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
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    InstallCleanupHandlers();
    pid_t pid = -1;
    ToolResult result;
    {
        CleanupSignalsHeld held;
        result.started = posix_spawnp(&pid, kSigningTool, &actions, &attributes, raw.data(), environ) == 0;
        if (result.started) SetPendingChild(pid);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (!result.started) return result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    SetPendingChild(0);
    if (!result.timedOut && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
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
        if (!line.empty() && line != "Failed" && line.find(":error:") == std::string::npos &&
            line.find("pass phrase") == std::string::npos)
            return line;
    return "osslsigncode failed (exit code " + std::to_string(result.exitCode) + ")";
}

bool Says(const ToolResult& result, const char* words) {
    return result.output.find(words) != std::string::npos;
}

// Whether a key file's head holds the words (a PEM key's headers do).
bool FileHolds(const std::filesystem::path& file, const std::string& words) {
    std::string head(4096, '\0');
    std::ifstream in(file, std::ios::binary);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    return head.find(words) != std::string::npos;
}

// Why osslsigncode could not sign, told apart by its words and by what was
// given: the timestamp server, the passphrase, the key and certificate.
[[noreturn]] void FailSigning(const SigningRequest& request, const ToolResult& result) {
    const std::string reason = Reason(result);
    if (result.timedOut)
        throw Failure(request.timestampUrl ? *request.timestampUrl : request.certificate.string(),
                      "osslsigncode did not finish within " + std::to_string(request.timeoutSeconds) +
                          " s; give it longer with --sign-timeout SECONDS");
    if (request.timestampUrl && (Says(result, "timestamping failed") || Says(result, "HTTP failure")))
        throw Failure(*request.timestampUrl, "the timestamp server failed; try again later or another server (" +
                                                 reason + ")");
    const bool pkcs12 = IsPkcs12File(request.certificate);
    const std::filesystem::path& locked = pkcs12 ? request.certificate : request.key;
    if (Says(result, "Failed to decode private key") || Says(result, "Failed to parse PKCS#12")) {
        const bool encrypted = pkcs12 || FileHolds(locked, "ENCRYPTED");
        if (encrypted && !request.passwordFile)
            throw Failure(locked.string(), "is locked by a passphrase; give it with --sign-pass FILE");
        if (encrypted)
            throw Failure(request.passwordFile->string(), "is not the passphrase of " + Escaped(locked.string()) +
                                                              (pkcs12 ? " (or that is not a PKCS#12 file)" : ""));
        throw Failure(locked.string(), "is not a private key osslsigncode can read (PEM or DER)");
    }
    if (Says(result, "consistency of a private key"))
        throw Failure(request.key.string(), "does not match the certificate " + Escaped(request.certificate.string()));
    throw Failure(pkcs12 ? request.certificate.string() : request.certificate.string() + ", " + request.key.string(),
                  "cannot sign with this certificate and key: " + reason);
}

// The value after "label :" on the first line that has it, the spaces
// that align it left out.
std::optional<std::string> Field(const std::string& output, const std::string& label) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const size_t start = line.find_first_not_of('\t');
        if (start == std::string::npos || line.compare(start, label.size(), label) != 0) continue;
        const size_t colon = line.find(':', start + label.size());
        if (colon == std::string::npos) continue;
        const size_t value = line.find_first_not_of(' ', colon + 1);
        if (value == std::string::npos) continue;
        std::string text = line.substr(value);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }
    return std::nullopt;
}

// A time as osslsigncode prints it ("Jan  1 00:00:00 2021 GMT").
std::optional<time_t> ParseCertificateTime(const std::string& text) {
    std::tm tm{};
    const char* end = strptime(text.c_str(), "%b %d %H:%M:%S %Y GMT", &tm);
    if (!end || *end != 0) return std::nullopt;
    return timegm(&tm);
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

// Judges the signing certificate's validity period, read back from the
// signed file, now: without a timestamp, Windows judges it at the time it
// checks the signature, whatever signing time the signature names.
void CheckValidity(const std::filesystem::path& signedSetup, const SigningRequest& request) {
    const ToolResult result = RunSigningTool({"verify", "-in", signedSetup.string()},
                                             signedSetup.parent_path() / "validity.log", request.timeoutSeconds);
    const auto from = Field(result.output, "notBefore");
    const auto until = Field(result.output, "notAfter");
    const auto start = from ? ParseCertificateTime(*from) : std::nullopt;
    const auto end = until ? ParseCertificateTime(*until) : std::nullopt;
    if (!start || !end) throw Failure(signedSetup.string(), "osslsigncode does not show the certificate's validity period");
    const time_t now = std::time(nullptr);
    if (now >= *start && now <= *end) return;
    const std::string problem = "the certificate is valid from " + *from + " to " + *until + "; " +
                                (now > *end ? "it has expired" : "it is not valid yet");
    if (!request.timestampUrl)
        throw Failure(request.certificate.string(), problem + "; Windows would not trust the setup");
    Warn(request.certificate.string(), problem + "; signed anyway, with a timestamp from " + Escaped(*request.timestampUrl));
}

}  // namespace

ScratchDirectory::ScratchDirectory() {
    std::error_code error;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error || temporary.empty()) {
        const char* given = std::getenv("TMPDIR");
        throw Failure("TMPDIR", (given ? Quoted(given) : std::string("unset, and /tmp")) +
                                    " is not a directory for scratch files; set TMPDIR to one");
    }
    std::string pattern = (temporary / "vesk-sign-XXXXXX").string();
    InstallCleanupHandlers();
    CleanupSignalsHeld held;
    if (!mkdtemp(pattern.data())) throw Failure(pattern, "cannot create a scratch directory: " + SystemReason());
    path_ = pattern;
    SetPendingDirectory(pattern);
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    SetPendingDirectory("");
}

bool IsPkcs12File(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == ".pfx" || extension == ".p12";
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
    const std::filesystem::path primarySetup = directory / "primary.exe";
    std::vector<std::string> credentials;
    if (IsPkcs12File(request.certificate))
        credentials = {"-pkcs12", request.certificate.string()};
    else
        credentials = {"-certs", request.certificate.string(), "-key", request.key.string()};
    if (request.passwordFile) credentials.insert(credentials.end(), {"-readpass", request.passwordFile->string()});
    if (request.timestampUrl) credentials.insert(credentials.end(), {"-ts", *request.timestampUrl});
    if (auto time = SigningTime()) credentials.insert(credentials.end(), {"-time", *time});
    // One signature; or, nested, SHA-1 first for the older Windows versions
    // that read only the first signature and know no SHA-256, then SHA-256.
    std::vector<std::vector<std::string>> passes;
    auto pass = [&](std::vector<std::string> head, const std::filesystem::path& in, const std::filesystem::path& out) {
        head.insert(head.end(), credentials.begin(), credentials.end());
        head.insert(head.end(), {"-in", in.string(), "-out", out.string()});
        passes.push_back(std::move(head));
    };
    if (request.nested) {
        pass({"sign", "-h", "sha1"}, unsignedSetup, primarySetup);
        pass({"sign", "-nest", "-h", "sha256"}, primarySetup, signedSetup);
    } else {
        pass({"sign"}, unsignedSetup, signedSetup);
    }

    const InputFile first(unsignedSetup);
    uint8_t field[4];
    if (first.ReadAt(sizeFieldOffset, field) != sizeof field) throw Failure(unsignedSetup.string(), "ends early");
    uint32_t recorded = Load32(field);
    std::string sizes;
    for (int round = 0; round < kMaxRounds; ++round) {
        for (const auto& arguments : passes) {
            std::filesystem::remove(arguments.back());
            const ToolResult result = RunSigningTool(arguments, directory / "sign.log", request.timeoutSeconds);
            if (!result.started) throw Failure("vesk pack", kInstallHint);
            if (result.exitCode != 0) FailSigning(request, result);
        }
        if (round == 0) CheckValidity(signedSetup, request);
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

SignatureReport CheckSignature(const SetupFile& setup, const std::optional<std::filesystem::path>& caFile) {
    SignatureReport report;
    report.state = "not signed";
    if (caFile) {
        try {
            const InputFile readable(*caFile);
        } catch (const Failure& failure) {
            report.problem = std::string("--ca-file ") + failure.what();
            return report;
        }
    }
    // A chain asked for is a signature asked for.
    if (setup.image.certificateSize == 0) {
        if (caFile) report.problem = "not signed, where --ca-file asks for a signature whose chain leads to " + Escaped(caFile->string());
        return report;
    }
    const ScratchDirectory scratch;
    std::vector<std::string> arguments = {"verify", "-in", setup.file->Name()};
    if (caFile) arguments.insert(arguments.end(), {"-CAfile", caFile->string()});
    const ToolResult result = RunSigningTool(arguments, scratch.Path("verify.log"));
    report.state = "signed; osslsigncode is not installed, so the signature was not checked";
    if (!result.started) return report;
    // The digests say whether the file is the one that was signed; a
    // failed chain alone only says this machine does not trust the signer,
    // unless the chain was asked about. The first subject and validity
    // printed are the signer's, before any chain.
    const auto current = Field(result.output, "Current message digest");
    const auto calculated = Field(result.output, "Calculated message digest");
    report.signer = Field(result.output, "Subject");
    report.signingTime = Field(result.output, "Signing time");
    report.validFrom = Field(result.output, "notBefore");
    report.validUntil = Field(result.output, "notAfter");
    std::string chainError;
    if (size_t at = result.output.find("Error: "); at != std::string::npos)
        chainError = result.output.substr(at + 7, result.output.find('\n', at) - at - 7);
    const std::string chain = chainError.empty() ? std::string() : " (" + chainError + ")";
    if (result.exitCode == 0) {
        report.state = caFile ? "signed; the signature verifies, its chain leading to " + Escaped(caFile->string())
                              : "signed; the signature verifies";
    } else if (current && current == calculated) {
        report.state = "signed; the file matches its signature, but the signer is not trusted here" + chain;
        if (caFile) report.problem = "the signer's chain does not lead to a certificate in " + Escaped(caFile->string()) + chain;
    } else {
        report.state = "signed";
        report.problem = "signature does not match the file (changed after signing?): " + Reason(result);
    }
    if (report.validFrom && report.validUntil)
        report.state += "; certificate valid from " + *report.validFrom + " to " + *report.validUntil;
    return report;
}

std::string SizeMismatch(const SetupFile& setup) {
    const uint64_t expected = setup.head->header.expectedFileSize;
    const uint64_t size = setup.file->Size();
    const std::string line = "file is " + std::to_string(size) + " bytes, the setup expects " + std::to_string(expected);
    const PeImage& image = setup.image;
    const uint64_t tableStart = image.certificateOffset;
    if (image.certificateSize == 0 || tableStart + image.certificateSize != size) return line;
    const std::string wayOut =
        ", and the setup will call itself corrupt; pack with --no-size-check, or sign through vesk pack "
        "--sign-cert/--sign-key";
    // A signing tool pads the file to 8 bytes and appends the certificate table.
    if (tableStart >= expected && tableStart - expected < 8)
        return line + ": a signature of " + std::to_string(size - expected) + " bytes was appended after packing" +
               wayOut;
    // Signed through pack: the recorded size ended with a certificate table
    // that starts where this one does.
    if (tableStart < expected)
        return line + ": the signature was replaced, or another nested into it, after packing (" +
               std::to_string(size - tableStart) + " bytes where packing recorded " +
               std::to_string(expected - tableStart) + ")" + wayOut;
    return line;
}

}  // namespace vesk
