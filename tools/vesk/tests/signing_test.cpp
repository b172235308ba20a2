// Signing through vesk pack keeps the size check; verify tells a signed
// setup, a setup signed after packing and a setup changed after signing
// apart. Certificates and keys are made by openssl for each test, in the
// test's own scratch directory.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "byte_order.h"
#include "setup_file.h"
#include "tool_test_support.h"

namespace vesk::test {
namespace {

class Signing : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        ASSERT_FALSE(SampleMsi().empty()) << "wixl could not build the fixture MSI";
        std::filesystem::copy_file(SampleMsi(), Path("sample.msi"));
        const std::string made = "cd '" + dir_.string() +
                                 "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
                                 "-subj /CN=Vesk-Test >/dev/null 2>&1 && openssl genrsa -aes128 -passout pass:secret "
                                 "-out locked.pem 2048 >/dev/null 2>&1 && openssl req -x509 -new -key locked.pem "
                                 "-passin pass:secret -out locked-cert.pem -days 2 -subj /CN=Vesk-Test >/dev/null 2>&1";
        ASSERT_EQ(std::system(made.c_str()), 0) << "openssl could not make a test certificate";
        WriteText("pass.txt", "secret\n");
    }

    // Another pair, that pair as PKCS#12 files (one locked by "secret"), and
    // a certificate of the first key valid only in 2020.
    void MakeMoreCertificates() {
        WriteText("ca.cnf", "[ca]\ndefault_ca=d\n[d]\ndatabase=index.txt\nserial=serial\nnew_certs_dir=.\n"
                            "default_md=sha256\npolicy=p\n[p]\ncommonName=supplied\n");
        WriteText("index.txt", "");
        WriteText("serial", "01\n");
        const std::string made =
            "cd '" + dir_.string() +
            "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout other-key.pem -out other-cert.pem -days 2 "
            "-subj /CN=Other >/dev/null 2>&1 && openssl pkcs12 -export -inkey key.pem -in cert.pem -out locked.pfx "
            "-passout pass:secret && openssl pkcs12 -export -inkey key.pem -in cert.pem -out open.p12 -passout pass: "
            "&& openssl req -new -key key.pem -subj /CN=Old -out old.csr && openssl ca -batch -config ca.cnf -selfsign "
            "-keyfile key.pem -in old.csr -out old.pem -startdate 20200101000000Z -enddate 20210101000000Z >/dev/null 2>&1";
        ASSERT_EQ(std::system(made.c_str()), 0) << "openssl could not make the test certificates";
    }

    ToolRun Pack(const std::string& stub, std::vector<std::string> extra, const std::string& output = "setup.exe") {
        std::vector<std::string> args = {"pack", "--product", Path("sample.msi").string(), "--stub", stub,
                                         "-o", Path(output).string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool(args);
    }
    std::vector<std::string> Sign(const std::string& cert = "cert.pem", const std::string& key = "key.pem") const {
        return {"--sign-cert", Path(cert).string(), "--sign-key", Path(key).string()};
    }
    // Packs with args until osslsigncode signs, then sends signal.
    void EndsTheToolCleanly(const std::vector<std::string>& args, int signal);
};

TEST_F(Signing, TheRecordedSizeIsTheSignedFilesOnBothStubs) {
    for (const char* stub : {VESK_REAL_STUB, VESK_REAL_STUB_X64}) {
        SCOPED_TRACE(stub);
        ToolRun pack = Pack(stub, Sign());
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        const SetupFile setup = OpenSetup(Path("setup.exe"));
        EXPECT_NE(setup.image.certificateSize, 0u) << "signed";
        EXPECT_EQ(setup.head->header.expectedFileSize, setup.file->Size());
        EXPECT_EQ(uint64_t{setup.image.certificateOffset} + setup.image.certificateSize, setup.file->Size());
        ToolRun verify = RunTool({"verify", Path("setup.exe").string()});
        EXPECT_EQ(verify.exitCode, 0) << verify.err;
        EXPECT_NE(verify.out.find("OK (signed; the file matches its signature"), std::string::npos) << verify.out;
        EXPECT_EQ(Listing(), (std::vector<std::string>{"cert.pem", "key.pem", "locked-cert.pem", "locked.pem", "pass.txt",
                                                       "sample.msi", "setup.exe"}))
            << "nothing left beside the setup";
    }
}

// Nested signing: SHA-1 first, SHA-256 in it, and the recorded size is the
// file's with both.
TEST_F(Signing, NestedSignaturesKeepTheSizeCheck) {
    ToolRun pack = Pack(VESK_REAL_STUB, [&] { auto o = Sign(); o.push_back("--nest-sign"); return o; }());
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    const SetupFile setup = OpenSetup(Path("setup.exe"));
    EXPECT_EQ(setup.head->header.expectedFileSize, setup.file->Size());
    EXPECT_EQ(RunTool({"verify", Path("setup.exe").string()}).exitCode, 0);
    const std::string list = "osslsigncode verify -in '" + Path("setup.exe").string() + "' > '" +
                             Path("signatures.txt").string() + "' 2>&1";
    std::system(list.c_str());  // fails on the untrusted test signer, and lists both signatures
    const auto bytes = ReadFile(Path("signatures.txt"));
    const std::string text(bytes.begin(), bytes.end());
    const size_t primary = text.find("Signature Index: 0");
    const size_t nested = text.find("Signature Index: 1");
    ASSERT_NE(nested, std::string::npos) << text;
    EXPECT_NE(text.find("Message digest algorithm  : SHA1", primary), std::string::npos) << text;
    EXPECT_NE(text.find("Message digest algorithm  : SHA256", nested), std::string::npos) << text;
}

// The signed setup replaces no file the signing reads.
TEST_F(Signing, AnOutputThatIsTheCertificateOrKeyIsRefused) {
    for (const char* file : {"cert.pem", "key.pem"}) {
        SCOPED_TRACE(file);
        const auto before = ReadFile(Path(file));
        ToolRun pack = Pack(VESK_REAL_STUB, Sign(), file);
        EXPECT_EQ(pack.exitCode, 1);
        EXPECT_EQ(pack.err, "vesk: " + Path(file).string() + ": the same file as the input " + Path(file).string() +
                                "; give another output\n");
        EXPECT_EQ(ReadFile(Path(file)), before);
    }
}

TEST_F(Signing, AKeyWithAPasswordFileAndNoSizeCheck) {
    ToolRun pack = Pack(VESK_REAL_STUB_X64, {"--sign-cert", Path("locked-cert.pem").string(), "--sign-key",
                                             Path("locked.pem").string(), "--sign-pass", Path("pass.txt").string(),
                                             "--no-size-check"});
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    const SetupFile setup = OpenSetup(Path("setup.exe"));
    EXPECT_NE(setup.image.certificateSize, 0u);
    EXPECT_EQ(setup.head->header.expectedFileSize, 0u) << "signed once, no size recorded";
    EXPECT_EQ(RunTool({"verify", Path("setup.exe").string()}).exitCode, 0);
}

TEST_F(Signing, SigningAfterPackingIsReportedAsSuchWithTheWayOut) {
    ASSERT_EQ(Pack(VESK_REAL_STUB, {}, "plain.exe").exitCode, 0);
    const std::string sign = "osslsigncode sign -certs '" + Path("cert.pem").string() + "' -key '" + Path("key.pem").string() +
                             "' -in '" + Path("plain.exe").string() + "' -out '" + Path("later.exe").string() + "' >/dev/null";
    ASSERT_EQ(std::system(sign.c_str()), 0);
    ToolRun verify = RunTool({"verify", Path("later.exe").string()});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_NE(verify.err.find("bytes was appended after packing"), std::string::npos) << verify.err;
    EXPECT_NE(verify.err.find("--no-size-check"), std::string::npos);
    EXPECT_NE(verify.err.find("vesk pack --sign-cert"), std::string::npos);
}

// A signature nested into the one pack made grows the file past the
// recorded size; verify says why.
TEST_F(Signing, ANestedSignatureAfterPackingIsNamedAsTheCause) {
    ASSERT_EQ(Pack(VESK_REAL_STUB, Sign(), "signed.exe").exitCode, 0);
    const std::string nest = "osslsigncode sign -nest -certs '" + Path("cert.pem").string() + "' -key '" +
                             Path("key.pem").string() + "' -in '" + Path("signed.exe").string() + "' -out '" +
                             Path("nested.exe").string() + "' >/dev/null";
    ASSERT_EQ(std::system(nest.c_str()), 0);
    ToolRun verify = RunTool({"verify", Path("nested.exe").string()});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_NE(verify.err.find("the signature was replaced, or another nested into it, after packing"), std::string::npos)
        << verify.err;
}

TEST_F(Signing, ASetupChangedAfterSigningFailsVerify) {
    ASSERT_EQ(Pack(VESK_REAL_STUB, Sign()).exitCode, 0);
    std::vector<uint8_t> bytes = ReadFile(Path("setup.exe"));
    const SetupFile setup = OpenSetup(Path("setup.exe"));
    bytes[setup.payloads[0].offset + 10] ^= 0x20;
    WriteFile(Path("setup.exe"), bytes);
    ToolRun verify = RunTool({"verify", Path("setup.exe").string()});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_NE(verify.err.find("signature does not match the file"), std::string::npos) << verify.err;
}

// A server that takes connections and never answers: a timestamp server
// that hangs.
class SilentServer {
public:
    SilentServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd_, 8) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ADD_FAILURE() << "no listening socket";
        url_ = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    }
    ~SilentServer() { close(fd_); }
    const std::string& Url() const { return url_; }

private:
    int fd_ = -1;
    std::string url_;
};

// Each cause of a failed signing gets a message of its own, naming the
// file, passphrase or server at fault; nothing is written.
TEST_F(Signing, EachCauseOfAFailedSigningIsNamed) {
    MakeMoreCertificates();
    WriteText("garbage.pem", "not a certificate\n");
    WriteText("wrong.txt", "wrong\n");
    const SilentServer silent;
    const std::string refusing = "http://127.0.0.1:9/";
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::string input;
        std::string problem;
        int exitCode = 1;
    } cases[] = {
        {"not a certificate", Sign("garbage.pem", "key.pem"), Path("garbage.pem").string() + ", " + Path("key.pem").string(),
         "cannot sign with this certificate and key: No certificate found"},
        {"not a key", Sign("cert.pem", "garbage.pem"), Path("garbage.pem").string(),
         "is not a private key osslsigncode can read (PEM or DER)"},
        {"missing key", Sign("cert.pem", "missing.pem"), Path("missing.pem").string(), "cannot open"},
        {"key of another certificate", Sign("cert.pem", "other-key.pem"), Path("other-key.pem").string(),
         "does not match the certificate " + Path("cert.pem").string()},
        {"locked key without its passphrase", Sign("locked-cert.pem", "locked.pem"), Path("locked.pem").string(),
         "is locked by a passphrase; give it with --sign-pass FILE"},
        {"locked key with a wrong passphrase", {"--sign-cert", Path("locked-cert.pem").string(), "--sign-key",
         Path("locked.pem").string(), "--sign-pass", Path("wrong.txt").string()}, Path("wrong.txt").string(),
         "is not the passphrase of " + Path("locked.pem").string()},
        {"locked PKCS#12 without its passphrase", {"--sign-cert", Path("locked.pfx").string()},
         Path("locked.pfx").string(), "is locked by a passphrase"},
        {"locked PKCS#12 with a wrong passphrase", {"--sign-cert", Path("locked.pfx").string(), "--sign-pass",
         Path("wrong.txt").string()}, Path("wrong.txt").string(), "is not the passphrase of " + Path("locked.pfx").string()},
        {"expired certificate", Sign("old.pem", "key.pem"), Path("old.pem").string(),
         "the certificate is valid from Jan  1 00:00:00 2020 GMT to Jan  1 00:00:00 2021 GMT; it has expired; Windows "
         "would not trust the setup"},
        {"timestamp server that refuses", [&] { auto o = Sign(); o.insert(o.end(), {"--timestamp", refusing}); return o; }(),
         refusing, "the timestamp server failed; try again later or another server (HTTP failure"},
        {"timestamp server that never answers",
         [&] { auto o = Sign(); o.insert(o.end(), {"--timestamp", silent.Url(), "--sign-timeout", "1"}); return o; }(),
         silent.Url(), "osslsigncode did not finish within 1 s; give it longer with --sign-timeout SECONDS"},
        {"key without a certificate", {"--sign-key", Path("key.pem").string()}, "pack",
         "signing needs both --sign-cert and --sign-key, or a PKCS#12 file (.pfx, .p12) as --sign-cert", 2},
        {"certificate without a key", {"--sign-cert", Path("cert.pem").string()}, "pack", "signing needs both", 2},
        {"PKCS#12 file with a key", Sign("open.p12", "key.pem"), "pack",
         "is a PKCS#12 file, which holds its key; leave out --sign-key", 2},
        {"no time to sign", [&] { auto o = Sign(); o.insert(o.end(), {"--sign-timeout", "0"}); return o; }(), "pack",
         "--sign-timeout takes seconds from 1 to 86400, not '0'", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run = Pack(VESK_REAL_STUB, c.options);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(run.err.rfind("vesk: " + c.input + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.problem), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
    }
}

// With a timestamp, Windows judges the certificate at the timestamp's time,
// so pack signs with an expired one, saying so. The timestamp server is a
// local one (fixtures/timestamp_server.py) with a TSA certificate of its own.
TEST_F(Signing, AnExpiredCertificateWithATimestampSignsWithAWarning) {
    MakeMoreCertificates();
    WriteText("tsa.cnf", "[tsa]\ndefault_tsa=t\n[t]\nserial=tsaserial\nsigner_cert=tsa.pem\nsigner_key=tsakey.pem\n"
                         "signer_digest=sha256\ndefault_policy=1.2.3.4.1\ndigests=sha256\ness_cert_id_alg=sha256\n");
    WriteText("tsaserial", "01\n");
    const std::string start =
        "cd '" + dir_.string() +
        "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout tsakey.pem -out tsa.pem -days 2 -subj /CN=TSA "
        "-addext extendedKeyUsage=critical,timeStamping >/dev/null 2>&1 && { python3 '" VESK_TOOL_FIXTURES
        "/timestamp_server.py' port.txt >/dev/null 2>&1 & echo $! > server.pid; }";
    ASSERT_EQ(std::system(start.c_str()), 0) << "no timestamp server";
    for (int tries = 0; tries < 500 && !std::filesystem::exists(Path("port.txt")); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto port = ReadFile(Path("port.txt"));
    const std::string url = "http://127.0.0.1:" + std::string(port.begin(), port.end()) + "/";
    std::vector<std::string> options = Sign("old.pem", "key.pem");
    options.insert(options.end(), {"--timestamp", url});
    ToolRun pack = Pack(VESK_REAL_STUB, options);
    const auto server = ReadFile(Path("server.pid"));
    kill(std::stoi(std::string(server.begin(), server.end())), SIGTERM);
    EXPECT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_NE(pack.err.find("vesk: warning: " + Path("old.pem").string() +
                            ": the certificate is valid from Jan  1 00:00:00 2020 GMT to Jan  1 00:00:00 2021 GMT; it "
                            "has expired; signed anyway, with a timestamp from " + url),
              std::string::npos)
        << pack.err;
    EXPECT_EQ(OpenSetup(Path("setup.exe")).head->header.expectedFileSize, std::filesystem::file_size(Path("setup.exe")));
}

// A PKCS#12 file signs alone, with or without a passphrase; verify shows
// the validity period, and checks the chain against a given CA file.
TEST_F(Signing, Pkcs12FilesSignAndVerifyChecksTheChainAgainstACaFile) {
    MakeMoreCertificates();
    ASSERT_EQ(Pack(VESK_REAL_STUB, {"--sign-cert", Path("open.p12").string()}, "open.exe").exitCode, 0);
    ToolRun pack = Pack(VESK_REAL_STUB, {"--sign-cert", Path("locked.pfx").string(), "--sign-pass",
                                         Path("pass.txt").string()});
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    ToolRun trusted = RunTool({"verify", Path("setup.exe").string(), "--ca-file", Path("cert.pem").string()});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
    EXPECT_NE(trusted.out.find("the signature verifies, its chain leading to " + Path("cert.pem").string() +
                               "; certificate valid from "),
              std::string::npos)
        << trusted.out;
    ToolRun untrusted = RunTool({"verify", Path("open.exe").string(), "--ca-file", Path("other-cert.pem").string(), "--json"});
    EXPECT_EQ(untrusted.exitCode, 1);
    EXPECT_NE(untrusted.out.find("the signer's chain does not lead to a certificate in " + Path("other-cert.pem").string()),
              std::string::npos)
        << untrusted.out;
    EXPECT_NE(untrusted.out.find("\"validUntil\": \""), std::string::npos) << untrusted.out;
    // A chain asked for: an unsigned setup fails, and so does a CA file that
    // cannot be read, named as such.
    ASSERT_EQ(Pack(VESK_REAL_STUB, {}, "plain.exe").exitCode, 0);
    ToolRun unsigned_ = RunTool({"verify", Path("plain.exe").string(), "--ca-file", Path("cert.pem").string()});
    EXPECT_EQ(unsigned_.exitCode, 1);
    EXPECT_EQ(unsigned_.err, "vesk: " + Path("plain.exe").string() +
                                 ": not signed, where --ca-file asks for a signature whose chain leads to " +
                                 Path("cert.pem").string() + "\n");
    ToolRun missing = RunTool({"verify", Path("setup.exe").string(), "--ca-file", Path("missing.pem").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "vesk: " + Path("setup.exe").string() + ": --ca-file " + Path("missing.pem").string() +
                               ": cannot open: No such file or directory\n");
}

// A signal that ends the tool while osslsigncode waits on a timestamp
// server: the tool ends by it, osslsigncode with it, and nothing is left
// behind. Every signal whose default is to end the process, a row each.
TEST_F(Signing, ASignalWhileSigningLeavesNoChildAndNoFiles) {
    const SilentServer silent;
    std::filesystem::create_directory(Path("tmp"));
    std::vector<std::string> args = {"pack", "--product", Path("sample.msi").string(), "--stub", VESK_REAL_STUB,
                                     "-o", Path("setup.exe").string(), "--timestamp", silent.Url()};
    for (const std::string& option : Sign()) args.push_back(option);
    rlimit noCore{0, 0};
    rlimit previous{};
    getrlimit(RLIMIT_CORE, &previous);
    setrlimit(RLIMIT_CORE, &noCore);  // SIGQUIT's default dumps core
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGVTALRM, SIGRTMIN}) {
        SCOPED_TRACE(strsignal(signal));
        EndsTheToolCleanly(args, signal);
    }
    setrlimit(RLIMIT_CORE, &previous);
}

void Signing::EndsTheToolCleanly(const std::vector<std::string>& args, int signal) {
    // The tool as a shell starts it: the signal at its default, not ignored.
    struct sigaction byDefault {};
    struct sigaction previous {};
    byDefault.sa_handler = SIG_DFL;
    sigaction(signal, &byDefault, &previous);
    setenv("TMPDIR", Path("tmp").c_str(), 1);
    const pid_t tool = StartTool(args, Path("out.txt").string(), Path("err.txt").string());
    unsetenv("TMPDIR");
    sigaction(signal, &previous, nullptr);
    ASSERT_GT(tool, 0);
    // osslsigncode signing is the tool's child, in a session of its own
    // (after one that only said its version).
    pid_t child = 0;
    for (int tries = 0; tries < 500 && child == 0; ++tries) {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            std::ifstream stat(entry.path() / "stat");
            std::ifstream commandLine(entry.path() / "cmdline");
            std::string pid, name, state, parent, command;
            std::getline(commandLine, command);
            if (stat >> pid >> name >> state >> parent && parent == std::to_string(tool) &&
                command.rfind(std::string("osslsigncode\0sign\0", 18), 0) == 0)
                child = std::stoi(pid);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (child == 0) {
        kill(tool, SIGKILL);
        waitpid(tool, nullptr, 0);
    }
    ASSERT_NE(child, 0) << "osslsigncode never started";
    kill(tool, signal);
    int status = 0;
    ASSERT_EQ(waitpid(tool, &status, 0), tool);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(child))) << "osslsigncode " << child << " still runs";
    EXPECT_TRUE(std::filesystem::is_empty(Path("tmp"))) << "a scratch directory was left";
    EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
}

// SOURCE_DATE_EPOCH is the signing time: the same inputs sign to the same
// bytes, and inspect names the signer and that time.
TEST_F(Signing, WithSourceDateEpochTheSameInputsSignToTheSameBytes) {
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    std::vector<std::vector<uint8_t>> setups;
    for (const char* directory : {"a", "b"}) {
        std::filesystem::create_directory(Path(directory));
        ToolRun pack = Pack(VESK_REAL_STUB, Sign(), std::string(directory) + "/setup.exe");
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        EXPECT_NE(pack.err.find(", signed\n"), std::string::npos) << pack.err;
        setups.push_back(ReadFile(Path(directory) / "setup.exe"));
    }
    setenv("SOURCE_DATE_EPOCH", "soon", 1);
    ToolRun refused = Pack(VESK_REAL_STUB, Sign(), "c.exe");
    unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(setups[0], setups[1]);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "vesk: SOURCE_DATE_EPOCH: 'soon' is not a number of seconds since 1970\n");
    ToolRun inspect = RunTool({"inspect", (Path("a") / "setup.exe").string(), "--json"});
    EXPECT_NE(inspect.out.find("\"signer\": \"/CN=Vesk-Test\""), std::string::npos) << inspect.out;
    EXPECT_NE(inspect.out.find("\"signingTime\": \"Nov 14 22:13:20 2023 GMT\""), std::string::npos) << inspect.out;
}

TEST_F(Signing, WithoutOsslsigncodeTheToolSaysHowToInstallIt) {
    const std::string path = std::getenv("PATH");
    setenv("PATH", dir_.c_str(), 1);
    ToolRun run = Pack(VESK_REAL_STUB, Sign());
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "vesk: vesk pack: osslsigncode is not installed; install it with: apt-get install osslsigncode\n");
    EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
    // Nor without a directory for its scratch files.
    std::vector<std::string> args = {"pack", "--product", Path("sample.msi").string(), "-o", Path("setup.exe").string()};
    for (const std::string& option : Sign()) args.push_back(option);
    setenv("TMPDIR", Path("missing").c_str(), 1);
    const pid_t tool = StartTool(args, Path("out.txt").string(), Path("err.txt").string());
    unsetenv("TMPDIR");
    int status = 0;
    ASSERT_EQ(waitpid(tool, &status, 0), tool);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    const auto err = ReadFile(Path("err.txt"));
    EXPECT_EQ(std::string(err.begin(), err.end()),
              "vesk: TMPDIR: '" + Path("missing").string() + "' is not a directory for scratch files; set TMPDIR to one\n");
}

}  // namespace
}  // namespace vesk::test
